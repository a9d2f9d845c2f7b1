# The plug-in module for the host editor: Roomstat_32.xfm, a PE32 DLL.
#
# Exports come from plugin/Roomstat_32.def (the one list of names and
# ordinals), without stdcall decoration; the dialog templates and the toolbar
# bitmap come from ui/roomstat.rc. The C and C++ runtimes of the compiler are
# linked in, so the module imports only system DLLs.
enable_language(RC)

set(ROOMSTAT_DEF_FILE ${CMAKE_SOURCE_DIR}/plugin/Roomstat_32.def)
set(ROOMSTAT_RC_FILE ${CMAKE_SOURCE_DIR}/ui/roomstat.rc)

add_library(Roomstat_32 SHARED ${ROOMSTAT_PLUGIN_SOURCES} ${ROOMSTAT_DEF_FILE} ${ROOMSTAT_RC_FILE})
set_target_properties(Roomstat_32 PROPERTIES
  PREFIX ""
  OUTPUT_NAME "Roomstat_32"
  SUFFIX ".xfm"
  # The host loads the module; nobody links against it.
  ENABLE_EXPORTS OFF)
target_include_directories(Roomstat_32 PRIVATE ${CMAKE_SOURCE_DIR})
# windres looks for "toolbaricon.bmp" relative to the include path.
set_source_files_properties(${ROOMSTAT_RC_FILE} PROPERTIES
  COMPILE_FLAGS "--include-dir=${CMAKE_SOURCE_DIR}/ui"
  OBJECT_DEPENDS ${CMAKE_SOURCE_DIR}/ui/toolbaricon.bmp)
target_link_options(Roomstat_32 PRIVATE
  -static -static-libgcc -static-libstdc++
  # Export QueryXfm, not QueryXfm@4: the host finds the entry points by
  # their plain names.
  -Wl,--kill-at
  -Wl,--enable-stdcall-fixup
  -Wl,--subsystem,windows
  # The shipped module carries no debug sections (the static runtime's); its
  # symbol table stays, for the inspection of its stdcall exports.
  $<$<CONFIG:Release>:-Wl,--strip-debug>)
