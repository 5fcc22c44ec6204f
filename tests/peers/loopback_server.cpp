#include "tests/peers/loopback_server.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <random>

namespace ferry::test {
namespace {

// Spreads the addresses of parallel test processes over 127.1.0.0/16 and up.
uint32_t StartingAddress() {
  static std::atomic<uint32_t> counter{0};
  std::random_device rd;
  uint32_t seed = rd() ^ static_cast<uint32_t>(::getpid()) * 2654435761U;
  return (seed % 60000U) * 16U + counter.fetch_add(1) % 16U;
}

std::string LoopbackAddress(uint32_t n) {
  // 127.a.b.c with a in 1..254, b in 0..255, c in 1..254
  uint32_t c = 1 + n % 254;
  uint32_t b = (n / 254) % 256;
  uint32_t a = 1 + (n / 254 / 256) % 254;
  return "127." + std::to_string(a) + "." + std::to_string(b) + "." + std::to_string(c);
}

}  // namespace

int PeerConnection::ReceiveSome(int timeoutMs) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!stop_.load()) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return -1;
    int ready = net::WaitReadable(socket_, static_cast<int>(std::min<long long>(left.count(), 100)));
    if (ready < 0) return -1;
    if (ready == 0) continue;
    std::array<char, 8192> chunk{};
    long n = net::ReceiveOnce(socket_, chunk.data(), chunk.size());
    if (n <= 0) return 0;
    buffered_.append(chunk.data(), static_cast<std::size_t>(n));
    std::lock_guard lock(mutex_);
    transcript_.append(chunk.data(), static_cast<std::size_t>(n));
    return 1;
  }
  return -1;
}

bool PeerConnection::ReadUntil(std::string_view terminator, std::string* out, std::size_t bound, int timeoutMs) {
  // Only the bytes that arrived since the last look are searched (and the few
  // before them that a terminator may begin in).
  std::size_t searched = 0;
  for (;;) {
    std::size_t at = buffered_.find(terminator, searched);
    searched = buffered_.size() < terminator.size() ? 0 : buffered_.size() - terminator.size() + 1;
    if (at != std::string::npos && at + terminator.size() <= bound) {
      *out = buffered_.substr(0, at + terminator.size());
      buffered_.erase(0, at + terminator.size());
      return true;
    }
    if (buffered_.size() > bound) {
      *out = buffered_;
      buffered_.clear();
      return false;
    }
    if (ReceiveSome(timeoutMs) <= 0) {
      *out = buffered_;
      buffered_.clear();
      return false;
    }
  }
}

bool PeerConnection::ReadLine(std::string* line, std::size_t bound, int timeoutMs) {
  return ReadUntil("\r\n", line, bound, timeoutMs);
}

void PeerConnection::Write(std::string_view bytes, std::size_t pieceSize) {
  std::size_t step = pieceSize == 0 ? bytes.size() : pieceSize;
  for (std::size_t at = 0; at < bytes.size() && !stop_.load();) {
    std::size_t n = std::min(step, bytes.size() - at);
    std::size_t sent = 0;
    while (sent < n) {
      long r = net::SendOnce(socket_, bytes.data() + at + sent, n - sent);
      if (r <= 0) return;
      sent += static_cast<std::size_t>(r);
    }
    at += n;
    // Gives each piece its own TCP segment.
    if (pieceSize != 0 && at < bytes.size()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

void PeerConnection::WriteSegments(const std::vector<std::string>& segments, std::size_t pieceSize, int gapMs) {
  for (std::size_t i = 0; i < segments.size(); ++i) {
    if (i > 0 && gapMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(gapMs));
    Write(segments[i], pieceSize);
  }
}

void PeerConnection::Drip(std::string_view bytes, int gapMs) {
  for (std::size_t at = 0; at < bytes.size() && !stop_.load(); ++at) {
    if (net::SendOnce(socket_, bytes.data() + at, 1) <= 0) return;
    // The pause doubles as the watch for the client's close.
    if (at + 1 < bytes.size() && ReceiveSome(gapMs) == 0) return;
  }
}

void PeerConnection::DrainUntilClosed() {
  while (ReceiveSome(60000) > 0) buffered_.clear();
}

void PeerConnection::Hold(PeerReply::Then then) {
  if (then == PeerReply::Then::Hang) DrainUntilClosed();
  while (then == PeerReply::Then::Stall && !stop_.load()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

bool PeerConnection::Answer(std::string_view command, std::string_view normal, const PeerOverride& override,
                            std::size_t pieceSize) {
  if (override) {
    if (std::optional<PeerReply> reply = override(command)) {
      WriteSegments(reply->segments, pieceSize, reply->gapMs);
      Hold(reply->then);
      return reply->then == PeerReply::Then::Continue;
    }
  }
  Write(normal, pieceSize);
  return true;
}

LoopbackServer::LoopbackServer(uint16_t wantedPort, Serve serve) : wantedPort_(wantedPort), serve_(std::move(serve)) {
  uint32_t start = StartingAddress();
  for (uint32_t i = 0; i < 64 && listener_ == net::kNoSocket; ++i) {
    std::string address = LoopbackAddress(start + i * 7919U);
    listener_ = net::ListenStream(address, wantedPort, &port_);
    if (listener_ != net::kNoSocket) address_ = address;
    // Without the right to bind a low port no address will do.
    if (listener_ == net::kNoSocket && net::LastSocketError() != net::kErrorAddressInUse) break;
  }
  if (listener_ == net::kNoSocket) {
    address_ = "127.0.0.1";
    listener_ = net::ListenStream(address_, 0, &port_);
  }
  if (listener_ != net::kNoSocket) thread_ = std::thread([this] { AcceptLoop(); });
}

LoopbackServer::LoopbackServer(const std::string& address, uint16_t port, Serve serve)
    : wantedPort_(port), address_(address), serve_(std::move(serve)) {
  listener_ = net::ListenStream(address_, port, &port_);
  if (listener_ != net::kNoSocket) thread_ = std::thread([this] { AcceptLoop(); });
}

void LoopbackServer::AcceptLoop() {
  while (!stop_.load()) {
    int ready = net::WaitReadable(listener_, 100);
    if (ready <= 0) continue;
    net::SocketHandle socket = net::AcceptStream(listener_);
    if (socket == net::kNoSocket) continue;
    connections_.fetch_add(1);
    {
      PeerConnection connection(socket, stop_, mutex_, transcript_);
      serve_(connection);
    }
    net::CloseSocket(socket);
    ended_.fetch_add(1);
  }
}

std::string LoopbackServer::Transcript() const {
  std::lock_guard lock(mutex_);
  return transcript_;
}

bool LoopbackServer::WaitSessionsEnded(std::chrono::milliseconds limit) const {
  auto deadline = std::chrono::steady_clock::now() + limit;
  while (ended_.load() < connections_.load()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

void LoopbackServer::Stop() {
  if (stop_.exchange(true)) return;
  if (thread_.joinable()) thread_.join();
  if (listener_ != net::kNoSocket) net::CloseSocket(listener_);
  listener_ = net::kNoSocket;
}

std::string UnusedLoopbackAddress() { return LoopbackAddress(StartingAddress() + 3); }

}  // namespace ferry::test
