# End-to-end tests of the roomstat command-line host: a fixture writer makes
# audio files in many formats with libsndfile, and a python3 script runs the
# real binary on them and parses what it prints.
if(NOT TARGET roomstat)
  return()
endif()
find_package(Python3 COMPONENTS Interpreter QUIET)
if(NOT Python3_Interpreter_FOUND)
  roomstat_left_out("python3 not found: the roomstat command-line tests are not registered")
  return()
endif()

add_executable(roomstat_cli_fixtures ${CMAKE_CURRENT_LIST_DIR}/cli/make_fixtures.cpp)
target_link_libraries(roomstat_cli_fixtures PRIVATE PkgConfig::SNDFILE)

set(ROOMSTAT_CLI_WORK ${CMAKE_CURRENT_BINARY_DIR}/cli-fixtures)
add_test(NAME cli_fixtures
         COMMAND $<TARGET_FILE:roomstat_cli_fixtures> ${CMAKE_SOURCE_DIR}/examples ${ROOMSTAT_CLI_WORK})
set_tests_properties(cli_fixtures PROPERTIES FIXTURES_SETUP cli_audio)

add_test(NAME cli_end_to_end
         COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/cli/test_cli.py
                 --roomstat $<TARGET_FILE:roomstat> --fixtures ${ROOMSTAT_CLI_WORK}
                 --examples ${CMAKE_SOURCE_DIR}/examples)
set_tests_properties(cli_end_to_end PROPERTIES FIXTURES_REQUIRED cli_audio TIMEOUT 300)

# The terminal table: the ISO 3382 block, marked cells and their notes.
add_test(NAME cli_table
         COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/cli/test_cli_table.py
                 --roomstat $<TARGET_FILE:roomstat> --fixtures ${ROOMSTAT_CLI_WORK}
                 --examples ${CMAKE_SOURCE_DIR}/examples)
set_tests_properties(cli_table PROPERTIES FIXTURES_REQUIRED cli_audio TIMEOUT 300)

add_test(NAME cli_robustness
         COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/cli/test_cli_robustness.py
                 --roomstat $<TARGET_FILE:roomstat> --examples ${CMAKE_SOURCE_DIR}/examples)
set_tests_properties(cli_robustness PROPERTIES TIMEOUT 600)

# Rates, refusals and the facts of every format: fixtures resampled with
# libsoxr and synthetic decays written at several rates.
add_executable(roomstat_trust_fixtures ${CMAKE_CURRENT_LIST_DIR}/cli/make_trust_fixtures.cpp)
target_link_libraries(roomstat_trust_fixtures PRIVATE PkgConfig::SNDFILE PkgConfig::SOXR)
set(ROOMSTAT_TRUST_WORK ${CMAKE_CURRENT_BINARY_DIR}/trust-fixtures)
add_test(NAME cli_trust_fixtures
         COMMAND $<TARGET_FILE:roomstat_trust_fixtures> ${CMAKE_SOURCE_DIR}/examples ${ROOMSTAT_TRUST_WORK})
set_tests_properties(cli_trust_fixtures PROPERTIES FIXTURES_SETUP cli_trust_audio)
add_test(NAME cli_trust
         COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/cli/test_cli_trust.py
                 --roomstat $<TARGET_FILE:roomstat> --fixtures ${ROOMSTAT_TRUST_WORK}
                 --examples ${CMAKE_SOURCE_DIR}/examples --source ${CMAKE_SOURCE_DIR})
set_tests_properties(cli_trust PROPERTIES FIXTURES_REQUIRED cli_trust_audio TIMEOUT 300)

# Bounds: memory on any header, outputs that hang, collide, lose their
# identity or leave temporaries behind.
add_test(NAME cli_bounds
         COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/cli/test_cli_bounds.py
                 --roomstat $<TARGET_FILE:roomstat> --examples ${CMAKE_SOURCE_DIR}/examples)
set_tests_properties(cli_bounds PROPERTIES TIMEOUT 600)

# The ISO 3382 evaluation in json and csv: the schema, synthetic decays and
# pairs of known answers, a selection much longer than its decay. Debian's
# interpreter, for numpy, soundfile and jsonschema.
find_program(ROOMSTAT_DEBIAN_PYTHON python3 PATHS /usr/bin NO_DEFAULT_PATH)
if(ROOMSTAT_DEBIAN_PYTHON)
  add_test(NAME cli_iso
           COMMAND ${ROOMSTAT_DEBIAN_PYTHON} ${CMAKE_CURRENT_LIST_DIR}/cli/test_cli_iso.py
                   --roomstat $<TARGET_FILE:roomstat> --examples ${CMAKE_SOURCE_DIR}/examples
                   --source ${CMAKE_SOURCE_DIR})
  set_tests_properties(cli_iso PROPERTIES TIMEOUT 600)
else()
  roomstat_left_out("/usr/bin/python3 not found: the ISO 3382 json/csv tests are not registered")
endif()

# Averages and comparisons with known answers: synthetic decays at four
# positions, one in noise, and binaural pairs of known coherence.
add_test(NAME cli_average
         COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_LIST_DIR}/cli/test_cli_average.py
                 --roomstat $<TARGET_FILE:roomstat>)
set_tests_properties(cli_average PROPERTIES TIMEOUT 300)
