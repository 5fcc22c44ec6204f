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

// Whether the local store exists (the system registry always does); asking
// creates nothing.
bool StoreExists();

// Why the local store cannot be used, in words: "does not exist", "is a
// directory", "is not a store file", "is read-only", ...; empty when nothing
// wrong is found.
std::string StoreProblem();

}  // namespace ferry::reg
