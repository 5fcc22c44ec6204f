// The data ferryreg moves between the settings store, the command line and
// .reg files: key paths below a root, and values kept as type plus raw bytes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ferry::regtool {

enum class Root { kLocalMachine, kCurrentUser };

// A key below one of the roots; `parts` are the subkey names in order (empty
// for the root itself).
struct KeyPath {
  Root root = Root::kLocalMachine;
  std::vector<std::string> parts;

  bool operator==(const KeyPath&) const = default;
};

// One value: an empty name is the key's default value.
struct ValueData {
  std::string name;
  uint32_t type = 0;
  std::string bytes;

  bool operator==(const ValueData&) const = default;
};

// One key with every value it holds, as read from the store.
struct KeyDump {
  KeyPath path;
  std::vector<ValueData> values;

  bool operator==(const KeyDump&) const = default;
};

// Longest key name and value name the store takes.
inline constexpr std::size_t kMaxKeyNameLength = 255;
inline constexpr std::size_t kMaxValueNameLength = 16383;

}  // namespace ferry::regtool
