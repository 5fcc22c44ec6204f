#include "platform/socket.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace ferry::net {
namespace {

thread_local int tLastError = 0;

int MapErrno(int e) {
  switch (e) {
    case 0: return 0;
    case EINTR: return kErrorInterrupted;
    case EBADF: return kErrorBadHandle;
    case EINVAL: return kErrorInvalidArgument;
    case EAGAIN: return kErrorTimedOut;  // the receive time-out ran out (EWOULDBLOCK is the same)
    case EINPROGRESS: return kErrorWouldBlock;
    case ENOTSOCK: return kErrorNotSocket;
    case EMSGSIZE: return kErrorMessageSize;
    case EADDRINUSE: return kErrorAddressInUse;
    case ENETUNREACH: return kErrorNetworkUnreachable;
    case ECONNABORTED: return kErrorConnectionAborted;
    case ECONNRESET: return kErrorConnectionReset;
    case ENOTCONN: return kErrorNotConnected;
    case EPIPE:
    case ESHUTDOWN: return kErrorShutDown;
    case ETIMEDOUT: return kErrorTimedOut;
    case ECONNREFUSED: return kErrorConnectionRefused;
    case EHOSTUNREACH: return kErrorHostUnreachable;
    default: return 10000 + e;
  }
}

int Fd(SocketHandle s) { return static_cast<int>(s); }

void Record(bool failed) { tLastError = failed ? MapErrno(errno) : 0; }

}  // namespace

SocketHandle CreateStreamSocket(int receiveTimeoutMs) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  Record(fd < 0);
  if (fd < 0) return kNoSocket;
  timeval tv{};
  tv.tv_sec = receiveTimeoutMs / 1000;
  tv.tv_usec = (receiveTimeoutMs % 1000) * 1000;
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
  int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  return fd;
}

int ConnectStream(SocketHandle socket, const char* host, uint16_t port) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (::getaddrinfo(host, nullptr, &hints, &found) != 0 || found == nullptr) {
    tLastError = kErrorHostUnreachable;
    return -1;
  }
  sockaddr_in address{};
  std::memcpy(&address, found->ai_addr, sizeof address);
  ::freeaddrinfo(found);
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  int rc;
  do {
    rc = ::connect(Fd(socket), reinterpret_cast<sockaddr*>(&address), sizeof address);
  } while (rc != 0 && errno == EINTR);
  Record(rc != 0);
  return rc == 0 ? 0 : -1;
}

long SendOnce(SocketHandle socket, const char* data, std::size_t length) {
  ssize_t n;
  do {
    n = ::send(Fd(socket), data, length, MSG_NOSIGNAL);
  } while (n < 0 && errno == EINTR);
  Record(n < 0);
  return static_cast<long>(n);
}

long ReceiveOnce(SocketHandle socket, char* buffer, std::size_t capacity) {
  ssize_t n;
  do {
    n = ::recv(Fd(socket), buffer, capacity, 0);
  } while (n < 0 && errno == EINTR);
  Record(n < 0);
  return static_cast<long>(n);
}

int CloseSocket(SocketHandle socket) {
  if (socket != kNoSocket) ::close(Fd(socket));
  tLastError = 0;
  return 0;
}

int LastSocketError() { return tLastError; }

SocketHandle ListenStream(const std::string& address, uint16_t port, uint16_t* boundPort) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  Record(fd < 0);
  if (fd < 0) return kNoSocket;
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = htons(port);
  if (::inet_pton(AF_INET, address.c_str(), &local.sin_addr) != 1) {
    ::close(fd);
    tLastError = kErrorInvalidArgument;
    return kNoSocket;
  }
  if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 || ::listen(fd, 16) != 0) {
    Record(true);
    ::close(fd);
    return kNoSocket;
  }
  socklen_t len = sizeof local;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &len);
  if (boundPort != nullptr) *boundPort = ntohs(local.sin_port);
  tLastError = 0;
  return fd;
}

SocketHandle AcceptStream(SocketHandle listener) {
  int fd;
  do {
    fd = ::accept4(Fd(listener), nullptr, nullptr, SOCK_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  Record(fd < 0);
  return fd < 0 ? kNoSocket : fd;
}

int WaitReadable(SocketHandle socket, int timeoutMs) {
  pollfd p{Fd(socket), POLLIN, 0};
  int rc;
  do {
    rc = ::poll(&p, 1, timeoutMs);
  } while (rc < 0 && errno == EINTR);
  Record(rc < 0);
  return rc < 0 ? -1 : (rc == 0 ? 0 : 1);
}

void ShutdownSocket(SocketHandle socket) { ::shutdown(Fd(socket), SHUT_RDWR); }

}  // namespace ferry::net
