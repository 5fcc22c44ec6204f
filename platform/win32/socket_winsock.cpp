// TCP sockets over Winsock. The error codes are Winsock's own numbers, which
// the seam's constants already are.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <climits>
#include <cstring>

#include "platform/socket.h"
#include "platform/win32/winsock_ready.h"

namespace ferry::net {
namespace {

thread_local int tLastError = 0;

SOCKET Native(SocketHandle s) { return static_cast<SOCKET>(s); }
SocketHandle Handle(SOCKET s) { return s == INVALID_SOCKET ? kNoSocket : static_cast<SocketHandle>(s); }

void Record(bool failed) { tLastError = failed ? WSAGetLastError() : 0; }

int Clamp(std::size_t length) { return static_cast<int>(std::min<std::size_t>(length, INT_MAX)); }

}  // namespace

SocketHandle CreateStreamSocket(int receiveTimeoutMs) {
  if (!win32::WinsockReady()) {
    tLastError = WSANOTINITIALISED;
    return kNoSocket;
  }
  SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  Record(s == INVALID_SOCKET);
  if (s == INVALID_SOCKET) return kNoSocket;
  DWORD timeout = static_cast<DWORD>(receiveTimeoutMs);
  ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
  BOOL one = TRUE;
  ::setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
  return Handle(s);
}

int ConnectStream(SocketHandle socket, const char* host, uint16_t port) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (::getaddrinfo(host, nullptr, &hints, &found) != 0 || found == nullptr) {
    tLastError = WSAEHOSTUNREACH;
    return -1;
  }
  sockaddr_in address{};
  std::memcpy(&address, found->ai_addr, sizeof address);
  ::freeaddrinfo(found);
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  int rc = ::connect(Native(socket), reinterpret_cast<sockaddr*>(&address), sizeof address);
  Record(rc != 0);
  return rc == 0 ? 0 : -1;
}

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

int CloseSocket(SocketHandle socket) {
  if (socket != kNoSocket) ::closesocket(Native(socket));
  tLastError = 0;
  return 0;
}

int LastSocketError() { return tLastError; }

SocketHandle ListenStream(const std::string& address, uint16_t port, uint16_t* boundPort) {
  if (!win32::WinsockReady()) {
    tLastError = WSANOTINITIALISED;
    return kNoSocket;
  }
  SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  Record(s == INVALID_SOCKET);
  if (s == INVALID_SOCKET) return kNoSocket;
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(port);
  if (::inet_pton(AF_INET, address.c_str(), &local.sin_addr) != 1) {
    ::closesocket(s);
    tLastError = WSAEINVAL;
    return kNoSocket;
  }
  // Without this, Windows lets a second socket bind the same address and port.
  BOOL exclusive = TRUE;
  ::setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive), sizeof exclusive);
  if (::bind(s, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 || ::listen(s, 16) != 0) {
    Record(true);
    ::closesocket(s);
    return kNoSocket;
  }
  int len = sizeof local;
  ::getsockname(s, reinterpret_cast<sockaddr*>(&local), &len);
  if (boundPort != nullptr) *boundPort = ntohs(local.sin_port);
  tLastError = 0;
  return Handle(s);
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
