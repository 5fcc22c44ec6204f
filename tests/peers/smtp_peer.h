// A scripted SMTP server on loopback that keeps what it receives: HELO/EHLO,
// VRFY, MAIL, RCPT, DATA, RSET, NOOP, QUIT. Greeting and HELO reply are
// multi-line by default. Every byte the client sends is kept; an override
// misbehaves on any command.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "tests/peers/loopback_server.h"
#include "tests/peers/peer_reply.h"

namespace ferry::test {

struct ReceivedMail {
  std::string mailFrom;                // the text after "MAIL FROM:"
  std::vector<std::string> rcptTo;     // the texts after "RCPT TO:"
  std::string data;                    // the bytes after 354 through CR LF "." CR LF
};

struct SmtpPeerOptions {
  bool multiLine = true;
  // Keyword lines the multi-line EHLO reply announces ("PIPELINING", "8BITMIME").
  std::vector<std::string> keywords = {};
  std::size_t pieceSize = 0;
  PeerOverride override;
};

class SmtpPeer {
 public:
  explicit SmtpPeer(SmtpPeerOptions options = {});
  // On exactly `address`:`port` (the demo); Port() is 0 when that fails.
  SmtpPeer(SmtpPeerOptions options, const std::string& address, uint16_t port);

  const std::string& Host() const { return server_.Address(); }
  uint16_t Port() const { return server_.Port(); }
  bool OnStandardPort() const { return server_.OnWantedPort(); }
  std::string Transcript() const { return server_.Transcript(); }
  int Connections() const { return server_.Connections(); }
  std::vector<ReceivedMail> Mails() const;
  void Stop() { server_.Stop(); }

 private:
  void Serve(PeerConnection& connection);

  SmtpPeerOptions options_;
  mutable std::mutex mutex_;
  std::vector<ReceivedMail> mails_;
  LoopbackServer server_;
};

}  // namespace ferry::test
