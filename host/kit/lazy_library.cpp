#include "host/kit/lazy_library.h"

#include <dlfcn.h>

#include <stdexcept>

namespace hostkit {

LazyLibrary::LazyLibrary(const char* soname)
    : soname_(soname), handle_(dlopen(soname, RTLD_NOW | RTLD_LOCAL)) {
  if (handle_ == nullptr) {
    const char* why = dlerror();
    throw std::runtime_error(std::string("cannot load ") + soname + ": " + (why ? why : "unknown error"));
  }
}

void* LazyLibrary::Find(const char* name) {
  void* address = dlsym(handle_, name);
  if (address == nullptr) missing_ += std::string(missing_.empty() ? "" : ", ") + name;
  return address;
}

void LazyLibrary::RequireAll() const {
  if (!missing_.empty()) throw std::runtime_error(std::string(soname_) + " lacks " + missing_);
}

}  // namespace hostkit
