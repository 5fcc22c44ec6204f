// The scheduler's timing rules, driven pass by pass over a simulated clock: a
// wait that runs out stands for its full time, nothing sleeps. The connections
// and accounts come from a real throwaway store; the hooks record which account
// runs would start.
#include "service/runtime/scheduler.h"

#include <gtest/gtest.h>

#include <deque>
#include <ostream>

#include "tests/runtime/store_setup.h"
#include "tests/support/temp_hive.h"

namespace ferry::test {
namespace {

class SchedulerTest : public TempHiveTest {
 protected:
  struct Run {
    int second;
    std::string account;  // "connection\account"
    bool operator==(const Run&) const = default;
  };

  SchedulerHooks Hooks() {
    SchedulerHooks hooks;
    hooks.waitStopOrTrigger = [this](std::chrono::milliseconds timeout) {
      if (!wakes_.empty()) {
        Wake w = wakes_.front();
        wakes_.pop_front();
        return w;
      }
      seconds_ += static_cast<int>(timeout.count() / 1000);
      return Wake::Timeout;
    };
    hooks.waitStop = [this](std::chrono::milliseconds timeout) {
      stopWaits_.push_back(timeout);
      if (stopDuringWait_) return true;
      seconds_ += static_cast<int>(timeout.count() / 1000);
      return false;
    };
    hooks.takeTrigger = [this] { return triggerName_; };
    hooks.enumerateLines = [this](std::vector<DialUpLine>* lines, int* count) {
      *count = static_cast<int>(lines_.size());
      if (lines_.size() > static_cast<std::size_t>(kMaxDialUpLines)) return -1;
      *lines = lines_;
      return 0;
    };
    hooks.startWorker = [this](const std::string& connection, const std::string& account) {
      runs_.push_back({seconds_, connection + "\\" + account});
    };
    return hooks;
  }

  void StartScheduler() {
    scheduler_ = std::make_unique<Scheduler>(Hooks());
    scheduler_->Start();
  }

  // Idle ticks of 5 s each.
  void Ticks(int n) {
    for (int i = 0; i < n; ++i) ASSERT_TRUE(scheduler_->Pass());
  }

  bool TriggerPass(const std::string& name) {
    triggerName_ = name;
    wakes_.push_back(Wake::Trigger);
    return scheduler_->Pass();
  }

  std::vector<int> RunSeconds() const {
    std::vector<int> out;
    for (const Run& r : runs_) out.push_back(r.second);
    return out;
  }

  // Insertion strings of the event-31 lines so far.
  std::vector<std::string> ConnectionRunEvents() const {
    std::vector<std::string> out;
    for (const std::string& line : Events()) {
      if (line.rfind("31\t", 0) == 0) out.push_back(line.substr(line.rfind('\t') + 1));
    }
    return out;
  }

