// Loading a shared library by name at run time and finding its functions
// (dlopen/dlsym on Linux, LoadLibrary/GetProcAddress on Windows).
#pragma once

#include <string>
#include <string_view>

namespace ferry {

// The file name this system gives a shared library called `base`
// ("lib<base>.so" on Linux, "<base>.dll" on Windows).
std::string SharedLibraryFileName(std::string_view base);

// A loaded library; unloaded when the object ends.
class DynamicLibrary {
 public:
  DynamicLibrary() = default;
  DynamicLibrary(const DynamicLibrary&) = delete;
  DynamicLibrary& operator=(const DynamicLibrary&) = delete;
  ~DynamicLibrary();

  // Loads `path` (a bare file name is looked up on the system's library path).
  // On failure answers false and keeps the system's reason for Error().
  bool Load(const std::string& path);
  bool IsLoaded() const { return handle_ != nullptr; }
  // The address of an exported function, or null.
  void* Symbol(const char* name) const;
  const std::string& Error() const { return error_; }

 private:
  void* handle_ = nullptr;
  std::string error_;
};

}  // namespace ferry
