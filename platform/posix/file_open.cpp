// Files opened by native path on POSIX systems: the path is already the bytes fopen takes.
#include "platform/file_open.h"

#include <sys/stat.h>

namespace navelo {

std::FILE* OpenNativeFile(const std::filesystem::path& path, const char* mode) {
  return std::fopen(path.c_str(), mode);
}

bool IsDiskFile(std::FILE* file) {
  struct stat status {};
  return file != nullptr && fstat(fileno(file), &status) == 0 && S_ISREG(status.st_mode);
}

}  // namespace navelo
