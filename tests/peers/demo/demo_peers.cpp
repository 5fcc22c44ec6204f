// Throwaway POP3 mailbox and SMTP sink for the demo and the manual trial of a
// build: serves on loopback until SIGINT or SIGTERM, then prints what the sink
// received (envelope and first header lines) and what is left in the mailbox.
//
//   ferry_demo_peers ADDRESS POP3PORT SMTPPORT
#include <signal.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <vector>

#include "tests/peers/pop3_peer.h"
#include "tests/peers/smtp_peer.h"

namespace {

std::vector<std::string> SampleMailbox() {
  return {
      "Return-Path: <info@shop.example>\r\nFrom: Info Desk <info@shop.example>\r\n"
      "To: Anna Berg <anna@mailbox.example>\r\nSubject: Ihre Bestellung\r\n\r\n"
      "Guten Tag,\r\nIhre Bestellung ist unterwegs.\r\n.\r\nEine Zeile mit Punkt oben.\r\n",
      "from: bob@sender.example (Bob)\r\nTO: bert@mailbox.example\r\nSubject: kleine Buchstaben\r\n\r\nHallo Bert!\r\n",
      "To: <carla@mailbox.example>\r\nFrom: \"Carla's Club\" <club@example.org>\r\nSubject: gefaltete\r\n"
      " Betreffzeile\r\n\r\nTreffen am Freitag.\r\n",
      "From: Newsletter <news@example.net>\r\nCc: list@mailbox.example\r\nSubject: ohne To-Zeile\r\n\r\n"
      "Diese Nachricht hat keinen Empfaenger im Kopf.\r\n",
  };
}

// The first lines of a header block, for the report.
std::string FirstHeaderLines(const std::string& data, int count) {
  std::string out;
  std::size_t at = 0;
  for (int i = 0; i < count && at < data.size(); ++i) {
    std::size_t eol = data.find("\r\n", at);
    if (eol == std::string::npos || eol == at) break;
    out += "      " + data.substr(at, eol - at) + "\n";
    at = eol + 2;
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "usage: ferry_demo_peers ADDRESS POP3PORT SMTPPORT\n";
    return 2;
  }
  // Block the stop signals before the server threads start, then wait for one.
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGINT);
  sigaddset(&stop, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop, nullptr);

  std::string address = argv[1];
  ferry::test::Pop3PeerOptions popOptions;
  popOptions.user = "demo";
  popOptions.password = "demo-passwort";
  ferry::test::Pop3Peer pop(SampleMailbox(), popOptions, address, static_cast<uint16_t>(std::atoi(argv[2])));
  ferry::test::SmtpPeer smtp({}, address, static_cast<uint16_t>(std::atoi(argv[3])));
  if (pop.Port() == 0 || smtp.Port() == 0) {
    std::cerr << "cannot listen on " << address << "\n";
    return 1;
  }
  std::cout << "POP3 mailbox on " << pop.Host() << ":" << pop.Port() << " with " << SampleMailbox().size()
            << " messages; SMTP sink on " << smtp.Host() << ":" << smtp.Port() << std::endl;

  int signal = 0;
  sigwait(&stop, &signal);
  pop.Stop();
  smtp.Stop();

  std::cout << "\n== The SMTP sink received " << smtp.Mails().size() << " message(s)\n";
  for (const ferry::test::ReceivedMail& mail : smtp.Mails()) {
    std::cout << "  MAIL FROM:" << mail.mailFrom << "  RCPT TO:";
    for (const std::string& to : mail.rcptTo) std::cout << to << " ";
    std::cout << "\n" << FirstHeaderLines(mail.data, 4);
  }
  std::cout << "\n== Left in the POP3 mailbox: " << pop.Remaining().size() << " message(s)\n";
  for (const std::string& text : pop.Remaining()) std::cout << FirstHeaderLines(text, 3);
  return 0;
}
