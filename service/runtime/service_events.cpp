#include "service/runtime/service_events.h"

#include "platform/event_log.h"
#include "schema/registry_schema.h"

namespace ferry {

uint16_t EventTypeFor(uint32_t eventId) {
  switch (eventId) {
    case kEventFailure:
    case kEventTransferError:
      return kEventError;
    case kEventAddressReplaced:
      return kEventWarning;
    case kEventDispatcherFailed:
    case kEventLoopStarted:
    case kEventLoopEnded:
    case kEventConnectionRun:
    case kEventConnecting:
      return kEventSuccess;
    default:
      return static_cast<uint16_t>(eventId);
  }
}

void ReportServiceEvent(uint32_t eventId, const char* text) {
  std::vector<std::string> strings;
  if (text != nullptr) strings.emplace_back(text);
  WriteEvent(schema::kServiceName, eventId, EventTypeFor(eventId), strings);
}

void ReportServiceEvent(uint32_t eventId, uint16_t type, const std::vector<std::string>& strings) {
  WriteEvent(schema::kServiceName, eventId, type, strings);
}

}  // namespace ferry
