# The Windows plug-in module: cross-built and inspected by ctest when the
# mingw-w64 tools are installed.
include(${CMAKE_SOURCE_DIR}/cmake/WindowsDll.cmake)
