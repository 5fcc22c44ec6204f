// A scripted peer's listening side: a socket on a loopback address of its own
// (127.x.y.z, so that tests on the standard ports run side by side), serving one
// connection after another on a thread of its own until it is stopped.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/socket.h"
#include "tests/peers/peer_reply.h"

namespace ferry::test {

// One accepted connection as the peer sees it. Every byte received is appended
// to the server's transcript.
class PeerConnection {
 public:
  PeerConnection(net::SocketHandle socket, std::atomic<bool>& stop, std::mutex& mutex, std::string& transcript)
      : socket_(socket), stop_(stop), mutex_(mutex), transcript_(transcript) {}

  // A line up to and including CR LF, at most `bound` bytes; false when the
  // client closed, fell silent for `timeoutMs`, or the line went past the bound
  // (what arrived is in `line`).
  bool ReadLine(std::string* line, std::size_t bound = 64 * 1024, int timeoutMs = 20000);
  // Bytes up to and including `terminator`; the same outcomes as ReadLine.
  bool ReadUntil(std::string_view terminator, std::string* out, std::size_t bound, int timeoutMs = 20000);
  // Writes the bytes, in pieces of `pieceSize` when it is not 0.
  void Write(std::string_view bytes, std::size_t pieceSize = 0);
  // Writes each segment as Write does, pausing `gapMs` between two of them.
  void WriteSegments(const std::vector<std::string>& segments, std::size_t pieceSize, int gapMs);
  // Writes the bytes one at a time, `gapMs` apart (a slow server), until all
  // are written or the client closes.
  void Drip(std::string_view bytes, int gapMs);
  // Reads and drops whatever comes until the client closes or the server stops.
  void DrainUntilClosed();
  // What a reply's `then` asks for after it: Hang drains until the client
  // closes, Stall reads nothing more until the server stops.
  void Hold(PeerReply::Then then);
  // Answers one command: the override's reply when it has one for the command,
  // else `normal`. False when the session is to end here.
  bool Answer(std::string_view command, std::string_view normal, const PeerOverride& override,
              std::size_t pieceSize);

 private:
  int ReceiveSome(int timeoutMs);

  net::SocketHandle socket_;
  std::atomic<bool>& stop_;
  std::mutex& mutex_;
  std::string& transcript_;
  std::string buffered_;
};

class LoopbackServer {
 public:
  using Serve = std::function<void(PeerConnection&)>;

  // Listens on `wantedPort` of a free 127.x.y.z address; where that port cannot
  // be bound (not root), on a port the system picks on 127.0.0.1.
  LoopbackServer(uint16_t wantedPort, Serve serve);
  // Listens on exactly `address`:`port`; Port() is 0 when that fails.
  LoopbackServer(const std::string& address, uint16_t port, Serve serve);
  ~LoopbackServer() { Stop(); }
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  const std::string& Address() const { return address_; }
  uint16_t Port() const { return port_; }
  bool OnWantedPort() const { return port_ == wantedPort_; }
  bool Listening() const { return listener_ != net::kNoSocket; }

  // Everything the clients sent, over all connections.
  std::string Transcript() const;
  int Connections() const { return connections_.load(); }
  // Waits (at most `limit`) until every session accepted so far has ended, so
  // that what a client sent just before it closed is in the transcript.
  bool WaitSessionsEnded(std::chrono::milliseconds limit) const;
  void Stop();

 private:
  void AcceptLoop();

  uint16_t wantedPort_;
  std::string address_;
  uint16_t port_ = 0;
  net::SocketHandle listener_ = net::kNoSocket;
  Serve serve_;
  std::atomic<bool> stop_{false};
  std::atomic<int> connections_{0};
  std::atomic<int> ended_{0};
  mutable std::mutex mutex_;
  std::string transcript_;
  std::thread thread_;
};

// A loopback address (127.x.y.z) on which nothing listens on `port`: a refused connection.
std::string UnusedLoopbackAddress();

}  // namespace ferry::test
