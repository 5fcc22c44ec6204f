#include "platform/dynamic_library.h"

#include <dlfcn.h>

namespace ferry {

std::string SharedLibraryFileName(std::string_view base) { return "lib" + std::string(base) + ".so"; }

DynamicLibrary::~DynamicLibrary() {
  if (handle_ != nullptr) dlclose(handle_);
}

bool DynamicLibrary::Load(const std::string& path) {
  if (handle_ != nullptr) return true;
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    const char* reason = dlerror();
    error_ = reason != nullptr ? reason : "cannot load " + path;
    return false;
  }
  error_.clear();
  return true;
}

void* DynamicLibrary::Symbol(const char* name) const {
  if (handle_ == nullptr) return nullptr;
  return dlsym(handle_, name);
}

}  // namespace ferry
