// The tree and the transfers between tables and page: the page always
// belongs to the selected node, a field the store cannot take is refused
// with its label, and no other edit is lost.
#include "console/model/field_rules.h"
#include "console/model/page_texts.h"
#include "schema/registry_schema.h"
#include "tests/console/console_fixture.h"

namespace ferry::test {
namespace {

using console::Control;
using schema::AccountKey;
using schema::ConnectionKey;

class PageTransferTest : public ConsoleTest {
 protected:
  void SetUp() override {
    ConsoleTest::SetUp();
    PutNumber(ConnectionKey("Dial"), "Timeout", 600);
    PutText(AccountKey("Dial", "anna"), "POP Host", "pop.anna.example");
    PutNumber(AccountKey("Dial", "anna"), "Enable Account", 1);
    PutText(AccountKey("Dial", "bert"), "POP Host", "pop.bert.example");
    PutText(AccountKey("NORAS", "anna"), "POP Host", "pop.other.example");
    Start();
  }
};

TEST_F(PageTransferTest, TheTreeHoldsConnectionsWithTheirAccounts) {
  std::vector<std::string> paths;
  for (const auto& node : console->treeNodes()) paths.push_back(node.Path());
  EXPECT_EQ(paths, (std::vector<std::string>{"Dial", "NORAS", "Dial\\anna", "Dial\\bert", "NORAS\\anna"}));
  // The same account name in two connections is two nodes with two keys.
  EXPECT_EQ(console->treeNodes()[2].key, "ADial\\anna");
  EXPECT_EQ(console->treeNodes()[4].key, "ANORAS\\anna");
  EXPECT_EQ(console->treeNodes()[4].parentKey, "ANORAS");
}

TEST_F(PageTransferTest, StartShowsTheFirstConnectionInMinutes) {
  EXPECT_EQ(page.selected, "ADial");
  EXPECT_EQ(page.Text(Control::ConnectionName), "Dial");
  EXPECT_EQ(page.Text(Control::ConnectionInterval), "10");  // 600 seconds
  EXPECT_FALSE(page.accountFrameEnabled);
  EXPECT_FALSE(page.accountControlsEnabled);
}

TEST_F(PageTransferTest, IntervalsInMinutesWithACommaAndNeverForTriggersOnly) {
  page.texts[Control::ConnectionInterval] = "1,5";
  Click("NORAS");
  EXPECT_EQ(Connection("Dial")->timeOut, "90");
  // NORAS has no stored interval: the service's default, no periodic run.
  EXPECT_EQ(page.Text(Control::ConnectionInterval), console::kNoPeriodicRun);
  Click("Dial");
  EXPECT_EQ(page.Text(Control::ConnectionInterval), "1,5");
  page.texts[Control::ConnectionInterval] = "nie";
  Click("NORAS");
  EXPECT_EQ(Connection("Dial")->timeOut, "-1");
}

// Each field the service cannot use is refused with its label; the page keeps
// its node, the bad field stays marked on it, and the other edits are taken.
TEST_F(PageTransferTest, AFieldTheServiceCannotUseIsRefusedByItsLabelAndNothingElseIsLost) {
  struct Case {
    const char* name;
    Control control;
    std::string text;
  };
  const Case cases[] = {
      {"LettersInTheInterval", Control::ConnectionInterval, "zehn"},
      {"NegativeInterval", Control::ConnectionInterval, "-5"},
      {"MaxMailsWithAComma", Control::AccountMaxMails, "2,7"},
      {"TriggerPortBeyond65535", Control::GlobalTriggerPort, "70000"},
      {"DebugLevelTen", Control::GlobalDebugLevel, "10"},
      {"HostOf292Characters", Control::AccountPOPHost, std::string(292, 'h')},
      {"EuroSignInThePassword", Control::AccountPOPPasswort, std::string("geheim") + console::kNotLatin1},
      {"EmptyUdpPort", Control::AccountUDPPort, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Start();
    Click("Dial\\anna");
    dialogs.shown.clear();
    const std::string before = page.Text(c.control);
    page.texts[c.control] = c.text;
    page.texts[Control::AccountSMTPHost] = "smtp.edited.example";
    page.boxes[Control::AccountEnableUDP] = true;
    Click("Dial\\bert");
    EXPECT_EQ(page.selected, "ADial\\anna");  // the page keeps its node
    EXPECT_EQ(page.Text(c.control), c.text);   // nothing typed is lost
    EXPECT_TRUE(page.marked.count(c.control));
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_NE(dialogs.shown[0].text.find(console::FieldLabel(c.control)), std::string::npos) << dialogs.shown[0].text;
    EXPECT_EQ(Account("Dial", "anna")->smtpHost, "smtp.edited.example");
    EXPECT_EQ(Account("Dial", "anna")->enableUdp, "1");
    // Saving is refused the same way and writes nothing.
    console->RunCommand(console::kSaveSettings);
    EXPECT_EQ(Stored(AccountKey("Dial", "anna"), "SMTP Host"), std::nullopt);
    // Mended, the page goes on.
    page.texts[c.control] = before;
    Click("Dial\\bert");
    EXPECT_EQ(page.selected, "ADial\\bert");
    EXPECT_TRUE(page.marked.empty());
  }
}

TEST_F(PageTransferTest, AStoredValueOutOfRangeIsMarkedButDoesNotBlockOtherEdits) {
  PutNumber(AccountKey("Dial", "bert"), "Addressmode", 99);
  Start();
  Click("Dial\\bert");
  EXPECT_EQ(page.Text(Control::AccountAddressMode), "99");
  EXPECT_TRUE(page.marked.count(Control::AccountAddressMode));
  page.texts[Control::AccountPOPUser] = "bert";
  console->RunCommand(console::kSaveSettings);
  EXPECT_EQ(LastShown(), "") << "no refusal";
  EXPECT_EQ(Stored(AccountKey("Dial", "bert"), "POP User"), "bert");
  EXPECT_EQ(Stored(AccountKey("Dial", "bert"), "Addressmode"), "99");
}

TEST_F(PageTransferTest, ClickingBetweenAccountsKeepsTheEditsOfTheFirst) {
  Click("Dial\\anna");
  EXPECT_TRUE(page.accountFrameEnabled);
  EXPECT_EQ(page.Text(Control::AccountPOPHost), "pop.anna.example");
  page.texts[Control::AccountPOPHost] = "new.anna.example";
  page.boxes[Control::AccountEnableUDP] = true;
  page.texts[Control::GlobalProxyHost] = "proxy.example";
  Click("NORAS\\anna");
  EXPECT_EQ(page.Text(Control::AccountPOPHost), "pop.other.example");
  EXPECT_EQ(Account("Dial", "anna")->popHost, "new.anna.example");
  EXPECT_EQ(Account("Dial", "anna")->enableUdp, "1");
  EXPECT_EQ(Account("NORAS", "anna")->popHost, "pop.other.example");
  EXPECT_EQ(console->tables().global.proxyHost, "proxy.example");
}

// Whatever moves the selection (the window reports mouse and keyboard alike),
// a save writes the page into the node it belongs to and nowhere else.
TEST_F(PageTransferTest, ASaveAfterTheSelectionMovedWritesThePageIntoItsOwnNode) {
  Click("Dial\\anna");
  page.texts[Control::AccountPOPPasswort] = "annas secret";
  Click("Dial\\bert");  // an arrow key down
  console->RunCommand(console::kSaveSettings);
  EXPECT_EQ(Stored(AccountKey("Dial", "anna"), "POP Passwort"), "annas secret");
  EXPECT_EQ(Stored(AccountKey("Dial", "bert"), "POP Passwort"), std::nullopt);
  EXPECT_EQ(Stored(AccountKey("Dial", "bert"), "POP Host"), "pop.bert.example");
}

TEST_F(PageTransferTest, AClickOnEmptySpaceKeepsThePageWithItsNode) {
  Click("Dial\\bert");
  page.texts[Control::AccountPOPUser] = "bert";
  ClickEmptySpace();
  EXPECT_EQ(page.selected, "ADial\\bert");
  EXPECT_EQ(console->ShownPath(), "Dial\\bert");
  console->RunCommand(console::kSaveSettings);
  EXPECT_EQ(page.status, "Einstellungen gespeichert");
  EXPECT_EQ(Stored(AccountKey("Dial", "bert"), "POP User"), "bert");
}

TEST_F(PageTransferTest, AConnectionPageLeavesTheAccountFieldsEmptyClearedAndDisabled) {
  Click("Dial\\anna");
  ASSERT_TRUE(page.Checked(Control::AccountEnableAccount));
  Click("NORAS");
  EXPECT_EQ(page.Text(Control::AccountPOPHost), "");
  EXPECT_EQ(page.Text(Control::AccountMaxMails), "");
  EXPECT_FALSE(page.Checked(Control::AccountEnableAccount));
  EXPECT_FALSE(page.Checked(Control::AccountPOPDelete));
  EXPECT_FALSE(page.accountControlsEnabled);
  EXPECT_FALSE(page.accountFrameEnabled);
}

TEST_F(PageTransferTest, AbsentValuesShowTheServicesDefaults) {
  Click("Dial\\bert");
  EXPECT_EQ(page.Text(Control::GlobalProxyHost), "");
  EXPECT_EQ(page.Text(Control::GlobalTriggerPort), "2000");
  EXPECT_FALSE(page.Checked(Control::AccountPOPDelete));  // the service keeps the mail
  EXPECT_EQ(page.Text(Control::AccountLogFile), "");       // the connection's log
  EXPECT_EQ(page.Text(Control::AccountMaxMails), "10");
  EXPECT_TRUE(page.marked.empty());
}

}  // namespace
}  // namespace ferry::test
