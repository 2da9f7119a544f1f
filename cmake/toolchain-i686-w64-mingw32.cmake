# 32-bit Windows: the programs as they ship. cmake -DCMAKE_TOOLCHAIN_FILE=cmake/this-file -B build-win32
set(CMAKE_SYSTEM_PROCESSOR x86)
set(MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
