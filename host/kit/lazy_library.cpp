#include "host/kit/lazy_library.h"

#include <dlfcn.h>

#include <stdexcept>

namespace hostkit {

void* LoadLibraryNamed(const char* soname) {
  void* library = dlopen(soname, RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    const char* why = dlerror();
    throw std::runtime_error(std::string("cannot load ") + soname + ": " + (why ? why : "unknown error"));
  }
  return library;
}

void* FindSymbol(void* library, const char* name, std::string& missing) {
  void* address = dlsym(library, name);
  if (address == nullptr) missing += std::string(missing.empty() ? "" : ", ") + name;
  return address;
}

void RequireAll(const char* soname, const std::string& missing) {
  if (!missing.empty()) throw std::runtime_error(std::string(soname) + " lacks " + missing);
}

}  // namespace hostkit
