// Saving the tables: what is written, what is kept, and that a failed save
// leaves the stored settings whole.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "schema/registry_schema.h"
#include "tests/console/console_fixture.h"

namespace ferry::test {
namespace {

using console::Answer;
using console::Control;
using schema::AccountKey;
using schema::ConnectionKey;

// Every stored value below Parameters: path, name -> text.
using Snapshot = std::map<std::pair<std::string, std::string>, std::string>;

void Collect(const std::string& path, Snapshot& out, const std::vector<std::string>& names) {
  for (const std::string& name : names) {
    if (auto v = Stored(path, name)) out[{path, name}] = *v;
  }
}

class SaveConfigurationTest : public ConsoleTest {
 protected:
  // A store as the service leaves it: every value of the schema in the
  // global key, in two connections, in their accounts and in "volatile".
  void WriteServiceHive() {
    auto fill = [](const std::string& path, schema::Level scope, uint32_t seed) {
      for (const schema::ValueInfo& v : schema::Values()) {
        if (v.level != scope) continue;
        if (v.type == schema::Type::Dword) {
          PutNumber(path, v.name, seed++ % 7);
        } else {
          PutText(path, v.name, std::string(v.name) + " of " + path.substr(path.rfind('\\') + 1));
        }
      }
    };
    fill(schema::kParametersKey, schema::Level::Global, 1);
    fill(schema::kVolatileKey, schema::Level::Volatile, 1);
    for (const char* connection : {"NORAS", "Dial"}) {
      fill(ConnectionKey(connection), schema::Level::Connection, 2);
      for (const char* account : {"anna", "bert"}) fill(AccountKey(connection, account), schema::Level::Account, 3);
    }
  }

  static std::vector<std::string> Names(schema::Level scope) {
    std::vector<std::string> names;
    for (const schema::ValueInfo& v : schema::Values())
      if (v.level == scope) names.emplace_back(v.name);
    return names;
  }

  static Snapshot Everything() {
    Snapshot all;
    std::vector<std::string> accountNames = Names(schema::Level::Account);
    for (const char* old : schema::OldAccountNames()) accountNames.emplace_back(old);
    Collect(schema::kParametersKey, all, Names(schema::Level::Global));
    Collect(schema::kVolatileKey, all, Names(schema::Level::Volatile));
    for (const std::string& connection : Subkeys(schema::kParametersKey)) {
      Collect(ConnectionKey(connection), all, Names(schema::Level::Connection));
      for (const std::string& account : Subkeys(ConnectionKey(connection)))
        Collect(AccountKey(connection, account), all, accountNames);
    }
    return all;
  }

