// UDP datagram sockets (BSD sockets on Linux, Winsock on Windows): the trigger
// listener's socket and the one-shot sockets of the broadcast notices.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace ferry {

// Parses a dotted IPv4 address ("127.0.0.1", "255.255.255.255") into host byte
// order; false for anything else.
bool ParseIpv4Address(std::string_view text, uint32_t* address);

inline constexpr uint32_t kAnyAddress = 0x00000000;        // INADDR_ANY
inline constexpr uint32_t kBroadcastAddress = 0xFFFFFFFF;  // INADDR_BROADCAST

class UdpSocket {
 public:
  // Creates the socket; Valid() tells whether that worked.
  UdpSocket();
  ~UdpSocket();
  UdpSocket(const UdpSocket&) = delete;
  UdpSocket& operator=(const UdpSocket&) = delete;

  bool Valid() const;
  // Binds to `address`:`port` (host byte order).
  bool Bind(uint32_t address, uint16_t port);
  // The port the socket is bound to, 0 when unbound or unknown.
  uint16_t LocalPort() const;
  bool EnableBroadcast();
  // Sends `data` as one datagram.
  bool SendTo(uint32_t address, uint16_t port, std::string_view data);

  enum class Outcome { Datagram, TimedOut, Failed };
  struct Received {
    Outcome outcome = Outcome::Failed;
    // Bytes copied into the buffer (at most its capacity).
    std::size_t length = 0;
    // The datagram did not fit into the buffer; its tail is lost.
    bool truncated = false;
    // The sender's IPv4 address (host byte order), 0 when unknown.
    uint32_t sender = 0;
  };
  // Waits up to `timeout` for one datagram and copies at most `capacity` bytes.
  Received Receive(char* buffer, std::size_t capacity, std::chrono::milliseconds timeout);

 private:
  intptr_t handle_;
};

}  // namespace ferry
