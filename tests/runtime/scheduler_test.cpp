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

  // Trigger names that arrive at their millisecond go into the real queue of
  // LoopEvents, also while the scheduler waits after a run.
  void Deliver(int until) {
    while (!arrivals_.empty() && arrivals_.front().first <= until) {
      events_.SetTrigger(arrivals_.front().second);
      arrivals_.pop_front();
    }
  }

  SchedulerHooks Hooks() {
    SchedulerHooks hooks;
    hooks.waitStopOrTrigger = [this](std::chrono::milliseconds timeout) {
      if (!wakes_.empty()) {
        Wake w = wakes_.front();
        wakes_.pop_front();
        return w;
      }
      Deliver(ms_);
      if (events_.WaitStopOrTrigger(std::chrono::milliseconds(0)) == Wake::Trigger) return Wake::Trigger;
      const int until = ms_ + static_cast<int>(timeout.count());
      if (!arrivals_.empty() && arrivals_.front().first <= until) {
        ms_ = std::max(ms_, arrivals_.front().first);
        Deliver(ms_);
        return Wake::Trigger;
      }
      ms_ = until;
      return Wake::Timeout;
    };
    hooks.waitStop = [this](std::chrono::milliseconds timeout) {
      stopWaits_.push_back(timeout);
      if (stopDuringWait_) return true;
      ms_ += static_cast<int>(timeout.count());
      Deliver(ms_);
      return false;
    };
    hooks.takeTrigger = [this] { return events_.TakeTrigger(); };
    hooks.now = [this] { return std::chrono::steady_clock::time_point(std::chrono::milliseconds(ms_)); };
    hooks.enumerateLines = [this](std::vector<DialUpLine>* lines, int* count) {
      *count = static_cast<int>(lines_.size());
      if (lines_.size() > static_cast<std::size_t>(kMaxDialUpLines)) return -1;
      *lines = lines_;
      return 0;
    };
    hooks.startRuns = [this](const std::string& connection, const std::vector<std::string>& accounts, int maxParallel) {
      parallel_.push_back(maxParallel);
      for (const std::string& account : accounts) runs_.push_back({ms_ / 1000, connection + "\\" + account});
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
    EXPECT_TRUE(events_.SetTrigger(name));
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
  LoopEvents events_;
  std::deque<std::pair<int, std::string>> arrivals_;  // (millisecond, name)
  std::vector<DialUpLine> lines_;
  std::vector<Run> runs_;
  std::vector<int> parallel_;
  int ms_ = 0;
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

// "ListenRAS" missing means listening to the lines, as 1 does.
TEST_F(SchedulerTest, PermanentConnectionIsNotPolledWhileListeningToDialUpLines) {
  PutDword(schema::ConnectionKey("NORAS"), schema::kTimeout, 0);
  PutAccount("NORAS", "Postfach", 1);
  for (bool stored : {false, true}) {
    if (stored) PutDword(schema::kParametersKey, schema::kListenRas, 1);
    StartScheduler();
    EXPECT_TRUE(scheduler_->ListenRas());
    Ticks(5);
  }
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
  EXPECT_TRUE(stopWaits_.empty()) << "no wait without a router";
  EXPECT_TRUE(ConnectionRunEvents().empty());
}

TEST_F(SchedulerTest, TriggerForANameWithoutAKeyRunsNothing) {
  PutAccount("NORAS", "Postfach", 1);
  StartScheduler();
  ASSERT_TRUE(TriggerPass("NORAS\r\n"));
  ASSERT_TRUE(TriggerPass("Nowhere"));
  EXPECT_TRUE(runs_.empty());
}

TEST_F(SchedulerTest, StopDuringTheRouterWaitAfterATriggerEndsTheLoop) {
  PutDword(schema::ConnectionKey("NORAS"), schema::kUsingRouter, 1);
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

TEST_F(SchedulerTest, LineWithoutTimeoutRunsOncePerLineUpAlsoWhenItCameBackBetweenTwoTicks) {
  PutAccount("ppp0", "Postfach", 1);
  StartScheduler();
  lines_ = {{7, "ppp0"}};
  Ticks(4);
  EXPECT_EQ(RunSeconds(), (std::vector<int>{5}));
  lines_.clear();
  Ticks(2);
  lines_ = {{9, "ppp0"}};  // up again: a new handle
  Ticks(3);
  lines_ = {{10, "ppp0"}};  // down and up again between two ticks
  Ticks(1);
  EXPECT_EQ(RunSeconds(), (std::vector<int>{5, 35, 50}));
  EXPECT_EQ(ConnectionRunEvents(), (std::vector<std::string>{"ppp0", "ppp0", "ppp0"}));
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
  EXPECT_EQ(ms_, 10000);
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
  EXPECT_EQ(RunSeconds(), (std::vector<int>{0, 5}));
  EXPECT_EQ(ConnectionRunEvents(), (std::vector<std::string>{"ppp0"}));
}

TEST_F(SchedulerTest, TriggeredRunLeavesTheIntervalAlone) {
  PutDword(schema::kParametersKey, schema::kListenRas, 0);
  PutDword(schema::ConnectionKey("NORAS"), schema::kTimeout, 10);
  PutAccount("NORAS", "Postfach", 1);
  StartScheduler();
  Ticks(1);                           // 5 s
  ASSERT_TRUE(TriggerPass("NORAS"));  // run at 5 s, no tick
  Ticks(2);                           // counter 10 and 15
  EXPECT_EQ(RunSeconds(), (std::vector<int>{5, 15}));
}

// Datagrams every 100 ms for a minute (each a name without a key, as a flood
// from anywhere would be) leave the permanent connection's interval as it is.
TEST_F(SchedulerTest, TriggerStormDoesNotDelayTheInterval) {
  PutDword(schema::kParametersKey, schema::kListenRas, 0);
  PutDword(schema::ConnectionKey("NORAS"), schema::kTimeout, 10);
  PutAccount("NORAS", "Postfach", 1);
  for (int ms = 100; ms <= 60000; ms += 100) arrivals_.emplace_back(ms, "flood" + std::to_string(ms % 7000));
  StartScheduler();
  while (ms_ < 60000) ASSERT_TRUE(scheduler_->Pass());
  EXPECT_EQ(RunSeconds(), (std::vector<int>{15, 30, 45, 60}));
}

// Three connections triggered 3.3 s apart, each with a router wait of 10 s
// after its run: every one runs once, in the order of arrival.
TEST_F(SchedulerTest, TriggersArrivingDuringARunAllRunOnce) {
  for (const char* name : {"Alpha", "Beta", "Gamma"}) {
    PutDword(schema::ConnectionKey(name), schema::kUsingRouter, 1);
    PutAccount(name, "Postfach", 1);
  }
  arrivals_ = {{0, "Alpha"}, {3300, "Beta"}, {6600, "Gamma"}, {6700, "beta"}};
  StartScheduler();
  while (ms_ < 60000) ASSERT_TRUE(scheduler_->Pass());
  EXPECT_EQ(runs_, (std::vector<Run>{{0, "Alpha\\Postfach"}, {10, "Beta\\Postfach"}, {20, "Gamma\\Postfach"}}));
}

// Every enabled account of a connection runs, in name order, with the global
// "Max Parallel"; names of 60 characters are used whole.
TEST_F(SchedulerTest, EveryAccountRunsInNameOrderWithMaxParallel) {
  const std::string connection(60, 'c');
  std::vector<std::string> expected;
  for (int i = 12; i >= 0; --i) {
    std::string account = "acc" + std::string(i < 10 ? "0" : "") + std::to_string(i) + std::string(55, 'x');
    PutAccount(connection, account, 1);
  }
  PutAccount(connection, "disabled", 0);
  for (int i = 0; i <= 12; ++i)
    expected.push_back(connection + "\\acc" + (i < 10 ? "0" : "") + std::to_string(i) + std::string(55, 'x'));
  PutDword(schema::kParametersKey, schema::kMaxParallel, 3);
  StartScheduler();
  ASSERT_TRUE(TriggerPass(connection));
  std::vector<std::string> ran;
  for (const Run& r : runs_) ran.push_back(r.account);
  EXPECT_EQ(ran, expected);
  EXPECT_EQ(parallel_, std::vector<int>{3});

  PutDword(schema::kParametersKey, schema::kMaxParallel, 0);  // out of range: the nearest allowed
  ASSERT_TRUE(TriggerPass(connection));
  EXPECT_EQ(parallel_, (std::vector<int>{3, 1}));
}

}  // namespace
}  // namespace ferry::test
