// Service-level events of the event log under the source "Mailferry Service".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "service/transfer/event_ids.h"

namespace ferry {

// The event type written for an id.
uint16_t EventTypeFor(uint32_t eventId);

// Every event also goes to standard error as its readable line ("-debug").
void EchoEventsToStandardError(bool on);

// One event with one insertion string; a null text gives an event without one.
void ReportServiceEvent(uint32_t eventId, const char* text);
inline void ReportServiceEvent(uint32_t eventId, const std::string& text) { ReportServiceEvent(eventId, text.c_str()); }

// One event with any number of insertion strings (the run reports).
void ReportServiceEvent(uint32_t eventId, uint16_t type, const std::vector<std::string>& strings);

}  // namespace ferry
