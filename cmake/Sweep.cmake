# The sweep library (host/sweep): exponential sine sweeps, their parameters
# as JSON, and deconvolution through FFTW. Included by Cli.cmake, which links
# it into the command-line host; it sets ROOMSTAT_SWEEP_FOUND.
set(ROOMSTAT_SWEEP_FOUND OFF)
pkg_check_modules(FFTW3 IMPORTED_TARGET fftw3)
find_package(nlohmann_json 3 QUIET)
if(NOT FFTW3_FOUND OR NOT nlohmann_json_FOUND)
  roomstat_left_out("FFTW3 or nlohmann-json not found (install libfftw3-dev and nlohmann-json3-dev): roomstat is not built")
  return()
endif()

file(GLOB ROOMSTAT_SWEEP_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/host/sweep/*.cpp)
add_library(roomstat_sweep STATIC ${ROOMSTAT_SWEEP_SOURCES})
target_include_directories(roomstat_sweep PUBLIC ${CMAKE_SOURCE_DIR})
# FFTW's headers only: the library is loaded when a transform is first asked
# for (host/sweep/fft.cpp), so that starting the program does not load it.
target_include_directories(roomstat_sweep PRIVATE ${FFTW3_INCLUDE_DIRS})
target_link_libraries(roomstat_sweep PUBLIC roomstat_iso PkgConfig::SNDFILE PRIVATE roomstat_hostkit nlohmann_json::nlohmann_json)
set(ROOMSTAT_SWEEP_FOUND ON)
