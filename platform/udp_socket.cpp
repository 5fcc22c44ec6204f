// UDP sockets, the part every system shares; the system calls are behind
// platform/socket_calls.h.
#include "platform/udp_socket.h"

#include <string>

#include "platform/socket.h"
#include "platform/socket_calls.h"

namespace ferry {

bool ParseIpv4Address(std::string_view text, uint32_t* address) {
  return net::sys::ParseIpv4(std::string(text).c_str(), address);
}

UdpSocket::UdpSocket() : handle_(net::sys::Open(net::sys::Kind::Datagram)) {}

UdpSocket::~UdpSocket() {
  if (Valid()) net::sys::Close(handle_);
}

bool UdpSocket::Valid() const { return handle_ != net::kNoSocket; }

bool UdpSocket::Bind(uint32_t address, uint16_t port) {
  if (!Valid()) return false;
  // Exclusive on every system: a second listener on the port must fail.
  net::sys::SetOption(handle_, net::sys::Option::ExclusiveAddress, 1);
  return net::sys::Bind(handle_, address, port);
}

uint16_t UdpSocket::LocalPort() const { return Valid() ? net::sys::LocalPort(handle_) : 0; }

bool UdpSocket::EnableBroadcast() { return Valid() && net::sys::SetOption(handle_, net::sys::Option::Broadcast, 1); }

bool UdpSocket::SendTo(uint32_t address, uint16_t port, std::string_view data) {
  if (!Valid()) return false;
  long sent = net::sys::SendDatagram(handle_, address, port, data.data(), data.size());
  return sent >= 0 && static_cast<std::size_t>(sent) == data.size();
}

UdpSocket::Received UdpSocket::Receive(char* buffer, std::size_t capacity, std::chrono::milliseconds timeout) {
  Received result;
  if (!Valid()) return result;
  int ready = net::WaitReadable(handle_, static_cast<int>(timeout.count()));
  if (ready == 0) {
    result.outcome = Outcome::TimedOut;
    return result;
  }
  if (ready < 0) return result;
  long n = net::sys::ReceiveDatagram(handle_, buffer, capacity, &result.truncated, &result.sender);
  if (n < 0) {
    int error = net::LastSocketError();
    bool nothing = error == net::kErrorTimedOut || error == net::kErrorWouldBlock || error == net::kErrorInterrupted;
    result.outcome = nothing ? Outcome::TimedOut : Outcome::Failed;
    return result;
  }
  result.outcome = Outcome::Datagram;
  result.length = static_cast<std::size_t>(n);
  return result;
}

}  // namespace ferry
