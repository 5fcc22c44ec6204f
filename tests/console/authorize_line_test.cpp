// "Autorisieren": which command line authorises an account, and when the
// console refuses to run one.
#include <filesystem>
#include <fstream>
#include <random>

#include "console/model/authorize_line.h"
#include "schema/registry_schema.h"
#include "tests/console/console_fixture.h"

namespace ferry::test {
namespace {

using console::AccountRow;
using console::AuthorizePlace;
using console::ConsoleSettings;
using Words = std::vector<std::string>;

// A saved account that signs in to POP3 with XOAUTH2.
AccountRow SavedOAuthAccount() {
  AccountRow row;
  row.connection = "Dial";
  row.name = "Anna M\xFCller";
  row.origin = {"Dial", "Anna M\xFCller"};
  row.popAuth = "1";
  row.smtpAuth = "0";
  return row;
}

TEST(AuthorizeLine, RefusesWhatTheProgramWouldNotSeeAsTheConsoleShowsIt) {
  struct Case {
    const char* name;
    void (*change)(AccountRow&);
    const char* refusalStart;  // nullptr: runs
  };
  const Case cases[] = {
      {"pop oauth", [](AccountRow&) {}, nullptr},
      {"smtp oauth only", [](AccountRow& r) { r.popAuth = "0"; r.smtpAuth = "2"; }, nullptr},
      {"both password", [](AccountRow& r) { r.popAuth = "0"; }, "F\xFCr dieses Konto ist keine OAuth"},
      {"both empty", [](AccountRow& r) { r.popAuth = ""; r.smtpAuth = " "; }, "F\xFCr dieses Konto ist keine OAuth"},
      {"client id edited", [](AccountRow& r) { r.edited = {schema::kPopHost, schema::kOAuthClientId}; },
       "Die OAuth-Angaben"},
      {"login edited", [](AccountRow& r) { r.edited = {schema::kPopAuth}; }, "Die OAuth-Angaben"},
      {"other value edited", [](AccountRow& r) { r.edited = {schema::kPopHost, schema::kMaxMails}; }, nullptr},
      {"never saved", [](AccountRow& r) { r.origin = {}; }, "Das Konto \"Anna"},
      {"renamed", [](AccountRow& r) { r.origin.account = "Anna"; }, "Das Konto \"Anna"},
      {"moved", [](AccountRow& r) { r.origin.connection = "NORAS"; }, "Das Konto \"Anna"},
  };
  ConsoleSettings settings;
  settings.authorizeCommand = "/opt/mf/mailferry2";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    AccountRow row = SavedOAuthAccount();
    c.change(row);
    console::AuthorizeLine line = console::MakeAuthorizeLine(row, settings, AuthorizePlace{});
    if (c.refusalStart == nullptr) {
      EXPECT_EQ(line.refusal, "");
      EXPECT_EQ(line.argv, (Words{"/opt/mf/mailferry2", "-authorize", "Dial", "Anna M\xFCller"}));
    } else {
      EXPECT_TRUE(line.argv.empty());
      EXPECT_EQ(line.refusal.rfind(c.refusalStart, 0), 0u) << line.refusal;
    }
  }
}

// On this computer: the setting's words, else the program beside the
// console, else the installed one; over SSH the setting (or the installed
// program) becomes the far shell's text with the names quoted.
TEST(AuthorizeLine, FindsTheProgramHereAndThere) {
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("authorize-line-test-" + std::to_string(std::random_device()()));
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder / "empty");
  std::ofstream(folder / "mailferry2") << "#!/bin/sh\n";
  const std::string beside = (folder / "mailferry2").string();

  ConsoleSettings plain = console::ParseConsoleSettings("SshCommand=ssh -p 2222\n");
  ConsoleSettings sudo = console::ParseConsoleSettings(
      "# how the gateway program runs\nAuthorizeCommand = sudo -n -u mailferry '/opt/mail ferry/mailferry2'\r\n");
  AccountRow row = SavedOAuthAccount();
  row.name = "it's $HOME";
  row.origin.account = row.name;
  const std::string far = "'Dial' 'it'\\''s $HOME'";
  struct Case {
    const char* name;
    const ConsoleSettings& settings;
    AuthorizePlace place;
    Words argv;
  };
  const Case cases[] = {
      {"beside the console", plain, {"", folder.string()}, {beside, "-authorize", "Dial", row.name}},
      {"installed", plain, {"", (folder / "empty").string()},
       {"/usr/sbin/mailferry2", "-authorize", "Dial", row.name}},
      {"setting wins", sudo, {"", folder.string()},
       {"sudo", "-n", "-u", "mailferry", "/opt/mail ferry/mailferry2", "-authorize", "Dial", row.name}},
      {"ssh installed", plain, {"ops@far.example", folder.string()},
       {"ssh", "-p", "2222", "-T", "-o", "BatchMode=yes", "-o", "ConnectTimeout=15", "ops@far.example",
        "/usr/sbin/mailferry2 -authorize " + far}},
      {"ssh setting", sudo, {"far", ""},
       {"ssh", "-T", "-o", "BatchMode=yes", "-o", "ConnectTimeout=15", "far",
        "sudo -n -u mailferry '/opt/mail ferry/mailferry2' -authorize " + far}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    console::AuthorizeLine line = console::MakeAuthorizeLine(row, c.settings, c.place);
    EXPECT_EQ(line.refusal, "");
    EXPECT_EQ(line.argv, c.argv);
  }
  std::filesystem::remove_all(folder);
}

// The console takes the page before it decides: an OAuth value typed but not
// saved is refused; after "Einstellungen speichern" the account runs.
TEST_F(ConsoleTest, AuthorizeTakesThePageAndWantsItSavedFirst) {
  PutNumber(schema::AccountKey("Dial", "anna"), schema::kPopAuth, 1);
  PutText(schema::AccountKey("Dial", "anna"), schema::kOAuthClientId, "old-client");
  PutText(schema::AccountKey("Dial", "bert"), schema::kPopHost, "pop.bert.example");
  Start();
  console->settings().authorizeCommand = "/opt/mf/mailferry2";

  Click("Dial\\bert");
  EXPECT_TRUE(console->AuthorizeShownAccount("").empty());
  EXPECT_EQ(LastShown().rfind("F\xFCr dieses Konto ist keine OAuth", 0), 0u);

  Click("Dial\\anna");
  page.texts[console::Control::AccountOAuthClientId] = "new-client";
  dialogs.shown.clear();
  EXPECT_TRUE(console->AuthorizeShownAccount("").empty());
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(LastShown().rfind("Die OAuth-Angaben", 0), 0u);

  ASSERT_TRUE(console->SaveConfiguration());
  EXPECT_EQ(Stored(schema::AccountKey("Dial", "anna"), schema::kOAuthClientId), "new-client");
  EXPECT_EQ(console->AuthorizeShownAccount(""), (Words{"/opt/mf/mailferry2", "-authorize", "Dial", "anna"}));
  EXPECT_EQ(dialogs.shown.size(), 1u);

  Click("Dial");  // a connection has nothing to authorise
  EXPECT_TRUE(console->AuthorizeShownAccount("").empty());
}

}  // namespace
}  // namespace ferry::test
