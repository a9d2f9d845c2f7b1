# The ISO 3382 evaluation from the plug-in's own band signals against the
# re-filtered one (host/cli, so beside the command-line host's units).
if(NOT TARGET roomstat_cli_core)
  return()
endif()
find_package(GTest QUIET)
if(GTest_FOUND)
  add_executable(roomstat_iso_tap_tests ${CMAKE_CURRENT_LIST_DIR}/cli/iso_tap_test.cpp)
  target_link_libraries(roomstat_iso_tap_tests PRIVATE roomstat_cli_core GTest::gtest GTest::gtest_main)
  gtest_discover_tests(roomstat_iso_tap_tests)
endif()
