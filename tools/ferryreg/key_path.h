// Key paths as written on the command line and in .reg files:
// "HKEY_LOCAL_MACHINE\Software\Name" or "HKLM\Software\Name" (roots in any letter case).
#pragma once

#include <string>
#include <string_view>

#include "tools/ferryreg/reg_data.h"

namespace ferry::regtool {

struct KeyPathParse {
  KeyPath path;
  std::string error;  // empty on success
};

// Parses a root name, then '\'-separated key names. Trailing '\' are ignored;
// an empty name in the middle ("a\\b") or a name longer than the store allows
// is an error.
KeyPathParse ParseKeyPath(std::string_view text);

// "HKEY_LOCAL_MACHINE" or "HKEY_CURRENT_USER".
std::string_view RootName(Root root);

// The subkey path below the root, names joined by '\' (empty for the root).
std::string SubKeyText(const KeyPath& path);

// The full name with the long root name: "HKEY_LOCAL_MACHINE\Software\Name".
std::string FullKeyName(const KeyPath& path);

// Latin-1 upper-case fold used to compare names the way the store does.
std::string FoldName(std::string_view name);

}  // namespace ferry::regtool
