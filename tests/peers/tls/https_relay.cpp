// An HTTPS front for plain HTTP sites on loopback, so that another build's
// HTTPS client (the Windows build under Wine) can be tested against sites the
// test itself serves over plain HTTP.
// Usage: ferry_https_relay FOLDER — writes FOLDER/ca.pem (the test CA) and
// FOLDER/port, then serves until SIGINT or SIGTERM.
//
// A request for /to/127.A.B.C:PORT/PATH is passed on as a request for /PATH to
// that loopback address (header lines as received) and the whole answer sent
// back; a "Location: /…" in it gets the same /to/… prefix. Nothing but
// 127.0.0.0/8 is ever connected to.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "tests/peers/tls_test_server.h"

namespace {

constexpr std::size_t kMaxAnswerBytes = 4 << 20;

// The plain site's whole answer to `request`, or "" when it cannot be reached.
std::string AskSite(const std::string& address, int port, const std::string& request) {
  sockaddr_in site{};
  site.sin_family = AF_INET;
  site.sin_port = htons(static_cast<uint16_t>(port));
  if (inet_pton(AF_INET, address.c_str(), &site.sin_addr) != 1 || (ntohl(site.sin_addr.s_addr) >> 24) != 127) {
    return {};
  }
  const int s = socket(AF_INET, SOCK_STREAM, 0);
  if (s < 0) return {};
  timeval timeout{10, 0};
  setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  std::string answer;
  if (connect(s, reinterpret_cast<const sockaddr*>(&site), sizeof site) == 0 &&
      send(s, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size())) {
    char buffer[16384];
    ssize_t n;
    while (answer.size() < kMaxAnswerBytes && (n = recv(s, buffer, sizeof buffer, 0)) > 0) {
      answer.append(buffer, static_cast<std::size_t>(n));
    }
  }
  close(s);
  return answer;
}

// Puts `prefix` in front of a site-relative Location in the answer's head.
std::string RewriteLocation(std::string answer, const std::string& prefix) {
  const std::size_t headEnd = answer.find("\r\n\r\n");
  for (const char* name : {"\r\nLocation: /", "\r\nlocation: /"}) {
    const std::size_t at = answer.find(name);
    if (at != std::string::npos && at < headEnd) answer.insert(at + std::char_traits<char>::length(name) - 1, prefix);
  }
  return answer;
}

void Relay(ferry::test::TlsPeer& peer, const ferry::test::TestIdentity& identity) {
  if (!peer.AcceptTls(identity)) return;
  std::string line;
  if (!peer.ReadTlsLine(&line)) return;
  std::string headerLines;
  std::string header;
  for (int i = 0; i < 100 && peer.ReadTlsLine(&header) && header != "\r\n"; ++i) headerLines += header;
  // "GET /to/127.0.0.5:80/news.rss HTTP/1.1"
  const std::size_t space = line.find(' ');
  const std::size_t targetEnd = line.find(' ', space + 1);
  const std::string target = line.substr(space + 1, targetEnd - space - 1);
  const std::size_t colon = target.find(':');
  const std::size_t pathStart = target.find('/', 4);
  std::string answer;
  if (target.rfind("/to/", 0) == 0 && colon != std::string::npos && pathStart != std::string::npos && colon < pathStart) {
    const std::string address = target.substr(4, colon - 4);
    const int port = std::atoi(target.substr(colon + 1, pathStart - colon - 1).c_str());
    answer = AskSite(address, port,
                     line.substr(0, space + 1) + target.substr(pathStart) + line.substr(targetEnd) + headerLines + "\r\n");
    answer = RewriteLocation(std::move(answer), target.substr(0, pathStart));
  }
  if (answer.empty()) answer = "HTTP/1.1 502 No site\r\nConnection: close\r\nContent-Length: 0\r\n\r\n";
  peer.WriteTls(answer);
  peer.CloseTls();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: ferry_https_relay FOLDER\n";
    return 2;
  }
  const std::string folder = argv[1];
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  ferry::test::TestPki pki;
  std::filesystem::copy_file(pki.CaFile(), folder + "/ca.pem", std::filesystem::copy_options::overwrite_existing);
  const ferry::test::TestIdentity& identity = pki.Identity(ferry::test::TestCertificate::Good);
  ferry::test::TlsTestServer server([&identity](ferry::test::TlsPeer& peer) { Relay(peer, identity); });
  {
    std::ofstream port(folder + "/port.tmp");
    port << server.Port() << '\n';
  }
  std::filesystem::rename(folder + "/port.tmp", folder + "/port");
  int received = 0;
  sigwait(&signals, &received);
  server.Stop();
  return 0;
}
