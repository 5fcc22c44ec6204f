// Reading a computer's settings into the tables.
#include "console/model/store_texts.h"
#include "schema/registry_schema.h"
#include "tests/console/console_fixture.h"

namespace ferry::test {
namespace {

using schema::AccountKey;
using schema::ConnectionKey;

class StoreReadTest : public ConsoleTest {};

TEST_F(StoreReadTest, AnInstalledServiceWithoutConnectionsGivesOneEmptyNorasRow) {
  InstallService();
  console->computerName() = "";
  console->ConnectComputer();
  ASSERT_EQ(ConnectionNames(), std::vector<std::string>{"NORAS"});
  EXPECT_EQ(Connection("NORAS")->enableLogging, "0");
  EXPECT_EQ(Connection("NORAS")->timeOut, "-1");
  EXPECT_TRUE(Connection("NORAS")->origin.empty());
  Start();
  EXPECT_TRUE(AccountNames().empty());
  EXPECT_EQ(page.status, console::texts::kReading);
  EXPECT_TRUE(dialogs.shown.empty());
  // Shown but not edited, the permanent connection's row makes no key.
  ASSERT_TRUE(console->SaveConfiguration());
  EXPECT_TRUE(Subkeys(schema::kParametersKey).empty());
}

TEST_F(StoreReadTest, VolatileIsNoConnectionAndAStoredNorasIsNotAddedTwice) {
  PutText(schema::kVolatileKey, schema::kLastTitle, "title");
  PutNumber(ConnectionKey("NORAS"), "Timeout", 300);
  PutNumber(ConnectionKey("Uplink"), "Timeout", 120);
  MakeKey(AccountKey("Uplink", "bob"));
  Start();
  EXPECT_EQ(ConnectionNames(), (std::vector<std::string>{"NORAS", "Uplink"}));
  EXPECT_EQ(Connection("NORAS")->timeOut, "300");
  EXPECT_EQ(AccountNames(), (std::vector<std::pair<std::string, std::string>>{{"Uplink", "bob"}}));
}

TEST_F(StoreReadTest, NorasIsAddedAfterTheStoredConnections) {
  MakeKey(ConnectionKey("Alpha"));
  MakeKey(ConnectionKey("Beta"));
  Start();
  EXPECT_EQ(ConnectionNames(), (std::vector<std::string>{"Alpha", "Beta", "NORAS"}));
}

// An absent value reads as the service uses it: the service's default, or the
// value's old name where that is stored.
TEST_F(StoreReadTest, AbsentValuesReadAsTheServiceReadsThem) {
  MakeKey(AccountKey("NORAS", "bare"));
  PutText(AccountKey("NORAS", "old"), "EMailHost", "pop.old.example");
  PutNumber(AccountKey("NORAS", "old"), "EMailFlags", 2);
  PutText(AccountKey("NORAS", "old"), "SMTP Host", "smtp.new.example");
  PutText(AccountKey("NORAS", "old"), "SMTPHost", "smtp.old.example");
  console->computerName() = "";
  console->ConnectComputer();
  const console::GlobalSettings& g = console->tables().global;
  EXPECT_EQ(g.bdwDir, "");
  EXPECT_EQ(g.debugLevel, "0");
  EXPECT_EQ(g.listenRas, "1");
  EXPECT_EQ(g.proxyHost, "");
  EXPECT_EQ(g.proxyPort, "0");
  EXPECT_EQ(g.triggerPort, "2000");
  EXPECT_EQ(g.tickerEMail, "");
  EXPECT_EQ(Connection("NORAS")->enableLogging, "0");
  EXPECT_EQ(Connection("NORAS")->timeOut, "-1");
  const console::AccountRow* old = Account("NORAS", "old");
  ASSERT_NE(old, nullptr);
  EXPECT_EQ(old->popHost, "pop.old.example");
  EXPECT_EQ(old->addressmode, "2");
  EXPECT_EQ(old->smtpHost, "smtp.new.example");  // the current name wins
  const console::AccountRow* a = Account("NORAS", "bare");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->addressmode, "0");
  EXPECT_EQ(a->logFile, "");
  EXPECT_EQ(a->maxMails, "10");
  EXPECT_EQ(a->popDelete, "0");
  EXPECT_EQ(a->udpPort, "0");
  EXPECT_EQ(a->enableAccount, "0");
  EXPECT_EQ(a->enableKeepAlive, "0");
  EXPECT_EQ(a->popHost, "");
}

TEST_F(StoreReadTest, StoredValuesReadAsTexts) {
  PutText(schema::kParametersKey, "BDWDir", "/srv/ticker");
  PutNumber(schema::kParametersKey, "DebugLevel", 9);
  PutNumber(schema::kParametersKey, "TriggerPort", 2000);
  PutNumber(ConnectionKey("NORAS"), "Timeout", 0xFFFFFFFF);
  PutNumber(ConnectionKey("NORAS"), "Enable Logging", 1);
  std::string acc = AccountKey("NORAS", "J\xFCrgen");
  PutText(acc, "POP Host", "  pop.example  ");
  PutText(acc, "Logfile", "/var/log/j.log");
  PutNumber(acc, "Enable KeepAlive", 1);
  PutNumber(acc, "Max Mails", 25);
  Start();
  EXPECT_EQ(console->tables().global.bdwDir, "/srv/ticker");
  EXPECT_EQ(console->tables().global.debugLevel, "9");
  EXPECT_EQ(console->tables().global.triggerPort, "2000");
  EXPECT_EQ(Connection("NORAS")->timeOut, "-1");
  EXPECT_EQ(Connection("NORAS")->enableLogging, "1");
  const console::AccountRow* a = Account("NORAS", "J\xFCrgen");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->popHost, "pop.example");  // trimmed
  EXPECT_EQ(a->logFile, "/var/log/j.log");
  EXPECT_EQ(a->enableKeepAlive, "1");
  EXPECT_EQ(a->maxMails, "25");
}

