// Service-level events of the event log under the source "Mailferry Service".
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ferry {

inline constexpr uint32_t kEventDispatcherFailed = 0;  // also "SetServiceStatus"
inline constexpr uint32_t kEventLoopStarted = 1;
inline constexpr uint32_t kEventLoopEnded = 2;
inline constexpr uint32_t kEventRunReport = 5;
inline constexpr uint32_t kEventTrigger = 10;
inline constexpr uint32_t kEventAddressReplaced = 20;
inline constexpr uint32_t kEventConnectionRun = 31;
inline constexpr uint32_t kEventConnecting = 32;
inline constexpr uint32_t kEventTickerReport = 105;
inline constexpr uint32_t kEventFailure = 0xC0000000;
inline constexpr uint32_t kEventTransferError = 0xC000001E;

// The event type written for an id.
uint16_t EventTypeFor(uint32_t eventId);

// One event with one insertion string; a null text gives an event without one.
void ReportServiceEvent(uint32_t eventId, const char* text);
inline void ReportServiceEvent(uint32_t eventId, const std::string& text) { ReportServiceEvent(eventId, text.c_str()); }

// One event with any number of insertion strings (the run reports).
void ReportServiceEvent(uint32_t eventId, uint16_t type, const std::vector<std::string>& strings);

}  // namespace ferry
