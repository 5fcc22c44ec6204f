// A POP3 mailbox with TLS from the connect and an SMTP sink with STARTTLS and a
// login, on loopback with the test CA, for an account run of another build
// (the Windows build under Wine: scripts/windows-tls-check).
// Usage: ferry_tls_mail_peers FOLDER COUNT — writes FOLDER/ca.pem (the test
// CA) and FOLDER/ports ("pop3s PORT", "smtp_starttls PORT"); the mailbox holds
// COUNT messages, the sink takes user "gateway" with password "relay-passwort".
// Serves until SIGINT or SIGTERM, then prints "sink received N message(s) over
// TLS, logins in clear: L" and "left in the POP3 mailbox: M message(s)".
#include <signal.h>

#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "tests/peers/tls_mail_peers.h"
#include "tests/peers/tls_test_server.h"

using namespace ferry::test;

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: ferry_tls_mail_peers FOLDER COUNT\n";
    return 2;
  }
  const std::string folder = argv[1];
  const int count = std::atoi(argv[2]);
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  TestPki pki;
  std::filesystem::copy_file(pki.CaFile(), folder + "/ca.pem", std::filesystem::copy_options::overwrite_existing);
  std::vector<std::string> mailbox;
  for (int i = 1; i <= count; ++i) {
    mailbox.push_back("From: Provider <info@provider.example>\r\nSubject: TLS " + std::to_string(i) +
                      "\r\n\r\nHallo ueber TLS.\r\n");
  }
  TlsMailSeen popSeen;
  TlsMailSeen smtpSeen;
  // Unique ids of this mailbox only: a ledger kept from an earlier check must
  // not take its messages for forwarded ones.
  TlsMailScript implicit = MailScript(TestCertificate::Good, true);
  implicit.uidPrefix = "tls-" + std::to_string(getpid()) + "-" + std::to_string(std::time(nullptr)) + "-";
  const TlsMailScript startTls = MailScript(TestCertificate::Good, false);
  TlsTestServer pop([&](TlsPeer& peer) { ServeTlsPop3(peer, implicit, pki, mailbox, popSeen); });
  TlsTestServer smtp([&](TlsPeer& peer) {
    ServeTlsSmtp(peer, startTls, pki, "gateway", "relay-passwort", smtpSeen);
  });
  {
    std::ofstream ports(folder + "/ports.tmp");
    ports << "pop3s " << pop.Port() << "\nsmtp_starttls " << smtp.Port() << "\n";
  }
  std::filesystem::rename(folder + "/ports.tmp", folder + "/ports");

  int received = 0;
  sigwait(&signals, &received);
  pop.Stop();
  smtp.Stop();
  std::lock_guard popLock(popSeen.mutex);
  std::lock_guard smtpLock(smtpSeen.mutex);
  std::cout << "sink received " << smtpSeen.mail.size() << " message(s) over TLS, logins in clear: "
            << (smtpSeen.plain.find("AUTH") != std::string::npos || popSeen.plain.find("PASS") != std::string::npos)
            << "\nleft in the POP3 mailbox: " << mailbox.size() - popSeen.deleted.size() << " message(s)"
            << std::endl;
  return 0;
}