  bool Save() { return console->SaveConfiguration(); }
};

TEST_F(SaveConfigurationTest, ASaveKeepsEveryValueTheServiceWrote) {
  WriteServiceHive();
  Snapshot before = Everything();
  Start();
  ASSERT_TRUE(Save()) << LastShown();
  Snapshot after = Everything();
  // The console's own values come back as it read them, the rest untouched.
  for (const auto& [where, value] : before) {
    ASSERT_TRUE(after.count(where)) << where.first << " " << where.second;
    EXPECT_EQ(after[where], value) << where.first << " " << where.second;
  }
}

// The same with a store written by the service program itself.
TEST_F(SaveConfigurationTest, AStoreCreatedByTheServiceKeepsEveryValueThroughASave) {
  const char* dir = std::getenv("FERRY_BINARY_DIR");
  ASSERT_NE(dir, nullptr) << "run through ctest";
  std::string service = std::string(dir) + "/service/mailferry2";
  for (const char* account : {"NORAS Postfach", "NORAS Info", "Dial anna"})
    ASSERT_EQ(std::system((service + " -create " + account + " >/dev/null 2>&1").c_str()), 0) << account;
  Snapshot before = Everything();
  ASSERT_GT(before.size(), 60u);
  Start();
  std::vector<std::string> shown;
  for (const auto& node : console->treeNodes()) shown.push_back(node.Path());
  for (const char* path : {"NORAS", "NORAS\\Postfach", "NORAS\\Info", "Dial", "Dial\\anna"})
    EXPECT_NE(std::find(shown.begin(), shown.end(), path), shown.end()) << path;
  ASSERT_TRUE(Save()) << LastShown();
  Snapshot after = Everything();
  for (const auto& [where, value] : before) {
    ASSERT_TRUE(after.count(where)) << where.first << " " << where.second;
    EXPECT_EQ(after[where], value) << where.first << " " << where.second;
  }
}

TEST_F(SaveConfigurationTest, ValuesTheConsoleDoesNotShowSurvive) {
  std::string anna = AccountKey("Dial", "anna");
  PutNumber(anna, "Addressmode From", 2);
  PutNumber(anna, "Enable CT", 1);
  PutNumber(anna, "Enable KeepAlive", 1);
  PutNumber(anna, "In Use", 1);
  PutText(ConnectionKey("Dial"), "Logfile", "/var/log/dial.log");
  PutNumber(ConnectionKey("Dial"), "using Router", 1);
  PutNumber(ConnectionKey("Dial"), "Disable MT", 1);
  PutText(schema::kParametersKey, "CTDir", "/srv/ct");
  PutText(anna, "A value of a newer version", "kept");
  Start();
  Click("Dial\\anna");
  page.texts[Control::AccountPOPHost] = "edited.example";
  console->RunCommand(console::kSaveSettings);
  EXPECT_EQ(Stored(anna, "POP Host"), "edited.example");
  EXPECT_EQ(Stored(anna, "Addressmode From"), "2");
  EXPECT_EQ(Stored(anna, "Enable CT"), "1");
  EXPECT_EQ(Stored(anna, "Enable KeepAlive"), "1");
  EXPECT_EQ(Stored(anna, "In Use"), "1");
  EXPECT_EQ(Stored(ConnectionKey("Dial"), "Logfile"), "/var/log/dial.log");
  EXPECT_EQ(Stored(ConnectionKey("Dial"), "using Router"), "1");
  EXPECT_EQ(Stored(ConnectionKey("Dial"), "Disable MT"), "1");
  EXPECT_EQ(Stored(schema::kParametersKey, "CTDir"), "/srv/ct");
  EXPECT_EQ(Stored(anna, "A value of a newer version"), "kept");
}

// The OAuth fields of the account page are saved; the tokens the service
// keeps are neither shown nor written, and survive the save.
TEST_F(SaveConfigurationTest, OAuthFieldsAreSavedAndTheServicesTokensSurvive) {
  std::string anna = AccountKey("Dial", "anna");
  PutText(anna, schema::kOAuthRefreshToken, "refresh-kept");
  PutNumber(anna, schema::kOAuthAccessExpiry, 1800000000);
  Start();
  Click("Dial\\anna");
  page.texts[Control::AccountPopAuth] = "2";
  page.texts[Control::AccountOAuthClientId] = "office-client";
  page.texts[Control::AccountOAuthTokenUrl] = "https://login.example/token";
  console->RunCommand(console::kSaveSettings);
  EXPECT_EQ(Stored(anna, schema::kPopAuth), "2");
  EXPECT_EQ(Stored(anna, schema::kOAuthClientId), "office-client");
  EXPECT_EQ(Stored(anna, schema::kOAuthTokenUrl), "https://login.example/token");
  EXPECT_EQ(Stored(anna, schema::kOAuthRefreshToken), "refresh-kept");
  EXPECT_EQ(Stored(anna, schema::kOAuthAccessExpiry), "1800000000");
}

TEST_F(SaveConfigurationTest, RenamedAndCopiedRowsCarryTheirValuesRemovedOnesGo) {
  PutNumber(AccountKey("Dial", "anna"), "Enable CT", 1);
  PutText(AccountKey("Dial", "anna") + "\\Feeds\\Science", "Address", "https://feed.example/");
  PutText(ConnectionKey("Dial"), "Logfile", "/var/log/dial.log");
  PutNumber(AccountKey("NORAS", "gone"), "Enable CT", 1);
  PutNumber(AccountKey("Old", "x"), "Enable CT", 1);
  Start();
  console->ShowPage("Dial");
  dialogs.inputs = {"Remote", "NORAS", "annacopy"};
  console->RunCommand(console::kRenameConnection);
  Click("Remote\\anna");
  console->RunCommand(console::kCopyAccount);
  Click("Old");
  dialogs.answers = {Answer::Yes, Answer::Yes};
  console->RunCommand(console::kDeleteConnection);
  Click("NORAS\\gone");
  console->RunCommand(console::kDeleteAccount);
  ASSERT_TRUE(Save()) << LastShown();

  EXPECT_EQ(Subkeys(schema::kParametersKey), (std::vector<std::string>{"NORAS", "Remote"}));
  EXPECT_EQ(Stored(ConnectionKey("Remote"), "Logfile"), "/var/log/dial.log");
  EXPECT_EQ(Stored(AccountKey("Remote", "anna"), "Enable CT"), "1");
  EXPECT_EQ(Stored(AccountKey("NORAS", "annacopy"), "Enable CT"), "1");
  EXPECT_EQ(Subkeys(ConnectionKey("NORAS")), std::vector<std::string>{"annacopy"});
  // Subkeys below an account go with it.
  EXPECT_EQ(Stored(AccountKey("Remote", "anna") + "\\Feeds\\Science", "Address"), "https://feed.example/");
  EXPECT_EQ(Stored(AccountKey("NORAS", "annacopy") + "\\Feeds\\Science", "Address"), "https://feed.example/");
}

TEST_F(SaveConfigurationTest, VolatileStays) {
  PutText(schema::kVolatileKey, "LastTitle", "Neuer Prozessor");
  PutText(schema::kVolatileKey, "LastDate", "Mon, 01 Jan 2001 00:00:00 GMT");
  Start();
  ASSERT_TRUE(Save());
  EXPECT_EQ(Stored(schema::kVolatileKey, "LastTitle"), "Neuer Prozessor");
  EXPECT_EQ(Stored(schema::kVolatileKey, "LastDate"), "Mon, 01 Jan 2001 00:00:00 GMT");
}

// What `ferryreg export` writes of the service's key.
std::string Export(const std::filesystem::path& file) {
  std::string command = std::string(FERRYREG_PROGRAM) + " export \"HKLM\\" + schema::kServiceKey + "\" \"" +
                        file.string() + "\" /y >/dev/null 2>&1";
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  return ReadFile(file);
}

// A store the service wrote, with accounts that lack most values and one that
// still holds the old value names: read, then saved without an edit (and
// again after moving through every page), it is the same byte for byte.
TEST_F(SaveConfigurationTest, ASaveWithoutEditsLeavesTheExportByteForByteTheSame) {
  const char* dir = std::getenv("FERRY_BINARY_DIR");
  ASSERT_NE(dir, nullptr) << "run through ctest";
  std::string service = std::string(dir) + "/service/mailferry2";
  for (const char* account : {"NORAS Postfach", "Dial anna"})
    ASSERT_EQ(std::system((service + " -create " + account + " >/dev/null 2>&1").c_str()), 0) << account;
  MakeKey(AccountKey("Dial", "bare"));  // no values at all: every default
  std::string old = AccountKey("NORAS", "Alt");
  PutText(old, "EMailHost", "pop.alt.example");
  PutText(old, "EMailUser", "alt");
  PutNumber(old, "EMailDelete", 1);
  PutText(AccountKey("NORAS", "Alt") + "\\Feeds", "heise", "https://feed.example/atom");
  const std::string before = Export(Folder() / "before.reg");
  ASSERT_NE(before.find("EMailHost"), std::string::npos);

  Start();
  const console::AccountRow* alt = Account("NORAS", "Alt");
  ASSERT_NE(alt, nullptr);
  EXPECT_EQ(alt->popUser, "alt");     // the old name read as the service reads it
  EXPECT_EQ(alt->popDelete, "1");
  EXPECT_EQ(alt->popHost, "pop.alt.example");
  EXPECT_EQ(Account("Dial", "bare")->popDelete, "0");  // the service's default: keep the mail
  EXPECT_EQ(Account("Dial", "bare")->logFile, "");
  ASSERT_TRUE(Save()) << LastShown();
  EXPECT_EQ(Export(Folder() / "after.reg"), before);

  for (const auto& node : console->treeNodes()) Click(node.Path());
  console->RunCommand(console::kSaveSettings);
  EXPECT_EQ(page.status, "Einstellungen gespeichert") << LastShown();
  EXPECT_EQ(Export(Folder() / "again.reg"), before);
}

TEST_F(SaveConfigurationTest, WhatTheConsoleWritesAndHow) {
  InstallService();
  Start();
  dialogs.inputs = {"bob"};
  Click("NORAS");
  console->RunCommand(console::kNewAccount);
  page.texts[Control::ConnectionInterval] = "1,5";
  console->RunCommand(console::kSaveSettings);
  std::string bob = AccountKey("NORAS", "bob");
  EXPECT_EQ(Stored(ConnectionKey("NORAS"), "Timeout"), "90");
  EXPECT_EQ(Stored(ConnectionKey("NORAS"), "Enable Logging"), std::nullopt);  // not edited
  // A new account holds the service's defaults, enabled.
  EXPECT_EQ(Stored(bob, "Enable Account"), "1");
  EXPECT_EQ(Stored(bob, "POP Delete"), "0");
  EXPECT_EQ(Stored(bob, "Addressmode"), "0");
  EXPECT_EQ(Stored(bob, "Logfile"), "");
  EXPECT_EQ(Stored(bob, "Max Mails"), "10");
  EXPECT_EQ(Stored(bob, "Enable KeepAlive"), std::nullopt);  // never written by the console
  EXPECT_EQ(Stored(bob, "In Use"), std::nullopt);
  EXPECT_EQ(Stored(schema::kParametersKey, "TriggerPort"), std::nullopt);
  EXPECT_EQ(Stored(schema::kParametersKey, "BDWDir"), std::nullopt);
  // A second save after the first writes what was edited since.
  Click("NORAS\\bob");
  page.texts[Control::AccountPOPHost] = "pop.bob.example";
  console->RunCommand(console::kSaveSettings);
  EXPECT_EQ(Stored(bob, "POP Host"), "pop.bob.example");
  EXPECT_EQ(Subkeys(ConnectionKey("NORAS")), std::vector<std::string>{"bob"});
}

// More connections and accounts than a fixed table held: all are read, and a
// save without edits deletes none of them.
TEST_F(SaveConfigurationTest, EveryConnectionAndAccountIsReadAndKept) {
  for (int i = 0; i < 60; ++i) {
    std::string connection = "c" + std::to_string(100 + i);
    for (int k = 0; k < 5; ++k) PutNumber(AccountKey(connection, "a" + std::to_string(k)), "Max Mails", 5);
  }
  Start();
  EXPECT_EQ(ConnectionNames().size(), 61u);  // with NORAS
  EXPECT_EQ(AccountNames().size(), 300u);
  ASSERT_TRUE(Save()) << LastShown();
  EXPECT_EQ(Subkeys(schema::kParametersKey).size(), 60u);
  EXPECT_EQ(Subkeys(ConnectionKey("c159")).size(), 5u);
}

TEST_F(SaveConfigurationTest, AFailedWriteLeavesTheOldConfigurationWhole) {
  WriteServiceHive();
  Snapshot before = Everything();
  Start();
  struct Case {
    const char* name;
    void (*spoil)(console::Tables&);
  };
  const Case cases[] = {
      // The store refuses a key name over 255 characters.
      {"OverlongConnectionName", [](console::Tables& t) { t.connections[1].name = std::string(300, 'c'); }},
      {"NumberThatIsNoNumber",
       [](console::Tables& t) {
         t.accounts[3].maxMails = "zehn";
         t.accounts[3].edited.insert("Max Mails");
       }},
      // Values the library wrote before the refused one go back as well.
      {"GoodValuesBeforeARefusedOne",
       [](console::Tables& t) {
         t.global.proxyHost = "proxy.example";
         t.global.edited.insert(schema::kProxyHost);
         t.accounts[0].popHost = "new.example";
         t.accounts[0].edited.insert(schema::kPopHost);
         t.accounts[3].maxMails = "zehn";
         t.accounts[3].edited.insert("Max Mails");
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    console->ConnectComputer();
    c.spoil(console->tables());
    dialogs.shown.clear();
    EXPECT_FALSE(Save());
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].title, "Fehler");
    EXPECT_NE(dialogs.shown[0].text.find("unver\xE4ndert"), std::string::npos);
    if (std::string(c.name) != "OverlongConnectionName") {  // named by its label
      EXPECT_NE(dialogs.shown[0].text.find("\"max. Mails pro Thread\""), std::string::npos) << dialogs.shown[0].text;
    }
    EXPECT_EQ(Everything(), before);
    EXPECT_EQ(Subkeys(schema::kParametersKey), (std::vector<std::string>{"Dial", "NORAS", "volatile"}));
  }
  // The store is usable afterwards: the connection is not left in a transaction.
  console->ConnectComputer();
  EXPECT_TRUE(Save()) << LastShown();
}

TEST_F(SaveConfigurationTest, NoServiceKeyMeansNothingIsWritten) {
  InstallService();
  Start();
  reg::KeyHolder services;
  ASSERT_EQ(reg::OpenKey(reg::LocalMachine(), "SYSTEM\\CurrentControlSet\\Services", reg::kAllAccess, services.out()),
            reg::kOk);
  ASSERT_EQ(reg::DeleteKey(services.get(), "Mailferry Service\\Parameters"), reg::kOk);
  ASSERT_EQ(reg::DeleteKey(services.get(), "Mailferry Service"), reg::kOk);
  EXPECT_FALSE(Save());
  EXPECT_EQ(LastShown(), "Der Service ist auf diesem Rechner nicht installiert");
  EXPECT_EQ(dialogs.shown.back().title, "Fehler");
  EXPECT_FALSE(KeyExists(schema::kServiceKey));
}

}  // namespace
}  // namespace ferry::test
