// The TLS client of the platform seam against the OpenSSL test server on
// loopback: what is accepted, what is refused and why, and that a refused or
// hostile server never gets application data nor gives any.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <ostream>
#include <string>

#include "platform/socket.h"
#include "platform/tls.h"
#include "tests/peers/tls_test_server.h"

namespace ferry::test {
namespace {

using net::TlsFailure;

class TlsSessionTest : public ::testing::Test {
 protected:
  // A client socket connected to the server.
  net::SocketHandle Connect(const TlsTestServer& server) {
    socket_ = net::CreateStreamSocket(10000);
    EXPECT_EQ(net::ConnectStream(socket_, "127.0.0.1", server.Port()), 0);
    return socket_;
  }
  void TearDown() override { net::CloseSocket(socket_); }

  net::TlsOptions Options(const std::string& serverName = "localhost") const {
    net::TlsOptions options;
    options.serverName = serverName;
    options.caFile = SharedTestPki().CaFile();
    options.timeoutMs = 5000;
    return options;
  }

  // Reads until `count` bytes came (or the session ends), `piece` at a time.
  static std::string ReceiveAll(net::TlsSession& session, std::size_t count, std::size_t piece) {
    std::string got;
    std::string buffer(piece, '\0');
    while (got.size() < count) {
      long n = session.Receive(buffer.data(), std::min(piece, count - got.size()));
      if (n <= 0) break;
      got.append(buffer.data(), static_cast<std::size_t>(n));
    }
    return got;
  }

  static std::string Pattern(std::size_t size, unsigned seed) {
    std::string text(size, '\0');
    for (std::size_t i = 0; i < size; ++i) text[i] = static_cast<char>((i * 131 + seed + i / 4099) & 0xFF);
    return text;
  }