  std::unique_ptr<Scheduler> scheduler_;
  std::deque<Wake> wakes_;
  std::vector<std::chrono::milliseconds> stopWaits_;
  bool stopDuringWait_ = false;
  std::string triggerName_;
  std::vector<DialUpLine> lines_;
  std::vector<Run> runs_;
  int seconds_ = 0;
};

struct PermanentCase {
  const char* name;
  int32_t timeout;
  int ticks;
  std::vector<int> runSeconds;
};
void PrintTo(const PermanentCase& c, std::ostream* os) { *os << c.name; }

class PermanentConnectionTest : public SchedulerTest, public ::testing::WithParamInterface<PermanentCase> {};

TEST_P(PermanentConnectionTest, RunsAtTheFirstTickPastItsTimeout) {
  const PermanentCase& c = GetParam();
  PutDword(schema::kParametersKey, schema::kListenRas, 0);
  PutDword(schema::ConnectionKey("NORAS"), schema::kTimeout, static_cast<uint32_t>(c.timeout));
  PutAccount("NORAS", "Postfach", 1);
  StartScheduler();
  Ticks(c.ticks);
  EXPECT_EQ(RunSeconds(), c.runSeconds);
  EXPECT_EQ(ConnectionRunEvents().size(), c.runSeconds.size());
}

INSTANTIATE_TEST_SUITE_P(Timeouts, PermanentConnectionTest,
                         ::testing::Values(PermanentCase{"EveryTick", 0, 4, {5, 10, 15, 20}},
                                           PermanentCase{"Sixty", 60, 27, {65, 130}},
                                           PermanentCase{"JustBelowATick", 4, 4, {5, 10, 15, 20}},
                                           PermanentCase{"OnATick", 5, 6, {10, 20, 30}},
                                           PermanentCase{"Never", -1, 30, {}}),
                         [](const ::testing::TestParamInfo<PermanentCase>& param) { return std::string(param.param.name); });

TEST_F(SchedulerTest, PermanentConnectionIsNotPolledWhileListeningToDialUpLines) {
  PutDword(schema::kParametersKey, schema::kListenRas, 1);
  PutDword(schema::ConnectionKey("NORAS"), schema::kTimeout, 0);
  PutAccount("NORAS", "Postfach", 1);
  StartScheduler();
  Ticks(10);
  EXPECT_TRUE(runs_.empty());
}

TEST_F(SchedulerTest, MissingListenRasMeansListeningToDialUpLines) {
  PutDword(schema::ConnectionKey("NORAS"), schema::kTimeout, 0);
  PutAccount("NORAS", "Postfach", 1);
  StartScheduler();
  EXPECT_TRUE(scheduler_->ListenRas());
  Ticks(3);
  EXPECT_TRUE(runs_.empty());
}

TEST_F(SchedulerTest, OnlyEnabledAccountsGetAWorkerInSlotOrder) {
  PutDword(schema::kParametersKey, schema::kListenRas, 0);
  PutDword(schema::ConnectionKey("NORAS"), schema::kTimeout, 0);
  PutAccount("NORAS", "Anna", 1);
  PutAccount("NORAS", "Bert", 0);
  PutAccount("NORAS", "Carl", 1);
  StartScheduler();
  Ticks(1);
  EXPECT_EQ(runs_, (std::vector<Run>{{5, "NORAS\\Anna"}, {5, "NORAS\\Carl"}}));
}

TEST_F(SchedulerTest, TriggerRunsTheNamedConnectionAtOnceAlsoWhileListeningToLines) {
  PutDword(schema::kParametersKey, schema::kListenRas, 1);
  PutAccount("NORAS", "Postfach", 1);
  StartScheduler();
  ASSERT_TRUE(TriggerPass("NORAS"));
  EXPECT_EQ(runs_, (std::vector<Run>{{0, "NORAS\\Postfach"}}));
  EXPECT_EQ(stopWaits_, (std::vector<std::chrono::milliseconds>{kRouterWait}));
  EXPECT_TRUE(ConnectionRunEvents().empty());
}

TEST_F(SchedulerTest, TriggerForANameWithoutAKeyRunsNothing) {
  PutAccount("NORAS", "Postfach", 1);
  StartScheduler();
  ASSERT_TRUE(TriggerPass("NORAS\r\n"));
  ASSERT_TRUE(TriggerPass("Nowhere"));
  EXPECT_TRUE(runs_.empty());
}

TEST_F(SchedulerTest, StopDuringTheWaitAfterATriggerEndsTheLoop) {
  PutAccount("NORAS", "Postfach", 1);
  StartScheduler();
  stopDuringWait_ = true;
  EXPECT_FALSE(TriggerPass("NORAS"));
  EXPECT_EQ(runs_.size(), 1u);
}

TEST_F(SchedulerTest, StopEndsTheLoop) {
  StartScheduler();
  wakes_.push_back(Wake::Stop);
  EXPECT_FALSE(scheduler_->Pass());
}

TEST_F(SchedulerTest, LineWithoutTimeoutRunsOncePerLineUp) {
  PutAccount("ppp0", "Postfach", 1);
  StartScheduler();
  lines_ = {{7, "ppp0"}};
  Ticks(4);
  EXPECT_EQ(RunSeconds(), (std::vector<int>{5}));
  lines_.clear();
  Ticks(2);
  lines_ = {{9, "ppp0"}};  // up again: a new handle
  Ticks(3);
  EXPECT_EQ(RunSeconds(), (std::vector<int>{5, 35}));
  EXPECT_EQ(ConnectionRunEvents(), (std::vector<std::string>{"ppp0", "ppp0"}));
}

TEST_F(SchedulerTest, LineGoingDownAndUpBetweenTwoTicksRunsAgain) {
  PutAccount("ppp0", "Postfach", 1);
  StartScheduler();
  lines_ = {{7, "ppp0"}};
  Ticks(2);
  lines_ = {{8, "ppp0"}};
  Ticks(1);
  EXPECT_EQ(RunSeconds(), (std::vector<int>{5, 15}));
  EXPECT_EQ(ConnectionRunEvents().size(), 2u);
}

TEST_F(SchedulerTest, LineWithTimeoutRunsAtLineUpAndThenByItsTimeout) {
  PutDword(schema::ConnectionKey("ppp0"), schema::kTimeout, 10);
  PutAccount("ppp0", "Postfach", 1);
  StartScheduler();
  lines_ = {{7, "ppp0"}};
  Ticks(7);
  EXPECT_EQ(RunSeconds(), (std::vector<int>{5, 20, 35}));
  EXPECT_EQ(ConnectionRunEvents().size(), 1u);
}

TEST_F(SchedulerTest, LineKeepsItsScheduleWhenALineBeforeItGoesDown) {
  PutDword(schema::ConnectionKey("ppp0"), schema::kTimeout, static_cast<uint32_t>(-1));
  PutAccount("ppp0", "A", 1);
  PutDword(schema::ConnectionKey("ppp1"), schema::kTimeout, 0);
  PutAccount("ppp1", "B", 1);
  StartScheduler();
  lines_ = {{7, "ppp0"}, {8, "ppp1"}};
  Ticks(2);
  lines_ = {{8, "ppp1"}};
  Ticks(2);
  EXPECT_EQ(runs_, (std::vector<Run>{{5, "ppp0\\A"}, {5, "ppp1\\B"}, {10, "ppp1\\B"}, {15, "ppp1\\B"}, {20, "ppp1\\B"}}));
}

TEST_F(SchedulerTest, DialUpEntryWithoutAKeyIsReportedButRunsNothing) {
  StartScheduler();
  lines_ = {{3, "eth7"}};
  Ticks(2);
  EXPECT_TRUE(runs_.empty());
  EXPECT_EQ(ConnectionRunEvents(), (std::vector<std::string>{"eth7"}));
}

TEST_F(SchedulerTest, FailedEnumerationStartsNothing) {
  PutAccount("ppp0", "Postfach", 1);
  StartScheduler();
  for (uint64_t h = 1; h <= 21; ++h) lines_.push_back({h, "ppp0"});
  Ticks(3);
  EXPECT_TRUE(runs_.empty());
}

TEST_F(SchedulerTest, UsingRouterRecordsTheLinesUpAfterTheTriggeredRunAsKnown) {
  PutDword(schema::ConnectionKey("ppp0"), schema::kUsingRouter, 1);
  PutAccount("ppp0", "Postfach", 1);
  StartScheduler();
  lines_ = {{7, "ppp0"}};  // brought up by the triggered run
  ASSERT_TRUE(TriggerPass("ppp0"));
  EXPECT_EQ(seconds_, 10);
  Ticks(3);
  EXPECT_EQ(RunSeconds(), (std::vector<int>{0}));
  EXPECT_TRUE(ConnectionRunEvents().empty());
}

TEST_F(SchedulerTest, WithoutUsingRouterTheLineUpAfterATriggerRunsAgainAsNew) {
  PutAccount("ppp0", "Postfach", 1);
  StartScheduler();
  lines_ = {{7, "ppp0"}};
  ASSERT_TRUE(TriggerPass("ppp0"));
  Ticks(1);
  EXPECT_EQ(RunSeconds(), (std::vector<int>{0, 15}));
  EXPECT_EQ(ConnectionRunEvents(), (std::vector<std::string>{"ppp0"}));
}

TEST_F(SchedulerTest, TriggeredRunAddsNothingToTheIntervalCounter) {
  PutDword(schema::kParametersKey, schema::kListenRas, 0);
  PutDword(schema::ConnectionKey("NORAS"), schema::kTimeout, 10);
  PutAccount("NORAS", "Postfach", 1);
  StartScheduler();
  Ticks(1);                       // 5 s
  ASSERT_TRUE(TriggerPass("NORAS"));  // run at 5, then 10 s of waiting
  Ticks(2);                       // counter 10 and 15
  EXPECT_EQ(RunSeconds(), (std::vector<int>{5, 25}));
}

}  // namespace
}  // namespace ferry::test
