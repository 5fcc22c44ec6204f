// The socket system calls over Winsock (platform/socket_calls.h and the single
// calls of platform/socket.h). The error codes are Winsock's own numbers, which
// the seam's constants already are. Every socket starts Winsock first (see
// winsock_ready.h).
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <climits>
#include <cstring>

#include "platform/socket.h"
#include "platform/socket_calls.h"
#include "platform/win32/winsock_ready.h"

namespace ferry::net {
namespace {

SOCKET Native(SocketHandle s) { return static_cast<SOCKET>(s); }
SocketHandle Handle(SOCKET s) { return s == INVALID_SOCKET ? kNoSocket : static_cast<SocketHandle>(s); }

void Record(bool failed) { sys::RecordError(failed ? WSAGetLastError() : 0); }

int Clamp(std::size_t length) { return static_cast<int>(std::min<std::size_t>(length, INT_MAX)); }

sockaddr_in MakeAddress(uint32_t address, uint16_t port) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(address);
  sa.sin_port = htons(port);
  return sa;
}

template <typename Value>
bool Set(SOCKET s, int level, int name, Value value) {
  return ::setsockopt(s, level, name, reinterpret_cast<const char*>(&value), sizeof value) == 0;
}

}  // namespace

namespace sys {

SocketHandle Open(Kind kind) {
  if (!win32::WinsockReady()) {
    RecordError(WSANOTINITIALISED);
    return kNoSocket;
  }
  SOCKET s = kind == Kind::Stream ? ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP)
                                  : ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  Record(s == INVALID_SOCKET);
  return Handle(s);
}

void Close(SocketHandle socket) { ::closesocket(Native(socket)); }

bool SetOption(SocketHandle socket, Option option, int value) {
  BOOL flag = value != 0 ? TRUE : FALSE;
  switch (option) {
    case Option::ReceiveTimeoutMs: return Set(Native(socket), SOL_SOCKET, SO_RCVTIMEO, static_cast<DWORD>(value));
    case Option::SendTimeoutMs: return Set(Native(socket), SOL_SOCKET, SO_SNDTIMEO, static_cast<DWORD>(value));
    case Option::NoDelay: return Set(Native(socket), IPPROTO_TCP, TCP_NODELAY, flag);
    case Option::Broadcast: return Set(Native(socket), SOL_SOCKET, SO_BROADCAST, flag);
    // Without it, Windows lets a second socket bind the same address and port.
    case Option::ExclusiveAddress: return Set(Native(socket), SOL_SOCKET, SO_EXCLUSIVEADDRUSE, flag);
  }
  return false;
}

bool ParseIpv4(const char* text, uint32_t* address) {
  in_addr parsed{};
  if (::inet_pton(AF_INET, text, &parsed) != 1) return false;
  *address = ntohl(parsed.s_addr);
  return true;
}

bool ResolveIpv4(const char* host, uint32_t* address) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (::getaddrinfo(host, nullptr, &hints, &found) != 0 || found == nullptr) {
    RecordError(kErrorHostNotFound);
    return false;
  }
  sockaddr_in first{};
  std::memcpy(&first, found->ai_addr, sizeof first);
  ::freeaddrinfo(found);
  *address = ntohl(first.sin_addr.s_addr);
  return true;
}

bool Bind(SocketHandle socket, uint32_t address, uint16_t port) {
  sockaddr_in local = MakeAddress(address, port);
  bool bound = ::bind(Native(socket), reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0;
  Record(!bound);
  return bound;
}

bool Listen(SocketHandle socket, int backlog) {
  bool listening = ::listen(Native(socket), backlog) == 0;
  Record(!listening);
  return listening;
}

bool Connect(SocketHandle socket, uint32_t address, uint16_t port) {
  sockaddr_in remote = MakeAddress(address, port);
  bool connected = ::connect(Native(socket), reinterpret_cast<const sockaddr*>(&remote), sizeof remote) == 0;
  Record(!connected);
  return connected;
}

uint16_t LocalPort(SocketHandle socket) {
  sockaddr_in local{};
  int length = sizeof local;
  if (::getsockname(Native(socket), reinterpret_cast<sockaddr*>(&local), &length) != 0) return 0;
  return ntohs(local.sin_port);
}

long SendDatagram(SocketHandle socket, uint32_t address, uint16_t port, const char* data, std::size_t length) {
  sockaddr_in remote = MakeAddress(address, port);
  int n = ::sendto(Native(socket), data, Clamp(length), 0, reinterpret_cast<const sockaddr*>(&remote), sizeof remote);
  Record(n == SOCKET_ERROR);
  return n == SOCKET_ERROR ? -1 : n;
}

long ReceiveDatagram(SocketHandle socket, char* buffer, std::size_t capacity, bool* truncated, uint32_t* sender) {
  sockaddr_in from{};
  int fromLength = sizeof from;
  int n = ::recvfrom(Native(socket), buffer, Clamp(capacity), 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
  *sender = fromLength >= static_cast<int>(sizeof from) && from.sin_family == AF_INET ? ntohl(from.sin_addr.s_addr) : 0;
  // A datagram longer than the buffer fills it and fails with WSAEMSGSIZE; its
  // tail is gone.
  *truncated = n == SOCKET_ERROR && WSAGetLastError() == WSAEMSGSIZE;
  if (*truncated) {
    RecordError(0);
    return Clamp(capacity);
  }
  Record(n == SOCKET_ERROR);
  return n == SOCKET_ERROR ? -1 : n;
}

}  // namespace sys

long SendOnce(SocketHandle socket, const char* data, std::size_t length) {
  int n = ::send(Native(socket), data, Clamp(length), 0);
  Record(n == SOCKET_ERROR);
  return n == SOCKET_ERROR ? -1 : n;
}

long ReceiveOnce(SocketHandle socket, char* buffer, std::size_t capacity) {
  int n = ::recv(Native(socket), buffer, Clamp(capacity), 0);
  Record(n == SOCKET_ERROR);
  return n == SOCKET_ERROR ? -1 : n;
}

SocketHandle AcceptStream(SocketHandle listener) {
  SOCKET s = ::accept(Native(listener), nullptr, nullptr);
  Record(s == INVALID_SOCKET);
  return Handle(s);
}

int WaitReadable(SocketHandle socket, int timeoutMs) {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(Native(socket), &readable);
  timeval limit{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
  int rc = ::select(0, &readable, nullptr, nullptr, timeoutMs < 0 ? nullptr : &limit);
  Record(rc == SOCKET_ERROR);
  return rc == SOCKET_ERROR ? -1 : (rc == 0 ? 0 : 1);
}

void ShutdownSocket(SocketHandle socket) { ::shutdown(Native(socket), SD_BOTH); }

}  // namespace ferry::net
