// The trigger listener: a thread that receives UDP datagrams naming a
// connection on the "TriggerPort" and queues that connection for the scheduler.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "service/runtime/loop_events.h"

namespace ferry {

// The listener binds to any local address unless MAILFERRY_TRIGGER_ADDRESS names
// one as a dotted IPv4 address (tests and the demo use loopback).
inline constexpr const char* kTriggerAddressEnvironmentVariable = "MAILFERRY_TRIGGER_ADDRESS";

inline constexpr std::size_t kMinTriggerLength = 2;
inline constexpr std::size_t kMaxTriggerLength = 60;

// The connection name a datagram carries, or nothing when the datagram is not
// accepted (fewer than 2 or more than 60 bytes). A NUL ends the name.
bool TriggerNameOf(std::string_view datagram, std::string* name);

// The address to listen on: any address when the variable is unset or empty,
// the address it names when that is a dotted IPv4 address, nothing otherwise
// (a host name such as "localhost" is refused rather than widened to any).
std::optional<uint32_t> TriggerListenAddress();

// One entry of "Trigger Hosts": an address or a network (address/prefix).
struct SenderRule {
  uint32_t network = 0;
  uint32_t mask = 0xFFFFFFFF;
};

// Parses "Trigger Hosts": entries separated by blanks or commas, each a dotted
// IPv4 address or address/prefix (0..32). Entries that do not parse are left
// out (and listed in `rejected` when given), so a value that names no usable
// sender lets no sender through.
std::vector<SenderRule> ParseTriggerHosts(std::string_view text, std::vector<std::string>* rejected = nullptr);

// Whether datagrams from `sender` count: any sender when `text` is empty,
// otherwise a sender within one of `rules`.
bool SenderAllowed(std::string_view text, const std::vector<SenderRule>& rules, uint32_t sender);

struct TriggerListenerOptions {
  // The port to bind to, read afresh before every bind attempt.
  std::function<uint16_t()> readPort;
  // "Trigger Hosts", read at every bind.
  std::function<std::string()> readHosts;
  // The pause after a failed bind; answers true when the service stops
  // meanwhile. The service waits 3 s for StopEvent.
  std::function<bool(LoopEvents&)> pause;
  // Told the port once the socket is bound (tests wait for it before sending).
  std::function<void(uint16_t)> listening;
  // How long one receive waits before the listener looks at StopEvent again.
  std::chrono::milliseconds receiveSlice{250};
  // A name accepted is ignored for this long afterwards.
  std::chrono::milliseconds repeatHold{3000};
};

// The service's options: ReadTriggerPort, the global "Trigger Hosts" and a 3-s
// wait for StopEvent.
TriggerListenerOptions DefaultTriggerListenerOptions();

// Runs until StopEvent is set. Every datagram is read as it arrives. One from a
// sender "Trigger Hosts" does not allow is dropped first. An accepted name is
// queued for the scheduler (LoopEvents::SetTrigger) and reported as event 10;
// the same name (letter case ignored) within 3 s of its acceptance, a name
// still waiting in the queue, or one arriving while the queue is full is
// ignored. So a flood of datagrams neither delays another name nor fills the
// socket's queue. Returns false at once, with an error event, when
// MAILFERRY_TRIGGER_ADDRESS is not a dotted IPv4 address.
bool TriggerListener(LoopEvents& events, const TriggerListenerOptions& options);
// The same on a socket already bound to the trigger port (the service binds it
// before it reports itself running, so that a port it cannot have stops the
// start); `boundSocket` must outlive the listener.
class UdpSocket;
bool TriggerListener(LoopEvents& events, const TriggerListenerOptions& options, UdpSocket* boundSocket);

}  // namespace ferry
