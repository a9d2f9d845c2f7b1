// What a loaded Windows module's imports are bound to (32-bit x86 Linux).
#pragma once

namespace headless {

// The implementation of `name` from `dll` (case-insensitive, with or without
// ".dll"), or null when the stand-in has none.
const void* FindImportImplementation(const char* dll, const char* name);

}  // namespace headless
