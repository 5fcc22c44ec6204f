// A failed write of an account run against the Linux hive: the hive file is
// replaced by a directory while the run goes on.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "platform/registry.h"
#include "schema/registry_schema.h"
#include "service/runtime/stored_run.h"
#include "tests/runtime/store_setup.h"
#include "tests/support/temp_hive.h"

namespace ferry {
namespace {

namespace s = schema;
using test::PutDword;

class ConfigStoreFailureTest : public test::TempHiveTest {};

// A write of the run that fails is an error event naming the store, the
// value and the reason.
TEST_F(ConfigStoreFailureTest, AFailedWriteOfTheRunIsAnErrorEventNamingTheStoreAndTheValue) {
  const std::string account = s::AccountKey("NORAS", "Postfach");
  PutDword(account, s::kEnableAccount, 1);
  {
    StoredRun run("NORAS", "Postfach");
    for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(HivePath().string() + suffix);
    std::filesystem::create_directory(HivePath());
    run.Settings().inUse = 1;
    run.Context().StateChanged();
  }
  // The event file writes each backslash of an insertion string twice.
  std::string escaped;
  for (char c : account + "\\In Use") escaped += c == '\\' ? std::string("\\\\") : std::string(1, c);
  const std::string expected = "71\t1\t" + HivePath().string() + "\t" + escaped + "\t" +
                               "the store could not be read or written (the store " + HivePath().string() +
                               " is a directory)";
  const auto events = Events();
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.front(), expected);
}

}  // namespace
}  // namespace ferry
