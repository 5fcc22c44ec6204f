#include "service/runtime/trigger_listener.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <deque>

#include "platform/registry.h"
#include "platform/udp_socket.h"
#include "schema/registry_schema.h"
#include "service/runtime/config_store.h"
#include "service/runtime/service_events.h"

namespace ferry {
namespace {

constexpr std::chrono::milliseconds kBindRetryPause{3000};
constexpr uint32_t kTriggerHostsReadLimit = 1024;

std::string ReadTriggerHosts() {
  reg::KeyHolder key;
  if (reg::OpenKey(reg::LocalMachine(), schema::kParametersKey, reg::kQueryValue, key.out()) != reg::kOk) return {};
  std::string bytes(kTriggerHostsReadLimit, '\0');
  uint32_t size = kTriggerHostsReadLimit;
  if (reg::QueryValue(key.get(), schema::kTriggerHosts, nullptr, bytes.data(), &size) != reg::kOk) return {};
  bytes.resize(std::min(size, kTriggerHostsReadLimit));
  if (auto nul = bytes.find('\0'); nul != std::string::npos) bytes.resize(nul);
  return bytes;
}

bool SameName(const std::string& a, const std::string& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](unsigned char x, unsigned char y) {
    return std::tolower(x) == std::tolower(y);
  });
}

// The names accepted lately, for the 3-s rule (at most one entry per name).
class RecentNames {
 public:
  using Clock = std::chrono::steady_clock;

  bool Held(const std::string& name, Clock::time_point now, std::chrono::milliseconds hold) {
    while (!recent_.empty() && now - recent_.front().second >= hold) recent_.pop_front();
    return std::any_of(recent_.begin(), recent_.end(), [&](const auto& e) { return SameName(e.first, name); });
  }
  void Accepted(const std::string& name, Clock::time_point now) {
    if (recent_.size() >= LoopEvents::kTriggerQueueLimit) recent_.pop_front();
    recent_.emplace_back(name, now);
  }

 private:
  std::deque<std::pair<std::string, Clock::time_point>> recent_;
};

bool Blank(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isspace(c) != 0 || c == ','; });
}

}  // namespace

bool TriggerNameOf(std::string_view datagram, std::string* name) {
  if (datagram.size() < kMinTriggerLength || datagram.size() > kMaxTriggerLength) return false;
  *name = std::string(datagram.substr(0, datagram.find('\0')));
  return true;
}

std::optional<uint32_t> TriggerListenAddress() {
  const char* configured = std::getenv(kTriggerAddressEnvironmentVariable);
  if (configured == nullptr || *configured == '\0') return kAnyAddress;
  uint32_t address = 0;
  if (!ParseIpv4Address(configured, &address)) return std::nullopt;
  return address;
}

std::vector<SenderRule> ParseTriggerHosts(std::string_view text, std::vector<std::string>* rejected) {
  std::vector<SenderRule> rules;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find_first_of(" \t\r\n,", at);
    if (end == std::string_view::npos) end = text.size();
    std::string_view entry = text.substr(at, end - at);
    at = end + 1;
    if (entry.empty()) continue;
    SenderRule rule;
    std::string_view address = entry.substr(0, entry.find('/'));
    bool ok = ParseIpv4Address(address, &rule.network);
    if (ok && address.size() < entry.size()) {
      std::string_view prefix = entry.substr(address.size() + 1);
      ok = !prefix.empty() && prefix.size() <= 2 &&
           std::all_of(prefix.begin(), prefix.end(), [](unsigned char c) { return std::isdigit(c) != 0; });
      int bits = ok ? std::atoi(std::string(prefix).c_str()) : 0;
      ok = ok && bits <= 32;
      rule.mask = !ok || bits == 0 ? 0 : 0xFFFFFFFFu << (32 - bits);
    }
    if (!ok) {
      if (rejected != nullptr) rejected->emplace_back(entry);
      continue;
    }
    rule.network &= rule.mask;
    rules.push_back(rule);
  }
  return rules;
}

bool SenderAllowed(std::string_view text, const std::vector<SenderRule>& rules, uint32_t sender) {
  if (Blank(text)) return true;
  return std::any_of(rules.begin(), rules.end(),
                     [sender](const SenderRule& r) { return (sender & r.mask) == r.network; });
}

TriggerListenerOptions DefaultTriggerListenerOptions() {
  TriggerListenerOptions options;
  options.readPort = [] { return ReadTriggerPort(); };
  options.readHosts = [] { return ReadTriggerHosts(); };
  options.pause = [](LoopEvents& events) { return events.WaitStop(kBindRetryPause); };
  return options;
}

bool TriggerListener(LoopEvents& events, const TriggerListenerOptions& options) {
  return TriggerListener(events, options, nullptr);
}

bool TriggerListener(LoopEvents& events, const TriggerListenerOptions& options, UdpSocket* boundSocket) {
  const std::optional<uint32_t> address = TriggerListenAddress();
  if (!address) {
    ReportServiceEvent(kEventFailure, std::string(kTriggerAddressEnvironmentVariable) + " is not a dotted IPv4 address: " +
                                          std::getenv(kTriggerAddressEnvironmentVariable));
    return false;
  }
  UdpSocket own;
  UdpSocket& socket = boundSocket != nullptr ? *boundSocket : own;
  bool bound = boundSocket != nullptr;
  bool ready = false;  // bound, with "Trigger Hosts" read
  std::string hosts;
  std::vector<SenderRule> rules;
  RecentNames recent;
  // One byte more than a trigger may have, so that a longer datagram shows.
  std::array<char, kMaxTriggerLength + 1> buffer{};
  while (!events.StopSet()) {
    if (!ready) {
      if (!bound) {
        // A port in use is tried again after the pause, with the port read afresh.
        bound = socket.Bind(*address, options.readPort());
        if (!bound) {
          if (options.pause(events)) break;
          continue;
        }
      }
      ready = true;
      hosts = options.readHosts ? options.readHosts() : std::string();
      std::vector<std::string> rejected;
      rules = ParseTriggerHosts(hosts, &rejected);
      for (const std::string& entry : rejected)
        ReportServiceEvent(kEventFailure, "\"Trigger Hosts\" entry is neither an address nor a network: " + entry);
      if (options.listening) options.listening(socket.LocalPort());
    }
    UdpSocket::Received got = socket.Receive(buffer.data(), buffer.size(), options.receiveSlice);
    if (got.outcome == UdpSocket::Outcome::TimedOut) continue;
    if (got.outcome == UdpSocket::Outcome::Failed) {
      if (options.pause(events)) break;
      continue;
    }
    if (!SenderAllowed(hosts, rules, got.sender)) continue;
    std::string name;
    if (got.truncated || !TriggerNameOf(std::string_view(buffer.data(), got.length), &name)) continue;
    const auto now = std::chrono::steady_clock::now();
    if (name.empty() || recent.Held(name, now, options.repeatHold)) continue;
    if (events.SetTrigger(name)) {
      recent.Accepted(name, now);
      ReportServiceEvent(kEventTrigger, name);
    }
  }
  return true;
}

}  // namespace ferry
