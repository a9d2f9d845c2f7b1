# The headless Win32 stand-in (platform/) as the static library
# win32_headless, with two sources generated at build time:
#   - the resource script ui/roomstat.rc embedded as bytes, which the dialog
#     engine parses on first use (the same script windres compiles for the
#     DLL, so dialog templates have one source);
#   - the export table of plugin/Roomstat_32.def (name, ordinal, address),
#     which the host kit installs so that GetProcAddress serves the plug-in's
#     entry points by name and by ordinal. It takes the entry points'
#     addresses, so it is compiled into the plug-in library
#     (HEADLESS_EXPORT_TABLE), not into the stand-in: the stand-in knows
#     nothing of the plug-in.
#
# Run as a script (cmake -DMODE=resources|exports -DINPUT=... -DOUTPUT=...
# -P HeadlessPlatform.cmake) this file writes one generated source.

if(CMAKE_SCRIPT_MODE_FILE)
  if(MODE STREQUAL "resources")
    set(present false)
    set(hex "")
    if(EXISTS "${INPUT}")
      set(present true)
      file(READ "${INPUT}" hex HEX)
    endif()
    string(LENGTH "${hex}" hexLength)
    math(EXPR byteCount "${hexLength} / 2")
    # 32 bytes per line, each as 0xNN; bytes avoid any quoting of the text.
    string(REGEX REPLACE "(................................................................)" "\\1\n" hex "${hex}")
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
    file(WRITE "${OUTPUT}"
      "// Generated from ui/roomstat.rc by cmake/HeadlessPlatform.cmake. Do not edit.\n"
      "#include \"platform/internal.h\"\n\n"
      "namespace headless::detail {\n\n"
      "const unsigned char kEmbeddedResourceScript[] = {\n${bytes}\n0x00};\n"
      "const size_t kEmbeddedResourceScriptLength = ${byteCount};\n"
      "const bool kEmbeddedResourceScriptPresent = ${present};\n\n"
      "}  // namespace headless::detail\n")
  elseif(MODE STREQUAL "exports")
    file(READ "${INPUT}" definitions)
    string(REGEX REPLACE ";[^\n]*" "" definitions "${definitions}")  # comments
    string(REPLACE "\n" ";" lines "${definitions}")
    set(moduleName "")
    set(entries "")
    set(count 0)
    foreach(line IN LISTS lines)
      if(line MATCHES "^[ \t]*LIBRARY[ \t]+\"?([^\" \t\r]+)\"?")
        set(moduleName "${CMAKE_MATCH_1}")
      elseif(line MATCHES "^[ \t]*([A-Za-z_][A-Za-z0-9_]*)[ \t]*@[ \t]*([0-9]+)")
        string(APPEND entries
          "    {\"${CMAKE_MATCH_1}\", ${CMAKE_MATCH_2}, reinterpret_cast<void (*)()>(&${CMAKE_MATCH_1})},\n")
        math(EXPR count "${count} + 1")
      endif()
    endforeach()
    if(count EQUAL 0 OR moduleName STREQUAL "")
      message(FATAL_ERROR "${INPUT}: no LIBRARY line or no exports (lines 'Name @ordinal')")
    endif()
    file(WRITE "${OUTPUT}"
      "// Generated from plugin/Roomstat_32.def by cmake/HeadlessPlatform.cmake. Do not edit.\n"
      "#include \"interface/entry_points.h\"\n"
      "#include \"platform/headless.h\"\n\n"
      "namespace {\n\n"
      "const headless::ModuleExport kExports[] = {\n${entries}};\n\n"
      "}  // namespace\n\n"
      "headless::ModuleExports StaticPluginExports() {\n"
      "  return headless::ModuleExports{\"${moduleName}\", kExports, ${count}};\n"
      "}\n")
  else()
    message(FATAL_ERROR "HeadlessPlatform.cmake: unknown MODE '${MODE}'")
  endif()
  return()
endif()

set(HEADLESS_GENERATOR ${CMAKE_CURRENT_LIST_FILE})
set(HEADLESS_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated/headless)
set(HEADLESS_RESOURCE_SCRIPT ${CMAKE_SOURCE_DIR}/ui/roomstat.rc)
set(HEADLESS_DEFINITIONS ${CMAKE_SOURCE_DIR}/plugin/Roomstat_32.def)

# The script may not exist yet; the glob makes CMake look again at build
# time, so the embedded copy follows when it appears.
file(GLOB HEADLESS_RESOURCE_SCRIPT_FOUND CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/ui/*.rc)
set(HEADLESS_RESOURCE_DEPENDS "")
if(EXISTS ${HEADLESS_RESOURCE_SCRIPT})
  set(HEADLESS_RESOURCE_DEPENDS ${HEADLESS_RESOURCE_SCRIPT})
endif()

add_custom_command(
  OUTPUT ${HEADLESS_GENERATED_DIR}/embedded_resource_script.cpp
  COMMAND ${CMAKE_COMMAND} -DMODE=resources -DINPUT=${HEADLESS_RESOURCE_SCRIPT}
          -DOUTPUT=${HEADLESS_GENERATED_DIR}/embedded_resource_script.cpp -P ${HEADLESS_GENERATOR}
  DEPENDS ${HEADLESS_RESOURCE_DEPENDS} ${HEADLESS_GENERATOR}
  COMMENT "Embedding ui/roomstat.rc for the headless dialogs"
  VERBATIM)

add_custom_command(
  OUTPUT ${HEADLESS_GENERATED_DIR}/plugin_exports.cpp
  COMMAND ${CMAKE_COMMAND} -DMODE=exports -DINPUT=${HEADLESS_DEFINITIONS}
          -DOUTPUT=${HEADLESS_GENERATED_DIR}/plugin_exports.cpp -P ${HEADLESS_GENERATOR}
  DEPENDS ${HEADLESS_DEFINITIONS} ${HEADLESS_GENERATOR}
  COMMENT "Generating the plug-in export table from Roomstat_32.def"
  VERBATIM)

file(GLOB HEADLESS_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/platform/*.cpp)
add_library(win32_headless STATIC
  ${HEADLESS_SOURCES}
  ${HEADLESS_GENERATED_DIR}/embedded_resource_script.cpp)
set(HEADLESS_EXPORT_TABLE ${HEADLESS_GENERATED_DIR}/plugin_exports.cpp)
target_include_directories(win32_headless PUBLIC ${CMAKE_SOURCE_DIR} ${CMAKE_SOURCE_DIR}/platform/include)
find_package(Threads REQUIRED)
target_link_libraries(win32_headless PUBLIC Threads::Threads)
# On 32-bit x86 the stand-in's functions are also called by the Windows
# module (PE loader), whose code keeps the stack 4-byte aligned only; they
# realign it before anything that needs the 16 bytes of the Linux ABI.
if(CMAKE_SIZEOF_VOID_P EQUAL 4 AND CMAKE_SYSTEM_PROCESSOR MATCHES "i.86|x86")
  target_compile_options(win32_headless PRIVATE -mincoming-stack-boundary=2)
endif()
