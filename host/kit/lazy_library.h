// Shared libraries that a host loads the first time it needs them rather
// than at every start of the program: a library that only some runs use
// then costs the others nothing (loading one means mapping it and applying
// its relocations, a millisecond or more for a large one).
#pragma once

#include <string>

namespace hostkit {

// One library's functions, looked up by name:
//
//   LazyLibrary library("libname.so.N");  // loaded now, never unloaded
//   library.Resolve("function", &table.function);
//   library.RequireAll();                 // throws if any was absent
//
// The constructor and RequireAll throw std::runtime_error naming the
// library (and the functions it lacks).
class LazyLibrary {
 public:
  explicit LazyLibrary(const char* soname);
  template <typename Function>
  void Resolve(const char* name, Function* function) {
    *function = reinterpret_cast<Function>(Find(name));
  }
  void RequireAll() const;

 private:
  void* Find(const char* name);
  const char* soname_;
  void* handle_;
  std::string missing_;
};

}  // namespace hostkit
