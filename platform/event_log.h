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

// How serious an event is by its meaning, for logs that rank their lines
// (syslog); the event-log type stays as the Windows event log has it.
enum class EventPriority { Information, Warning, Error };

// Writes one event from `source` with any number of insertion strings. Logs
// without a message table (syslog) take `text`, the event's filled-in text, at
// `priority`; the Windows event log takes its own message file's text.
// Returns false when the event source could not be opened.
bool WriteEvent(std::string_view source, uint32_t eventId, uint16_t type, const std::vector<std::string>& strings,
                std::string_view text, EventPriority priority);

// The file sink's line for one event: id (decimal below 0x10000, else "0x%08X"),
// type and the insertion strings, separated by tabs; tab, CR, LF and backslash
// inside a string are written as \t, \r, \n and \\.
std::string FormatEventLine(uint32_t eventId, uint16_t type, const std::vector<std::string>& strings);

}  // namespace ferry
