// Account runs against the scripted mailbox and sink where the SMTP server
// refuses: a message refused for good stays on the POP3 server and is not
// uploaded again until released; a run of refusals that makes the server end
// the session holds back no good mail; recipients refused for now get the
// message in a later run, alone; and each failed run writes one error event
// naming its cause, at DebugLevel 0.
#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <set>

#include "service/transfer/account_run.h"
#include "service/transfer/delivery_ledger.h"
#include "service/transfer/refusal_release.h"
#include "service/transfer/run_failure.h"
#include "tests/transfer/hostile_fixture.h"
#include "tests/transfer/transfer_fixture.h"

namespace ferry::test {
namespace {

std::string Numbered(int n, const std::string& to = "<user@mailbox.example>") {
  std::string k = std::to_string(n);
  return Message("From: <s" + k + "@sender.example>\r\nTo: " + to + "\r\nSubject: Nummer " + k);
}

std::vector<std::string> Box(int count) {
  std::vector<std::string> box;
  for (int i = 1; i <= count; ++i) box.push_back(Numbered(i));
  return box;
}

class DeliveryOutcomeTest : public TransferTest {
 protected:
  void SetUp() override {
    TransferTest::SetUp();
    settings.popDelete = 1;
    settings.addressmode = 1;
    settings.addressmodeFrom = 1;
  }
  DeliveryLedger LoadedLedger() const {
    DeliveryLedger ledger = DeliveryLedger::ForMailbox(settings.popHost, settings.popUser);
    EXPECT_TRUE(ledger.Load().ok());
    return ledger;
  }
  std::vector<std::string> EventsOf(const std::string& id) const { return EventsStartingWith(id + "\t"); }
};

TEST_F(DeliveryOutcomeTest, RefusedMessageStaysAndIsNotUploadedAgainUntilReleased) {
  Pop3Peer pop(Box(3));
  SmtpPeer smtp({.override = Misbehave({{"MAIL FROM:<s2@", Say("550 5.7.1 <s2@sender.example>: sender rejected\r\n")}})});
  Use(pop);
  Use(smtp);

  Run();
  EXPECT_EQ(pop.Remaining(), std::vector<std::string>{Box(3)[1]});
  EXPECT_EQ(EventsOf("64"), std::vector<std::string>{"64\t2\tNORAS\tPostfach\t2\t<s2@sender.example>\tNummer 2\t"
                                                     "550 5.7.1 <s2@sender.example>: sender rejected\tuid2"});
  EXPECT_TRUE(LoadedLedger().IsRefused("uid2"));

  Run();  // left alone: not fetched, not uploaded
  EXPECT_EQ(pop.Transcript().find("RETR 1", pop.Transcript().rfind("USER")), std::string::npos);
  EXPECT_EQ(smtp.Mails().size(), 2U);
  EXPECT_EQ(EventsOf("64").size(), 1U);

  DeliveryLedger held = DeliveryLedger::ForMailbox(settings.popHost, settings.popUser);
  ASSERT_TRUE(held.Load().ok());
  DeliveryLedger other = DeliveryLedger::ForMailbox(settings.popHost, settings.popUser);
  EXPECT_NE(ReleaseRefusals(other, "all").error, "") << "a run holds the mailbox";
  held.Close();
  EXPECT_NE(ReleaseRefusals(other, "uid1").error, "") << "uid1 was accepted, not refused";
  EXPECT_EQ(ReleaseRefusals(other, "ALL").released, std::vector<std::string>{"uid2"});
  Run();
  ASSERT_EQ(smtp.Mails().size(), 3U);
  EXPECT_NE(smtp.Mails()[2].data.find("Nummer 2"), std::string::npos);
  EXPECT_TRUE(pop.Remaining().empty());
}

// The server ends the session after 20 errors (421), as a hardened server
// does; the refused messages behind the cut and the good ones still go.
TEST_F(DeliveryOutcomeTest, ThirtyRefusedThenFourGoodTheFourArrive) {
  std::vector<std::string> box;
  for (int i = 1; i <= 34; ++i) box.push_back(Numbered(i, i <= 30 ? "<nobody@mailbox.example>" : "<user@mailbox.example>"));
  Pop3Peer pop(box);
  auto errors = std::make_shared<int>(0);
  SmtpPeer smtp({.override = [errors](std::string_view command) -> std::optional<PeerReply> {
    if (command.starts_with("EHLO")) *errors = 0;
    if (!command.starts_with("RCPT TO:<nobody@") && !command.starts_with("RCPT TO:<postmaster@")) return std::nullopt;
    if (++*errors > 20) return PeerReply{{"421 4.7.0 too many errors\r\n"}, PeerReply::Then::Close};
    return Say("550 5.1.1 unknown user\r\n");
  }});
  Use(pop);
  Use(smtp);
  settings.maxMails = 0;

  Run();
  ASSERT_EQ(smtp.Mails().size(), 4U);
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_NE(smtp.Mails()[i].data.find("Nummer " + std::to_string(31 + i)), std::string::npos);
  }
  EXPECT_EQ(pop.Remaining().size(), 30U);
  EXPECT_EQ(pop.Deleted(), (std::set<int>{31, 32, 33, 34}));
  // Every refusal that was answered is kept: those messages are not uploaded again.
  DeliveryLedger ledger = LoadedLedger();
  int refused = 0;
  for (int i = 1; i <= 30; ++i) refused += ledger.IsRefused("uid" + std::to_string(i)) ? 1 : 0;
  EXPECT_GE(refused, 10);
}

TEST_F(DeliveryOutcomeTest, RecipientRefusedForNowGetsTheMessageAloneInTheNextRun) {
  Pop3Peer pop({Numbered(1, "anna@firma.de, bert@firma.de,\r\n carla@firma.de")});
  SmtpPeer smtp({.override = Misbehave({{"RCPT TO:<carla@", Say("452 4.2.2 over quota\r\n")},
                                        {"RCPT TO:<bert@", Say("550 5.1.1 unknown user\r\n"), 0}})});
  Use(pop);
  Use(smtp);
  settings.localDomains = "firma.de";

  Run();
  ASSERT_EQ(smtp.Mails().size(), 1U);
  EXPECT_EQ(smtp.Mails()[0].rcptTo, std::vector<std::string>{"<anna@firma.de>"});
  EXPECT_EQ(pop.Remaining().size(), 1U);
  {
    DeliveryLedger ledger = LoadedLedger();  // held while its entry is read
    const LedgerEntry* entry = ledger.Find("uid1");
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->state, LedgerState::kPartial);
    EXPECT_EQ(entry->recipients, (std::vector<std::string>{"anna@firma.de", "bert@firma.de"}));
  }

