// Account runs over TLS against scripted POP3 and SMTP servers on loopback
// with the test PKI: TLS from the connect, STLS and STARTTLS, the SMTP login,
// the certificate refusals, plaintext injected after the go-ahead, and servers
// that do not offer TLS where the account requires it.
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "service/transfer/account_run.h"
#include "service/transfer/capability_lines.h"
#include "service/transfer/tls_modes.h"
#include "service/transfer/transfer_ports.h"
#include "tests/peers/tls_mail_peers.h"
#include "tests/peers/tls_test_server.h"
#include "tests/transfer/transfer_fixture.h"

namespace ferry::test {
namespace {

const std::string kMessageText = "Subject: over TLS\r\nFrom: anna@example.org\r\n\r\nHallo.\r\n";

class TlsTransferTest : public TransferTest {
 protected:
  void SetUp() override {
    TransferTest::SetUp();
    settings.popHost = "localhost";
    settings.smtpHost = "localhost";
    settings.popDelete = 1;
    settings.tlsCaFile = SharedTestPki().CaFile();
  }

  // Runs the account against a POP3 and an SMTP server of these scripts.
  void RunAgainst(const TlsMailScript& pop, const TlsMailScript& smtp) {
    const std::vector<std::string> mailbox{messageText};
    TlsTestServer popServer([&](TlsPeer& peer) { ServeTlsPop3(peer, pop, SharedTestPki(), mailbox, popSeen); });
    TlsTestServer smtpServer(
        [&](TlsPeer& peer) { ServeTlsSmtp(peer, smtp, SharedTestPki(), "anna", "senden", smtpSeen); });
    settings.popPort = popServer.Port();
    settings.smtpPort = smtpServer.Port();
    Run();
    popServer.Stop();
    smtpServer.Stop();
  }

  // The events of the run with this id, as "type\tstrings...".
  std::vector<std::string> EventsWithId(uint32_t id) const {
    std::vector<std::string> found;
    const std::string prefix = std::to_string(id) + "\t";
    for (const std::string& e : EventsStartingWith(prefix)) found.push_back(e.substr(prefix.size()));
    return found;
  }

  // The mail the sink received, as one text.
  std::string Mail() const {
    std::string all;
    for (const std::string& text : smtpSeen.mail) all += text;
    return all;
  }
  int Deletes() const { return static_cast<int>(popSeen.deleted.size()); }

