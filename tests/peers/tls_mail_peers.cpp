#include "tests/peers/tls_mail_peers.h"

#include <cstdlib>
#include <utility>

#include "service/transfer/capability_lines.h"

namespace ferry::test {
namespace {

// One line in, plain or over TLS, recorded.
class LineSession {
 public:
  LineSession(TlsPeer& peer, TlsMailSeen& seen) : peer_(peer), seen_(seen) {}
  bool Read(std::string* line) {
    if (!(tls_ ? peer_.ReadTlsLine(line) : peer_.ReadPlainLine(line))) return false;
    std::lock_guard lock(seen_.mutex);
    (tls_ ? seen_.tls : seen_.plain) += *line;
    return true;
  }
  void Write(const std::string& text) {
    if (tls_) {
      peer_.WriteTls(text);
    } else {
      peer_.WritePlain(text);
    }
  }
  bool StartTls(const TestIdentity& identity) { return tls_ = peer_.AcceptTls(identity); }
  bool Encrypted() const { return tls_; }

 private:
  TlsPeer& peer_;
  TlsMailSeen& seen_;
  bool tls_ = false;
};

std::string FirstWord(const std::string& line) { return line.substr(0, line.find_first_of(" \r")); }

// The message number after the command word; 0 when there is none.
std::size_t Number(const std::string& line) {
  std::size_t blank = line.find(' ');
  return blank == std::string::npos ? 0 : std::strtoul(line.c_str() + blank + 1, nullptr, 10);
}

}  // namespace

TlsMailScript MailScript(TestCertificate certificate, bool implicit, bool offersTls, std::string injected) {
  return TlsMailScript{certificate, implicit, offersTls, std::move(injected), false, "tls-"};
}

void ServeTlsPop3(TlsPeer& peer, const TlsMailScript& script, const TestPki& pki,
                  const std::vector<std::string>& mailbox, TlsMailSeen& seen) {
  LineSession session(peer, seen);
  if (script.implicit && !session.StartTls(pki.Identity(script.certificate))) return;
  // The session's messages (mailbox indexes), numbered from 1.
  std::vector<std::size_t> listed;
  {
    std::lock_guard lock(seen.mutex);
    for (std::size_t i = 0; i < mailbox.size(); ++i)
      if (seen.deleted.count(i) == 0) listed.push_back(i);
  }
  std::set<std::size_t> deletes;
  session.Write("+OK ready\r\n");
  std::string line;
  while (session.Read(&line)) {
    const std::string word = FirstWord(line);
    const std::size_t number = Number(line);
    const bool known = number >= 1 && number <= listed.size();
    if (word == "CAPA") {
      session.Write(std::string("+OK\r\nUIDL\r\n") + (script.offersTls ? "STLS\r\n" : "") + ".\r\n");
    } else if (word == "STLS" && script.offersTls && !session.Encrypted()) {
      session.Write("+OK begin TLS\r\n" + script.injected);
      if (!session.StartTls(pki.Identity(script.certificate))) return;
    } else if (word == "USER" || word == "PASS" || word == "NOOP") {
      session.Write("+OK\r\n");
    } else if (word == "STAT") {
      std::size_t octets = 0;
      for (std::size_t i : listed) octets += mailbox[i].size();
      session.Write("+OK " + std::to_string(listed.size()) + " " + std::to_string(octets) + "\r\n");
    } else if (word == "LIST" || word == "UIDL") {
      std::string reply = "+OK\r\n";
      for (std::size_t n = 1; n <= listed.size(); ++n) {
        const std::size_t i = listed[n - 1];
        reply += std::to_string(n) + " " +
                 (word == "LIST" ? std::to_string(mailbox[i].size()) : script.uidPrefix + std::to_string(i)) + "\r\n";
      }
      session.Write(reply + ".\r\n");
    } else if (word == "RETR" && known) {
      session.Write("+OK\r\n" + mailbox[listed[number - 1]] + ".\r\n");
    } else if (word == "DELE" && known) {
      deletes.insert(listed[number - 1]);
      session.Write("+OK\r\n");
    } else if (word == "QUIT") {
      std::lock_guard lock(seen.mutex);
      seen.deleted.insert(deletes.begin(), deletes.end());
      session.Write("+OK bye\r\n");
      return;
    } else {
      session.Write("-ERR unknown\r\n");
    }
  }
}

void ServeTlsSmtp(TlsPeer& peer, const TlsMailScript& script, const TestPki& pki, const std::string& user,
                  const std::string& password, TlsMailSeen& seen) {
  LineSession session(peer, seen);
  if (script.implicit && !session.StartTls(pki.Identity(script.certificate))) return;
  const std::string plain = "AUTH PLAIN " + Base64(std::string(1, '\0') + user + '\0' + password) + "\r\n";
  session.Write("220 sink ready\r\n");
  std::string line;
  while (session.Read(&line)) {
    const std::string word = FirstWord(line);
    if (word == "EHLO") {
      std::string tls = script.offersTls && !session.Encrypted() ? "250-STARTTLS\r\n" : "";
      // The login is offered over TLS, and in clear by a server without TLS.
      std::string auth = session.Encrypted() || !script.offersTls ? "250-AUTH LOGIN PLAIN\r\n" : "";
      session.Write("250-sink\r\n" + tls + auth + "250 SIZE 100000000\r\n");
    } else if (word == "STARTTLS" && script.offersTls && !session.Encrypted()) {
      session.Write("220 go ahead\r\n" + script.injected);
      if (!session.StartTls(pki.Identity(script.certificate))) return;
    } else if (word == "AUTH") {
      session.Write(line == plain ? "235 ok\r\n" : "535 no\r\n");
    } else if (word == "DATA" && script.stopsReadingAtData) {
      session.Write("354 go\r\n");
      peer.Stall(10 * 60 * 1000);
      return;
    } else if (word == "DATA") {
      session.Write("354 go\r\n");
      std::string text;
      while (session.Read(&line) && line != ".\r\n") text += line;
      {
        std::lock_guard lock(seen.mutex);
        seen.mail.push_back(text);
      }
      session.Write("250 queued\r\n");
    } else if (word == "QUIT") {
      session.Write("221 bye\r\n");
      return;
    } else {
      session.Write("250 ok\r\n");
    }
  }
}

}  // namespace ferry::test
