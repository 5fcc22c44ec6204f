// A scripted POP3 server on loopback: a mailbox of messages, USER/PASS, STAT,
// LIST, UIDL, RETR (dot-stuffed), DELE (committed at QUIT), RSET, NOOP, QUIT.
// A message keeps its number while others are deleted; its unique id is
// "uid<number>" unless the options give ids. Every
// byte the client sends is kept; an override misbehaves on any command.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "tests/peers/loopback_server.h"
#include "tests/peers/peer_reply.h"

namespace ferry::test {

struct Pop3PeerOptions {
  std::string user = "anna";
  std::string password = "geheim";
  std::size_t pieceSize = 0;  // 0: each reply in one write
  int idleMs = 20000;         // a client silent this long between commands ends the session
  PeerOverride override;
  bool uidl = true;               // false: UIDL is an unknown command
  std::vector<std::string> ids = {};  // the messages' unique ids, when given
  // When given, AUTH logs in (RFC 5034): called with the mechanism and the
  // base64 initial response (on the command line or after "+ "); false gives
  // an error challenge, and "-ERR" after the client's answer to it.
  std::function<bool(const std::string& mechanism, const std::string& response)> auth = {};
};

class Pop3Peer {
 public:
  Pop3Peer(std::vector<std::string> messages, Pop3PeerOptions options = {});
  // On exactly `address`:`port` (the demo); Port() is 0 when that fails.
  Pop3Peer(std::vector<std::string> messages, Pop3PeerOptions options, const std::string& address, uint16_t port);

  const std::string& Host() const { return server_.Address(); }
  uint16_t Port() const { return server_.Port(); }
  bool OnStandardPort() const { return server_.OnWantedPort(); }
  std::string Transcript() const { return server_.Transcript(); }
  int Connections() const { return server_.Connections(); }
  bool WaitSessionsEnded() const { return server_.WaitSessionsEnded(std::chrono::seconds(10)); }
  void Stop() { server_.Stop(); }

  // Message numbers (1-based) deleted by a session that ended with QUIT.
  std::set<int> Deleted() const;
  // The texts still in the mailbox.
  std::vector<std::string> Remaining() const;
  // New mail: the next session lists it under the next number.
  void Append(std::string text);

  // The RETR answer for a message text: status, dot-stuffed lines, ".".
  static std::string RetrAnswer(const std::string& text);

 private:
  void Serve(PeerConnection& connection);

  Pop3PeerOptions options_;
  mutable std::mutex mutex_;
  std::vector<std::string> messages_;
  std::set<int> deleted_;
  LoopbackServer server_;  // last: its thread starts once the rest is built
};

}  // namespace ferry::test
