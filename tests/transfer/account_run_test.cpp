// Whole account runs against a scripted POP3 mailbox and SMTP sink: the bytes
// of both dialogues, the delete guarantee, batches, the refusals, the run report
// and the notices, and a mailbox that misbehaves.
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <ostream>
#include <set>
#include <string>
#include <vector>


#include "platform/udp_socket.h"
#include "service/transfer/run_guard.h"
#include "service/runtime/udp_notice.h"
#include "service/transfer/account_run.h"
#include "tests/transfer/transfer_fixture.h"

namespace ferry::test {
namespace {

const auto Mailbox = NumberedMailbox;

// "RETR from" ... "RETR to", or the same DELE commands.
std::string Commands(const std::string& verb, int from, int to) {
  std::string out;
  for (int i = from; i <= to; ++i) out += verb + " " + std::to_string(i) + "\r\n";
  return out;
}
std::string Retrieval(int from, int to) { return Commands("RETR", from, to); }
std::string Deletion(int from, int to) { return Commands("DELE", from, to); }
const std::string kLogin = "USER anna\r\nPASS geheim\r\nSTAT\r\n";
const std::string kLists = "LIST\r\nUIDL\r\n";

class AccountRunTest : public TransferTest {};

TEST_F(AccountRunTest, DeletesAfterDeliveryAndQuitsAfterTheLastDele) {
  Pop3Peer pop(Mailbox(3));
  SmtpPeer smtp;
  Use(pop);
  Use(smtp);
  settings.popDelete = 1;
  settings.addressmode = 1;

  EXPECT_EQ(Run(), kRunDone);

  EXPECT_EQ(pop.Transcript(), kLogin + kLists + Retrieval(1, 3) + Deletion(1, 3) + "QUIT\r\n");
  EXPECT_TRUE(pop.Remaining().empty());
  ASSERT_EQ(smtp.Mails().size(), 3U);
  EXPECT_EQ(smtp.Mails()[2].rcptTo.front(), "<user3@mailbox.example>");
  // The text arrives as the server stuffed it, behind the x-info line.
  std::string stuffed = Mailbox(1)[0];
  stuffed.replace(stuffed.find(".Punktzeile"), 1, "..");
  EXPECT_EQ(smtp.Mails()[0].data, "x-info: Forwarded from POP3 <-> SMTP Gateway\r\n" + stuffed + ".\r\n");
  EXPECT_TRUE(HasEvent("5\t2\tNORAS\tPostfach\t3"));
  // "In Use" is handed over set before the dialogue and left clear after it.
  EXPECT_EQ(reports.inUse, std::vector<uint32_t>{1});
  EXPECT_EQ(after.inUse, 0U);
  // Even at DebugLevel 9 the log holds no password.
  EXPECT_NE(Log().find("PASS ******"), std::string::npos);
  EXPECT_EQ(Log().find("geheim"), std::string::npos);
}

TEST_F(AccountRunTest, WithoutPopDeleteQuitComesBeforeTheDeliveryAndNothingIsDeleted) {
  Pop3Peer pop(Mailbox(2));
  SmtpPeer smtp;
  Use(pop);
  Use(smtp);
  EXPECT_EQ(Run(), kRunDone);
  EXPECT_EQ(pop.Transcript(), kLogin + kLists + Retrieval(1, 2) + "QUIT\r\n");
  EXPECT_EQ(pop.Remaining().size(), 2U);
  EXPECT_EQ(smtp.Mails().size(), 2U);
  std::string log = Log();
  EXPECT_LT(log.find("----------- POP3 Closed  ----------"), log.find("--------------- SMTP --------------"));
}

TEST_F(AccountRunTest, DeletesExactlyTheAcceptedMessages) {
  Pop3Peer pop(Mailbox(3));
  SmtpPeer smtp({.override = [](std::string_view command) -> std::optional<PeerReply> {
    if (command == "RCPT TO:<user2@mailbox.example>\r\n") return Say("450 4.2.0 mailbox busy\r\n");
    return std::nullopt;
  }});
  Use(pop);
  Use(smtp);
  settings.popDelete = 1;
  settings.addressmode = 1;
  Run();
  EXPECT_EQ(pop.Transcript(), kLogin + kLists + Retrieval(1, 3) + "DELE 1\r\nDELE 3\r\nQUIT\r\n");
  EXPECT_EQ(pop.Remaining(), (std::vector<std::string>{Mailbox(3)[1]}));
  EXPECT_NE(Log().find("Recipient user2@mailbox.example of message 2 refused for now: 450 4.2.0"), std::string::npos);
}

struct BatchCase {
  const char* name;
  int32_t maxMails;
  std::string dialogue;  // after LIST
  int smtpConnections;
};
void PrintTo(const BatchCase& c, std::ostream* os) { *os << c.name; }

class BatchTest : public AccountRunTest, public ::testing::WithParamInterface<BatchCase> {};

TEST_P(BatchTest, DeliversAfterEveryMaxMailsthNumberAndTheRestAtTheEnd) {
  Pop3Peer pop(Mailbox(25));
  SmtpPeer smtp;
  Use(pop);
  Use(smtp);
  settings.popDelete = 1;
  settings.maxMails = GetParam().maxMails;
  Run();
  EXPECT_EQ(pop.Transcript(), kLogin + kLists + GetParam().dialogue + "QUIT\r\n");
  EXPECT_EQ(smtp.Connections(), GetParam().smtpConnections);
  EXPECT_EQ(smtp.Mails().size(), 25U);
  EXPECT_TRUE(pop.Remaining().empty());
}

const std::string kTens =
    Retrieval(1, 10) + Deletion(1, 10) + Retrieval(11, 20) + Deletion(11, 20) + Retrieval(21, 25) + Deletion(21, 25);
INSTANTIATE_TEST_SUITE_P(Batches, BatchTest,
                         ::testing::Values(BatchCase{"Ten", 10, kTens, 3}, BatchCase{"MinusTen", -10, kTens, 3},
                                           BatchCase{"Zero", 0, Retrieval(1, 25) + Deletion(1, 25), 1}),
                         [](const auto& param) { return std::string(param.param.name); });

// A server that lists at most `limit` messages per session: the run drains
// the mailbox in rounds of one run; what it leaves on purpose (kept, too
// large) calls for no further round.
struct RoundsCase {
  const char* name;
  int messages;
  int limit;
  uint32_t popDelete;
  uint32_t maxSize;
  int sessions;
  std::size_t delivered;
  std::size_t remaining;
  bool keptBefore = false;  // a keep-mode run went before (counts include it)
};
void PrintTo(const RoundsCase& c, std::ostream* os) { *os << c.name; }

class RoundsTest : public AccountRunTest, public ::testing::WithParamInterface<RoundsCase> {};

TEST_P(RoundsTest, ACutListingIsDrainedInRoundsOfOneRun) {
  const RoundsCase& c = GetParam();
  const std::vector<std::string> messages = Mailbox(c.messages);
  // Set once the peer exists; its thread reads it when a session lists.
  std::atomic<Pop3Peer*> peer{nullptr};
  Pop3PeerOptions options;
  options.override = [&peer, &messages, &c](std::string_view command) -> std::optional<PeerReply> {
    if (!command.starts_with("LIST")) return std::nullopt;
    std::string text = "+OK scan listing follows\r\n";
    const std::set<int> deleted = peer.load()->Deleted();
    int listed = 0;
    for (int i = 1; i <= c.messages && listed < c.limit; ++i) {
      if (deleted.count(i) != 0) continue;
      text += std::to_string(i) + " " + std::to_string(messages[i - 1].size()) + "\r\n";
      ++listed;
    }
    return Say(text + ".\r\n");
  };
  Pop3Peer pop(messages, options);
  peer = &pop;
  SmtpPeer smtp;
  Use(pop);
  Use(smtp);
  settings.maxSize = c.maxSize;
  std::size_t earlier = 0;
  if (c.keptBefore) {
    // A run in keep mode first: the messages it forwarded are deleted in the
    // next run's first round, which forwards nothing and still drains the rest.
    settings.popDelete = 0;
    EXPECT_EQ(Run(), kRunDone);
    ASSERT_TRUE(pop.WaitSessionsEnded());
    earlier = smtp.Mails().size();
    std::ofstream(EventPath(), std::ios::trunc);
  }
  settings.popDelete = c.popDelete;
  EXPECT_EQ(Run(), kRunDone);
  ASSERT_TRUE(pop.WaitSessionsEnded());
  EXPECT_EQ(pop.Connections(), c.sessions);
  EXPECT_EQ(smtp.Mails().size(), c.delivered);
  EXPECT_EQ(pop.Remaining().size(), c.remaining);
  const std::size_t forwarded = c.delivered - earlier;
  EXPECT_TRUE(HasEvent("5\t" + std::string(forwarded != 0 ? "2" : "4") + "\tNORAS\tPostfach\t" +
                       std::to_string(forwarded)))
      << "one run report for the whole run: " << ::testing::PrintToString(Events());
}

INSTANTIATE_TEST_SUITE_P(
    Rounds, RoundsTest,
    ::testing::Values(RoundsCase{"DeletedInThreeRounds", 7, 3, 1, 0, 3, 7, 0},
                      RoundsCase{"KeptOnTheServer", 5, 3, 0, 0, 2, 3, 5},
                      RoundsCase{"WholeListingOneRound", 4, 10, 1, 0, 1, 4, 0},
                      RoundsCase{"TooLargeForMaxSize", 3, 2, 1, 10, 1, 0, 3},
                      RoundsCase{"OnlyDeletesThenDrains", 5, 3, 1, 0, 4, 5, 0, true}),
    [](const auto& param) { return std::string(param.param.name); });

struct MailboxCase {
  const char* name;
  std::string trigger;  // how the answered command begins ("" the greeting)
  PeerReply reply;
  std::string dialogue;        // the whole POP3 transcript expected
  std::size_t delivered;       // messages that reached the sink
  const char* logLine;         // a line the debug log must hold
};
void PrintTo(const MailboxCase& c, std::ostream* os) { *os << c.name; }

class MailboxTest : public AccountRunTest, public ::testing::WithParamInterface<MailboxCase> {};

TEST_P(MailboxTest, RunEndsAsTheMailboxAllows) {
  const MailboxCase& c = GetParam();
  std::string trigger = c.trigger;
  PeerReply reply = c.reply;
  Pop3PeerOptions options;
  options.override = [trigger, reply](std::string_view command) -> std::optional<PeerReply> {
    if (trigger.empty() ? command.empty() : command.starts_with(trigger)) return reply;
    return std::nullopt;
  };
  Pop3Peer pop(Mailbox(3), options);
  SmtpPeer smtp;
  Use(pop);
  Use(smtp);
  EXPECT_EQ(Run(), kRunDone);
  // A peer that fell silent reads what the client sent last while it closes.
  ASSERT_TRUE(pop.WaitSessionsEnded());
  EXPECT_EQ(pop.Transcript(), c.dialogue);
  EXPECT_EQ(smtp.Mails().size(), c.delivered);
  EXPECT_NE(Log().find(c.logLine), std::string::npos) << Log();
  EXPECT_EQ(EventsStartingWith("5\t").size(), 1U) << "one run report, also for a run that failed";
}

INSTANTIATE_TEST_SUITE_P(
    Mailboxes, MailboxTest,
    ::testing::Values(
        MailboxCase{"NegativePass", "PASS", Say("-ERR authentication failed\r\n"), "USER anna\r\nPASS geheim\r\nQUIT\r\n",
                    0, "POP3 Error:4"},
        MailboxCase{"NegativeUser", "USER", Say("-ERR who\r\n"), "USER anna\r\nQUIT\r\n", 0, "POP3 Error:0"},
        MailboxCase{"StatZero", "STAT", Say("+OK 0 0\r\n"), kLogin + "QUIT\r\n", 0, "0 Nachrichten"},
        MailboxCase{"ListingInTwoSegments", "LIST", PeerReply{{"+OK\r\n", "1 120\r\n2 1", "30\r\n3 99\r\n.\r\n"}},
                    kLogin + kLists + Retrieval(1, 3) + "QUIT\r\n", 3, "3 Nachrichten"},
        MailboxCase{"NegativeRetr", "RETR 3", Say("-ERR gone\r\n"), kLogin + kLists + Retrieval(1, 3) + "QUIT\r\n",
                    2, "Message 3 skipped: -ERR gone"},
        MailboxCase{"HugeGreeting", "", PeerReply{{std::string(100 * 1024, 'g')}, PeerReply::Then::Hang}, "",
                    0, "Protocol failure at greeting: reply too long"},
        MailboxCase{"ClosedAfterGreeting", "", SayAndClose("+OK hello\r\n"), "", 0, "POP3 Error:5"}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(AccountRunTest, UnreachableServerEndsTheRunWithoutReport) {
  settings.popHost = UnusedLoopbackAddress();
  EXPECT_EQ(Run(), kRunDone);
  std::string log = Log();
  EXPECT_NE(log.find("------------- POP3 ------------"), std::string::npos);
  EXPECT_NE(log.find("Error no connection"), std::string::npos);
  EXPECT_TRUE(EventsStartingWith("5\t").empty());
  EXPECT_EQ(after.inUse, 0U);
}

TEST_F(AccountRunTest, RefusesDisabledAndBusyAccounts) {
  settings.enableAccount = 0;
  EXPECT_EQ(Run(), kRunNotEnabled);
  EXPECT_EQ(Log(), "");

  EXPECT_TRUE(Events().empty());

  // A run refused for "In Use" (stored, or a run of this process) leaves a
  // warning and a log line each time.
  settings.enableAccount = 1;
  settings.inUse = 1;
  EXPECT_EQ(Run(), kRunInUse);
  EXPECT_NE(Log().find("Account in use by another run"), std::string::npos);
  EXPECT_EQ(Events(), std::vector<std::string>{"72\t2\tNORAS\tPostfach"});

  settings.inUse = 0;
  {
    AccountRunGuard running("noras", "POSTFACH");
    EXPECT_EQ(Run(), kRunInUse);
  }
  EXPECT_EQ(Events().size(), 2u);
  // No refused run set the flag or handed a state over.
  EXPECT_EQ(after.inUse, 0U);
  EXPECT_TRUE(reports.inUse.empty());
}

TEST_F(AccountRunTest, NoticesGoToTheNoticeAddress) {
  UdpSocket receiver;
  uint32_t loopback = 0;
  ASSERT_TRUE(ParseIpv4Address("127.0.0.1", &loopback));
  ASSERT_TRUE(receiver.Bind(loopback, 0));
  SetEnvironment(kNoticeAddressEnvironmentVariable, "127.0.0.1");

  Pop3Peer pop(Mailbox(2));
  SmtpPeer smtp;
  Use(pop);
  Use(smtp);
  settings.enableUdp = 1;
  settings.enableFromUdp = 1;
  settings.udpPort = receiver.LocalPort();
  Run();

  std::vector<std::string> got;
  char buffer[512];
  for (int i = 0; i < 3; ++i) {
    UdpSocket::Received r = receiver.Receive(buffer, sizeof buffer, std::chrono::seconds(5));
    if (r.outcome != UdpSocket::Outcome::Datagram) break;
    got.emplace_back(buffer, r.length);
  }
  SetEnvironment(kNoticeAddressEnvironmentVariable, "");
  EXPECT_EQ(got, (std::vector<std::string>{"#Postfach#Sender 1 <s1@sender.example>",
                                           "#Postfach#Sender 2 <s2@sender.example>", "2 Postfach"}));
}

}  // namespace
}  // namespace ferry::test
