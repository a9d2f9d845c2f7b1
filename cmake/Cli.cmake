# The roomstat command-line host: reads audio through libsndfile and drives
# the plug-in through the host kit; makes and deconvolves sweeps (host/sweep).
find_package(PkgConfig QUIET)
if(PkgConfig_FOUND)
  pkg_check_modules(SNDFILE IMPORTED_TARGET sndfile)
  pkg_check_modules(SOXR IMPORTED_TARGET soxr)
endif()
if(NOT SNDFILE_FOUND OR NOT SOXR_FOUND)
  roomstat_left_out("libsndfile or libsoxr not found (install libsndfile1-dev, libsoxr-dev and pkg-config): roomstat is not built")
  return()
endif()

include(${CMAKE_SOURCE_DIR}/cmake/Sweep.cmake)
if(NOT ROOMSTAT_SWEEP_FOUND)
  return()
endif()

find_package(Threads REQUIRED)
find_package(nlohmann_json 3 QUIET)
if(NOT nlohmann_json_FOUND)
  roomstat_left_out("nlohmann-json not found (install nlohmann-json3-dev): roomstat is not built")
  return()
endif()
file(GLOB ROOMSTAT_CLI_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/host/cli/*.cpp)
list(REMOVE_ITEM ROOMSTAT_CLI_SOURCES ${CMAKE_SOURCE_DIR}/host/cli/main.cpp)
# Everything but main(): reading files, driving the plug-in, the outputs. The
# program and other hosts (the Python module) share it.
add_library(roomstat_cli_core STATIC ${ROOMSTAT_CLI_SOURCES})
target_include_directories(roomstat_cli_core PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_definitions(roomstat_cli_core PUBLIC ROOMSTAT_VERSION="${PROJECT_VERSION}")
target_link_libraries(roomstat_cli_core PUBLIC roomstat_hostkit roomstat_sweep PkgConfig::SNDFILE Threads::Threads
                                               nlohmann_json::nlohmann_json)
# libsoxr's header only: the library is loaded when a selection is first
# resampled (host/cli/resample.cpp), so that a run at the file's own rate
# does not load it.
target_include_directories(roomstat_cli_core PRIVATE ${SOXR_INCLUDE_DIRS})

add_executable(roomstat ${CMAKE_SOURCE_DIR}/host/cli/main.cpp)
target_link_libraries(roomstat PRIVATE roomstat_cli_core)

# The programs that run analyses use jemalloc with transparent huge pages
# (host/cli/allocator.h). Not under the sanitizers or the fuzzer, which
# bring their own allocator.
option(ROOMSTAT_JEMALLOC "Link roomstat and its benchmarks with jemalloc (huge pages for a run's buffers)" ON)
if(ROOMSTAT_JEMALLOC AND NOT ROOMSTAT_SANITIZE AND NOT ROOMSTAT_FUZZ)
  pkg_check_modules(JEMALLOC IMPORTED_TARGET jemalloc)
  if(NOT JEMALLOC_FOUND)
    roomstat_left_out("jemalloc not found (install libjemalloc-dev): roomstat uses the C library's allocator")
  endif()
  find_library(JEMALLOC_ARCHIVE NAMES libjemalloc_pic.a HINTS ${JEMALLOC_LIBRARY_DIRS} NO_CMAKE_SYSTEM_PATH)
endif()
# With OWN_RUNTIME the program carries jemalloc and the C++ runtime in
# itself: the shared jemalloc needs the shared C++ runtime, and loading and
# relocating that took about 1.5 ms of every start of roomstat (for a
# response analysed in 35 ms). Not for a program that also links shared C++
# libraries (the benchmarks: Google Benchmark), which would then hold two
# runtimes.
function(roomstat_use_jemalloc target)
  cmake_parse_arguments(USE "OWN_RUNTIME" "" "" ${ARGN})
  if(JEMALLOC_FOUND AND NOT ROOMSTAT_SANITIZE AND NOT ROOMSTAT_FUZZ)
    target_compile_definitions(${target} PRIVATE ROOMSTAT_JEMALLOC)
    if(USE_OWN_RUNTIME AND JEMALLOC_ARCHIVE)
      target_include_directories(${target} PRIVATE ${JEMALLOC_INCLUDE_DIRS})
      target_link_libraries(${target} PRIVATE ${JEMALLOC_ARCHIVE} Threads::Threads ${CMAKE_DL_LIBS} m)
      target_link_options(${target} PRIVATE -static-libstdc++ -static-libgcc)
    else()
      target_link_libraries(${target} PRIVATE PkgConfig::JEMALLOC)
    endif()
  endif()
endfunction()
roomstat_use_jemalloc(roomstat OWN_RUNTIME)

# cmake --install puts the program, its manual page and the json schema on
# the prefix.
include(GNUInstallDirs)
install(TARGETS roomstat RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_SOURCE_DIR}/docs/roomstat.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_SOURCE_DIR}/docs/roomstat-output.schema.json DESTINATION ${CMAKE_INSTALL_DOCDIR})