  std::string messageText = kMessageText;  // the mailbox's one message
  TlsMailSeen popSeen;
  TlsMailSeen smtpSeen;
};

struct ForwardCase {
  const char* name;
  uint32_t popSecurity;
  uint32_t smtpSecurity;
  std::string injected;  // after each go-ahead
};
void PrintTo(const ForwardCase& c, std::ostream* out) { *out << c.name; }

class TlsForwardTest : public TlsTransferTest, public ::testing::WithParamInterface<ForwardCase> {};

// The message is forwarded and deleted, the POP3 password and the SMTP login
// cross only over TLS and never reach the debug log, and plaintext the server
// appends to its go-ahead is never read as a reply (it would fail the login).
TEST_P(TlsForwardTest, ForwardsAndDeletesWithTheLoginOnlyOverTls) {
  const ForwardCase& c = GetParam();
  settings.popSecurity = c.popSecurity;
  settings.smtpSecurity = c.smtpSecurity;
  settings.smtpUser = "anna";
  settings.smtpPassword = "senden";
  const std::string injected = c.injected;
  RunAgainst(MailScript(TestCertificate::Good, c.popSecurity == kSecurityImplicit, true,
                    injected.empty() ? "" : "-ERR " + injected),
             MailScript(TestCertificate::Good, c.smtpSecurity == kSecurityImplicit, true,
                    injected.empty() ? "" : "535 " + injected));

  EXPECT_NE(Mail().find("Subject: over TLS"), std::string::npos) << Log();
  EXPECT_EQ(Deletes(), 1) << Log();
  EXPECT_NE(popSeen.tls.find("PASS geheim\r\n"), std::string::npos);
  EXPECT_EQ(popSeen.plain.find("USER"), std::string::npos);
  EXPECT_NE(smtpSeen.tls.find("AUTH PLAIN AGFubmEAc2VuZGVu\r\n"), std::string::npos);
  EXPECT_EQ(smtpSeen.plain.find("AUTH"), std::string::npos);
  EXPECT_EQ(smtpSeen.plain.find("MAIL FROM"), std::string::npos);
  const std::string log = Log();
  EXPECT_EQ(log.find("geheim"), std::string::npos);
  EXPECT_EQ(log.find("AGFubmEAc2VuZGVu"), std::string::npos);
  EXPECT_NE(log.find("TLS: TLSv1."), std::string::npos);
  if (!c.injected.empty()) {
    EXPECT_NE(log.find("bytes sent before the handshake dropped"), std::string::npos) << log;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Modes, TlsForwardTest,
    ::testing::Values(ForwardCase{"ImplicitPop3StartTlsSmtp", kSecurityImplicit, kSecurityStartTls, ""},
                      ForwardCase{"StlsPop3ImplicitSmtp", kSecurityStartTls, kSecurityImplicit, ""},
                      ForwardCase{"StlsWhenOfferedActsAsRequired", kSecurityWhenOffered, kSecurityWhenOffered, ""},
                      ForwardCase{"PlaintextAfterTheGoAheadIsDropped", kSecurityStartTls, kSecurityStartTls,
                                  "injected\r\n"}),
    [](const auto& param) { return std::string(param.param.name); });

// A message of many TLS records: records already read from the socket are
// decrypted without waiting for more bytes (the server sends nothing more
// until the client answers): a wait would end the message at the idle
// deadline, here far shorter than the run's own.
TEST_F(TlsTransferTest, MessageOfManyRecordsArrivesWithoutWaiting) {
  settings.popSecurity = kSecurityImplicit;
  settings.smtpSecurity = kSecurityImplicit;
  receiveTimeout = std::chrono::milliseconds(3000);
  std::string body;
  for (int i = 0; body.size() < 700 * 1024; ++i) {
    body += "Zeile " + std::to_string(i) + " " + std::string(60, 'x') + "\r\n";
  }
  messageText = "Subject: large\r\n\r\n" + body;
  RunAgainst(MailScript(TestCertificate::Good, true), MailScript(TestCertificate::Good, true));
  // Whole, behind the gateway's x-info line.
  EXPECT_TRUE(Mail().ends_with(messageText)) << Mail().size() << " bytes of " << messageText.size();
  EXPECT_EQ(Deletes(), 1);
}

// A sink that stops reading after "354": the send over TLS gives up at the
// run's send deadline (else the run would wait until the sink closes).
TEST_F(TlsTransferTest, SinkThatStopsReadingEndsTheSendOverTls) {
  settings.smtpSecurity = kSecurityImplicit;
  // Deadlines of 2 s: the 24 MB must still arrive from the POP3 side on a loaded machine.
  receiveTimeout = std::chrono::milliseconds(2000);
  // More text than the socket buffers of both sides hold.
  messageText = "Subject: big\r\n\r\n" + std::string(24 * 1024 * 1024, 'x') + "\r\n";
  TlsMailScript sink = MailScript(TestCertificate::Good, true);
  sink.stopsReadingAtData = true;
  RunAgainst(MailScript(), sink);
  EXPECT_EQ(Deletes(), 0);
  EXPECT_NE(Log().find("Protocol failure at text: not sent whole"), std::string::npos) << Log();
}

struct RefusalCase {
  const char* name;
  TestCertificate certificate;
  const char* reason;
};
void PrintTo(const RefusalCase& c, std::ostream* out) { *out << c.name; }

class TlsRefusalTest : public TlsTransferTest, public ::testing::WithParamInterface<RefusalCase> {};

// A certificate that fails its check ends the dialogue with an error event
// naming why, before any password went out, on both sides.
TEST_P(TlsRefusalTest, RefusesTheServerBeforeAnyPassword) {
  const RefusalCase& c = GetParam();
  settings.popSecurity = kSecurityStartTls;
  settings.smtpSecurity = kSecurityImplicit;
  settings.smtpUser = "anna";
  settings.smtpPassword = "senden";
  RunAgainst(MailScript(c.certificate), MailScript(c.certificate, true));

  EXPECT_EQ(EventsWithId(kEventTlsRefused),
            (std::vector<std::string>{std::string("1\tNORAS\tPostfach\tPOP3\tlocalhost\t") + c.reason}))
      << Log();
  EXPECT_EQ(popSeen.plain, "CAPA\r\nSTLS\r\n");
  EXPECT_EQ(popSeen.tls, "");
  EXPECT_EQ(Mail(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Certificates, TlsRefusalTest,
    ::testing::Values(RefusalCase{"WrongHostName", TestCertificate::OtherHost, "certificate is for another host name"},
                      RefusalCase{"Expired", TestCertificate::Expired, "certificate has expired"},
                      RefusalCase{"UnknownIssuer", TestCertificate::UnknownCa, "certificate issuer is unknown"}),
    [](const auto& param) { return std::string(param.param.name); });

// The SMTP side alone: a refused certificate there ends the delivery before
// the login; the message stays on the POP3 server.
TEST_F(TlsTransferTest, SmtpCertificateRefusalKeepsTheMessage) {
  settings.smtpSecurity = kSecurityStartTls;
  settings.smtpUser = "anna";
  settings.smtpPassword = "senden";
  RunAgainst(MailScript(), MailScript(TestCertificate::Expired));
  EXPECT_EQ(EventsWithId(kEventTlsRefused),
            (std::vector<std::string>{"1\tNORAS\tPostfach\tSMTP\tlocalhost\tcertificate has expired"}));
  EXPECT_EQ(smtpSeen.tls, "");
  EXPECT_EQ(Deletes(), 0);
}

// "SMTP Security" 1: a certificate that fails its check is a warning, and the
// delivery goes on encrypted.
TEST_F(TlsTransferTest, OpportunisticStartTlsWarnsAndGoesOnEncrypted) {
  settings.smtpSecurity = kSecurityWhenOffered;
  RunAgainst(MailScript(), MailScript(TestCertificate::OtherHost));
  EXPECT_EQ(EventsWithId(kEventTlsCertificateWarning),
            (std::vector<std::string>{"2\tNORAS\tPostfach\tlocalhost\tcertificate is for another host name"}));
  EXPECT_NE(smtpSeen.tls.find("MAIL FROM"), std::string::npos);
  EXPECT_EQ(Deletes(), 1);
}

// Required TLS against servers that do not offer it: an error event, nothing
// of the login nor of a message goes out in clear. "SMTP Security" 1 without
// STARTTLS delivers in clear, but keeps the login back.
TEST_F(TlsTransferTest, RequiredTlsNotOfferedSendsNoLogin) {
  settings.popSecurity = kSecurityStartTls;
  RunAgainst(MailScript(TestCertificate::Good, false, false), MailScript());
  EXPECT_EQ(EventsWithId(kEventNoStartTls), (std::vector<std::string>{"1\tNORAS\tPostfach\tPOP3\tlocalhost\tSTLS"}));
  EXPECT_EQ(popSeen.plain, "CAPA\r\nQUIT\r\n");

  popSeen.plain.clear();
  settings.popSecurity = kSecurityNone;
  settings.smtpSecurity = kSecurityStartTls;
  RunAgainst(MailScript(), MailScript(TestCertificate::Good, false, false));
  EXPECT_EQ(smtpSeen.plain.find("MAIL FROM"), std::string::npos);
  EXPECT_EQ(Deletes(), 0);

  settings.smtpSecurity = kSecurityWhenOffered;
  settings.smtpUser = "anna";
  settings.smtpPassword = "senden";
  RunAgainst(MailScript(), MailScript(TestCertificate::Good, false, false));
  EXPECT_EQ(smtpSeen.plain.find("AUTH"), std::string::npos);
  EXPECT_EQ(EventsWithId(kEventNoStartTls).size(), 3U);
}

// Plain as before when the account asks for no TLS; a login set anyway goes
// out with a warning each run.
TEST_F(TlsTransferTest, LoginWithoutTlsOnlyWithModeZeroAndAWarning) {
  settings.smtpUser = "anna";
  settings.smtpPassword = "senden";
  RunAgainst(MailScript(), MailScript(TestCertificate::Good, false, false));
  EXPECT_EQ(EventsWithId(kEventLoginWithoutTls),
            (std::vector<std::string>{"2\tNORAS\tPostfach\tlocalhost\tanna"}));
  EXPECT_NE(smtpSeen.plain.find("AUTH PLAIN AGFubmEAc2VuZGVu\r\n"), std::string::npos);
  EXPECT_NE(Mail().find("Subject: over TLS"), std::string::npos);
  EXPECT_EQ(popSeen.tls, "");
  EXPECT_EQ(Log().find("AGFubmEAc2VuZGVu"), std::string::npos);
}

struct OffersCase {
  const char* name;
  std::string ehlo;
  SmtpOffers offers;
};
void PrintTo(const OffersCase& c, std::ostream* out) { *out << c.name; }

class SmtpOffersTest : public ::testing::TestWithParam<OffersCase> {};

TEST_P(SmtpOffersTest, ReadsStartTlsAndMechanisms) {
  EXPECT_EQ(ParseSmtpOffers(GetParam().ehlo), GetParam().offers);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, SmtpOffersTest,
    ::testing::Values(
        OffersCase{"Both", "250-mx\r\n250-starttls\r\n250 AUTH CRAM-MD5 login Plain\r\n", {true, true, true}},
        OffersCase{"OldAuthForm", "250-mx\r\n250 AUTH=LOGIN\r\n", {false, false, true}},
        OffersCase{"BearerMechanisms", "250-mx\r\n250 AUTH PLAIN xoauth2 OAUTHBEARER\r\n", {false, true, false, true, true}},
        OffersCase{"KeywordOnFirstLineIgnored", "250 STARTTLS\r\n", {}},
        OffersCase{"PrefixIsNotTheKeyword", "250-mx\r\n250-STARTTLSX\r\n250 AUTHX PLAIN\r\n", {}},
        OffersCase{"Truncated", "250-mx\r\n250-AU", {}}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(CapabilityLinesTest, StlsBase64AndPorts) {
  EXPECT_TRUE(Pop3OffersStls("+OK\r\nUIDL\r\nstls\r\n.\r\n"));
  EXPECT_FALSE(Pop3OffersStls("-ERR no CAPA\r\n"));
  EXPECT_FALSE(Pop3OffersStls("+OK\r\nUIDL\r\n.\r\nSTLS\r\n"));
  EXPECT_EQ(Base64(std::string("\0anna\0senden", 12)), "AGFubmEAc2VuZGVu");
  EXPECT_EQ(Base64("a"), "YQ==");
  EXPECT_EQ(Base64("ab"), "YWI=");
  EXPECT_EQ(Pop3PortFor(0, kSecurityImplicit), 995);
  EXPECT_EQ(SmtpPortFor(0, kSecurityImplicit), 465);
  EXPECT_EQ(SmtpPortFor(587, kSecurityStartTls), 587);
  SetEnvironment(kSmtpPortEnvironmentVariable, "2525");
  EXPECT_EQ(SmtpPortFor(0, kSecurityImplicit), 2525);
  EXPECT_EQ(SmtpPortFor(587, kSecurityNone), 587);
  SetEnvironment(kSmtpPortEnvironmentVariable, "");
}

}  // namespace
}  // namespace ferry::test
