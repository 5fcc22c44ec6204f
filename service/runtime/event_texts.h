// The English texts of the service's events, for logs without a message table
// (syslog, the terminal of "-debug"): the same texts as the Windows message
// file, with %1, %2, ... standing for the insertion strings.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/event_log.h"

namespace ferry {

struct EventText {
  uint32_t id;
  const char* text;
  EventPriority priority;  // what the event means, whatever its event-log type
};

// Every event the service reports, in id order.
const std::vector<EventText>& EventTexts();

// `text` with %1 .. %9 replaced by the insertion strings (a missing one by
// nothing) and "%%" by "%".
std::string FillInsertions(std::string_view text, const std::vector<std::string>& strings);

// "[event 5] Connection NORAS, account office: 3 message(s) forwarded."
// An id without a text gives its insertion strings after the id.
std::string ReadableEventLine(uint32_t eventId, const std::vector<std::string>& strings);

// The priority of an event by its meaning; an unknown id counts as information.
EventPriority PriorityOf(uint32_t eventId);

}  // namespace ferry
