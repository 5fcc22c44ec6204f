// The socket system calls over BSD sockets (platform/socket_calls.h and the
// single calls of platform/socket.h). errno is mapped onto the Windows Sockets
// numbers of the seam; a call interrupted by a signal is made again.
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/socket.h"
#include "platform/socket_calls.h"

namespace ferry::net {
namespace {

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

void Record(bool failed) { sys::RecordError(failed ? MapErrno(errno) : 0); }

sockaddr_in MakeAddress(uint32_t address, uint16_t port) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = htonl(address);
  sa.sin_port = htons(port);
  return sa;
}

bool SetInt(int fd, int level, int name, int value) { return ::setsockopt(fd, level, name, &value, sizeof value) == 0; }

}  // namespace

namespace sys {

SocketHandle Open(Kind kind) {
  int fd = ::socket(AF_INET, (kind == Kind::Stream ? SOCK_STREAM : SOCK_DGRAM) | SOCK_CLOEXEC, 0);
  Record(fd < 0);
  return fd < 0 ? kNoSocket : fd;
}

void Close(SocketHandle socket) { ::close(Fd(socket)); }

bool SetOption(SocketHandle socket, Option option, int value) {
  switch (option) {
    case Option::ReceiveTimeoutMs:
    case Option::SendTimeoutMs: {
      timeval tv{};
      tv.tv_sec = value / 1000;
      tv.tv_usec = (value % 1000) * 1000;
      int name = option == Option::ReceiveTimeoutMs ? SO_RCVTIMEO : SO_SNDTIMEO;
      return ::setsockopt(Fd(socket), SOL_SOCKET, name, &tv, sizeof tv) == 0;
    }
    case Option::NoDelay: return SetInt(Fd(socket), IPPROTO_TCP, TCP_NODELAY, value);
    case Option::Broadcast: return SetInt(Fd(socket), SOL_SOCKET, SO_BROADCAST, value);
    case Option::ExclusiveAddress: return true;  // a bound address and port are exclusive here already
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
  bool bound = ::bind(Fd(socket), reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0;
  Record(!bound);
  return bound;
}

bool Listen(SocketHandle socket, int backlog) {
  bool listening = ::listen(Fd(socket), backlog) == 0;
  Record(!listening);
  return listening;
}

bool Connect(SocketHandle socket, uint32_t address, uint16_t port) {
  sockaddr_in remote = MakeAddress(address, port);
  int rc;
  do {
    rc = ::connect(Fd(socket), reinterpret_cast<const sockaddr*>(&remote), sizeof remote);
  } while (rc != 0 && errno == EINTR);
  Record(rc != 0);
  return rc == 0;
}

uint16_t LocalPort(SocketHandle socket) {
  sockaddr_in local{};
  socklen_t length = sizeof local;
  if (::getsockname(Fd(socket), reinterpret_cast<sockaddr*>(&local), &length) != 0) return 0;
  return ntohs(local.sin_port);
}

long SendDatagram(SocketHandle socket, uint32_t address, uint16_t port, const char* data, std::size_t length) {
  sockaddr_in remote = MakeAddress(address, port);
  ssize_t n;
  do {
    n = ::sendto(Fd(socket), data, length, MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&remote), sizeof remote);
  } while (n < 0 && errno == EINTR);
  Record(n < 0);
  return static_cast<long>(n);
}

long ReceiveDatagram(SocketHandle socket, char* buffer, std::size_t capacity, bool* truncated, uint32_t* sender) {
  // MSG_TRUNC makes recv answer the datagram's real length, so an oversized
  // datagram is recognised instead of being taken as its first bytes.
  sockaddr_in from{};
  socklen_t fromLength = sizeof from;
  ssize_t n = ::recvfrom(Fd(socket), buffer, capacity, MSG_TRUNC | MSG_DONTWAIT, reinterpret_cast<sockaddr*>(&from),
                         &fromLength);
  *sender = fromLength >= sizeof from && from.sin_family == AF_INET ? ntohl(from.sin_addr.s_addr) : 0;
  Record(n < 0);
  if (n < 0) return -1;
  std::size_t length = static_cast<std::size_t>(n);
  *truncated = length > capacity;
  return static_cast<long>(*truncated ? capacity : length);
}

}  // namespace sys

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
