// Events go to the application event log through RegisterEventSourceA and
// ReportEventA (category 0, no user, no raw data); the texts come from the
// message file registered for the source. When MAILFERRY_EVENT_FILE names a
// file, one line per event is also appended to it with a single write, as on
// Linux, so that tests and the demo read the same record on both systems.
#include <windows.h>

#include <cstdlib>

#include "platform/event_log.h"

namespace ferry {
namespace {

void AppendToEventFile(const std::string& line) {
  const char* path = std::getenv(kEventFileEnvironmentVariable);
  if (path == nullptr || *path == '\0') return;
  HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  CloseHandle(file);
}

}  // namespace

bool WriteEvent(std::string_view source, uint32_t eventId, uint16_t type, const std::vector<std::string>& strings,
                std::string_view /*text*/, EventPriority /*priority*/) {
  AppendToEventFile(FormatEventLine(eventId, type, strings));
  std::string name(source);
  HANDLE log = RegisterEventSourceA(nullptr, name.c_str());
  if (log == nullptr) return false;
  std::vector<const char*> inserts;
  inserts.reserve(strings.size());
  for (const std::string& s : strings) inserts.push_back(s.c_str());
  ReportEventA(log, type, 0, eventId, nullptr, static_cast<WORD>(inserts.size()), 0,
               inserts.empty() ? nullptr : inserts.data(), nullptr);
  DeregisterEventSource(log);
  return true;
}

}  // namespace ferry
