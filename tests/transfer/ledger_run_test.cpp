// Account runs with the mailbox's delivery ledger against the scripted POP3
// mailbox and SMTP sink: what the ledger's plan fetches, deletes and leaves,
// keep mode over several runs, "Keep Days", a server without unique ids, a
// RETR that fails in the middle of a batch, and a ledger that is busy or
// cannot be read.
#include <gtest/gtest.h>

#include <filesystem>
#include <ostream>

#include "service/transfer/account_run.h"
#include "service/transfer/delivery_ledger.h"
#include "tests/transfer/transfer_fixture.h"

namespace ferry::test {
namespace {

constexpr int64_t kDay = 86400;
constexpr int64_t kStart = 1'700'000'000;

const auto Box = NumberedMailbox;

const std::string kLogin = "USER anna\r\nPASS geheim\r\n";
const std::string kListed = kLogin + "STAT\r\nLIST\r\nUIDL\r\n";

class LedgerRunTest : public TransferTest {
 protected:
  // One run at the given time (seconds since 1970).
  int RunAt(int64_t now) {
    auto context = Context();
    context->mailbox.clock = [now] { return now; };
    int rc = RunAccount(*context);
    after = context->settings;
    return rc;
  }
  DeliveryLedger Ledger() const { return DeliveryLedger::ForMailbox(settings.popHost, settings.popUser); }
  std::string LedgerText() const { return ReadFile(Ledger().path()); }
  // The counts of the run reports (event 5) written so far.
  std::vector<std::string> ReportedCounts() const {
    std::vector<std::string> counts;
    for (const std::string& e : EventsStartingWith("5\t")) counts.push_back(e.substr(e.rfind('\t') + 1));
    return counts;
  }
};

// A message the SMTP server accepted in a run that never reached QUIT is
// deleted without being forwarded again; a refused one is left; new ones are
// fetched; ids the server no longer lists leave the ledger.
TEST_F(LedgerRunTest, PlanDeletesAcceptedLeavesRefusedAndFetchesNew) {
  Pop3Peer pop(Box(3));
  SmtpPeer smtp;
  Use(pop);
  Use(smtp);
  settings.popDelete = 1;
  {
    DeliveryLedger ledger = Ledger();
    ASSERT_TRUE(ledger.RecordAccepted("uid1", {"postmaster@office.example"}, kStart).ok());
    ASSERT_TRUE(ledger.RecordRefused("uid2", "552 too big", kStart).ok());
    ASSERT_TRUE(ledger.RecordAccepted("gone", {}, kStart).ok());
  }

  EXPECT_EQ(RunAt(kStart + 60), kRunDone);

  EXPECT_EQ(pop.Transcript(), kListed + "DELE 1\r\nRETR 3\r\nDELE 3\r\nQUIT\r\n");
  EXPECT_EQ(pop.Remaining(), (std::vector<std::string>{Box(3)[1]}));
  ASSERT_EQ(smtp.Mails().size(), 1U);
  EXPECT_NE(smtp.Mails()[0].data.find("Nummer 3"), std::string::npos);
  EXPECT_EQ(ReportedCounts(), std::vector<std::string>{"1"});

  DeliveryLedger ledger = Ledger();
  ASSERT_TRUE(ledger.Load().ok());
  EXPECT_TRUE(ledger.IsAccepted("uid3"));
  EXPECT_TRUE(ledger.IsRefused("uid2"));
  EXPECT_EQ(ledger.Find("gone"), nullptr);
  EXPECT_EQ(ledger.size(), 3U);
}

// "POP Delete" off: every message is forwarded once however many runs go,
// new mail included; each run reports what it forwarded. The id is in the
// ledger file before the SMTP dialogue goes on after the acceptance.
TEST_F(LedgerRunTest, KeepModeForwardsEachMessageOnce) {
  Pop3Peer pop(Box(2));
  std::string ledgerAtQuit;
  SmtpPeer smtp({.override = [&](std::string_view command) -> std::optional<PeerReply> {
    if (command == "QUIT\r\n" && ledgerAtQuit.empty()) ledgerAtQuit = LedgerText();
    return std::nullopt;
  }});
  Use(pop);
  Use(smtp);

  RunAt(kStart);
  pop.Append(Box(3)[2]);
  RunAt(kStart + 600);
  RunAt(kStart + 1200);

  ASSERT_EQ(smtp.Mails().size(), 3U);
  for (int i = 0; i < 3; ++i) {
    EXPECT_NE(smtp.Mails()[i].data.find("Nummer " + std::to_string(i + 1)), std::string::npos) << i;
  }
  EXPECT_EQ(pop.Remaining().size(), 3U);
  EXPECT_TRUE(pop.Deleted().empty());
  EXPECT_EQ(ReportedCounts(), (std::vector<std::string>{"2", "1", "0"}));
  EXPECT_NE(ledgerAtQuit.find("A uid1 "), std::string::npos) << ledgerAtQuit;
  EXPECT_NE(ledgerAtQuit.find("A uid2 "), std::string::npos) << ledgerAtQuit;
}

TEST_F(LedgerRunTest, KeepDaysDeletesWhatWasForwardedThatLongAgo) {
  Pop3Peer pop(Box(2));
  SmtpPeer smtp;
  Use(pop);
  Use(smtp);
  settings.keepDays = 2;

  RunAt(kStart);
  pop.Append(Box(3)[2]);
  RunAt(kStart + 1 * kDay);
  EXPECT_TRUE(pop.Deleted().empty());
  RunAt(kStart + 2 * kDay + 1);

  // Messages 1 and 2 are two days old, message 3 one day.
  EXPECT_EQ(pop.Deleted(), (std::set<int>{1, 2}));
  EXPECT_EQ(smtp.Mails().size(), 3U);
  std::string transcript = pop.Transcript();
  EXPECT_TRUE(transcript.ends_with(kListed + "DELE 1\r\nDELE 2\r\nQUIT\r\n")) << transcript;
}

// Without unique ids the run forwards and deletes as the listing says, and
// warns once per run naming the account.
TEST_F(LedgerRunTest, ServerWithoutUniqueIdsForwardsAllAndWarns) {
  Pop3PeerOptions options;
  options.uidl = false;
  Pop3Peer pop(Box(2), options);
  SmtpPeer smtp;
  Use(pop);
  Use(smtp);

  RunAt(kStart);
  RunAt(kStart + 600);

  EXPECT_EQ(smtp.Mails().size(), 4U);
  EXPECT_EQ(ReportedCounts(), (std::vector<std::string>{"2", "2"}));
  EXPECT_EQ(EventsStartingWith("60\t2\tNORAS\tPostfach\t" + settings.popHost).size(), 2U);
  EXPECT_EQ(LedgerText(), "");
}

struct BrokenRetrCase {
  const char* name;
  PeerReply reply;  // the answer to RETR 3
};
void PrintTo(const BrokenRetrCase& c, std::ostream* os) { *os << c.name; }

class BrokenRetrTest : public LedgerRunTest, public ::testing::WithParamInterface<BrokenRetrCase> {};

// After a RETR that breaks off, the messages read whole are delivered and
// recorded, nothing more is said on the broken connection, and a fresh session
// deletes them; the next run takes the rest. Nothing doubled, nothing lost.
TEST_P(BrokenRetrTest, DeliveredOnesAreDeletedByAFreshSession) {
  auto first = std::make_shared<bool>(true);
  PeerReply broken = GetParam().reply;
  Pop3Peer pop(Box(5), {.override = [first, broken](std::string_view command) -> std::optional<PeerReply> {
                 if (command != "RETR 3\r\n" || !*first) return std::nullopt;
                 *first = false;
                 return broken;
               }});
  SmtpPeer smtp;
  Use(pop);
  Use(smtp);
  settings.popDelete = 1;
  receiveTimeout = kShortReceiveTimeout;

  RunAt(kStart);
  ASSERT_TRUE(pop.WaitSessionsEnded());
  EXPECT_EQ(pop.Transcript(), kListed + "RETR 1\r\nRETR 2\r\nRETR 3\r\n" + kLogin + "UIDL\r\nDELE 1\r\nDELE 2\r\nQUIT\r\n");
  EXPECT_EQ(pop.Deleted(), (std::set<int>{1, 2}));
  EXPECT_EQ(smtp.Mails().size(), 2U);
  EXPECT_NE(Log().find("Message 3 incomplete"), std::string::npos);
  EXPECT_EQ(ReportedCounts(), std::vector<std::string>{"2"});

  RunAt(kStart + 600);
  EXPECT_EQ(pop.Deleted(), (std::set<int>{1, 2, 3, 4, 5}));
  ASSERT_EQ(smtp.Mails().size(), 5U);
  for (int i = 0; i < 5; ++i) {
    EXPECT_NE(smtp.Mails()[i].data.find("Nummer " + std::to_string(i + 1)), std::string::npos) << i;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Breaks, BrokenRetrTest,
    ::testing::Values(BrokenRetrCase{"Closed", PeerReply{{"+OK\r\nFrom: <a@b>\r\n"}, PeerReply::Then::Close}},
                      BrokenRetrCase{"Stalled", PeerReply{{"+OK\r\nFrom: <a@b>\r\n"}, PeerReply::Then::Hang}}),
    [](const auto& param) { return std::string(param.param.name); });

// A DELE or QUIT that is not answered leaves the session's deletes
// uncommitted: the fresh session deletes what the ledger holds.
TEST_F(LedgerRunTest, DeletesCutOffAtTheEndAreMadeByAFreshSession) {
  for (const char* breaking : {"DELE 2\r\n", "QUIT\r\n"}) {
    SCOPED_TRACE(breaking);
    auto first = std::make_shared<bool>(true);
    std::string command = breaking;
    Pop3PeerOptions options;
    options.override = [first, command](std::string_view line) -> std::optional<PeerReply> {
      if (line != command || !*first) return std::nullopt;
      *first = false;
      return PeerReply{{}, PeerReply::Then::Close};
    };
    Pop3Peer pop(Box(3), options);
    SmtpPeer smtp;
    Use(pop);
    Use(smtp);
    settings.popDelete = 1;

    RunAt(kStart);
    ASSERT_TRUE(pop.WaitSessionsEnded());
    EXPECT_EQ(pop.Deleted(), (std::set<int>{1, 2, 3}));
    EXPECT_EQ(smtp.Mails().size(), 3U);
    std::string transcript = pop.Transcript();
    // The peer commits at QUIT before it answers: then the fresh session finds nothing left.
    std::string repair = command == "QUIT\r\n" ? "UIDL\r\nQUIT\r\n" : "UIDL\r\nDELE 1\r\nDELE 2\r\nDELE 3\r\nQUIT\r\n";
    EXPECT_TRUE(transcript.ends_with(kLogin + repair)) << transcript;
    // No command after the one that went unanswered: one QUIT per session that reached it.
    EXPECT_EQ(Occurrences(transcript, "QUIT"), command == "QUIT\r\n" ? 2 : 1);
  }
}

TEST_F(LedgerRunTest, BusyOrUnreadableLedgerStopsTheRunBeforeItConnects) {
  Pop3Peer pop(Box(1));
  SmtpPeer smtp;
  Use(pop);
  Use(smtp);
  {
    DeliveryLedger other = Ledger();
    ASSERT_TRUE(other.Load().ok());
    EXPECT_EQ(RunAt(kStart), kRunInUse);
  }
  // The event file writes a backslash (of a Windows path) as two.
  const std::string ledgerPath = Ledger().path();
  std::string path;
  for (char c : ledgerPath) path += c == '\\' ? std::string("\\\\") : std::string(1, c);
  EXPECT_EQ(EventsStartingWith("61\t2\tNORAS\tPostfach\t" + path).size(), 1U);

  std::filesystem::create_directories(Ledger().path());  // a folder where the file should be
  EXPECT_EQ(RunAt(kStart), kRunInUse);
  EXPECT_EQ(EventsStartingWith("62\t1\tNORAS\tPostfach\t" + path + "\t").size(), 1U);

  EXPECT_EQ(pop.Connections(), 0);
  EXPECT_TRUE(reports.inUse.empty());
  EXPECT_EQ(after.inUse, 0U);
}

}  // namespace
}  // namespace ferry::test
