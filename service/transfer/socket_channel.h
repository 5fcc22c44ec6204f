// One blocking TCP client connection. Bytes that arrived past the end of a
// whole reply are kept and handed out first by the next receive, so that a
// reply never slides onto the next command. A receive either has the channel's
// own time-out, or waits only as long as a ReceiveWatch allows: a deadline for
// a whole reply, or for a long transfer a longest silence and a lowest average
// rate. A send gives up when no byte went out for its stall time or its block
// runs past its deadline. After StartTls every byte goes through the TLS
// session; the time bounds stay the same.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/socket.h"
#include "platform/tls.h"

namespace ferry {

// The receive time-out of a channel unless its owner gives another.
inline constexpr std::chrono::milliseconds kDefaultReceiveTimeout{10000};

// Sees the result of every send and receive (the transfer's error report).
using TransferReport = std::function<void(long result)>;

using TransferClock = std::chrono::steady_clock;

// How long receiving one reply or transfer may take; a zero field sets no bound.
struct ReceiveLimit {
  std::chrono::milliseconds whole{0};       // the whole reply within this
  std::chrono::milliseconds idle{0};        // no byte for this long ends it
  std::chrono::milliseconds rateWindow{0};  // a window bringing fewer than
  uint32_t minBytesPerSecond = 0;           // this many bytes a second ends it
};

// The clock of one reply or transfer under a ReceiveLimit.
class ReceiveWatch {
 public:
  explicit ReceiveWatch(const ReceiveLimit& limit, TransferClock::time_point now = TransferClock::now());
  // How long the next receive may wait; zero when the limit has run out.
  std::chrono::milliseconds Allowed(TransferClock::time_point now);
  // `bytes` arrived at `now`.
  void Note(std::size_t bytes, TransferClock::time_point now);

 private:
  ReceiveLimit limit_;
  TransferClock::time_point start_;
  TransferClock::time_point lastByte_;
  TransferClock::time_point windowStart_;
  uint64_t windowBytes_ = 0;
};

// How long sending one block may take; a zero field sets no bound.
struct SendLimit {
  std::chrono::milliseconds whole{0};  // the whole block within this
  std::chrono::milliseconds stall{0};  // no byte taken for this long ends it
};

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
  // The same, waiting only as long as `watch` allows (and noting what came).
  long Receive(char* buffer, std::size_t capacity, ReceiveWatch& watch);
  int Close();
  bool IsOpen() const { return handle_ != net::kNoSocket; }

  // Runs the TLS handshake on the connected socket. Bytes kept past the last
  // reply (sent after the server's go-ahead, before our hello) are dropped
  // first and never read as a reply; so are those waiting on the socket. False
  // with `*error` filled in when the server is refused; the channel is then
  // closed, so nothing more can be sent over it.
  bool StartTls(const net::TlsOptions& options, net::TlsError* error);
  bool IsEncrypted() const { return tls_ != nullptr; }
  // The TLS session's version and cipher; empty while plain.
  std::string TlsDescription() const { return tls_ ? tls_->Description() : std::string(); }
  // Why the certificate check failed, for a session of
  // TlsOptions::acceptCertificateProblems (reason None otherwise).
  const net::TlsError& CertificateProblem() const { return tls_ ? tls_->CertificateProblem() : noProblem_; }
  // Bytes dropped by the last StartTls: kept ones and those waiting on the socket.
  std::size_t DroppedBeforeTls() const { return droppedBeforeTls_; }

  // Sends every byte, repeating the send until all are taken or a send fails;
  // returns the bytes taken. `report` sees each send's result.
  std::size_t SendAll(std::string_view data, const TransferReport& report);
  // The same within `limit`: fewer bytes than `data` holds when it ran out.
  std::size_t SendAll(std::string_view data, const TransferReport& report, const SendLimit& limit);
  // Puts bytes received past the end of a reply in front of the next receive.
  void Unread(std::string_view bytes) { pending_.insert(0, bytes); }
  // Whether bytes received past the last reply are waiting.
  bool HasPending() const { return !pending_.empty(); }

 private:
  // One receive of at most `capacity` bytes, waiting at most `timeoutMs`.
  long ReceiveWithin(char* buffer, std::size_t capacity, int timeoutMs);
  long SendWithin(const char* data, std::size_t length, int timeoutMs);

  std::chrono::milliseconds receiveTimeout_;
  net::SocketHandle handle_ = net::kNoSocket;
  std::string pending_;
  std::unique_ptr<net::TlsSession> tls_;
  std::size_t droppedBeforeTls_ = 0;
  net::TlsError noProblem_;
};

}  // namespace ferry
