// Files opened by native path on Windows: the wide path, and "x" done with an exclusive create,
// which the system's C runtime does not know as a mode letter.
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#include <windows.h>

#include <string>

#include "platform/file_open.h"

namespace navelo {

std::FILE* OpenNativeFile(const std::filesystem::path& path, const char* mode) {
  std::wstring wide_mode;
  bool exclusive = false;
  for (const char* m = mode; *m != '\0'; ++m) {
    if (*m == 'x') exclusive = true;
    else wide_mode += static_cast<wchar_t>(*m);
  }
  if (!exclusive) return _wfopen(path.c_str(), wide_mode.c_str());
  // Only the write modes take "x": "wx", "wbx", "w+x" and the like.
  int flags = _O_CREAT | _O_EXCL | _O_TRUNC;
  flags |= wide_mode.find(L'+') != std::wstring::npos ? _O_RDWR : _O_WRONLY;
  flags |= wide_mode.find(L'b') != std::wstring::npos ? _O_BINARY : _O_TEXT;
  const int fd = _wopen(path.c_str(), flags, _S_IREAD | _S_IWRITE);
  if (fd < 0) return nullptr;
  std::FILE* file = _wfdopen(fd, wide_mode.c_str());
  if (file == nullptr) _close(fd);
  return file;
}

bool IsDiskFile(std::FILE* file) {
  if (file == nullptr) return false;
  const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
  return handle != INVALID_HANDLE_VALUE && GetFileType(handle) == FILE_TYPE_DISK;
}

}  // namespace navelo
