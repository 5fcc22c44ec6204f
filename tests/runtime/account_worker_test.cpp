// The worker with the real context and store: the account's command runs before
// the account run, the context is saved on the way out even when the run throws,
// and only the worker ends.
#include "service/runtime/account_worker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <stdexcept>

#include "service/runtime/account_context.h"
#include "tests/runtime/store_setup.h"
#include "tests/support/temp_hive.h"

namespace ferry::test {
namespace {

std::atomic<int> gRuns{0};
std::atomic<bool> gCommandDoneBeforeRun{false};
std::string gMarkerPath;  // written before the workers start

int CountingRun(AccountContext& context) {
  gCommandDoneBeforeRun = std::filesystem::exists(gMarkerPath);
  context.settings.smtpTo = "seen@example.org";
  ++gRuns;
  return 0;
}

int ThrowingRun(AccountContext& context) {
  context.settings.smtpTo = "thrown@example.org";
  ++gRuns;
  throw std::runtime_error("run failed");
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

TEST_F(AccountWorkerTest, CommandRunsBeforeTheRunAndTheContextIsSavedAfterIt) {
  const std::string account = schema::AccountKey("NORAS", "Postfach");
  PutDword(account, schema::kEnableCommand, 1);
  PutString(account, schema::kCommand, "echo x > '" + gMarkerPath + "'");
  StartAccountWorker("NORAS", "Postfach", CountingRun);
  ASSERT_TRUE(WaitForWorkers(std::chrono::seconds(30)));
  EXPECT_EQ(gRuns, 1);
  EXPECT_TRUE(gCommandDoneBeforeRun);
  EXPECT_EQ(GetValue(reg::LocalMachine(), account, schema::kSmtpTo).bytes, "seen@example.org");
}

TEST_F(AccountWorkerTest, ExceptionFromTheRunEndsOnlyThatWorkerAndTheContextIsStillSaved) {
  const std::string account = schema::AccountKey("NORAS", "Postfach");
  PutAccount("NORAS", "Postfach", 1);
  StartAccountWorker("NORAS", "Postfach", ThrowingRun);
  StartAccountWorker("NORAS", "Zweites", CountingRun);
  ASSERT_TRUE(WaitForWorkers(std::chrono::seconds(30)));
  EXPECT_EQ(gRuns, 2);
  EXPECT_EQ(GetValue(reg::LocalMachine(), account, schema::kSmtpTo).bytes, "thrown@example.org");
}

TEST_F(AccountWorkerTest, BlockWithAWrongMagicNumberRunsNothing) {
  auto* block = new WorkerStartBlock{0, "NORAS", "Postfach", CountingRun};
  AccountWorker(block);  // frees the block (the sanitizer build checks that)
  EXPECT_EQ(gRuns, 0);
  EXPECT_FALSE(GetValue(reg::LocalMachine(), schema::AccountKey("NORAS", "Postfach"), schema::kEnableAccount).present);
}

TEST_F(AccountWorkerTest, CreateAccountSettingsWritesEveryValueWithDefaultsAndReplacesOldNames) {
  const std::string account = schema::AccountKey("Dialin", "Postfach");
  PutString(account, "EMailHost", "pop.example.org");
  PutDword(account, schema::kOldFlags, 3);
  CreateAccountSettings("Dialin", "Postfach");
  EXPECT_EQ(GetValue(reg::LocalMachine(), account, schema::kPopHost).bytes, "pop.example.org");
  EXPECT_EQ(GetValue(reg::LocalMachine(), account, schema::kMaxMails).Dword(), 10u);
  EXPECT_EQ(GetValue(reg::LocalMachine(), schema::ConnectionKey("Dialin"), schema::kTimeout).Dword(), 0xFFFFFFFFu);
  for (const char* old : schema::OldAccountNames()) {
    EXPECT_FALSE(GetValue(reg::LocalMachine(), account, old).present) << old;
  }
}

}  // namespace
}  // namespace ferry::test
