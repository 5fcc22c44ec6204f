// UDP sockets over Winsock.
#include "platform/udp_socket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <string>

#include "platform/win32/winsock_ready.h"

namespace ferry {
namespace {

sockaddr_in MakeAddress(uint32_t address, uint16_t port) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(address);
  sa.sin_port = htons(port);
  return sa;
}

SOCKET Native(intptr_t handle) { return static_cast<SOCKET>(handle); }

intptr_t NewDatagramSocket() {
  if (!win32::WinsockReady()) return -1;
  SOCKET s = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  return s == INVALID_SOCKET ? -1 : static_cast<intptr_t>(s);
}

}  // namespace

bool ParseIpv4Address(std::string_view text, uint32_t* address) {
  std::string copy(text);
  in_addr parsed{};
  if (inet_pton(AF_INET, copy.c_str(), &parsed) != 1) return false;
  *address = ntohl(parsed.s_addr);
  return true;
}

UdpSocket::UdpSocket() : handle_(NewDatagramSocket()) {}

UdpSocket::~UdpSocket() {
  if (Valid()) closesocket(Native(handle_));
}

bool UdpSocket::Valid() const { return handle_ != -1; }

bool UdpSocket::Bind(uint32_t address, uint16_t port) {
  if (!Valid()) return false;
  // Exclusive, as a bound port is on Linux: a second listener must fail.
  BOOL exclusive = TRUE;
  setsockopt(Native(handle_), SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive),
             sizeof exclusive);
  sockaddr_in sa = MakeAddress(address, port);
  return bind(Native(handle_), reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0;
}

uint16_t UdpSocket::LocalPort() const {
  if (!Valid()) return 0;
  sockaddr_in sa{};
  int len = sizeof sa;
  if (getsockname(Native(handle_), reinterpret_cast<sockaddr*>(&sa), &len) != 0) return 0;
  return ntohs(sa.sin_port);
}

bool UdpSocket::EnableBroadcast() {
  if (!Valid()) return false;
  BOOL on = TRUE;
  return setsockopt(Native(handle_), SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&on), sizeof on) == 0;
}

bool UdpSocket::SendTo(uint32_t address, uint16_t port, std::string_view data) {
  if (!Valid()) return false;
  sockaddr_in sa = MakeAddress(address, port);
  int sent = sendto(Native(handle_), data.data(), static_cast<int>(data.size()), 0,
                    reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
  return sent != SOCKET_ERROR && static_cast<std::size_t>(sent) == data.size();
}

UdpSocket::Received UdpSocket::Receive(char* buffer, std::size_t capacity, std::chrono::milliseconds timeout) {
  Received result;
  if (!Valid()) return result;
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(Native(handle_), &readable);
  auto ms = timeout.count();
  timeval limit{static_cast<long>(ms / 1000), static_cast<long>((ms % 1000) * 1000)};
  int ready = select(0, &readable, nullptr, nullptr, &limit);
  if (ready == 0) {
    result.outcome = Outcome::TimedOut;
    return result;
  }
  if (ready == SOCKET_ERROR) return result;
  int n = recv(Native(handle_), buffer, static_cast<int>(capacity), 0);
  if (n == SOCKET_ERROR) {
    // A datagram longer than the buffer fills it and fails with WSAEMSGSIZE;
    // its tail is gone.
    if (WSAGetLastError() == WSAEMSGSIZE) {
      result.outcome = Outcome::Datagram;
      result.truncated = true;
      result.length = capacity;
      return result;
    }
    int error = WSAGetLastError();
    result.outcome = (error == WSAEWOULDBLOCK || error == WSAEINTR) ? Outcome::TimedOut : Outcome::Failed;
    return result;
  }
  result.outcome = Outcome::Datagram;
  result.length = static_cast<std::size_t>(n);
  return result;
}

}  // namespace ferry
