// Shared libraries that a host loads the first time it needs them rather
// than at every start of the program: a library that only some runs use
// then costs the others nothing (loading one means mapping it and applying
// its relocations, a millisecond or more for a large one).
#pragma once

#include <string>

namespace hostkit {

// The library of this shared object name, loaded now (RTLD_NOW,
// RTLD_LOCAL) and never unloaded; throws std::runtime_error when it cannot
// be loaded.
void* LoadLibraryNamed(const char* soname);

// The address of `name` in `library`, into *function; an absent name is
// added to `missing`.
void* FindSymbol(void* library, const char* name, std::string& missing);
template <typename Function>
void Resolve(void* library, const char* name, Function* function, std::string& missing) {
  *function = reinterpret_cast<Function>(FindSymbol(library, name, missing));
}

// Throws std::runtime_error naming the library and the missing functions,
// if any.
void RequireAll(const char* soname, const std::string& missing);

}  // namespace hostkit
