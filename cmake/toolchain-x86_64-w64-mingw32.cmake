# 64-bit Windows: the same tree for running the tests under 64-bit Wine where 32-bit Wine cannot
# be installed. Not shipped.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
