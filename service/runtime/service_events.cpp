#include "service/runtime/service_events.h"

#include <atomic>
#include <cstdio>

#include "platform/event_log.h"
#include "schema/registry_schema.h"
#include "service/runtime/event_texts.h"

namespace ferry {
namespace {

std::atomic<bool> gEcho{false};

void Report(uint32_t eventId, uint16_t type, const std::vector<std::string>& strings) {
  std::string text = ReadableEventLine(eventId, strings);
  WriteEvent(schema::kServiceName, eventId, type, strings, text, PriorityOf(eventId));
  if (gEcho) {
    text += '\n';
    std::fwrite(text.data(), 1, text.size(), stderr);
  }
}

}  // namespace

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

void EchoEventsToStandardError(bool on) { gEcho = on; }

void ReportServiceEvent(uint32_t eventId, const char* text) {
  std::vector<std::string> strings;
  if (text != nullptr) strings.emplace_back(text);
  Report(eventId, EventTypeFor(eventId), strings);
}

void ReportServiceEvent(uint32_t eventId, uint16_t type, const std::vector<std::string>& strings) {
  Report(eventId, type, strings);
}

}  // namespace ferry
