// Another computer over SSH, against a real sshd on loopback that
// tests/integration/console_over_ssh.sh starts with throwaway keys: the
// console reads the far store with one export and saves with one import of
// only what the person changed, so what the service wrote there meanwhile
// survives. The script names the host aliases of its ssh configuration, the
// far store and the ferryreg program in the environment.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>

#include "console/model/store_texts.h"
#include "platform/child_process.h"
#include "schema/registry_schema.h"
#include "tests/console/console_fixture.h"

namespace ferry::test {
namespace {

using console::Answer;
using console::Control;

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : value;
}

const std::string kService = std::string("HKEY_LOCAL_MACHINE\\") + schema::kServiceKey;
const std::string kParameters = kService + "\\Parameters";

// A store as the service leaves it, with a Latin-1 account name.
const std::string kFarStore = "Windows Registry Editor Version 5.00\r\n\r\n[" + kParameters +
                              "]\r\n\"TriggerPort\"=dword:00003a99\r\n\r\n[" + kParameters +
                              "\\NORAS]\r\n\"Timeout\"=dword:00000258\r\n\r\n[" + kParameters +
                              "\\NORAS\\anna]\r\n\"POP Host\"=\"pop.anna.example\"\r\n\"POP User\"=\"anna\"\r\n"
                              "\"POP Passwort\"=\"s\xE9same\"\r\n\"Enable Account\"=dword:00000001\r\n"
                              "\"Max Mails\"=dword:0000000a\r\n\r\n[" +
                              kParameters + "\\NORAS\\carl]\r\n\"POP Host\"=\"pop.carl.example\"\r\n\r\n[" +
                              kParameters + "\\NORAS\\carl\\Feeds\\lwn]\r\n\"URL\"=\"https://lwn.net/rss\"\r\n\r\n[" +
                              kParameters + "\\Dial]\r\n\"Timeout\"=dword:0000012c\r\n\r\n[" + kParameters +
                              "\\Dial\\m\xFCller]\r\n\"POP Host\"=\"pop.mueller.example\"\r\n\r\n[" + kParameters +
                              "\\Dial\\m\xFCller\\Feeds\\heise]\r\n\"URL\"=\"https://www.heise.de/rss\"\r\n"
                              "\"To\"=\"news@firma.de\"\r\n\r\n[" + kParameters +
                              "\\volatile]\r\n\"LastTitle\"=\"Titel\"\r\n\r\n";

// The console's working copies in the temporary folder.
std::vector<std::filesystem::path> WorkingCopies() {
  std::vector<std::filesystem::path> found;
  for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::temp_directory_path()))
    if (entry.path().filename().string().starts_with("ferryconsole-")) found.push_back(entry.path());
  return found;
}

// An export as its key lines, each with its value lines in order.
using Sections = std::map<std::string, std::vector<std::string>>;

Sections ReadSections(const std::string& text) {
  Sections sections;
  std::string current;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find("\r\n", at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    at = end + 2;
    if (line.starts_with("[")) {
      current = line;
      sections[current];
    } else if (!line.empty() && !current.empty()) {
      sections[current].push_back(line);
    }
  }
  return sections;
}

class FarStoreSshTest : public ConsoleTest {
 protected:
  void SetUp() override {
    host_ = Env("FERRY_FAR_HOST");
    if (host_.empty()) GTEST_SKIP() << "run by tests/integration/console_over_ssh.sh, which starts sshd";
    ConsoleTest::SetUp();
    farHive_ = (Folder() / "far.hive").string();
    // The console's own settings file, read when a console is made.
    const std::filesystem::path config = Folder() / "config";
    std::filesystem::create_directories(config / "mailferry");
    std::ofstream(config / "mailferry" / "FerryConsole.conf")
        << "# how the test reaches the far computer\nSshCommand = ssh -F '" << Env("FERRY_SSH_CONFIG")
        << "'\nRemoteCommand = " << RemoteCommand(farHive_) << "\n";
    setenv("XDG_CONFIG_HOME", config.c_str(), 1);
    console = std::make_unique<console::Console>(page, dialogs, *values);
    unsetenv("XDG_CONFIG_HOME");
  }

  static std::string RemoteCommand(const std::string& hive) {
    return "env MAILFERRY_HIVE='" + hive + "' '" + Env("FERRY_FERRYREG") + "'";
  }

