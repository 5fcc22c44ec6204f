// TCP sockets, the part every system shares: what a client socket is set up
// with, how a connection and a listener come about, and the error of this
// thread's last call. The system calls are behind platform/socket_calls.h.
#include "platform/socket.h"

#include "platform/socket_calls.h"

namespace ferry::net {
namespace {

thread_local int tLastError = 0;

constexpr int kListenBacklog = 16;

}  // namespace

void sys::RecordError(int code) { tLastError = code; }

int LastSocketError() { return tLastError; }

SocketHandle CreateStreamSocket(int receiveTimeoutMs) {
  SocketHandle socket = sys::Open(sys::Kind::Stream);
  if (socket == kNoSocket) return kNoSocket;
  sys::SetOption(socket, sys::Option::ReceiveTimeoutMs, receiveTimeoutMs);
  sys::SetOption(socket, sys::Option::NoDelay, 1);
  return socket;
}

int ConnectStream(SocketHandle socket, const char* host, uint16_t port) {
  uint32_t address = 0;
  if (!sys::ResolveIpv4(host, &address)) return -1;
  return sys::Connect(socket, address, port) ? 0 : -1;
}

long ReceiveWithin(SocketHandle socket, char* buffer, std::size_t capacity, int timeoutMs) {
  if (timeoutMs <= 0) {
    tLastError = kErrorTimedOut;
    return -1;
  }
  int ready = WaitReadable(socket, timeoutMs);
  if (ready < 0) return -1;
  if (ready == 0) {
    tLastError = kErrorTimedOut;
    return -1;
  }
  return ReceiveOnce(socket, buffer, capacity);
}

long SendWithin(SocketHandle socket, const char* data, std::size_t length, int timeoutMs) {
  if (timeoutMs <= 0) {
    tLastError = kErrorTimedOut;
    return -1;
  }
  sys::SetOption(socket, sys::Option::SendTimeoutMs, timeoutMs);
  return SendOnce(socket, data, length);
}

int CloseSocket(SocketHandle socket) {
  if (socket != kNoSocket) sys::Close(socket);
  tLastError = 0;
  return 0;
}

SocketHandle ListenStream(const std::string& address, uint16_t port, uint16_t* boundPort) {
  uint32_t local = 0;
  if (!sys::ParseIpv4(address.c_str(), &local)) {
    tLastError = kErrorInvalidArgument;
    return kNoSocket;
  }
  SocketHandle socket = sys::Open(sys::Kind::Stream);
  if (socket == kNoSocket) return kNoSocket;
  sys::SetOption(socket, sys::Option::ExclusiveAddress, 1);
  if (!sys::Bind(socket, local, port) || !sys::Listen(socket, kListenBacklog)) {
    sys::Close(socket);  // the bind's or listen's error stays recorded
    return kNoSocket;
  }
  if (boundPort != nullptr) *boundPort = sys::LocalPort(socket);
  tLastError = 0;
  return socket;
}

}  // namespace ferry::net
