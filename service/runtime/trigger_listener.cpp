#include "service/runtime/trigger_listener.h"

#include <array>
#include <cstdlib>
#include <cstring>

#include "platform/udp_socket.h"
#include "service/runtime/config_store.h"
#include "service/runtime/service_events.h"

namespace ferry {
namespace {

constexpr std::chrono::milliseconds kTriggerPause{3000};

uint32_t ListenAddress() {
  uint32_t address = kAnyAddress;
  const char* configured = std::getenv(kTriggerAddressEnvironmentVariable);
  if (configured != nullptr && *configured != '\0' && !ParseIpv4Address(configured, &address)) address = kAnyAddress;
  return address;
}

}  // namespace

bool TriggerNameOf(std::string_view datagram, std::string* name) {
  if (datagram.size() < kMinTriggerLength || datagram.size() > kMaxTriggerLength) return false;
  *name = std::string(datagram.substr(0, datagram.find('\0')));
  return true;
}

TriggerListenerOptions DefaultTriggerListenerOptions() {
  TriggerListenerOptions options;
  options.readPort = [] { return ReadTriggerPort(); };
  options.pause = [](LoopEvents& events) { return events.WaitStop(kTriggerPause); };
  return options;
}

void TriggerListener(LoopEvents& events, const TriggerListenerOptions& options) {
  UdpSocket socket;
  const uint32_t address = ListenAddress();
  bool bound = false;
  // One byte more than a trigger may have, so that a longer datagram shows.
  std::array<char, kMaxTriggerLength + 1> buffer{};
  while (!events.StopSet()) {
    if (!bound) {
      // A port in use is tried again after the pause, with the port read afresh.
      bound = socket.Bind(address, options.readPort());
      if (!bound) {
        if (options.pause(events)) break;
        continue;
      }
      if (options.listening) options.listening(socket.LocalPort());
    }
    UdpSocket::Received got = socket.Receive(buffer.data(), buffer.size(), options.receiveSlice);
    if (got.outcome == UdpSocket::Outcome::TimedOut) continue;
    std::string name;
    if (got.outcome == UdpSocket::Outcome::Datagram && !got.truncated &&
        TriggerNameOf(std::string_view(buffer.data(), got.length), &name)) {
      ReportServiceEvent(kEventTrigger, name);
      events.SetTrigger(name);
    }
    if (options.pause(events)) break;
  }
}

}  // namespace ferry
