# 32-bit x86 Linux build of the plug-in library and its tests, statically
# linked and run under qemu-i386-static (this machine cannot run 32-bit code
# natively). GoogleTest is built from Debian's sources with the same flags.
# libsndfile has no 32-bit package here: the command-line host and the
# benchmarks are off in this build.
#
#   cmake -S . -B build-i386 -DCMAKE_TOOLCHAIN_FILE=cmake/linux-i386.cmake
#   cmake --build build-i386 && ctest --test-dir build-i386
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT "-m32")
set(CMAKE_CXX_FLAGS_INIT "-m32")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32 -static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-m32")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-m32")

# Programs of this build (the tests, GoogleTest's discovery run) go through
# the user-mode emulator.
find_program(ROOMSTAT_QEMU_I386 NAMES qemu-i386-static qemu-i386 REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${ROOMSTAT_QEMU_I386})

# Libraries: only the 32-bit ones; never pick up x86_64 archives.
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)

set(ROOMSTAT_BUILD_CLI OFF CACHE BOOL "No 32-bit libsndfile: command-line host off")
set(ROOMSTAT_BUILD_BENCHMARKS OFF CACHE BOOL "No 32-bit Google Benchmark: benchmarks off")
set(ROOMSTAT_GTEST_FROM_SOURCE ON CACHE BOOL "Build GoogleTest from /usr/src/googletest with -m32")
