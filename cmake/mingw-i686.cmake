# Cross-build of the plug-in module Roomstat_32.xfm for 32-bit Windows with
# the mingw-w64 i686 toolchain (Debian: g++-mingw-w64-i686,
# binutils-mingw-w64-i686).
#
#   cmake -S . -B build-dll -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake
#   cmake --build build-dll
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(ROOMSTAT_MINGW_PREFIX i686-w64-mingw32 CACHE STRING "Target triple prefix of the mingw-w64 tools")

set(CMAKE_C_COMPILER ${ROOMSTAT_MINGW_PREFIX}-gcc)
set(CMAKE_CXX_COMPILER ${ROOMSTAT_MINGW_PREFIX}-g++)
set(CMAKE_RC_COMPILER ${ROOMSTAT_MINGW_PREFIX}-windres)

# Debian's posix-threads variant of the compiler is named ...-g++-posix; the
# default (win32 threads) needs no winpthread DLL, which is what we want.
set(CMAKE_FIND_ROOT_PATH /usr/${ROOMSTAT_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
