#include "service/transfer/socket_channel.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace ferry {
namespace {

using std::chrono::milliseconds;

// The longest single wait handed to the system; a channel without any bound
// waits in such slices.
constexpr milliseconds kLongestWait{std::numeric_limits<int>::max() / 2};

milliseconds Until(TransferClock::time_point end, TransferClock::time_point now) {
  if (end <= now) return milliseconds{0};
  auto left = std::chrono::ceil<milliseconds>(end - now);
  return std::min(left, kLongestWait);
}

int AsTimeout(milliseconds wait) { return static_cast<int>(std::min(wait, kLongestWait).count()); }

}  // namespace

ReceiveWatch::ReceiveWatch(const ReceiveLimit& limit, TransferClock::time_point now)
    : limit_(limit), start_(now), lastByte_(now), windowStart_(now) {}

milliseconds ReceiveWatch::Allowed(TransferClock::time_point now) {
  milliseconds allowed = kLongestWait;
  if (limit_.whole.count() > 0) allowed = std::min(allowed, Until(start_ + limit_.whole, now));
  if (limit_.idle.count() > 0) allowed = std::min(allowed, Until(lastByte_ + limit_.idle, now));
  if (limit_.rateWindow.count() > 0 && limit_.minBytesPerSecond > 0) {
    const uint64_t needed = static_cast<uint64_t>(limit_.minBytesPerSecond) *
                            static_cast<uint64_t>(limit_.rateWindow.count()) / 1000;
    while (now >= windowStart_ + limit_.rateWindow) {
      if (windowBytes_ < needed) return milliseconds{0};
      windowStart_ += limit_.rateWindow;
      windowBytes_ = 0;
    }
    allowed = std::min(allowed, Until(windowStart_ + limit_.rateWindow, now));
  }
  return allowed;
}

void ReceiveWatch::Note(std::size_t bytes, TransferClock::time_point now) {
  if (bytes == 0) return;
  lastByte_ = now;
  windowBytes_ += bytes;
}

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
  if (tls_) return tls_->Send(data, length);
  return net::SendOnce(handle_, data, length);
}

long SocketChannel::ReceiveWithin(char* buffer, std::size_t capacity, int timeoutMs) {
  if (!tls_) return net::ReceiveWithin(handle_, buffer, capacity, timeoutMs);
  if (tls_->Buffered() == 0 && (timeoutMs <= 0 || net::WaitReadable(handle_, timeoutMs) == 0)) {
    // Nothing received is waiting and no byte came: a time-out, as the plain
    // receive reports it (its zero wait receives nothing).
    return net::ReceiveWithin(handle_, buffer, capacity, 0);
  }
  // Records already received are decrypted first; a record begun within the
  // wait is read to its end within the session's own time-out.
  return tls_->Receive(buffer, capacity);
}

long SocketChannel::SendWithin(const char* data, std::size_t length, int timeoutMs) {
  if (!tls_) return net::SendWithin(handle_, data, length, timeoutMs);
  // The session sends through the plain socket calls: an empty plain send sets
  // the socket's send time-out, which then bounds each of the session's sends
  // that makes no progress.
  if (net::SendWithin(handle_, data, 0, timeoutMs) < 0) return -1;
  return tls_->Send(data, length);
}

bool SocketChannel::StartTls(const net::TlsOptions& options, net::TlsError* error) {
  droppedBeforeTls_ = pending_.size();
  pending_.clear();
  if (handle_ == net::kNoSocket || tls_) {
    if (error != nullptr) {
      *error = {net::TlsFailure::Other, net::TlsFailureText(net::TlsFailure::Other), "no plain connection"};
    }
    return false;
  }
  tls_ = net::StartTls(handle_, options, error);
  if (!tls_) {
    Close();
    return false;
  }
  droppedBeforeTls_ += tls_->DroppedBeforeHandshake();
  return true;
}

long SocketChannel::Receive(char* buffer, std::size_t capacity) {
  if (!pending_.empty()) {
    std::size_t n = std::min(capacity, pending_.size());
    std::memcpy(buffer, pending_.data(), n);
    pending_.erase(0, n);
    return static_cast<long>(n);
  }
  if (handle_ == net::kNoSocket) return -1;
  if (tls_) return tls_->Receive(buffer, capacity);
  return net::ReceiveOnce(handle_, buffer, capacity);
}

long SocketChannel::Receive(char* buffer, std::size_t capacity, ReceiveWatch& watch) {
  if (!pending_.empty()) {
    long n = Receive(buffer, capacity);
    watch.Note(static_cast<std::size_t>(n), TransferClock::now());
    return n;
  }
  if (handle_ == net::kNoSocket) return -1;
  for (;;) {
    milliseconds allowed = watch.Allowed(TransferClock::now());
    long n = ReceiveWithin(buffer, capacity, AsTimeout(allowed));
    // A wait cut short by the longest single wait goes on.
    if (n < 0 && net::LastSocketError() == net::kErrorTimedOut && allowed >= kLongestWait) continue;
    if (n > 0) watch.Note(static_cast<std::size_t>(n), TransferClock::now());
    return n;
  }
}

int SocketChannel::Close() {
  if (tls_) {
    tls_->Close();
    tls_.reset();
  }
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

std::size_t SocketChannel::SendAll(std::string_view data, const TransferReport& report, const SendLimit& limit) {
  if (handle_ == net::kNoSocket) {
    if (report) report(-1);
    return 0;
  }
  const TransferClock::time_point start = TransferClock::now();
  TransferClock::time_point lastProgress = start;
  std::size_t sent = 0;
  while (sent < data.size()) {
    TransferClock::time_point now = TransferClock::now();
    milliseconds allowed = kLongestWait;
    if (limit.whole.count() > 0) allowed = std::min(allowed, Until(start + limit.whole, now));
    if (limit.stall.count() > 0) allowed = std::min(allowed, Until(lastProgress + limit.stall, now));
    long n = SendWithin(data.data() + sent, data.size() - sent, AsTimeout(allowed));
    if (report) report(n);
    if (n <= 0) break;
    sent += static_cast<std::size_t>(n);
    lastProgress = TransferClock::now();
  }
  return sent;
}

}  // namespace ferry