TEST_F(StoreReadTest, AMissingServiceSaysSoAndLeavesTheTablesEmpty) {
  MakeKey("SYSTEM\\CurrentControlSet\\Services");
  const std::string here = console::LocalComputerName();
  console->computerName() = here;
  console->ConnectComputer();
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0].title, console::texts::kNotInstalledTitle);
  EXPECT_NE(dialogs.shown[0].text.find(" " + here + " "), std::string::npos) << dialogs.shown[0].text;
  EXPECT_TRUE(ConnectionNames().empty());
  EXPECT_EQ(page.status, "");
}

TEST_F(StoreReadTest, AnUnreachableComputerGivesKeineVerbindung) {
  InstallService();
  PutNumber(ConnectionKey("Old"), "Timeout", 60);
  Start();
  ASSERT_FALSE(ConnectionNames().empty());
  SetEnvironment(reg::kRemoteHivesEnvironmentVariable, (Folder() / "remote").string());
  console->computerName() = "ELSEWHERE";
  console->ConnectComputer();
  SetEnvironment(reg::kRemoteHivesEnvironmentVariable, "");
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0].title, console::texts::kNoConnectionTitle);
  EXPECT_NE(dialogs.shown[0].text.find(" ELSEWHERE "), std::string::npos) << dialogs.shown[0].text;
  EXPECT_EQ(console->targetRoot(), nullptr);
  EXPECT_TRUE(ConnectionNames().empty());
  EXPECT_EQ(page.status, "");
}

TEST_F(StoreReadTest, AMissingValueLibraryIsReportedNotACrash) {
  InstallService();
  const std::string file = SharedLibraryFileName(values::kLibraryName);
  console::ValueLibrary missing({(Folder() / "nonexistent" / file).string()});
  console::Console other(page, dialogs, missing);
  other.ConnectComputer();
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0].title, console::texts::kLibraryTitle);
  EXPECT_NE(page.status.find(file), std::string::npos) << page.status;
  EXPECT_FALSE(other.SaveConfiguration());
}

}  // namespace
}  // namespace ferry::test