  // ferryreg on the far store itself, as the service or another person there.
  std::string Far(const std::vector<std::string>& args, const std::string& input = {}) {
    std::vector<std::string> line{"env", "MAILFERRY_HIVE=" + farHive_, Env("FERRY_FERRYREG")};
    line.insert(line.end(), args.begin(), args.end());
    ChildRun run = RunChild(line, input, 1 << 20, std::chrono::seconds(60));
    EXPECT_EQ(run.exitCode, 0) << run.err;
    return run.out;
  }
  std::string FarExport() { return Far({"export", kService, "-"}); }

  void Choose(const std::string& host) {
    dialogs.inputs = {host};
    console->RunCommand(console::kChooseComputer);
  }

  std::string host_;
  std::string farHive_;
};

TEST_F(FarStoreSshTest, ASaveSendsExactlyTheEditsAndKeepsWhatTheServiceWroteMeanwhile) {
  Far({"import", "-"}, kFarStore);
  Choose(host_);
  ASSERT_TRUE(dialogs.shown.size() == 1) << LastShown();  // the input box only
  ASSERT_NE(console->farStore(), nullptr);
  ASSERT_NE(Account("NORAS", "anna"), nullptr);
  EXPECT_EQ(Account("NORAS", "anna")->popPasswort, "s\xE9same");
  EXPECT_EQ(Account("Dial", "m\xFCller")->popHost, "pop.mueller.example");

  // A save without edits sends nothing that changes the far store.
  const std::string untouched = FarExport();
  console->RunCommand(console::kSaveSettings);
  EXPECT_EQ(page.status, console::texts::kSaved);
  EXPECT_EQ(FarExport(), untouched);

  // The person edits one field, removes an account and renames a connection.
  Click("NORAS\\carl");
  dialogs.answers = {Answer::Yes};
  console->RunCommand(console::kDeleteAccount);
  Click("Dial");
  dialogs.inputs = {"Remote"};
  console->RunCommand(console::kRenameConnection);
  Click("NORAS\\anna");
  page.texts[Control::AccountPOPHost] = "pop.new.example";
  // Meanwhile the service marks the account in use, and someone there
  // changes a value the console shows but the person did not touch.
  const std::string anna = kParameters + "\\NORAS\\anna";
  Far({"add", anna, "/v", schema::kInUse, "/t", "REG_DWORD", "/d", "1", "/f"});
  Far({"add", anna, "/v", schema::kMaxMails, "/t", "REG_DWORD", "/d", "7", "/f"});
  Far({"add", kParameters + "\\volatile", "/v", schema::kLastTitle, "/d", "neuer Titel", "/f"});
  Sections expected = ReadSections(FarExport());

  console->RunCommand(console::kSaveSettings);
  ASSERT_EQ(page.status, console::texts::kSaved) << LastShown();

  // Exactly the edits: anna's host, carl gone, Dial now Remote with all it held.
  for (std::string& line : expected["[" + anna + "]"])
    if (line == "\"POP Host\"=\"pop.anna.example\"") line = "\"POP Host\"=\"pop.new.example\"";
  // carl goes with his feeds.
  std::erase_if(expected,
                [](const auto& section) { return section.first.starts_with("[" + kParameters + "\\NORAS\\carl"); });
  Sections renamed;
  for (auto& [key, lines] : expected) {
    std::string name = key;
    const std::string dial = "[" + kParameters + "\\Dial";
    if (name.starts_with(dial)) name = "[" + kParameters + "\\Remote" + name.substr(dial.size());
    renamed[name] = lines;
  }
  const Sections after = ReadSections(FarExport());
  EXPECT_EQ(after, renamed);
  EXPECT_EQ(after.at("[" + anna + "]"),
            (std::vector<std::string>{"\"Enable Account\"=dword:00000001", "\"In Use\"=dword:00000001",
                                      "\"Max Mails\"=dword:00000007", "\"POP Host\"=\"pop.new.example\"",
                                      "\"POP Passwort\"=\"s\xE9same\"", "\"POP User\"=\"anna\""}));
  EXPECT_EQ(after.at("[" + kParameters + "\\volatile]"), std::vector<std::string>{"\"LastTitle\"=\"neuer Titel\""});
  // müller's feed went with the renamed connection.
  EXPECT_EQ(after.at("[" + kParameters + "\\Remote\\m\xFCller\\Feeds\\heise]"),
            (std::vector<std::string>{"\"To\"=\"news@firma.de\"", "\"URL\"=\"https://www.heise.de/rss\""}));

  // Read again: the far store as it now stands, in a new working copy that
  // only its owner can read; the old one is gone.
  const std::vector<std::filesystem::path> old = WorkingCopies();
  Choose(host_);
  EXPECT_EQ(Account("Remote", "m\xFCller")->popHost, "pop.mueller.example");
  EXPECT_EQ(Account("NORAS", "anna")->popHost, "pop.new.example");
  EXPECT_EQ(Account("NORAS", "anna")->maxMails, "7");
  const std::vector<std::filesystem::path> now = WorkingCopies();
  ASSERT_EQ(now.size(), old.size());
  for (const auto& copy : now) EXPECT_EQ(std::find(old.begin(), old.end(), copy), old.end()) << copy;
  EXPECT_EQ(std::filesystem::status(now.back()).permissions() & std::filesystem::perms::all,
            std::filesystem::perms::owner_all);
  console->ChooseLocalComputer(true);
  EXPECT_EQ(WorkingCopies().size(), now.size() - 1);
}

