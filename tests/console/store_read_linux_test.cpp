// Reading another computer's settings on Linux: its hive file in the folder
// of other computers' hives.
#include <filesystem>

#include "platform/store_location.h"
#include "schema/registry_schema.h"
#include "tests/console/console_fixture.h"

namespace ferry::test {
namespace {

using schema::ConnectionKey;

class StoreReadLinuxTest : public ConsoleTest {};

TEST_F(StoreReadLinuxTest, AnotherComputersHiveIsReachedThroughTheRemoteFolder) {
  // Build the other computer's hive, then point the console at it.
  std::filesystem::path remote = Folder() / "remote";
  std::filesystem::create_directory(remote);
  SetEnvironment(reg::kHiveEnvironmentVariable, (remote / "SERVER2.hive").string());
  PutNumber(ConnectionKey("Far"), "Timeout", 60);
  SetEnvironment(reg::kHiveEnvironmentVariable, HivePath().string());
  InstallService();

  SetEnvironment(reg::kRemoteHivesEnvironmentVariable, remote.string());
  console->computerName() = "SERVER2";
  console->ConnectComputer();
  SetEnvironment(reg::kRemoteHivesEnvironmentVariable, "");
  EXPECT_TRUE(dialogs.shown.empty());
  EXPECT_EQ(ConnectionNames(), (std::vector<std::string>{"Far", "NORAS"}));
}

}  // namespace
}  // namespace ferry::test
