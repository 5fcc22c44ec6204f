#include "service/transfer/socket_channel.h"

#include <algorithm>
#include <cstring>

namespace ferry {

int SocketChannel::Create() {
  Close();
  handle_ = net::CreateStreamSocket(static_cast<int>(receiveTimeout_.count()));
  return 0;
}

int SocketChannel::Connect(const std::string& host, uint16_t port) {
  if (handle_ == net::kNoSocket) return -1;
  return net::ConnectStream(handle_, host.c_str(), port);
}

long SocketChannel::Send(const char* data, std::size_t length) {
  if (handle_ == net::kNoSocket) return -1;
  return net::SendOnce(handle_, data, length);
}

long SocketChannel::Receive(char* buffer, std::size_t capacity) {
  if (!pending_.empty()) {
    std::size_t n = std::min(capacity, pending_.size());
    std::memcpy(buffer, pending_.data(), n);
    pending_.erase(0, n);
    return static_cast<long>(n);
  }
  if (handle_ == net::kNoSocket) return -1;
  return net::ReceiveOnce(handle_, buffer, capacity);
}

int SocketChannel::Close() {
  if (handle_ != net::kNoSocket) net::CloseSocket(handle_);
  handle_ = net::kNoSocket;
  pending_.clear();
  return 0;
}

std::size_t SocketChannel::SendAll(std::string_view data, const TransferReport& report) {
  std::size_t sent = 0;
  while (sent < data.size()) {
    long n = Send(data.data() + sent, data.size() - sent);
    if (report) report(n);
    if (n <= 0) break;
    sent += static_cast<std::size_t>(n);
  }
  return sent;
}

}  // namespace ferry