  net::SocketHandle socket_ = net::kNoSocket;
};

struct AcceptedCase {
  const char* name;
  const char* serverName;
};
void PrintTo(const AcceptedCase& c, std::ostream* out) { *out << c.name; }

class TlsAcceptedTest : public TlsSessionTest, public ::testing::WithParamInterface<AcceptedCase> {};

// Several MB each way through records split at every size the buffers give:
// the bytes arrive whole and in order, and close_notify reads as the end.
TEST_P(TlsAcceptedTest, ExchangesMegabytesBothWays) {
  constexpr std::size_t kSize = 3 * 1024 * 1024 + 777;
  const std::string up = Pattern(kSize, 7);
  const std::string down = Pattern(kSize, 91);
  bool upIntact = false;
  TlsTestServer server([&](TlsPeer& peer) {
    if (!peer.AcceptTls(SharedTestPki().Identity(TestCertificate::Good))) return;
    std::string got;
    upIntact = peer.ReadTls(kSize, &got) && got == up;
    peer.WriteTls(down);
    std::string line;
    if (peer.ReadTlsLine(&line) && line == "QUIT\r\n") peer.WriteTls("+OK bye\r\n");
    peer.CloseTls();
  });
  net::SocketHandle socket = Connect(server);
  net::TlsError error;
  auto session = net::StartTls(socket, Options(GetParam().serverName), &error);
  ASSERT_NE(session, nullptr) << error.text << ": " << error.detail;
  EXPECT_EQ(error.reason, TlsFailure::None);
  EXPECT_NE(session->Description().find("TLSv1."), std::string::npos) << session->Description();

  EXPECT_EQ(session->Send(up.data(), up.size()), static_cast<long>(up.size()));
  // A small first read leaves the rest of the record decrypted and waiting.
  std::string received = ReceiveAll(*session, 100, 100);
  EXPECT_GT(session->Pending(), 0U);
  received += ReceiveAll(*session, kSize - 100, 5000);
  EXPECT_TRUE(received == down) << "received " << received.size() << " bytes, not the " << kSize << " sent";

  EXPECT_EQ(session->Send("QUIT\r\n", 6), 6);
  EXPECT_EQ(ReceiveAll(*session, 9, 64), "+OK bye\r\n");
  char rest[16];
  EXPECT_EQ(session->Receive(rest, sizeof rest), 0);
  session->Close();
  server.Stop();
  EXPECT_TRUE(upIntact);
}

INSTANTIATE_TEST_SUITE_P(Names, TlsAcceptedTest,
                         ::testing::Values(AcceptedCase{"dns_name", "localhost"},
                                           AcceptedCase{"ip_literal", "127.0.0.1"}),
                         [](const auto& param) { return std::string(param.param.name); });

struct RefusedCase {
  const char* name;
  TestCertificate certificate;
  const char* serverName;
  bool withCaFile;
  bool oldProtocolsOnly;
  TlsFailure reason;
};
void PrintTo(const RefusedCase& c, std::ostream* out) { *out << c.name; }

class TlsRefusedTest : public TlsSessionTest, public ::testing::WithParamInterface<RefusedCase> {};

// A refused server: no session, the reason and its words, the library's
// detail, and the server never completes its handshake nor reads a byte of
// application data.
TEST_P(TlsRefusedTest, RefusesBeforeAnyApplicationData) {
  const RefusedCase& c = GetParam();
  TlsTestServer server([&](TlsPeer& peer) {
    if (!peer.AcceptTls(SharedTestPki().Identity(c.certificate), c.oldProtocolsOnly)) return;
    std::string line;
    peer.ReadTlsLine(&line);
  });
  net::TlsOptions options = Options(c.serverName);
  if (!c.withCaFile) options.caFile.clear();
  net::TlsError error;
  auto session = net::StartTls(Connect(server), options, &error);
  EXPECT_EQ(session, nullptr);
  EXPECT_EQ(error.reason, c.reason) << error.text << ": " << error.detail;
  EXPECT_EQ(error.text, net::TlsFailureText(c.reason));
  EXPECT_FALSE(error.detail.empty());
  server.Stop();
  EXPECT_EQ(server.Connections(), 1);
  EXPECT_FALSE(server.LastRecord().handshakeCompleted);
  EXPECT_EQ(server.LastRecord().tlsReceived, "");
}

INSTANTIATE_TEST_SUITE_P(
    Certificates, TlsRefusedTest,
    ::testing::Values(
        RefusedCase{"expired", TestCertificate::Expired, "localhost", true, false, TlsFailure::Expired},
        RefusedCase{"not_yet_valid", TestCertificate::NotYetValid, "localhost", true, false, TlsFailure::NotYetValid},
        RefusedCase{"other_host_name", TestCertificate::OtherHost, "localhost", true, false, TlsFailure::WrongHostName},
        RefusedCase{"other_ip_address", TestCertificate::Good, "127.0.0.2", true, false, TlsFailure::WrongHostName},
        RefusedCase{"name_not_in_certificate", TestCertificate::Good, "mail.office.example", true, false,
                    TlsFailure::WrongHostName},
        RefusedCase{"unknown_ca", TestCertificate::UnknownCa, "localhost", true, false, TlsFailure::UnknownIssuer},
        RefusedCase{"self_signed", TestCertificate::SelfSigned, "localhost", true, false, TlsFailure::UnknownIssuer},
        RefusedCase{"private_ca_not_given", TestCertificate::Good, "localhost", false, false,
                    TlsFailure::UnknownIssuer},
        RefusedCase{"tls_1_1_only", TestCertificate::Good, "localhost", true, true, TlsFailure::ProtocolTooOld}),
    [](const auto& param) { return std::string(param.param.name); });

struct BrokenServerCase {
  const char* name;
  std::function<void(TlsPeer&)> serve;
  TlsFailure reason;
};
void PrintTo(const BrokenServerCase& c, std::ostream* out) { *out << c.name; }

class TlsBrokenServerTest : public TlsSessionTest, public ::testing::WithParamInterface<BrokenServerCase> {};

// A server that stalls, hangs up or talks nonsense in the handshake: an error
// within the time-out.
TEST_P(TlsBrokenServerTest, EndsWithinTheTimeOut) {
  TlsTestServer server(GetParam().serve);
  net::TlsOptions options = Options();
  options.timeoutMs = 300;
  net::TlsError error;
  auto started = std::chrono::steady_clock::now();
  auto session = net::StartTls(Connect(server), options, &error);
  auto took = std::chrono::steady_clock::now() - started;
  EXPECT_EQ(session, nullptr);
  EXPECT_EQ(error.reason, GetParam().reason) << error.text << ": " << error.detail;
  EXPECT_LT(took, std::chrono::seconds(3));
  server.Stop();
}

INSTANTIATE_TEST_SUITE_P(
    Servers, TlsBrokenServerTest,
    ::testing::Values(
        BrokenServerCase{"stalls", [](TlsPeer& peer) { peer.Stall(10000); }, TlsFailure::TimedOut},
        BrokenServerCase{"closes_after_the_hello", [](TlsPeer& peer) { peer.ReadSomeRaw(); },
                         TlsFailure::HandshakeFailed},
        BrokenServerCase{"answers_in_plaintext",
                         [](TlsPeer& peer) {
                           peer.ReadSomeRaw();
                           peer.WritePlain("-ERR what is this\r\n");
                           peer.Stall(10000);
                         },
                         TlsFailure::HandshakeFailed}),
    [](const auto& param) { return std::string(param.param.name); });

// After the handshake a silent server makes Receive fail with the time-out.
TEST_F(TlsSessionTest, ReceiveEndsAtTheTimeOut) {
  TlsTestServer server([&](TlsPeer& peer) {
    if (peer.AcceptTls(SharedTestPki().Identity(TestCertificate::Good))) peer.Stall(10000);
  });
  net::TlsOptions options = Options();
  options.timeoutMs = 300;
  net::TlsError error;
  auto session = net::StartTls(Connect(server), options, &error);
  ASSERT_NE(session, nullptr) << error.detail;
  char buffer[64];
  auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(session->Receive(buffer, sizeof buffer), -1);
  EXPECT_EQ(net::LastSocketError(), net::kErrorTimedOut);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(3));
  server.Stop();
}

// STARTTLS: plaintext bytes that arrive in the middle of the handshake fail
// it; they are never read as decrypted data. (Bytes that come with the
// go-ahead are dropped: the TLS account runs show it.)
TEST_F(TlsSessionTest, PlaintextInjectedIntoTheHandshakeFailsIt) {
  TlsTestServer server([&](TlsPeer& peer) {
    peer.WritePlain("+OK POP3 ready\r\n");
    std::string command;
    if (!peer.ReadPlainLine(&command) || command != "STLS\r\n") return;
    peer.WritePlain("+OK begin TLS\r\n");
    peer.ReadSomeRaw();  // the client's hello
    peer.WritePlain("+OK injected\r\n");
    peer.Stall(10000);
  });
  net::SocketHandle socket = Connect(server);
  // The caller reads its replies up to the line's end only.
  auto readLine = [socket] {
    std::string line;
    char c = 0;
    while (!line.ends_with("\r\n") && net::ReceiveOnce(socket, &c, 1) == 1) line.push_back(c);
    return line;
  };
  EXPECT_EQ(readLine(), "+OK POP3 ready\r\n");
  EXPECT_EQ(net::SendOnce(socket, "STLS\r\n", 6), 6);
  EXPECT_EQ(readLine(), "+OK begin TLS\r\n");
  net::TlsOptions options = Options();
  options.timeoutMs = 2000;
  net::TlsError error;
  EXPECT_EQ(net::StartTls(socket, options, &error), nullptr);
  EXPECT_EQ(error.reason, TlsFailure::HandshakeFailed) << error.detail;
  server.Stop();
}

}  // namespace
}  // namespace ferry::test
