#include "platform/tls_transport.h"

#include <algorithm>
#include <array>

#include "platform/socket_calls.h"

namespace ferry::net::tls {

std::size_t DropWaitingBytes(SocketHandle socket, std::size_t bound) {
  std::array<char, 4096> scratch{};
  std::size_t dropped = 0;
  while (dropped < bound && WaitReadable(socket, 0) == 1) {
    long n = ReceiveOnce(socket, scratch.data(), std::min(scratch.size(), bound - dropped));
    if (n <= 0) break;  // a close or a failure shows again in the handshake
    dropped += static_cast<std::size_t>(n);
  }
  sys::RecordError(0);
  return dropped;
}

long ReceiveBefore(SocketHandle socket, char* buffer, std::size_t capacity, Clock::time_point deadline) {
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) {
      sys::RecordError(kErrorTimedOut);
      return -1;
    }
    int ready = WaitReadable(socket, static_cast<int>(std::min<long long>(left, 1000LL * 3600)));
    if (ready < 0) return -1;
    if (ready == 0) continue;  // the deadline check above ends the wait
    return ReceiveOnce(socket, buffer, capacity);
  }
}

bool SendEverything(SocketHandle socket, const char* data, std::size_t length) {
  std::size_t sent = 0;
  while (sent < length) {
    long n = SendOnce(socket, data + sent, length - sent);
    if (n <= 0) return false;
    sent += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace ferry::net::tls
