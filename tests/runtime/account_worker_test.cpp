// The worker with the real store: the account's command runs before the account
// run, a state the run hands over is written at once, the run state it changed
// is written on the way out even when the run throws (and nothing else of the
// settings), and only the worker ends.
#include "service/runtime/account_worker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>
#include <vector>
#include <filesystem>
#include <stdexcept>

#include "service/transfer/account_run.h"
#include "service/transfer/run_context.h"
#include "tests/runtime/store_setup.h"
#include "tests/support/temp_hive.h"

namespace ferry::test {
namespace {

std::atomic<int> gRuns{0};
std::atomic<bool> gCommandDoneBeforeRun{false};
std::string gMarkerPath;  // written before the workers start

std::atomic<uint32_t> gStoredInUse{0};

// Sets "In Use" and hands it over as RunAccount does, reads the store then,
// and changes a value and the flag again.
int CountingRun(RunContext& context) {
  gCommandDoneBeforeRun = std::filesystem::exists(gMarkerPath);
  context.settings.inUse = 1;
  context.StateChanged();
  gStoredInUse = GetValue(reg::LocalMachine(), schema::AccountKey("NORAS", "Postfach"), schema::kInUse).Dword();
  context.settings.smtpTo = "seen@example.org";
  context.settings.inUse = 0;
  ++gRuns;
  return 0;
}

int ThrowingRun(RunContext& context) {
  context.settings.smtpTo = "thrown@example.org";
  context.settings.lastTitle = "thrown";
  ++gRuns;
  throw std::runtime_error("run failed");
}

std::mutex gOrderMutex;
std::vector<std::string> gOrder;
int gActive = 0;
int gPeak = 0;

// Records the order of the runs and how many overlap.
int OverlapRun(RunContext& context) {
  {
    std::lock_guard lock(gOrderMutex);
    gOrder.push_back(context.settings.connectionName + "\\" + context.settings.accountName);
    gPeak = std::max(gPeak, ++gActive);
  }
  context.settings.inUse = 1;
  context.StateChanged();
  context.settings.inUse = 0;
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  std::lock_guard lock(gOrderMutex);
  --gActive;
  return 0;
}

class AccountWorkerTest : public TempHiveTest {
 protected:
  void SetUp() override {
    TempHiveTest::SetUp();
    gRuns = 0;
    gCommandDoneBeforeRun = false;
    gMarkerPath = (Folder() / "command-ran").string();
  }
  void TearDown() override {
    EXPECT_TRUE(WaitForWorkers(std::chrono::seconds(30)));
    TempHiveTest::TearDown();
  }
};

// Also: a state the run hands over is stored at once, the rest of the run
// state after the run; a setting the run changed in memory is never stored.
TEST_F(AccountWorkerTest, CommandRunsBeforeTheRunAndTheContextIsSavedAfterIt) {
  const std::string account = schema::AccountKey("NORAS", "Postfach");
  PutDword(account, schema::kEnableCommand, 1);
  PutString(account, schema::kCommand, "echo x > '" + gMarkerPath + "'");
  PutString(account, schema::kSmtpTo, "user@example.org");
  StartAccountWorker("NORAS", "Postfach", CountingRun);
  ASSERT_TRUE(WaitForWorkers(std::chrono::seconds(30)));
  EXPECT_EQ(gRuns, 1);
  EXPECT_TRUE(gCommandDoneBeforeRun);
  EXPECT_EQ(gStoredInUse, 1u);
  EXPECT_EQ(GetValue(reg::LocalMachine(), account, schema::kInUse).Dword(), 0u);
  EXPECT_EQ(GetValue(reg::LocalMachine(), account, schema::kSmtpTo).bytes, "user@example.org");
}

TEST_F(AccountWorkerTest, ExceptionFromTheRunEndsOnlyThatWorkerAndTheContextIsStillSaved) {
  const std::string account = schema::AccountKey("NORAS", "Postfach");
  PutAccount("NORAS", "Postfach", 1);
  StartAccountWorker("NORAS", "Postfach", ThrowingRun);
  StartAccountWorker("NORAS", "Zweites", CountingRun);
  ASSERT_TRUE(WaitForWorkers(std::chrono::seconds(30)));
  EXPECT_EQ(gRuns, 2);
  EXPECT_EQ(GetValue(reg::LocalMachine(), schema::kVolatileKey, schema::kLastTitle).bytes, "thrown");
  EXPECT_FALSE(GetValue(reg::LocalMachine(), account, schema::kSmtpTo).present);
}

// 13 accounts of a connection whose name has 31 characters (one account name
// has 60): all run, in the order given (one at a time), never more than "Max
// Parallel" at once, under their full names.
TEST_F(AccountWorkerTest, ConnectionRunsEveryAccountAtMostMaxParallelAtATime) {
  const std::string connection(31, 'k');
  std::vector<std::string> accounts;
  std::vector<std::string> expected;
  for (int i = 10; i < 23; ++i) {
    accounts.push_back(i == 22 ? std::string(60, 'z') : "account" + std::to_string(i));
    expected.push_back(connection + "\\" + accounts.back());
    PutAccount(connection, accounts.back(), 1);
  }
  for (int parallel : {1, 3}) {
    {
      std::lock_guard lock(gOrderMutex);
      gOrder.clear();
      gPeak = 0;
    }
    StartConnectionRuns(connection, accounts, parallel, OverlapRun);
    ASSERT_TRUE(WaitForWorkers(std::chrono::seconds(30)));
    std::lock_guard lock(gOrderMutex);
    if (parallel == 1) {
      EXPECT_EQ(gOrder, expected);
    } else {
      std::sort(gOrder.begin(), gOrder.end());
      EXPECT_EQ(gOrder, expected);
    }
    EXPECT_GE(gPeak, 1);
    EXPECT_LE(gPeak, parallel);
  }
  for (const std::string& account : accounts)
    EXPECT_TRUE(GetValue(reg::LocalMachine(), schema::AccountKey(connection, account), schema::kInUse).present)
        << account;
  reg::KeyHolder cut;
  EXPECT_NE(reg::OpenKey(reg::LocalMachine(), schema::ConnectionKey(connection.substr(0, 29)), reg::kRead, cut.out()),
            reg::kOk)
      << "no key under a cut name";
}

// A pre-run command that hangs is ended after "Command Timeout" with an event,
// and the account runs after it.
TEST_F(AccountWorkerTest, HungCommandIsEndedAfterCommandTimeoutAndTheRunGoesOn) {
  const std::string account = schema::AccountKey("NORAS", "Postfach");
  PutDword(schema::kParametersKey, schema::kCommandTimeout, 1);
  PutDword(account, schema::kEnableCommand, 1);
  PutString(account, schema::kCommand, "sleep 60");
  StartConnectionRuns("NORAS", {"Postfach"}, 10, CountingRun);
  ASSERT_TRUE(WaitForWorkers(std::chrono::seconds(30)));
  EXPECT_EQ(gRuns, 1);
  bool reported = false;
  for (const std::string& line : Events())
    reported = reported || line.find("pre-run command still running after 1 s, ended: sleep 60") != std::string::npos;
  EXPECT_TRUE(reported);
}

TEST_F(AccountWorkerTest, BlockWithAWrongMagicNumberRunsNothing) {
  auto* block = new WorkerStartBlock{0, "NORAS", "Postfach", CountingRun};
  AccountWorker(block);  // frees the block (the sanitizer build checks that)
  EXPECT_EQ(gRuns, 0);
  EXPECT_FALSE(GetValue(reg::LocalMachine(), schema::AccountKey("NORAS", "Postfach"), schema::kEnableAccount).present);
}

}  // namespace
}  // namespace ferry::test
