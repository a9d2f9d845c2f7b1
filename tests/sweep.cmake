# End-to-end tests of `roomstat sweep` and `roomstat deconvolve`: a helper
# "records" a sweep in a bundled room by convolution, and a python3 script
# runs the real binary on it.
if(NOT TARGET roomstat OR NOT TARGET roomstat_sweep)
  return()
endif()
find_package(Python3 COMPONENTS Interpreter QUIET)
if(NOT Python3_Interpreter_FOUND)
  roomstat_left_out("python3 not found: the sweep command-line tests are not registered")
  return()
endif()

add_executable(roomstat_record_sweep ${CMAKE_CURRENT_LIST_DIR}/cli/record_sweep.cpp)
target_link_libraries(roomstat_record_sweep PRIVATE roomstat_sweep)
add_test(NAME cli_sweep
         COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/cli/test_sweep.py
                 --roomstat $<TARGET_FILE:roomstat> --record $<TARGET_FILE:roomstat_record_sweep>
                 --examples ${CMAKE_SOURCE_DIR}/examples)
set_tests_properties(cli_sweep PROPERTIES TIMEOUT 300)
