// The trigger listener: a thread that receives UDP datagrams naming a
// connection on the "TriggerPort" and makes the scheduler run that connection.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "service/runtime/loop_events.h"

namespace ferry {

// The listener binds to any local address unless MAILFERRY_TRIGGER_ADDRESS names
// one (tests and the demo use loopback).
inline constexpr const char* kTriggerAddressEnvironmentVariable = "MAILFERRY_TRIGGER_ADDRESS";

inline constexpr std::size_t kMinTriggerLength = 2;
inline constexpr std::size_t kMaxTriggerLength = 30;

// The connection name a datagram carries, or nothing when the datagram is not
// accepted (fewer than 2 or more than 30 bytes). A NUL ends the name.
bool TriggerNameOf(std::string_view datagram, std::string* name);

struct TriggerListenerOptions {
  // The port to bind to, read afresh before every bind attempt.
  std::function<uint16_t()> readPort;
  // The pause after a datagram or a failed bind; answers true when the service
  // stops meanwhile. The service waits 3 s for StopEvent.
  std::function<bool(LoopEvents&)> pause;
  // Told the port once the socket is bound (tests wait for it before sending).
  std::function<void(uint16_t)> listening;
  // How long one receive waits before the listener looks at StopEvent again.
  std::chrono::milliseconds receiveSlice{250};
};

// The service's options: ReadTriggerPort, and a 3-s wait for StopEvent.
TriggerListenerOptions DefaultTriggerListenerOptions();

// Runs until StopEvent is set. Every accepted datagram is reported as event 10
// with its name, stored as TriggerName and sets TriggerEvent; then the listener
// pauses, so it takes at most one datagram per pause (the others wait in the
// socket's queue).
void TriggerListener(LoopEvents& events, const TriggerListenerOptions& options);

}  // namespace ferry