// The far side cannot be reached at the save: nothing changes there, the
// edits stay in the console, and the next save sends them.
TEST_F(FarStoreSshTest, ASaveThatCannotReachTheFarSideKeepsTheEditsForTheNextOne) {
  Far({"import", "-"}, kFarStore);
  Choose(Env("FERRY_FAR_FLAKY_HOST"));
  ASSERT_NE(console->farStore(), nullptr) << LastShown();
  Click("NORAS\\anna");
  page.texts[Control::AccountPOPHost] = "pop.new.example";
  const std::string before = FarExport();
  const std::filesystem::path key = Env("FERRY_FLAKY_KEY");
  std::filesystem::rename(key, key.string() + ".away");
  console->RunCommand(console::kSaveSettings);
  std::filesystem::rename(key.string() + ".away", key);
  EXPECT_EQ(LastShown().rfind(console::texts::kSaveFailedBefore + std::string("keine Verbindung mit flakyhost"), 0),
            0u)
      << LastShown();
  EXPECT_NE(page.status, console::texts::kSaved);
  EXPECT_EQ(FarExport(), before);

  console->RunCommand(console::kSaveSettings);
  ASSERT_EQ(page.status, console::texts::kSaved) << LastShown();
  const Sections after = ReadSections(FarExport());
  const std::vector<std::string>& anna = after.at("[" + kParameters + "\\NORAS\\anna]");
  EXPECT_NE(std::find(anna.begin(), anna.end(), "\"POP Host\"=\"pop.new.example\""), anna.end());
}

TEST_F(FarStoreSshTest, UnreachableHostsAndMissingGatewaysAreToldApart) {
  Far({"import", "-"}, kFarStore);
  const Sections start = ReadSections(FarExport());
  const std::string emptyHive = (Folder() / "empty.hive").string();
  struct Case {
    const char* name;
    std::string host;
    std::string remoteCommand;
    std::string text;
    std::string title;
  };
  const std::string other = Env("FERRY_FAR_DEAD_HOST");
  const std::string upper = [&] {
    std::string u = other;
    for (char& c : u) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return u;
  }();
  const std::string hostUpper = [&] {
    std::string u = host_;
    for (char& c : u) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return u;
  }();
  const std::vector<Case> cases = {
      {"nobody listens there", other, RemoteCommand(farHive_),
       std::string(console::texts::kNoConnectionBefore) + upper + console::texts::kNoConnectionAfter,
       console::texts::kNoConnectionTitle},
      {"no ferryreg on that computer", host_, "/nonexistent/bin/ferryreg",
       std::string(console::texts::kNotInstalledBefore) + hostUpper + console::texts::kNotInstalledAfter,
       console::texts::kNotInstalledTitle},
      {"a store without the service", host_, RemoteCommand(emptyHive),
       std::string(console::texts::kNotInstalledBefore) + hostUpper + console::texts::kNotInstalledAfter,
       console::texts::kNotInstalledTitle},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Choose(host_);  // a good computer first: a failure must not leave its settings shown
    ASSERT_NE(console->farStore(), nullptr) << LastShown();
    console->settings().remoteCommand = c.remoteCommand;
    dialogs.shown.clear();
    Choose(c.host);
    ASSERT_EQ(dialogs.shown.size(), 2u);
    EXPECT_EQ(dialogs.shown[1].text, c.text);
    EXPECT_EQ(dialogs.shown[1].title, c.title);
    EXPECT_EQ(console->farStore(), nullptr);
    EXPECT_TRUE(AccountNames().empty());
    // A save there writes nothing anywhere.
    EXPECT_FALSE(console->SaveConfiguration());
    console->settings().remoteCommand = RemoteCommand(farHive_);
  }
  EXPECT_EQ(ReadSections(FarExport()), start);
}

}  // namespace
}  // namespace ferry::test
