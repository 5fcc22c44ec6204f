// One blocking TCP client connection with a receive time-out of its own. Bytes
// that arrived past the end of a whole reply are kept and handed out first by
// the next receive, so that a reply never slides onto the next command.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/socket.h"

namespace ferry {

// The receive time-out of a channel unless its owner gives another.
inline constexpr std::chrono::milliseconds kDefaultReceiveTimeout{10000};

// Sees the result of every send and receive (the transfer's error report).
using TransferReport = std::function<void(long result)>;

class SocketChannel {
 public:
  explicit SocketChannel(std::chrono::milliseconds receiveTimeout = kDefaultReceiveTimeout)
      : receiveTimeout_(receiveTimeout) {}
  ~SocketChannel() { Close(); }
  SocketChannel(const SocketChannel&) = delete;
  SocketChannel& operator=(const SocketChannel&) = delete;

  // A new stream socket with the receive time-out; a failed creation shows up
  // as a failing Connect. Returns 0.
  int Create();
  // 0 when connected; -1 when the host does not resolve or the connect fails.
  int Connect(const std::string& host, uint16_t port);
  // One send: the bytes the system took, or -1.
  long Send(const char* data, std::size_t length);
  // One receive (kept bytes first): the count, 0 when the peer has closed, -1
  // on failure or time-out.
  long Receive(char* buffer, std::size_t capacity);
  int Close();
  bool IsOpen() const { return handle_ != net::kNoSocket; }

  // Sends every byte, repeating the send until all are taken or a send fails;
  // returns the bytes taken. `report` sees each send's result.
  std::size_t SendAll(std::string_view data, const TransferReport& report);
  // Puts bytes received past the end of a reply in front of the next receive.
  void Unread(std::string_view bytes) { pending_.insert(0, bytes); }
  // Whether bytes received past the last reply are waiting.
  bool HasPending() const { return !pending_.empty(); }

 private:
  std::chrono::milliseconds receiveTimeout_;
  net::SocketHandle handle_ = net::kNoSocket;
  std::string pending_;
};

}  // namespace ferry
