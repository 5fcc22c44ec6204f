// Scripted POP3 and SMTP servers over TLS for the loopback tests (OpenSSL,
// Linux only), on the TLS test server: TLS from the connect, or STLS/STARTTLS
// when offered; plaintext injected after the go-ahead on request. The POP3
// server hands out a mailbox and records the deletes; the SMTP sink offers AUTH
// PLAIN and LOGIN over TLS (and in clear when it offers no TLS), accepts one
// user and password, and keeps the texts it received.
#pragma once

#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "tests/peers/tls_test_server.h"

namespace ferry::test {

struct TlsMailScript {
  TestCertificate certificate = TestCertificate::Good;
  bool implicit = false;  // TLS from the connect on
  bool offersTls = true;  // CAPA names STLS / EHLO names STARTTLS
  std::string injected;   // plaintext sent right after the go-ahead
  bool stopsReadingAtData = false;  // SMTP: after "354" reads nothing until the server stops
  std::string uidPrefix = "tls-";    // POP3: the unique ids are this and the mailbox index
};

TlsMailScript MailScript(TestCertificate certificate = TestCertificate::Good, bool implicit = false,
                         bool offersTls = true, std::string injected = "");

// What the servers saw, over all their connections.
struct TlsMailSeen {
  std::mutex mutex;
  std::string plain;  // every line received before TLS
  std::string tls;    // every line received over TLS
  std::vector<std::string> mail;  // the SMTP DATA texts
  std::set<std::size_t> deleted;  // mailbox indexes deleted (and committed by QUIT)
};

// Serves one POP3 connection: `mailbox` holds whole texts (CR LF lines, no end
// marker); messages deleted in an earlier session are gone.
void ServeTlsPop3(TlsPeer& peer, const TlsMailScript& script, const TestPki& pki,
                  const std::vector<std::string>& mailbox, TlsMailSeen& seen);

// Serves one SMTP connection; the login of `user` with `password` is accepted.
void ServeTlsSmtp(TlsPeer& peer, const TlsMailScript& script, const TestPki& pki, const std::string& user,
                  const std::string& password, TlsMailSeen& seen);

}  // namespace ferry::test
