// UDP sockets over BSD sockets.
#include "platform/udp_socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace ferry {
namespace {

sockaddr_in MakeAddress(uint32_t address, uint16_t port) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(address);
  sa.sin_port = htons(port);
  return sa;
}

}  // namespace

bool ParseIpv4Address(std::string_view text, uint32_t* address) {
  std::string copy(text);
  in_addr parsed{};
  if (inet_pton(AF_INET, copy.c_str(), &parsed) != 1) return false;
  *address = ntohl(parsed.s_addr);
  return true;
}

UdpSocket::UdpSocket() : handle_(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0)) {}

UdpSocket::~UdpSocket() {
  if (Valid()) close(static_cast<int>(handle_));
}

bool UdpSocket::Valid() const { return handle_ >= 0; }

bool UdpSocket::Bind(uint32_t address, uint16_t port) {
  if (!Valid()) return false;
  sockaddr_in sa = MakeAddress(address, port);
  return bind(static_cast<int>(handle_), reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0;
}

uint16_t UdpSocket::LocalPort() const {
  if (!Valid()) return 0;
  sockaddr_in sa{};
  socklen_t len = sizeof sa;
  if (getsockname(static_cast<int>(handle_), reinterpret_cast<sockaddr*>(&sa), &len) != 0) return 0;
  return ntohs(sa.sin_port);
}

bool UdpSocket::EnableBroadcast() {
  if (!Valid()) return false;
  int on = 1;
  return setsockopt(static_cast<int>(handle_), SOL_SOCKET, SO_BROADCAST, &on, sizeof on) == 0;
}

bool UdpSocket::SendTo(uint32_t address, uint16_t port, std::string_view data) {
  if (!Valid()) return false;
  sockaddr_in sa = MakeAddress(address, port);
  ssize_t sent = sendto(static_cast<int>(handle_), data.data(), data.size(), MSG_NOSIGNAL,
                        reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
  return sent >= 0 && static_cast<std::size_t>(sent) == data.size();
}

UdpSocket::Received UdpSocket::Receive(char* buffer, std::size_t capacity, std::chrono::milliseconds timeout) {
  Received result;
  if (!Valid()) return result;
  pollfd pfd{static_cast<int>(handle_), POLLIN, 0};
  int ready = poll(&pfd, 1, static_cast<int>(timeout.count()));
  if (ready == 0 || (ready < 0 && errno == EINTR)) {
    result.outcome = Outcome::TimedOut;
    return result;
  }
  if (ready < 0) return result;
  // MSG_TRUNC makes recv answer the datagram's real length, so an oversized
  // datagram is recognised instead of being taken as its first bytes.
  ssize_t n = recv(static_cast<int>(handle_), buffer, capacity, MSG_TRUNC | MSG_DONTWAIT);
  if (n < 0) {
    result.outcome = (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) ? Outcome::TimedOut : Outcome::Failed;
    return result;
  }
  result.outcome = Outcome::Datagram;
  result.truncated = static_cast<std::size_t>(n) > capacity;
  result.length = result.truncated ? capacity : static_cast<std::size_t>(n);
  return result;
}

}  // namespace ferry
