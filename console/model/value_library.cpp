#include "console/model/value_library.h"

#include <filesystem>

#include "platform/system_info.h"

namespace ferry::console {

ValueLibrary::ValueLibrary() : ValueLibrary(DefaultLocations()) {}

ValueLibrary::ValueLibrary(std::vector<std::string> candidates) : candidates_(std::move(candidates)) {}

std::vector<std::string> ValueLibrary::DefaultLocations() {
  std::string file = SharedLibraryFileName(values::kLibraryName);
  std::vector<std::string> places;
  std::string program = ModulePath();
  if (!program.empty()) places.push_back((std::filesystem::path(program).parent_path() / file).string());
  places.push_back(file);
  return places;
}

std::string ValueLibrary::FileName() const { return SharedLibraryFileName(values::kLibraryName); }

bool ValueLibrary::Bind() {
  if (get_ != nullptr && set_ != nullptr) return true;
  error_.clear();
  for (const std::string& place : candidates_) {
    // A bare file name goes to the system's search; a path only when it exists.
    bool bare = place.find('/') == std::string::npos && place.find('\\') == std::string::npos;
    std::error_code ec;
    if (!bare && !std::filesystem::exists(place, ec)) continue;
    if (!library_.Load(place)) {
      error_ = library_.Error();
      continue;
    }
    get_ = reinterpret_cast<GetValueFunction>(library_.Symbol(values::kGetValueSymbol));
    set_ = reinterpret_cast<SetValueFunction>(library_.Symbol(values::kSetValueSymbol));
    if (get_ != nullptr && set_ != nullptr) return true;
    error_ = place + " exportiert GetValue und SetValue nicht";
    return false;
  }
  if (error_.empty()) error_ = FileName() + " nicht gefunden";
  return false;
}

int32_t ValueLibrary::Get(reg::Key root, const std::string& path, const std::string& name, int32_t type,
                          char* buffer, int32_t size) const {
  if (get_ == nullptr) return static_cast<int32_t>(reg::kInvalidHandle);
  return get_(root, path.c_str(), name.c_str(), type, buffer, size);
}

int32_t ValueLibrary::Set(reg::Key key, const std::string& name, int32_t type, const std::string& text) const {
  if (set_ == nullptr) return static_cast<int32_t>(reg::kInvalidHandle);
  int32_t length = type == values::kNumber ? 4 : static_cast<int32_t>(text.size());
  return set_(key, name.c_str(), type, text.c_str(), length);
}

}  // namespace ferry::console
