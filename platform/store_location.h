// Where the settings store lives on this system, for messages and tools.
#pragma once

#include <string>

namespace ferry::reg {

// Environment variable that overrides the store's location: the hive file on
// Linux; on Windows a scratch key below HKEY_CURRENT_USER that stands in for
// the two roots (tests and demos only).
inline constexpr const char* kHiveEnvironmentVariable = "MAILFERRY_HIVE";

// Environment variable naming a folder of other computers' hives
// ("<computer>.hive"), for reaching another computer's store on Linux.
inline constexpr const char* kRemoteHivesEnvironmentVariable = "MAILFERRY_REMOTE_HIVES";

// A human-readable description of the local store's location.
std::string StoreLocation();

}  // namespace ferry::reg
