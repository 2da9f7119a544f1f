// Files opened by native path on POSIX systems: the path is already the bytes fopen takes.
#include "platform/file_open.h"

namespace navelo {

std::FILE* OpenNativeFile(const std::filesystem::path& path, const char* mode) {
  return std::fopen(path.c_str(), mode);
}

}  // namespace navelo
