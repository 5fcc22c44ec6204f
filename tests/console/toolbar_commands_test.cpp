// The eleven toolbar commands and their edge cases.
#include "console/model/command_texts.h"
#include "schema/registry_schema.h"
#include "tests/console/console_fixture.h"

namespace ferry::test {
namespace {

using console::Answer;
using console::Control;
namespace texts = console::texts;
using schema::AccountKey;
using schema::ConnectionKey;
using Names = std::vector<std::pair<std::string, std::string>>;

class ToolbarCommandTest : public ConsoleTest {
 protected:
  void SetUp() override {
    ConsoleTest::SetUp();
    for (const char* account : {"a1", "a2", "a3"}) PutText(AccountKey("Dial", account), "POP Host", account);
    PutText(AccountKey("NORAS", "n1"), "POP Host", "n1.example");
    PutNumber(AccountKey("NORAS", "n1"), "Max Mails", 33);
    MakeKey(ConnectionKey("Zeta"));
    PutText(AccountKey("Zeta", "z1"), "POP Host", "z1.example");
    Start();
  }
  void Run(console::Command command) { console->RunCommand(command); }
  void Select(const std::string& path) { Click(path); }
  bool WasShown(const std::string& start) const {
    for (const auto& s : dialogs.shown)
      if (s.text.rfind(start, 0) == 0) return true;
    return false;
  }
};

TEST_F(ToolbarCommandTest, NewConnectionAddsARowWithSixtySecondsAndRefusesATakenName) {
  dialogs.inputs = {"ZETA", "Uplink"};  // asked again after the refusal
  Run(console::kNewConnection);
  EXPECT_TRUE(WasShown(texts::kConnectionExists));
  EXPECT_EQ(dialogs.shown[2].defaultAnswer, "ZETA");
  EXPECT_EQ(ConnectionNames(), (std::vector<std::string>{"Dial", "NORAS", "Zeta", "Uplink"}));
  EXPECT_EQ(Connection("Uplink")->timeOut, "60");
  EXPECT_EQ(Connection("Uplink")->edited, console::Edited{"Timeout"});  // the interval counts as the person's
  EXPECT_EQ(page.selected, "ADial");  // the first connection is shown
}

// Wherever a name is made, a name the store or the service cannot keep is
// refused with its reason, asked again, and nothing changes on Cancel.
TEST_F(ToolbarCommandTest, BadNamesAreRefusedWhereverANameIsMadeAndNothingIsLost) {
  const std::string bad[] = {"   ", " Lead", "Filiale\\Bonn", "volatile", std::string(60, 'n'), "dial", "A1"};
  struct Where {
    const char* name;
    const char* select;
    console::Command command;
    std::optional<std::string> firstAnswer;  // the copy's target connection
  };
  const Where places[] = {
      {"NewConnection", "Dial", console::kNewConnection, std::nullopt},
      {"RenameConnection", "Zeta", console::kRenameConnection, std::nullopt},
      {"NewAccount", "Dial", console::kNewAccount, std::nullopt},
  };
  for (const Where& where : places) {
    for (const std::string& name : bad) {
      SCOPED_TRACE(std::string(where.name) + " \"" + name + "\"");
      const bool account = where.command == console::kNewAccount;
      if ((name == "A1" && !account) || (name == "dial" && account)) continue;  // a clash among siblings only
      Select(where.select);
      dialogs.shown.clear();
      dialogs.inputs = {name, std::nullopt};
      Run(where.command);
      ASSERT_EQ(dialogs.shown.size(), 3u);  // asked, refused, asked again
      EXPECT_EQ(dialogs.shown[1].title, texts::kNameRefusedTitle);
      EXPECT_EQ(dialogs.shown[2].defaultAnswer, name);  // kept to mend
      EXPECT_EQ(ConnectionNames(), (std::vector<std::string>{"Dial", "NORAS", "Zeta"}));
      EXPECT_EQ(AccountNames().size(), 5u);
    }
  }
  // A copy's new name follows the same rules.
  Select("Dial\\a1");
  dialogs.inputs = {"Zeta", "a\\b", std::nullopt};
  Run(console::kCopyAccount);
  EXPECT_TRUE(WasShown("Der Name darf keinen"));
  EXPECT_EQ(AccountNames().size(), 5u);
  ASSERT_TRUE(console->SaveConfiguration());
  EXPECT_EQ(Subkeys(ConnectionKey("Dial")), (std::vector<std::string>{"a1", "a2", "a3"}));
}

TEST_F(ToolbarCommandTest, NewAccountGoesToTheSelectedConnectionFromEitherNode) {
  Select("Zeta");
  dialogs.inputs = {"z2"};
  Run(console::kNewAccount);
  Select("Zeta\\z1");
  dialogs.inputs = {"z3"};
  Run(console::kNewAccount);
  const console::AccountRow* z2 = Account("Zeta", "z2");
  ASSERT_NE(z2, nullptr);
  ASSERT_NE(Account("Zeta", "z3"), nullptr);
  // The service's defaults, enabled.
  EXPECT_EQ(z2->addressmode, "0");
  EXPECT_EQ(z2->enableAccount, "1");
  EXPECT_EQ(z2->logFile, "");
  EXPECT_EQ(z2->maxMails, "10");
  EXPECT_EQ(z2->popDelete, "0");
  EXPECT_EQ(z2->udpPort, "0");
  EXPECT_EQ(z2->popHost, "");
  EXPECT_TRUE(z2->origin.empty());
  EXPECT_TRUE(z2->edited.count("Enable Account"));
  // The page is not changed and the node being edited stays selected.
  EXPECT_EQ(page.selected, "AZeta\\z1");
}

TEST_F(ToolbarCommandTest, NewAccountRefusesADuplicateInOneConnectionOnly) {
  Select("Dial");
  dialogs.inputs = {"A2", std::nullopt};
  Run(console::kNewAccount);
  EXPECT_TRUE(WasShown(texts::kAccountExists));
  Select("Zeta");
  dialogs.inputs = {"a2"};
  Run(console::kNewAccount);
  EXPECT_NE(Account("Zeta", "a2"), nullptr);
  EXPECT_EQ(AccountNames().size(), 6u);
}

TEST_F(ToolbarCommandTest, DeletingAConnectionWithThreeAccountsNeedsYesAndClosesTheRowsUp) {
  Select("Dial");
  dialogs.answers = {Answer::No, Answer::Yes};
  Run(console::kDeleteConnection);
  EXPECT_EQ(LastShown(), texts::kDeleteConnectionQuestion);
  EXPECT_EQ(AccountNames().size(), 5u);
  Run(console::kDeleteConnection);
  EXPECT_EQ(ConnectionNames(), (std::vector<std::string>{"NORAS", "Zeta"}));
  EXPECT_EQ(AccountNames(), (Names{{"NORAS", "n1"}, {"Zeta", "z1"}}));
}

TEST_F(ToolbarCommandTest, NorasCannotBeDeletedOrRenamed) {
  Select("NORAS");
  Run(console::kDeleteConnection);
  EXPECT_EQ(LastShown(), texts::kConnectionKept);
  console->ShowPage("NORAS");
  Run(console::kRenameConnection);
  EXPECT_EQ(LastShown(), texts::kRenameRefused);
  EXPECT_EQ(ConnectionNames(), (std::vector<std::string>{"Dial", "NORAS", "Zeta"}));
}

TEST_F(ToolbarCommandTest, DeleteAccountRemovesTheSelectedRowOnYesAndKeepsThePagesOtherEdits) {
  Select("Dial\\a2");
  dialogs.answers = {Answer::No, Answer::Yes};
  Run(console::kDeleteAccount);
  EXPECT_EQ(AccountNames().size(), 5u);
  Select("Dial\\a2");
  page.texts[Control::GlobalProxyHost] = "proxy.office.example";
  Run(console::kDeleteAccount);
  EXPECT_EQ(AccountNames(), (Names{{"Dial", "a1"}, {"Dial", "a3"}, {"NORAS", "n1"}, {"Zeta", "z1"}}));
  EXPECT_EQ(page.Text(Control::GlobalProxyHost), "proxy.office.example");
  ASSERT_TRUE(console->SaveConfiguration());
  EXPECT_EQ(Stored(schema::kParametersKey, "ProxyHost"), "proxy.office.example");
  EXPECT_EQ(Subkeys(ConnectionKey("Dial")), (std::vector<std::string>{"a1", "a3"}));
}

TEST_F(ToolbarCommandTest, AccountCommandsNeedAnAccountNode) {
  for (console::Command command : {console::kDeleteAccount, console::kCopyAccount, console::kTemplate}) {
    Select("Dial");
    Run(command);
    EXPECT_EQ(LastShown(), texts::kChooseAccountFirst) << command;
  }
  Select("Dial\\a1");
  Run(console::kDeleteConnection);
  EXPECT_EQ(LastShown(), texts::kChooseConnectionFirst);
}

TEST_F(ToolbarCommandTest, CopyFindsTheTargetInOtherLetterCase) {
  Select("NORAS\\n1");
  dialogs.inputs = {"zeta", "n1copy"};
  Run(console::kCopyAccount);
  EXPECT_EQ(dialogs.shown[1].defaultAnswer, "n1");
  const console::AccountRow* copy = Account("Zeta", "n1copy");
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->popHost, "n1.example");
  EXPECT_EQ(copy->maxMails, "33");
  EXPECT_EQ(copy->origin.connection, "NORAS");  // its stored values go with it
  EXPECT_NE(Account("NORAS", "n1"), nullptr);
}

TEST_F(ToolbarCommandTest, CopyToAMissingConnectionIsRefusedOntoAnExistingAccountOverwritesOnYes) {
  Select("NORAS\\n1");
  dialogs.inputs = {"Nowhere", "Dial", "a1", "Dial", "A1"};
  dialogs.answers = {Answer::No, Answer::Yes};
  Run(console::kCopyAccount);
  EXPECT_EQ(LastShown(), texts::kConnectionMissing);
  EXPECT_EQ(AccountNames().size(), 5u);
  Select("NORAS\\n1");
  Run(console::kCopyAccount);
  EXPECT_EQ(LastShown(), texts::kOverwriteQuestion);
  EXPECT_EQ(Account("Dial", "a1")->popHost, "a1");
  Select("NORAS\\n1");
  Run(console::kCopyAccount);
  EXPECT_EQ(AccountNames().size(), 5u);
  EXPECT_EQ(Account("Dial", "A1")->popHost, "n1.example");
  EXPECT_EQ(Account("Dial", "a1"), nullptr);
}

TEST_F(ToolbarCommandTest, CancelInTheInputBoxesChangesNothing) {
  Select("Dial\\a1");
  dialogs.inputs = {std::nullopt, std::nullopt, "Dial", std::nullopt, std::nullopt};
  Run(console::kNewConnection);
  Run(console::kNewAccount);
  Run(console::kCopyAccount);  // second box cancelled
  console->ShowPage("Dial");
  Run(console::kRenameConnection);
  EXPECT_EQ(ConnectionNames(), (std::vector<std::string>{"Dial", "NORAS", "Zeta"}));
  EXPECT_EQ(AccountNames().size(), 5u);
  EXPECT_TRUE(dialogs.inputs.empty());
}

TEST_F(ToolbarCommandTest, RenameMovesTheAccountsAlong) {
  console->ShowPage("Dial");
  dialogs.inputs = {"Remote"};
  Run(console::kRenameConnection);
  EXPECT_EQ(dialogs.shown[0].defaultAnswer, "Dial");
  EXPECT_EQ(ConnectionNames(), (std::vector<std::string>{"Remote", "NORAS", "Zeta"}));
  EXPECT_EQ(AccountNames()[0], (std::pair<std::string, std::string>{"Remote", "a1"}));
  EXPECT_EQ(Account("Remote", "a3")->origin.connection, "Dial");
}

TEST_F(ToolbarCommandTest, RenameOntoAnotherConnectionIsRefused) {
  console->ShowPage("Dial");
  dialogs.inputs = {"ZETA", std::nullopt};
  Run(console::kRenameConnection);
  EXPECT_TRUE(WasShown(texts::kConnectionExists));
  EXPECT_EQ(ConnectionNames(), (std::vector<std::string>{"Dial", "NORAS", "Zeta"}));
}

TEST_F(ToolbarCommandTest, TemplateFillsThePageNotTheRow) {
  Select("Dial\\a1");
  console->ShowPage("Dial", std::string("a1"));
  dialogs.answers = {Answer::Yes};
  Run(console::kTemplate);
  EXPECT_EQ(page.Text(Control::AccountPOPUser), "popuser");
  EXPECT_EQ(page.Text(Control::AccountUDPPort), "15002");
  EXPECT_TRUE(page.Checked(Control::AccountEnableAccount));
  EXPECT_NE(page.Text(Control::AccountSMTPTo).find('@'), std::string::npos);
  EXPECT_EQ(Account("Dial", "a1")->popUser, "");
  Click("Zeta");  // storing the page brings the values into the row
  EXPECT_EQ(Account("Dial", "a1")->popUser, "popuser");
}

TEST_F(ToolbarCommandTest, ChooseComputerTakesTheAnswerInCapitals) {
  SetEnvironment(reg::kRemoteHivesEnvironmentVariable, Folder().string());
  dialogs.inputs = {"faraway"};
  Run(console::kChooseComputer);
  SetEnvironment(reg::kRemoteHivesEnvironmentVariable, "");
  EXPECT_EQ(console->computerName(), "FARAWAY");
  EXPECT_EQ(page.computerName, "FARAWAY");
  EXPECT_EQ(LastShown(), "Verbindung mit Computer FARAWAY kann nicht hergestellt werden.");
  EXPECT_TRUE(ConnectionNames().empty());
  // An empty answer is the local computer again.
  dialogs.inputs = {""};
  Run(console::kChooseComputer);
  EXPECT_EQ(ConnectionNames(), (std::vector<std::string>{"Dial", "NORAS", "Zeta"}));
}

TEST_F(ToolbarCommandTest, ReadAgainDropsUnsavedChangesAndQuitCloses) {
  Select("Dial");
  dialogs.answers = {Answer::Yes};
  Run(console::kDeleteConnection);
  Run(console::kReadSettings);
  EXPECT_EQ(ConnectionNames(), (std::vector<std::string>{"Dial", "NORAS", "Zeta"}));
  Run(console::kQuit);
  EXPECT_TRUE(page.closed);
}

TEST_F(ToolbarCommandTest, SaveStoresTheShownPageFirst) {
  Click("Dial\\a2");
  page.texts[Control::AccountPOPHost] = "saved.example";
  Run(console::kSaveSettings);
  EXPECT_EQ(Stored(AccountKey("Dial", "a2"), "POP Host"), "saved.example");
}

}  // namespace
}  // namespace ferry::test
