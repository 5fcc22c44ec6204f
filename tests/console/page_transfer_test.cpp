// The tree and the transfers between tables and page.
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
  EXPECT_EQ(console->treeNodes()[2].key, "ADialanna");
  EXPECT_EQ(console->treeNodes()[4].key, "ANORASanna");
  EXPECT_EQ(console->treeNodes()[4].parentKey, "ANORAS");
}

TEST_F(PageTransferTest, StartShowsTheFirstConnectionInMinutes) {
  EXPECT_EQ(page.selected, "ADial");
  EXPECT_EQ(page.Text(Control::ConnectionName), "Dial");
  EXPECT_EQ(page.interval, 10.0);  // 600 seconds
  EXPECT_FALSE(page.accountFrameEnabled);
  EXPECT_FALSE(page.accountControlsEnabled);
}

TEST_F(PageTransferTest, AnIntervalOfOneAndAHalfMinutesIsStoredAsNinety) {
  page.interval = 1.5;
  Click("NORAS");
  EXPECT_EQ(Connection("Dial")->timeOut, "90");
  Click("Dial");
  EXPECT_EQ(page.interval, 1.5);
}

TEST_F(PageTransferTest, AnIntervalThatIsNoNumberEndsTheStoreThere) {
  Click("Dial\\anna");
  page.texts[Control::AccountPOPHost] = "changed.example";
  page.boxes[Control::ConnectionEnableLogging] = true;
  page.interval.reset();
  Click("Dial\\bert");
  EXPECT_EQ(Connection("Dial")->enableLogging, "1");
  EXPECT_EQ(Connection("Dial")->timeOut, "600");
  EXPECT_EQ(Account("Dial", "anna")->popHost, "pop.anna.example");
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

TEST_F(PageTransferTest, AnEmptyEnableAccountShowsClearedAndBecomesZero) {
  console->tables().accounts[1].enableAccount.clear();  // Dial\bert
  Click("Dial\\bert");
  EXPECT_FALSE(page.Checked(Control::AccountEnableAccount));
  EXPECT_EQ(Account("Dial", "bert")->enableAccount, "0");
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

TEST_F(PageTransferTest, WithoutASelectionTheTreeHandlersDoNothing) {
  page.selected.reset();
  page.texts[Control::GlobalProxyHost] = "not stored";
  console->TreeMouseDown();
  console->TreeMouseUp();
  EXPECT_NE(console->tables().global.proxyHost, "not stored");
}

TEST_F(PageTransferTest, ShowPageWithAnAccountSelectsItsNode) {
  console->ShowPage("NORAS", std::string("anna"));
  EXPECT_EQ(page.selected, "ANORASanna");
  page.texts[Control::AccountSMTPTo] = "to@office.example";
  Click("Dial");
  EXPECT_EQ(Account("NORAS", "anna")->smtpTo, "to@office.example");
}

TEST_F(PageTransferTest, EmptyGlobalNumbersAreShownAndKeptAsZero) {
  console->tables().global.proxyPort.clear();
  console->tables().global.listenRas.clear();
  console->ShowFirstConnection();
  EXPECT_EQ(console->tables().global.proxyPort, "0");
  EXPECT_EQ(console->tables().global.listenRas, "0");
  EXPECT_EQ(page.Text(Control::GlobalProxyPort), "0");
}

}  // namespace
}  // namespace ferry::test
