// The TLS servers for checking another build's TLS client (the Windows build
// under Wine): one loopback server per test certificate, made at start.
// Usage: ferry_tls_peers FOLDER — writes FOLDER/ca.pem (the test CA) and
// FOLDER/ports ("name port" lines), then serves until SIGINT or SIGTERM. Each
// server answers one line "PING..." with "PONG..." over TLS and logs on stdout
// "served NAME handshake=0|1 data=BYTES" per connection.
#include <signal.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

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
  struct Case {
    const char* name;
    TestCertificate certificate;
    bool oldProtocolsOnly;
  };
  const Case cases[] = {
      {"good", TestCertificate::Good, false},           {"other_host", TestCertificate::OtherHost, false},
      {"expired", TestCertificate::Expired, false},     {"not_yet_valid", TestCertificate::NotYetValid, false},
      {"unknown_ca", TestCertificate::UnknownCa, false}, {"self_signed", TestCertificate::SelfSigned, false},
      {"tls_1_1_only", TestCertificate::Good, true},
  };
  std::mutex output;
  std::vector<std::unique_ptr<TlsTestServer>> servers;
  std::ofstream ports(folder + "/ports.tmp");
  for (const Case& c : cases) {
    servers.push_back(std::make_unique<TlsTestServer>([&pki, &output, c](TlsPeer& peer) {
      if (peer.AcceptTls(pki.Identity(c.certificate), c.oldProtocolsOnly)) {
        std::string line;
        if (peer.ReadTlsLine(&line)) peer.WriteTls("PONG " + line);
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
