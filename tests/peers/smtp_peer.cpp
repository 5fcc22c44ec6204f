#include "tests/peers/smtp_peer.h"

namespace ferry::test {

SmtpPeer::SmtpPeer(SmtpPeerOptions options)
    : options_(std::move(options)), server_(25, [this](PeerConnection& c) { Serve(c); }) {}

SmtpPeer::SmtpPeer(SmtpPeerOptions options, const std::string& address, uint16_t port)
    : options_(std::move(options)), server_(address, port, [this](PeerConnection& c) { Serve(c); }) {}

std::vector<ReceivedMail> SmtpPeer::Mails() const {
  std::lock_guard lock(mutex_);
  return mails_;
}

void SmtpPeer::Serve(PeerConnection& c) {
  auto answer = [&](std::string_view command, std::string_view normal) {
    return c.Answer(command, normal, options_.override, options_.pieceSize);
  };
  auto upper = [](std::string s) {
    for (char& ch : s) ch = (ch >= 'a' && ch <= 'z') ? char(ch - 32) : ch;
    return s;
  };

  if (!answer("", options_.multiLine ? "220-peer.test ESMTP\r\n220 ready\r\n" : "220 peer.test ESMTP\r\n")) return;
  ReceivedMail mail;
  bool inTransaction = false;
  std::string line;
  while (c.ReadLine(&line, 4096)) {
    std::string command = upper(line.substr(0, 4));
    std::string normal = "500 unknown command\r\n";
    if (command == "HELO" || command == "EHLO") {
      normal = "250 peer.test\r\n";
      if (options_.multiLine) {
        normal = "250-peer.test\r\n";
        if (command == "EHLO") {
          for (const std::string& keyword : options_.keywords) normal += "250-" + keyword + "\r\n";
        }
        normal += "250 HELP\r\n";
      }
    } else if (command == "VRFY") {
      normal = "252 cannot verify\r\n";
    } else if (upper(line.substr(0, 10)) == "MAIL FROM:") {
      mail = {};
      mail.mailFrom = line.substr(10, line.size() - 12);
      inTransaction = true;
      normal = "250 2.1.0 Ok\r\n";
    } else if (upper(line.substr(0, 8)) == "RCPT TO:") {
      normal = inTransaction ? "250 2.1.5 Ok\r\n" : "503 need MAIL\r\n";
    } else if (command == "DATA") {
      normal = inTransaction && !mail.rcptTo.empty() ? "354 End data with <CR><LF>.<CR><LF>\r\n" : "503 need RCPT\r\n";
    } else if (command == "RSET") {
      inTransaction = false;
      normal = "250 2.0.0 Ok\r\n";
    } else if (command == "NOOP") {
      normal = "250 Ok\r\n";
    } else if (command == "QUIT") {
      answer(line, "221 bye\r\n");
      return;
    }
    // The override sees every command before the peer acts on it.
    std::optional<PeerReply> replaced = options_.override ? options_.override(line) : std::nullopt;
    std::string first = replaced && !replaced->segments.empty() ? replaced->segments.front() : normal;
    bool accepted = first.starts_with("2") || first.starts_with("3");
    if (upper(line.substr(0, 8)) == "RCPT TO:" && accepted) mail.rcptTo.push_back(line.substr(8, line.size() - 10));
    if (replaced) {
      c.WriteSegments(replaced->segments, options_.pieceSize, replaced->gapMs);
      c.Hold(replaced->then);
      if (replaced->then != PeerReply::Then::Continue) return;
    } else {
      c.Write(normal, options_.pieceSize);
    }
    if (command == "DATA" && first.starts_with("354")) {
      std::string data;
      if (!c.ReadUntil("\r\n.\r\n", &data, 256 * 1024 * 1024)) return;
      mail.data = data;
      inTransaction = false;
      std::string reply = "250 2.0.0 Ok: queued\r\n";
      std::optional<PeerReply> end = options_.override ? options_.override("<end of data>") : std::nullopt;
      if (!end || (!end->segments.empty() && end->segments.front().starts_with("250"))) {
        std::lock_guard lock(mutex_);
        mails_.push_back(mail);
      }
      if (end) {
        c.WriteSegments(end->segments, options_.pieceSize, end->gapMs);
        c.Hold(end->then);
        if (end->then != PeerReply::Then::Continue) return;
      } else {
        c.Write(reply, options_.pieceSize);
      }
    }
  }
}

}  // namespace ferry::test
