#include "tools/ferryreg/key_path.h"

#include "platform/registry.h"

namespace ferry::regtool {

std::string FoldName(std::string_view name) { return reg::FoldName(name); }

std::string_view RootName(Root root) {
  return root == Root::kLocalMachine ? "HKEY_LOCAL_MACHINE" : "HKEY_CURRENT_USER";
}

KeyPathParse ParseKeyPath(std::string_view text) {
  KeyPathParse result;
  while (!text.empty() && text.back() == '\\') text.remove_suffix(1);
  std::size_t cut = text.find('\\');
  std::string root = FoldName(text.substr(0, cut));
  if (root == "HKEY_LOCAL_MACHINE" || root == "HKLM") {
    result.path.root = Root::kLocalMachine;
  } else if (root == "HKEY_CURRENT_USER" || root == "HKCU") {
    result.path.root = Root::kCurrentUser;
  } else {
    result.error = "the key must begin with HKEY_LOCAL_MACHINE (HKLM) or HKEY_CURRENT_USER (HKCU)";
    return result;
  }
  while (cut != std::string_view::npos) {
    std::size_t start = cut + 1;
    cut = text.find('\\', start);
    std::string_view name = text.substr(start, cut == std::string_view::npos ? std::string_view::npos : cut - start);
    if (name.empty()) {
      result.error = "the key path holds an empty key name";
      return result;
    }
    if (name.size() > kMaxKeyNameLength) {
      result.error = "a key name is longer than 255 characters";
      return result;
    }
    result.path.parts.emplace_back(name);
  }
  return result;
}

std::string SubKeyText(const KeyPath& path) {
  std::string out;
  for (const std::string& part : path.parts) {
    if (!out.empty()) out += '\\';
    out += part;
  }
  return out;
}

std::string FullKeyName(const KeyPath& path) {
  std::string out(RootName(path.root));
  for (const std::string& part : path.parts) {
    out += '\\';
    out += part;
  }
  return out;
}

}  // namespace ferry::regtool
