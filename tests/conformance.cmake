# The conformance report: roomstat_conformance measures the band filters and
# the parameter computations against their standards and writes
# docs/CONFORMANCE.md. The test regenerates it in the build folder and fails
# when the committed copy differs, so the document cannot drift. Native
# builds only: it uses the command-line host's resampling (libsoxr) and FFTW.
if(NOT TARGET roomstat_cli_core)
  return()
endif()
find_package(PkgConfig QUIET)
if(PkgConfig_FOUND)
  pkg_check_modules(FFTW3 IMPORTED_TARGET fftw3)
endif()
if(NOT FFTW3_FOUND)
  roomstat_left_out("FFTW not found (install libfftw3-dev): the conformance report is not built")
  return()
endif()

file(GLOB ROOMSTAT_CONFORMANCE_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/conformance/*.cpp)
add_executable(roomstat_conformance ${ROOMSTAT_CONFORMANCE_SOURCES})
target_link_libraries(roomstat_conformance PRIVATE roomstat_cli_core roomstat_iso roomstat_hostkit roomstat_plugin
                                                   PkgConfig::FFTW3)

add_test(NAME conformance_report
         COMMAND $<TARGET_FILE:roomstat_conformance> --write ${CMAKE_CURRENT_BINARY_DIR}/CONFORMANCE.md
                 --compare ${CMAKE_SOURCE_DIR}/docs/CONFORMANCE.md)
set_tests_properties(conformance_report PROPERTIES TIMEOUT 120)
