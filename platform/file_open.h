// Opening a file by its native path with the C library's stream modes.
#pragma once

#include <cstdio>
#include <filesystem>

namespace navelo {

// std::fopen for a native path, whatever the platform's path characters are. The modes are
// fopen's, with "x" (create, fail when the file exists) supported everywhere.
std::FILE* OpenNativeFile(const std::filesystem::path& path, const char* mode);

// True when the open stream is a file on a disk: not a device (Linux's /dev/null, Windows' NUL,
// which no file-system query names), a pipe or a folder.
bool IsDiskFile(std::FILE* file);

}  // namespace navelo
