#include "service/runtime/udp_notice.h"

#include <cstdlib>
#include <cstring>

#include "platform/udp_socket.h"
#include "service/runtime/service_events.h"

namespace ferry {
namespace {

bool NoticeAddress(uint32_t* address) {
  const char* configured = std::getenv(kNoticeAddressEnvironmentVariable);
  if (configured == nullptr || *configured == '\0') {
    *address = kBroadcastAddress;
    return true;
  }
  return ParseIpv4Address(configured, address);
}

}  // namespace

int BroadcastNotice(const std::string& text, uint32_t port) {
  std::string payload(text.c_str(), std::strlen(text.c_str()));
  UdpSocket socket;
  uint32_t address = 0;
  bool sent = NoticeAddress(&address) && socket.EnableBroadcast() &&
              socket.SendTo(address, static_cast<uint16_t>(port & 0xFFFF), payload);
  if (!sent) ReportServiceEvent(kEventFailure, "BROADCAST fail");
  return -1;
}

}  // namespace ferry
