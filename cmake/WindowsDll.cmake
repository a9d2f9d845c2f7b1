# Cross-builds the Windows plug-in module Roomstat_32.xfm from a native build
# whenever the mingw-w64 i686 compiler is installed, and registers the ctest
# tests that inspect it (exports and ordinals, imports, resources). The
# 32-bit x86 Linux build cross-builds it too and runs it: its tests load the
# module with the stand-in's PE loader (tests/loaded_module/).
#
# The DLL is a sub-build (ExternalProject) of this same source tree with
# cmake/mingw-i686.cmake, in <build>/dll, built by the test "dll_build" (or
# by the target roomstat_dll). The inspection depends on that test as a
# fixture: a DLL that does not build fails the tests, and ctest never
# inspects a stale module. The native build itself stays free of the
# cross-compile.
option(ROOMSTAT_DLL_CHECK "Cross-build and inspect the Windows DLL when the mingw-w64 tools are installed" ON)

set(ROOMSTAT_DLL_RUNS OFF)
if(CMAKE_SYSTEM_NAME STREQUAL "Linux" AND CMAKE_SIZEOF_VOID_P EQUAL 4
   AND CMAKE_SYSTEM_PROCESSOR MATCHES "i.86|x86")
  set(ROOMSTAT_DLL_RUNS ON)
endif()
if(NOT ROOMSTAT_DLL_CHECK OR WIN32 OR (CMAKE_CROSSCOMPILING AND NOT ROOMSTAT_DLL_RUNS))
  return()
endif()

find_program(ROOMSTAT_MINGW_CXX i686-w64-mingw32-g++)
if(NOT ROOMSTAT_MINGW_CXX)
  roomstat_left_out("i686-w64-mingw32-g++ not found (install g++-mingw-w64-i686): the Windows DLL is not built or inspected")
  return()
endif()
find_program(ROOMSTAT_MINGW_OBJDUMP i686-w64-mingw32-objdump)
find_program(ROOMSTAT_WRESTOOL wrestool)

include(ExternalProject)
set(ROOMSTAT_DLL_BINARY_DIR ${CMAKE_BINARY_DIR}/dll)
set(ROOMSTAT_DLL ${ROOMSTAT_DLL_BINARY_DIR}/Roomstat_32.xfm)

ExternalProject_Add(roomstat_dll
  SOURCE_DIR ${CMAKE_SOURCE_DIR}
  BINARY_DIR ${ROOMSTAT_DLL_BINARY_DIR}
  CMAKE_ARGS
    -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/mingw-i686.cmake
    -DCMAKE_BUILD_TYPE=Release
    -DROOMSTAT_WERROR=${ROOMSTAT_WERROR}
    -DCMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER}
  BUILD_ALWAYS ON
  EXCLUDE_FROM_ALL ON
  INSTALL_COMMAND ""
  BUILD_BYPRODUCTS ${ROOMSTAT_DLL})

add_test(NAME dll_build COMMAND ${CMAKE_COMMAND} --build ${CMAKE_BINARY_DIR} --target roomstat_dll --parallel 2)
set_tests_properties(dll_build PROPERTIES FIXTURES_SETUP roomstat_dll TIMEOUT 900)

if(ROOMSTAT_DLL_RUNS)
  # The module itself, run over the stand-in through the host kit: the same
  # whole runs as the statically linked plug-in, compared byte for byte.
  file(GLOB ROOMSTAT_LOADED_MODULE_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/loaded_module/*.cpp)
  add_executable(roomstat_dll_tests ${ROOMSTAT_LOADED_MODULE_TEST_SOURCES})
  target_link_libraries(roomstat_dll_tests PRIVATE roomstat_hostkit roomstat_plugin GTest::gtest GTest::gtest_main)
  target_compile_definitions(roomstat_dll_tests PRIVATE ROOMSTAT_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  gtest_discover_tests(roomstat_dll_tests DISCOVERY_TIMEOUT 120 TEST_PREFIX "dll."
    PROPERTIES FIXTURES_REQUIRED roomstat_dll ENVIRONMENT "ROOMSTAT_DLL=${ROOMSTAT_DLL}")
  return()
endif()

# Missing objdump or wrestool make the inspection fail with a message rather
# than vanish: they come with the mingw binutils and icoutils.
if(NOT ROOMSTAT_MINGW_OBJDUMP)
  set(ROOMSTAT_MINGW_OBJDUMP i686-w64-mingw32-objdump)
endif()
if(NOT ROOMSTAT_WRESTOOL)
  set(ROOMSTAT_WRESTOOL wrestool)
endif()
add_test(NAME dll_inspection
  COMMAND sh ${CMAKE_SOURCE_DIR}/tests/check_dll.sh ${ROOMSTAT_DLL} ${CMAKE_SOURCE_DIR}/ui/roomstat.rc)
set_tests_properties(dll_inspection PROPERTIES
  FIXTURES_REQUIRED roomstat_dll
  ENVIRONMENT "OBJDUMP=${ROOMSTAT_MINGW_OBJDUMP};WRESTOOL=${ROOMSTAT_WRESTOOL}")
