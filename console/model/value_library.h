// The console's binding to the value library `mailferryres`, made by name at
// the first value access: next to the console's program file, then on the
// system's library path.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/dynamic_library.h"
#include "platform/registry.h"
#include "valuelib/value_api.h"

namespace ferry::console {

class ValueLibrary {
 public:
  // Looks in the default places.
  ValueLibrary();
  // Looks only at these paths, in order.
  explicit ValueLibrary(std::vector<std::string> candidates);

  // Binds the library unless it is bound; false when it cannot be found or
  // lacks a function (Error() says why). Tried again at the next call.
  bool Bind();
  const std::string& Error() const { return error_; }
  // The file name looked for, for messages.
  std::string FileName() const;

  // The two functions; Bind() must have succeeded.
  int32_t Get(reg::Key root, const std::string& path, const std::string& name, int32_t type, char* buffer,
              int32_t size) const;
  int32_t Set(reg::Key key, const std::string& name, int32_t type, const std::string& text) const;

  static std::vector<std::string> DefaultLocations();

 private:
  std::vector<std::string> candidates_;
  DynamicLibrary library_;
  GetValueFunction get_ = nullptr;
  SetValueFunction set_ = nullptr;
  std::string error_;
};

}  // namespace ferry::console