  Run();
  ASSERT_EQ(smtp.Mails().size(), 2U);
  EXPECT_EQ(smtp.Mails()[1].rcptTo, std::vector<std::string>{"<carla@firma.de>"});
  EXPECT_TRUE(pop.Remaining().empty());
  EXPECT_TRUE(LoadedLedger().IsAccepted("uid1"));
}

struct FailureCase {
  const char* name;
  std::vector<Misbehaviour> pop3;
  std::vector<Misbehaviour> smtp;
  bool smtpUnreachable;
  std::string event;  // after "65\t1\tNORAS\tPostfach\t"; "@" stands for the SMTP host
};
void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

class FailureEventTest : public DeliveryOutcomeTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(FailureEventTest, OneErrorEventNamesTheCauseAtDebugLevelZero) {
  const FailureCase& c = GetParam();
  Pop3Peer pop(Box(2), {.override = Misbehave(c.pop3)});
  SmtpPeer smtp({.override = Misbehave(c.smtp)});
  Use(pop);
  Use(smtp);
  if (c.smtpUnreachable) settings.smtpHost = UnusedLoopbackAddress();
  settings.debugLevel = 0;
  TransferDeadlines short_ = UniformDeadlines(kShortReceiveTimeout);
  short_.smtpDataEnd = std::chrono::seconds(1);
  deadlines = short_;

  Run();
  std::string expected = c.event;
  if (auto at = expected.find('@'); at != std::string::npos) expected.replace(at, 1, settings.smtpHost);
  EXPECT_EQ(EventsOf("65"), std::vector<std::string>{"65\t1\tNORAS\tPostfach\t" + expected});
  for (const std::string& report : EventsOf("5")) EXPECT_TRUE(report.ends_with("\t0")) << report;
}

INSTANTIATE_TEST_SUITE_P(
    Runs, FailureEventTest,
    ::testing::Values(
        FailureCase{"WrongPassword",
                    {{"PASS", Say("-ERR [AUTH] Authentication failed.\r\n")}},
                    {},
                    false,
                    "POP3 PASS\tPOP3 login refused: -ERR [AUTH] Authentication failed."},
        FailureCase{"SmtpServerDown", {}, {}, true, "SMTP server connect\tSMTP server @ refused the connection"},
        FailureCase{"NoReplyAfterTheText",
                    {},
                    {{"<end of data>", Silence(), 0}},
                    false,
                    "SMTP end of data\tno reply within 1 s after end of data"}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(FailureTextTest, SocketErrorsInWordsWithTheirNumber) {
  EXPECT_EQ(ConnectFailureText("POP3 server", "pop.example", net::kErrorHostNotFound),
            "host pop.example does not resolve");
  EXPECT_EQ(ConnectFailureText("SMTP server", "10.0.0.1", net::kErrorTimedOut),
            "SMTP server 10.0.0.1 did not answer the connection");
  EXPECT_EQ(ConnectFailureText("SMTP server", "10.0.0.1", net::kErrorNetworkUnreachable),
            "no connection to SMTP server 10.0.0.1: network unreachable (error 10051)");
  EXPECT_EQ(SocketErrorWords(4242), "socket error (error 4242)");
  EXPECT_EQ(ReplyForEvent("552-5.3.4 too big\r\n552 5.3.4 really\r\n"), "552-5.3.4 too big  552 5.3.4 really");
}

}  // namespace
}  // namespace ferry::test
