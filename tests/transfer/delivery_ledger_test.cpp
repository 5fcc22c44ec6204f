// The delivery ledger on real files in a throwaway store folder: records that
// survive a reload, a torn last line, compaction, pruning, hostile mailbox
// names; and the pure parts: the UIDL listing and the plan of a run.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "service/transfer/delivery_ledger.h"
#include "service/transfer/delivery_plan.h"
#include "service/transfer/uidl_listing.h"
#include "tests/support/temp_hive.h"

namespace ferry {
namespace {

using state::FileStatus;
using Recipients = std::vector<std::string>;

class DeliveryLedgerTest : public test::TempHiveTest {
 protected:
  DeliveryLedger Fresh() const {
    DeliveryLedger ledger = DeliveryLedger::ForMailbox("POP.Example.com", "bob");
    EXPECT_TRUE(ledger.Load().ok());
    return ledger;
  }
  std::string Text(const DeliveryLedger& ledger) const { return test::ReadFile(ledger.path()); }
  void AppendRaw(const DeliveryLedger& ledger, const std::string& bytes) const {
    std::ofstream(ledger.path(), std::ios::binary | std::ios::app) << bytes;
  }
};

TEST_F(DeliveryLedgerTest, RecordsSurviveAReload) {
  DeliveryLedger ledger = Fresh();
  ASSERT_TRUE(ledger.RecordAccepted("msg-1", {"b@x", "a b%@x"}, 1000).ok());
  EXPECT_TRUE(std::filesystem::equivalent(std::filesystem::path(ledger.path()).parent_path(), Folder() / "ledgers"));
  ASSERT_TRUE(ledger.RecordPartial("msg-2", {"a@x"}, 1001).ok());
  ASSERT_TRUE(ledger.RecordPartial("msg-2", {"c@x"}, 1002).ok());
  ASSERT_TRUE(ledger.RecordRefused("msg-3", "552 too big\r\n", 1003).ok());
  ASSERT_TRUE(ledger.RecordRefused("msg-4", "", 1004).ok());
  ASSERT_TRUE(ledger.Release("msg-4").ok());
  ASSERT_TRUE(ledger.RecordAccepted("msg-5", {}, 1005).ok());
  ASSERT_TRUE(ledger.Forget("msg-5").ok());
  ledger.Close();

  DeliveryLedger reloaded = Fresh();
  EXPECT_EQ(reloaded.skippedLines(), 0u);
  EXPECT_EQ(reloaded.size(), 3u);
  ASSERT_TRUE(reloaded.IsAccepted("msg-1"));
  EXPECT_EQ(reloaded.Find("msg-1")->recipients, (Recipients{"a b%@x", "b@x"}));
  EXPECT_EQ(reloaded.Find("msg-1")->when, 1000);
  ASSERT_NE(reloaded.Find("msg-2"), nullptr);
  EXPECT_EQ(reloaded.Find("msg-2")->state, LedgerState::kPartial);
  EXPECT_EQ(reloaded.Find("msg-2")->recipients, (Recipients{"a@x", "c@x"}));
  ASSERT_TRUE(reloaded.IsRefused("msg-3"));
  EXPECT_EQ(reloaded.Find("msg-3")->reason, "552 too big\r\n");
  EXPECT_EQ(reloaded.Find("msg-4"), nullptr) << "a released refusal without recipients is gone";
  EXPECT_FALSE(reloaded.IsAccepted("msg-5"));
}

TEST_F(DeliveryLedgerTest, ATornLastLineIsIgnoredAndNeverJoinsTheNextRecord) {
  ASSERT_TRUE(Fresh().RecordAccepted("one", {"r@x"}, 10).ok());
  DeliveryLedger torn = DeliveryLedger::ForMailbox("pop.example.com", "bob");
  AppendRaw(torn, "A two 1");
  ASSERT_TRUE(torn.Load().ok());
  EXPECT_EQ(torn.skippedLines(), 1u);
  EXPECT_TRUE(torn.IsAccepted("one"));
  EXPECT_EQ(torn.Find("two"), nullptr);

  ASSERT_TRUE(torn.RecordAccepted("three", {}, 30).ok());
  torn.Close();
  DeliveryLedger reloaded = Fresh();
  EXPECT_EQ(reloaded.skippedLines(), 0u);
  EXPECT_TRUE(reloaded.IsAccepted("one"));
  EXPECT_TRUE(reloaded.IsAccepted("three"));
  EXPECT_EQ(reloaded.Find("two"), nullptr);
}

TEST_F(DeliveryLedgerTest, MalformedLinesAreSkipped) {
  DeliveryLedger ledger = DeliveryLedger::ForMailbox("pop.example.com", "bob");
  ASSERT_TRUE(state::CreateOwnerFolder(LedgerFolder()).ok());
  AppendRaw(ledger,
            "A good 5 r@x\n"
            "\n"
            "X good 5\n"
            "A  good 5\n"
            "A bad\x01id 5\n"
            "A " + std::string(71, 'z') + " 5\n"
            "A x 5x\n"
            "A x 5 r%4\n"
            "R x 5 two words\n"
            "D good extra\n"
            "P ok 6 r%40x\r\n");
  ASSERT_TRUE(ledger.Load().ok());
  EXPECT_EQ(ledger.skippedLines(), 9u);
  EXPECT_EQ(ledger.size(), 2u);
  EXPECT_TRUE(ledger.IsAccepted("good"));
  EXPECT_EQ(ledger.Find("ok")->recipients, Recipients{"r@x"});
}

TEST_F(DeliveryLedgerTest, CompactionKeepsOnlyLiveEntriesAndSurvivesAReload) {
  DeliveryLedger ledger = Fresh();
  ASSERT_TRUE(ledger.RecordAccepted("gone", {"r@x"}, 1).ok());
  ASSERT_TRUE(ledger.RecordPartial("mixed", {"a@x"}, 2).ok());
  ASSERT_TRUE(ledger.RecordRefused("mixed", "550 no", 3).ok());
  ASSERT_TRUE(ledger.RecordAccepted("kept", {"r@x", "s@x"}, 4).ok());
  ASSERT_TRUE(ledger.RecordRefused("kept", "ignored", 5).ok()) << "an accepted message stays accepted";
  ASSERT_TRUE(ledger.RecordPartial("part", {"a@x"}, 6).ok());
  ASSERT_TRUE(ledger.Forget("gone").ok());
  ledger.Close();
  AppendRaw(ledger, "A torn 9");

  DeliveryLedger compacted = Fresh();
  ASSERT_TRUE(compacted.Compact().ok());
  const std::string expected =
      "P mixed 3 a@x\n"
      "R mixed 3 550%20no\n"
      "A kept 4 r@x s@x\n"
      "P part 6 a@x\n";
  EXPECT_EQ(Text(compacted), expected);
  ASSERT_TRUE(compacted.RecordAccepted("part", {"b@x"}, 7).ok()) << "appends after a compaction";
  compacted.Close();

  DeliveryLedger reloaded = Fresh();
  EXPECT_EQ(reloaded.size(), 3u);
  EXPECT_TRUE(reloaded.IsRefused("mixed"));
  EXPECT_EQ(reloaded.Find("mixed")->recipients, Recipients{"a@x"});
  EXPECT_TRUE(reloaded.IsAccepted("kept"));
  EXPECT_EQ(reloaded.Find("part")->recipients, (Recipients{"a@x", "b@x"}));
  ASSERT_TRUE(reloaded.Compact().ok());
  EXPECT_EQ(Text(reloaded), "P mixed 3 a@x\nR mixed 3 550%20no\nA kept 4 r@x s@x\nA part 7 a@x b@x\n");
}

TEST_F(DeliveryLedgerTest, OneRunAtATimeHoldsAMailbox) {
  DeliveryLedger first = Fresh();
  DeliveryLedger second = DeliveryLedger::ForMailbox("pop.example.COM", "bob");
  EXPECT_EQ(second.Load().status, FileStatus::kBusy);
  EXPECT_EQ(second.RecordAccepted("x", {}, 1).status, FileStatus::kBusy);
  EXPECT_TRUE(DeliveryLedger::ForMailbox("pop.example.com", "alice").Load().ok()) << "another mailbox is free";
  first.Close();
  ASSERT_TRUE(second.Load().ok());
  EXPECT_EQ(second.size(), 0u) << "the refused record was not written";
}

TEST_F(DeliveryLedgerTest, InvalidIdsAreRefusedAndWriteNothing) {
  DeliveryLedger ledger = Fresh();
  for (std::string id : {std::string(), std::string(71, 'x'), std::string("a b"), std::string("a\x7F"),
                         std::string("\xC3\xA9")}) {
    EXPECT_EQ(ledger.RecordAccepted(id, {}, 1).status, FileStatus::kInvalid) << id;
  }
  EXPECT_TRUE(ledger.RecordAccepted(std::string(70, '~'), {}, 1).ok());
  EXPECT_EQ(ledger.size(), 1u);
  EXPECT_EQ(Text(ledger), "A " + std::string(70, '~') + " 1\n");
}

TEST_F(DeliveryLedgerTest, HostileMailboxNamesStayInsideTheFolder) {
  const std::pair<std::string, std::string> mailboxes[] = {
      {"../..", "../../etc/passwd"}, {"C:\\Windows", "x:y\\z/w"}, {"nul.example.com", "con"},
      {"pop.example.com", std::string(300, '%')}, {"", std::string("a\0b\n", 4)}};
  for (const auto& [host, user] : mailboxes) {
    std::string name = LedgerFileName(host, user);
    EXPECT_EQ(name.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789._%-"),
              std::string::npos)
        << name;
    EXPECT_LE(name.size(), 130u) << name;
    EXPECT_FALSE(name.starts_with("nul.")) << name;
    ASSERT_TRUE(DeliveryLedger::ForMailbox(host, user).RecordAccepted("id", {}, 1).ok()) << name;
  }
  std::size_t files = 0;
  for (const auto& item : std::filesystem::recursive_directory_iterator(Folder())) {
    if (item.path().extension() == ".ledger") {
      ++files;
      EXPECT_EQ(item.path().parent_path(), Folder() / "ledgers") << item.path();
    }
  }
  EXPECT_EQ(files, std::size(mailboxes));

  EXPECT_EQ(LedgerFileName("POP.Example.COM", "bob"), LedgerFileName("pop.example.com", "bob"));
  EXPECT_NE(LedgerFileName("pop.example.com", "Bob"), LedgerFileName("pop.example.com", "bob"));
  EXPECT_NE(LedgerFileName("a", std::string(60, 'u') + "1"), LedgerFileName("a", std::string(60, 'u') + "2"));
  EXPECT_TRUE(LedgerFileName("pop.example.com", "bob").starts_with("pop.example.com_bob_"));
}

TEST(UidlListingTest, TakesWellFormedEntriesOnly) {
  bool tooMany = true;
  std::vector<UidlEntry> entries = ParseUidlListing(
      "1 abc\r\n"
      "2\tQ~!z \r\n"
      "0 zero\r\n"
      "-1 neg\r\n"
      "3\r\n"
      "4 two ids\r\n"
      "x5 text\r\n"
      " 6 lead\r\n"
      "2147483648 big\r\n"
      "7 " + std::string(71, 'a') + "\r\n"
      "8 caf\xC3\xA9\r\n"
      "2147483647 " + std::string(70, 'a') + "\n"
      ".\r\n"
      "9 after-the-end\r\n",
      &tooMany);
  EXPECT_FALSE(tooMany);
  EXPECT_EQ(entries, (std::vector<UidlEntry>{{1, "abc"}, {2, "Q~!z"}, {2147483647, std::string(70, 'a')}}));

  std::string many;
  for (std::size_t i = 1; i <= kMaxUidlEntries + 1; ++i) many += std::to_string(i) + " u" + std::to_string(i) + "\r\n";
  EXPECT_EQ(ParseUidlListing(many, &tooMany).size(), kMaxUidlEntries);
  EXPECT_TRUE(tooMany);
}

TEST_F(DeliveryLedgerTest, PlanOfARun) {
  constexpr int64_t kDay = 86400;
  constexpr int64_t kNow = 100 * kDay;
  DeliveryLedger ledger = Fresh();
  ASSERT_TRUE(ledger.RecordAccepted("sent-today", {"a@x"}, kNow - 10).ok());
  ASSERT_TRUE(ledger.RecordAccepted("sent-3-days-ago", {"a@x"}, kNow - 3 * kDay).ok());
  ASSERT_TRUE(ledger.RecordRefused("refused", "552", kNow - 9 * kDay).ok());
  ASSERT_TRUE(ledger.RecordPartial("half-sent", {"a@x"}, kNow - 9 * kDay).ok());
  const std::vector<UidlEntry> listing = {{1, "sent-today"}, {2, "sent-3-days-ago"}, {3, "refused"},
                                          {4, "half-sent"},  {5, "new"},             {5, "repeated-number"},
                                          {6, "new"}};
  struct Case {
    const char* name;
    PlanOptions options;
    RunPlan plan;
  };
  const Case cases[] = {
      {"DeleteOn", {true, 0, kNow}, {{4, 5, 6}, {1, 2}, {}, {3, 5}}},
      {"DeleteOnIgnoresKeepDays", {true, 30, kNow}, {{4, 5, 6}, {1, 2}, {}, {3, 5}}},
      {"KeepForEver", {false, 0, kNow}, {{4, 5, 6}, {}, {1, 2}, {3, 5}}},
      {"KeepDaysElapsed", {false, 3, kNow}, {{4, 5, 6}, {2}, {1}, {3, 5}}},
      {"KeepDaysNotYet", {false, 4, kNow}, {{4, 5, 6}, {}, {1, 2}, {3, 5}}},
  };
  for (const Case& c : cases) {
    RunPlan plan = PlanRun(listing, ledger, c.options);
    EXPECT_EQ(plan.fetch, c.plan.fetch) << c.name;
    EXPECT_EQ(plan.remove, c.plan.remove) << c.name;
    EXPECT_EQ(plan.keep, c.plan.keep) << c.name;
    EXPECT_EQ(plan.leave, c.plan.leave) << c.name;
  }
  EXPECT_EQ(PlanRun({}, ledger, {true, 0, kNow}), RunPlan{});
}

}  // namespace
}  // namespace ferry
