# The HTML room report opened in headless Chromium (Debian package chromium):
# DOM checks, screenshots and an A4 print of the bundled examples' reports.
# Skipped when no browser is installed.
if(NOT TARGET roomstat)
  return()
endif()
find_package(Python3 COMPONENTS Interpreter QUIET)
if(NOT Python3_Interpreter_FOUND)
  return()
endif()
add_test(NAME html_report_browser
         COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/cli/test_html_report.py
                 --roomstat $<TARGET_FILE:roomstat> --examples ${CMAKE_SOURCE_DIR}/examples
                 --out ${CMAKE_CURRENT_BINARY_DIR}/html-report)
set_tests_properties(html_report_browser PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300)

# Units of the report, the average and the comparison.
find_package(GTest QUIET)
if(GTest_FOUND)
  add_executable(roomstat_report_tests ${CMAKE_CURRENT_LIST_DIR}/cli/report_units_test.cpp
                                       ${CMAKE_CURRENT_LIST_DIR}/cli/host_layout_test.cpp)
  target_link_libraries(roomstat_report_tests PRIVATE roomstat_cli_core GTest::gtest GTest::gtest_main)
  gtest_discover_tests(roomstat_report_tests)
endif()
