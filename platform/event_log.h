// The system event log: the application event log on Windows, syslog on Linux.
// An additional file sink, named by an environment variable, receives one line
// per event so that tests and the demo can read what was reported.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ferry {

inline constexpr const char* kEventFileEnvironmentVariable = "MAILFERRY_EVENT_FILE";

// Event types (the Windows numbers).
inline constexpr uint16_t kEventSuccess = 0;
inline constexpr uint16_t kEventError = 1;
inline constexpr uint16_t kEventWarning = 2;
inline constexpr uint16_t kEventInformation = 4;

// Writes one event from `source` with any number of insertion strings.
// Returns false when the event source could not be opened.
bool WriteEvent(std::string_view source, uint32_t eventId, uint16_t type, const std::vector<std::string>& strings);

// The file sink's line for one event: id (decimal below 0x10000, else "0x%08X"),
// type and the insertion strings, separated by tabs; tab, CR, LF and backslash
// inside a string are written as \t, \r, \n and \\.
std::string FormatEventLine(uint32_t eventId, uint16_t type, const std::vector<std::string>& strings);

}  // namespace ferry
