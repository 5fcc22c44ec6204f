// The TLS servers for checking another build's TLS client (the Windows build
// under Wine): one loopback server per test certificate, made at start.
// Usage: ferry_tls_peers FOLDER — writes FOLDER/ca.pem (the test CA) and
// FOLDER/ports ("name port" lines), then serves until SIGINT or SIGTERM. Each
// server answers one line "PING..." with "PONG..." over TLS and logs on stdout
// "served NAME handshake=0|1 data=BYTES" per connection; "stalls" never answers
// the hello, "BULK n" instead of PING asks for n pattern bytes down and the
// same back (answered "OK"), "stls_injection" starts TLS after a POP3-like STLS exchange whose
// go-ahead line is followed by injected plaintext.
#include <signal.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "tests/peers/tls/bulk_pattern.h"
#include "tests/peers/tls_test_server.h"

using ferry::test::TestCertificate;
using ferry::test::TestPki;
using ferry::test::TlsPeer;
using ferry::test::TlsTestServer;

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: ferry_tls_peers FOLDER\n";
    return 2;
  }
  const std::string folder = argv[1];
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  TestPki pki;
  std::filesystem::copy_file(pki.CaFile(), folder + "/ca.pem", std::filesystem::copy_options::overwrite_existing);
  enum class Start { Tls, Tls11Only, Stall, StlsWithInjection };
  struct Case {
    const char* name;
    TestCertificate certificate;
    Start start;
  };
  const Case cases[] = {
      {"good", TestCertificate::Good, Start::Tls},
      {"other_host", TestCertificate::OtherHost, Start::Tls},
      {"expired", TestCertificate::Expired, Start::Tls},
      {"not_yet_valid", TestCertificate::NotYetValid, Start::Tls},
      {"unknown_ca", TestCertificate::UnknownCa, Start::Tls},
      {"self_signed", TestCertificate::SelfSigned, Start::Tls},
      {"tls_1_1_only", TestCertificate::Good, Start::Tls11Only},
      {"stalls", TestCertificate::Good, Start::Stall},
      // STLS whose go-ahead carries plaintext bytes the client must drop.
      {"stls_injection", TestCertificate::Good, Start::StlsWithInjection},
  };
  std::mutex output;
  std::vector<std::unique_ptr<TlsTestServer>> servers;
  std::ofstream ports(folder + "/ports.tmp");
  for (const Case& c : cases) {
    servers.push_back(std::make_unique<TlsTestServer>([&pki, &output, c](TlsPeer& peer) {
      bool plaintextFirst = c.start == Start::StlsWithInjection;
      std::string command;
      if (plaintextFirst) {
        peer.WritePlain("+OK ready\r\n");
        if (peer.ReadPlainLine(&command) && command == "STLS\r\n") peer.WritePlain("+OK begin TLS\r\n+OK injected\r\n");
      }
      if (c.start == Start::Stall) peer.Stall(15000);
      if (c.start != Start::Stall && (!plaintextFirst || command == "STLS\r\n") &&
          peer.AcceptTls(pki.Identity(c.certificate), c.start == Start::Tls11Only)) {
        std::string line;
        if (peer.ReadTlsLine(&line) && line.rfind("BULK ", 0) == 0) {
          // BULK n: n pattern bytes down, the same n bytes expected back.
          const std::string bulk = ferry::test::BulkPattern(std::min<std::size_t>(std::strtoul(line.c_str() + 5, nullptr, 10), 64U << 20));
          std::string back;
          peer.WriteTls(bulk);
          peer.WriteTls(peer.ReadTls(bulk.size(), &back) && back == bulk ? "OK\r\n" : "BAD\r\n");
        } else if (!line.empty()) {
          peer.WriteTls("PONG " + line);
        }
        peer.CloseTls();
      }
      std::lock_guard lock(output);
      std::cout << "served " << c.name << " handshake=" << peer.Record().handshakeCompleted
                << " data=" << peer.Record().tlsReceived.size() << std::endl;
    }));
    ports << c.name << ' ' << servers.back()->Port() << '\n';
  }
  ports.close();
  std::filesystem::rename(folder + "/ports.tmp", folder + "/ports");
  int received = 0;
  sigwait(&signals, &received);
  for (auto& server : servers) server->Stop();
  return 0;
}
