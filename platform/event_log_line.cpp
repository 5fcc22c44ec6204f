#include <cstdio>

#include "platform/event_log.h"

namespace ferry {

std::string FormatEventLine(uint32_t eventId, uint16_t type, const std::vector<std::string>& strings) {
  char id[16];
  std::snprintf(id, sizeof id, eventId < 0x10000 ? "%u" : "0x%08X", eventId);
  std::string line = id;
  line += '\t';
  line += std::to_string(type);
  for (const std::string& s : strings) {
    line += '\t';
    for (char c : s) {
      switch (c) {
        case '\t': line += "\\t"; break;
        case '\r': line += "\\r"; break;
        case '\n': line += "\\n"; break;
        case '\\': line += "\\\\"; break;
        default: line += c;
      }
    }
  }
  line += '\n';
  return line;
}

}  // namespace ferry
