# The roomstat Python package: the extension _roomstat (pybind11) over the
# command-line host's core, assembled with the package's Python files in
# <build>/python/roomstat, so that PYTHONPATH=<build>/python imports it.
# Debian's interpreter is the default: numpy, pandas and dask live there.
if(NOT TARGET roomstat_cli_core)
  message(FATAL_ERROR "ROOMSTAT_BUILD_PYTHON needs the command-line host's core (libsndfile1-dev, ROOMSTAT_BUILD_CLI)")
endif()
if(NOT DEFINED Python_EXECUTABLE AND EXISTS /usr/bin/python3)
  set(Python_EXECUTABLE /usr/bin/python3)
endif()
find_package(Python REQUIRED COMPONENTS Interpreter Development.Module)
find_package(pybind11 CONFIG REQUIRED)
# No link-time optimisation of the module (pybind11 adds it unless told).
set(CMAKE_INTERPROCEDURAL_OPTIMIZATION OFF)

set(ROOMSTAT_PYTHON_DIR ${CMAKE_BINARY_DIR}/python/roomstat CACHE PATH "Where the Python package is assembled")
pybind11_add_module(_roomstat ${CMAKE_SOURCE_DIR}/host/python/module.cpp ${CMAKE_SOURCE_DIR}/host/python/run_outcome.cpp
                    ${CMAKE_SOURCE_DIR}/host/python/sweep_bindings.cpp)
target_link_libraries(_roomstat PRIVATE roomstat_cli_core)
set_target_properties(_roomstat PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${ROOMSTAT_PYTHON_DIR})

add_custom_target(roomstat_python ALL
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${CMAKE_SOURCE_DIR}/host/python/roomstat ${ROOMSTAT_PYTHON_DIR}
  DEPENDS _roomstat
  COMMENT "Assembling the roomstat Python package"
  VERBATIM)
