# Tests of the roomstat Python module (pytest under the interpreter it was
# built for), against the roomstat program.
if(NOT TARGET _roomstat OR NOT TARGET roomstat)
  return()
endif()
add_test(NAME python_module
         COMMAND ${Python_EXECUTABLE} -m pytest -q -p no:cacheprovider ${CMAKE_CURRENT_LIST_DIR}/python)
set_tests_properties(python_module PROPERTIES
  TIMEOUT 600
  ENVIRONMENT "PYTHONPATH=${CMAKE_BINARY_DIR}/python;ROOMSTAT_CLI=$<TARGET_FILE:roomstat>;ROOMSTAT_EXAMPLES=${CMAKE_SOURCE_DIR}/examples")
