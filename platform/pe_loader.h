// A loader for 32-bit Windows DLLs (PE32) on the 32-bit x86 Linux build, so
// that the plug-in module that ships runs over the headless stand-in.
//
// It maps the sections, applies the base relocations, binds every import by
// DLL and name (KERNEL32 and USER32 to the stand-in's own stdcall functions,
// msvcrt to the C library through small adapters), gives the thread a
// thread block reachable through %fs, runs the TLS callbacks and the entry
// point with DLL_PROCESS_ATTACH, and registers the module with the stand-in
// (exports by name and ordinal, dialog templates from its resources).
// Unloading runs DLL_PROCESS_DETACH and forgets the module.
//
// The module runs on the thread that loaded it. On other builds loading
// fails with a message.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>
#include <vector>

namespace headless {

struct PeModule;

// An import bound to something else than the stand-in's implementation
// (for tests that stand in for another C library).
struct ImportOverride {
  std::string dll;  // as the module names it, e.g. "msvcrt.dll"
  std::string name;
  const void* address;
};

// Null, with the reason in `error`, when the file is no PE32 DLL for x86, an
// import cannot be bound (the reason names it), a record is damaged, or the
// entry point reports failure.
PeModule* LoadPeModule(const std::string& path, std::string* error,
                       const std::vector<ImportOverride>& overrides = {});
void FreePeModule(PeModule* module);

// The module handle (the image base), as GetProcAddress and DialogBoxParamA
// take it.
HINSTANCE PeModuleHandle(const PeModule* module);
// The bytes of a resource of a numeric type by numeric name, or by text
// name (resource names are upper case); empty when there is none.
std::string_view PeResource(const PeModule* module, int type, int id);
std::string_view PeResource(const PeModule* module, int type, const std::string& name);

}  // namespace headless
