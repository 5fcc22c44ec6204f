// The server side of TLS for the loopback tests (OpenSSL, Linux only): a test
// PKI made at run time (a CA written to a PEM file for the client, and server
// certificates good and bad), and a scripted server on 127.0.0.1 that can talk
// plaintext first and start TLS on command (implicit TLS, STLS, STARTTLS).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "platform/socket.h"

namespace ferry::test {

// A server's certificate chain and key, PEM.
struct TestIdentity {
  std::string certificatePem;
  std::string keyPem;
};

// The server certificates the tests use. Good, Expired, NotYetValid and
// OtherHost come from the test CA; UnknownCa from a CA the client is not given;
// SelfSigned signs itself. All but OtherHost name localhost and 127.0.0.1.
enum class TestCertificate { Good, OtherHost, Expired, NotYetValid, UnknownCa, SelfSigned };

// Keys and certificates made when constructed (EC P-256, in memory), with the
// test CA's certificate in a PEM file of a temporary folder removed again by
// the destructor.
class TestPki {
 public:
  TestPki();
  ~TestPki();
  TestPki(const TestPki&) = delete;
  TestPki& operator=(const TestPki&) = delete;

  // The PEM file of the test CA (what an account's "TLS CA File" names).
  const std::string& CaFile() const { return caFile_; }
  // The PEM file of the CA that issued the UnknownCa certificate.
  const std::string& OtherCaFile() const { return otherCaFile_; }
  const TestIdentity& Identity(TestCertificate which) const;

 private:
  std::string folder_;
  std::string caFile_;
  std::string otherCaFile_;
  TestIdentity identities_[6];
};

// One test PKI for the whole test program, made on first use.
const TestPki& SharedTestPki();

// What the server saw, for the test's checks.
struct TlsServerRecord {
  bool handshakeCompleted = false;
  std::string plainReceived;  // plaintext lines before TLS
  std::string tlsReceived;    // decrypted application data
  std::string failure;        // the server's TLS error, if any
};

// One accepted connection. Plaintext reads take a byte at a time, so that no
// byte of the client's TLS hello is consumed as plaintext.
class TlsPeer {
 public:
  TlsPeer(net::SocketHandle socket, const std::atomic<bool>& stop);
  ~TlsPeer();
  TlsPeer(const TlsPeer&) = delete;
  TlsPeer& operator=(const TlsPeer&) = delete;

  void WritePlain(std::string_view bytes);
  // A plaintext line with CR LF, at most 1000 bytes; false on close or time-out.
  bool ReadPlainLine(std::string* line);
  // The server's handshake with `identity`; `oldProtocolsOnly` offers nothing
  // newer than TLS 1.1.
  bool AcceptTls(const TestIdentity& identity, bool oldProtocolsOnly = false);
  bool WriteTls(std::string_view bytes);
  // Decrypted bytes up to and including CR LF (at most 1000 bytes).
  bool ReadTlsLine(std::string* line);
  // Exactly `count` decrypted bytes.
  bool ReadTls(std::size_t count, std::string* out);
  // Sends close_notify.
  void CloseTls();
  // Reads nothing and answers nothing for `ms` (or until the server stops).
  void Stall(int ms);
  // Reads whatever raw bytes arrive first (e.g. the client's hello) and returns.
  void ReadSomeRaw();

  const TlsServerRecord& Record() const { return record_; }

 private:
  net::SocketHandle socket_;
  const std::atomic<bool>& stop_;
  void* context_ = nullptr;  // SSL_CTX
  void* ssl_ = nullptr;      // SSL
  TlsServerRecord record_;
};

// Serves one connection after another on 127.0.0.1 (a port the system picks),
// each with `serve`, on a thread of its own until stopped.
class TlsTestServer {
 public:
  using Serve = std::function<void(TlsPeer&)>;

  explicit TlsTestServer(Serve serve);
  ~TlsTestServer() { Stop(); }
  TlsTestServer(const TlsTestServer&) = delete;
  TlsTestServer& operator=(const TlsTestServer&) = delete;

  uint16_t Port() const { return port_; }
  // Waits until the connection being served has ended, then stops.
  void Stop();
  // The record of the last connection served (complete after Stop).
  TlsServerRecord LastRecord() const;
  int Connections() const { return connections_.load(); }

 private:
  void AcceptLoop();

  uint16_t port_ = 0;
  net::SocketHandle listener_ = net::kNoSocket;
  Serve serve_;
  std::atomic<bool> stop_{false};
  std::atomic<int> connections_{0};
  mutable std::mutex mutex_;
  TlsServerRecord last_;
  std::thread thread_;
};

}  // namespace ferry::test
