// The socket side of the TLS sessions, shared by every implementation: the
// encrypted bytes go through the plain socket calls, and every read waits for
// readability with a deadline first, so no TLS wait outlasts its time-out.
#pragma once

#include <chrono>
#include <cstddef>

#include "platform/socket.h"

namespace ferry::net::tls {

using Clock = std::chrono::steady_clock;

inline Clock::time_point DeadlineAfter(int timeoutMs) {
  return Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
}

// Reads and drops what is already waiting on the socket (at most `bound`
// bytes); returns how many bytes were dropped.
std::size_t DropWaitingBytes(SocketHandle socket, std::size_t bound);

// One receive once the socket is readable before `deadline`: the count, 0 when
// the peer closed, -1 on failure or when the deadline passed (LastSocketError
// gives kErrorTimedOut).
long ReceiveBefore(SocketHandle socket, char* buffer, std::size_t capacity, Clock::time_point deadline);

// Sends every byte; false when a send fails.
bool SendEverything(SocketHandle socket, const char* data, std::size_t length);

}  // namespace ferry::net::tls
