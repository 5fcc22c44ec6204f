// An HTTPS server on loopback for the HTTP client and token tests: each
// connection carries one request (read whole, bounded), answered by the
// script and closed. Certificates come from the test PKI.
#pragma once

#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "tests/peers/http_exchange.h"
#include "tests/peers/tls_test_server.h"

namespace ferry::test {

class HttpsPeer {
 public:
  HttpsPeer(const TestPki& pki, HttpsScript script, TestCertificate certificate = TestCertificate::Good)
      : script_(std::move(script)),
        identity_(pki.Identity(certificate)),
        server_([this](TlsPeer& peer) { Serve(peer); }) {}

  std::string Url(const std::string& path) const {
    return "https://localhost:" + std::to_string(server_.Port()) + path;
  }
  std::vector<HttpsRequest> Requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
  }
  // Whether any connection got past the handshake.
  bool AnyHandshake() const {
    std::lock_guard lock(mutex_);
    return handshakes_ > 0;
  }
  void Stop() { server_.Stop(); }

 private:
  void Serve(TlsPeer& peer) {
    if (!peer.AcceptTls(identity_)) return;
    {
      std::lock_guard lock(mutex_);
      ++handshakes_;
    }
    HttpsRequest request;
    std::string line;
    if (!peer.ReadTlsLine(&line)) return;
    const auto space = line.find(' ');
    request.method = line.substr(0, space);
    request.target = line.substr(space + 1, line.find(' ', space + 1) - space - 1);
    std::size_t length = 0;
    for (int i = 0; i < 100 && peer.ReadTlsLine(&line) && line != "\r\n"; ++i) {
      request.headerLines += line;
      if (line.size() > 15 && (line.rfind("Content-Length:", 0) == 0 || line.rfind("content-length:", 0) == 0)) {
        length = static_cast<std::size_t>(std::strtoul(line.c_str() + 15, nullptr, 10));
      }
    }
    if (length > 0 && length < (1 << 20)) peer.ReadTls(length, &request.body);
    {
      std::lock_guard lock(mutex_);
      requests_.push_back(request);
    }
    const HttpsAnswer answer = script_(request);
    peer.WriteTls(AnswerBytes(answer));
    peer.CloseTls();
  }

  HttpsScript script_;
  TestIdentity identity_;
  mutable std::mutex mutex_;
  std::vector<HttpsRequest> requests_;
  int handshakes_ = 0;
  TlsTestServer server_;
};

}  // namespace ferry::test
