// The console on Windows against this computer's own registry, reached by the
// computer's name through the call that reaches other computers
// (RegConnectRegistryA), not through a throwaway store.
#include <windows.h>

#include "schema/registry_schema.h"
#include "tests/console/console_fixture.h"

namespace ferry::test {
namespace {

using schema::AccountKey;

class StoreReadWindowsTest : public TempFolderTest {
 protected:
  void SetUp() override {
    TempFolderTest::SetUp();
    SetEnvironment(reg::kHiveEnvironmentVariable, "");
    HKEY service = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, schema::kServiceKey, 0, KEY_READ, &service) == ERROR_SUCCESS) {
      RegCloseKey(service);
      GTEST_SKIP() << "the service is installed in this registry; its settings are left alone";
    }
    made_ = true;
  }
  void TearDown() override {
    if (made_) RegDeleteTreeA(HKEY_LOCAL_MACHINE, schema::kServiceKey);
    TempFolderTest::TearDown();
  }

  bool made_ = false;
};

TEST_F(StoreReadWindowsTest, ThisComputerByNameIsReadAndWrittenThroughTheRemoteRegistryCall) {
  // PutText writes below the real HKEY_LOCAL_MACHINE here (no throwaway store).
  PutText(AccountKey("Far", "bob"), schema::kPopHost, "pop.far.example");
  MemoryPage page;
  ScriptedDialogs dialogs;
  console::ValueLibrary values({BuiltValueLibrary()});
  console::Console console(page, dialogs, values);
  console.computerName() = "\\\\" + console::LocalComputerName();
  console.ConnectComputer();
  ASSERT_TRUE(dialogs.shown.empty()) << dialogs.shown.front().text;
  console::AccountRow* bob = nullptr;
  for (console::AccountRow& row : console.tables().accounts)
    if (row.connection == "Far" && row.name == "bob") bob = &row;
  ASSERT_NE(bob, nullptr);
  EXPECT_EQ(bob->popHost, "pop.far.example");

  bob->popUser = "bob";
  bob->edited.insert(schema::kPopUser);
  ASSERT_TRUE(console.SaveConfiguration()) << (dialogs.shown.empty() ? "" : dialogs.shown.back().text);
  EXPECT_EQ(Stored(AccountKey("Far", "bob"), schema::kPopUser), "bob");
  EXPECT_EQ(Stored(AccountKey("Far", "bob"), schema::kPopHost), "pop.far.example");
}

}  // namespace
}  // namespace ferry::test
