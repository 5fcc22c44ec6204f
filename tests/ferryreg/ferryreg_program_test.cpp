// The built ferryreg program run as a script would run it: exit status,
// standard output and standard error, against a temporary hive.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/system_info.h"
#include "tests/support/temp_hive.h"

namespace ferry::regtool {
namespace {

std::string ShellQuote(const std::string& s) {
  std::string out = "'";
  for (char c : s) {
    if (c == '\'') {
      out += "'\\''";
    } else {
      out += c;
    }
  }
  return out + "'";
}

struct ProgramRun {
  int code = -1;
  std::string out;
  std::string err;
};

class FerryregProgramTest : public test::TempHiveTest {
 protected:
  void SetUp() override {
    TempHiveTest::SetUp();
    const char* dir = std::getenv("FERRY_BINARY_DIR");
    ASSERT_NE(dir, nullptr) << "FERRY_BINARY_DIR is not set (run the tests through ctest)";
    program_ = std::filesystem::path(dir) / "tools" / "ferryreg" / "ferryreg";
    ASSERT_TRUE(std::filesystem::exists(program_)) << program_;
  }

  // Runs the program with `input` on its standard input (nothing: an empty
  // input that ends at once, as for a script without a terminal).
  ProgramRun Run(const std::vector<std::string>& args, const std::string& input = "") {
    std::filesystem::path in = Folder() / "stdin", out = Folder() / "stdout", err = Folder() / "stderr",
                          rc = Folder() / "status";
    std::ofstream(in, std::ios::binary) << input;
    std::string command = ShellQuote(program_.string());
    for (const std::string& a : args) command += " " + ShellQuote(a);
    command += " <" + ShellQuote(in.string()) + " >" + ShellQuote(out.string()) + " 2>" + ShellQuote(err.string()) +
               "; echo $? >" + ShellQuote(rc.string());
    ProgramRun run;
    if (std::system(command.c_str()) != 0) return run;
    run.code = std::stoi(test::ReadFile(rc));
    run.out = test::ReadFile(out);
    run.err = test::ReadFile(err);
    return run;
  }

  std::filesystem::path program_;
};

TEST_F(FerryregProgramTest, AddQueryExportDeleteImportRoundTrip) {
  const std::string key = "HKLM\\SYSTEM\\CurrentControlSet\\Services\\Mailferry Service\\Parameters\\NORAS";
  ASSERT_EQ(Run({"add", key, "/v", "Timeout", "/t", "REG_DWORD", "/d", "-1"}).code, 0);
  ASSERT_EQ(Run({"add", key + "\\Postfach", "/v", "POP Host", "/d", "pop.example.org"}).code, 0);

  ProgramRun q = Run({"query", key, "/v", "timeout"});
  EXPECT_EQ(q.code, 0) << q.err;
  EXPECT_NE(q.out.find("    Timeout    REG_DWORD    0xffffffff\n"), std::string::npos) << q.out;

  std::string file = (Folder() / "noras.reg").string();
  ProgramRun exported = Run({"export", key, file});
  ASSERT_EQ(exported.code, 0) << exported.err;
  EXPECT_NE(test::ReadFile(file).find("\"POP Host\"=\"pop.example.org\"\r\n"), std::string::npos);

  ASSERT_EQ(Run({"delete", key, "/f"}).code, 0);
  EXPECT_EQ(Run({"query", key}).code, 1);

  ProgramRun imported = Run({"import", file});
  ASSERT_EQ(imported.code, 0) << imported.err;
  ProgramRun back = Run({"query", key + "\\postfach"});
  EXPECT_EQ(back.code, 0) << back.err;
  EXPECT_NE(back.out.find("    POP Host    REG_SZ    pop.example.org\n"), std::string::npos) << back.out;
}

TEST_F(FerryregProgramTest, SettingsTakeTheTableTypeAndWrongOnesAreRefused) {
  const std::string connection = "SYSTEM\\CurrentControlSet\\Services\\Mailferry Service\\Parameters\\NORAS";
  const std::string account = connection + "\\Postfach";
  ASSERT_EQ(Run({"add", "HKLM\\" + connection, "/v", "Timeout", "/d", "60"}).code, 0);
  ASSERT_EQ(Run({"add", "HKLM\\" + account, "/v", "Timeout", "/d", "60"}).code, 0);  // no account value: as given
  EXPECT_NE(Run({"query", "HKLM\\" + connection, "/v", "Timeout"}).out.find("REG_DWORD    0x3c\n"), std::string::npos);
  EXPECT_NE(Run({"query", "HKLM\\" + account, "/v", "Timeout"}).out.find("REG_SZ    60\n"), std::string::npos);

  ProgramRun refused = Run({"add", "HKLM\\" + connection, "/v", "Timeout", "/t", "REG_SZ", "/d", "x", "/f"});
  EXPECT_EQ(refused.code, 1);
  EXPECT_NE(refused.err.find("\"Timeout\" must be REG_DWORD -1..2147483647"), std::string::npos) << refused.err;
  EXPECT_NE(Run({"query", "HKLM\\" + connection, "/v", "Timeout"}).out.find("0x3c"), std::string::npos);
  EXPECT_EQ(Run({"add", "HKLM\\" + connection + "\\new", "/v", "Max Mails", "/d", "-1"}).code, 1);
  EXPECT_EQ(Run({"query", "HKLM\\" + connection + "\\new"}).code, 1) << "a refused add creates no key";

  // An import with one wrong value changes nothing.
  std::filesystem::path file = Folder() / "settings.reg";
  std::ofstream(file, std::ios::binary) << "Windows Registry Editor Version 5.00\n[-HKEY_LOCAL_MACHINE\\" << account
                                        << "]\n[HKEY_LOCAL_MACHINE\\" << connection
                                        << "]\n\"Enable Logging\"=dword:00000001\n\"Timeout\"=\"60\"\n";
  ProgramRun imported = Run({"import", file.string()});
  EXPECT_EQ(imported.code, 1);
  EXPECT_NE(imported.err.find("line 5: the value \"Timeout\" must be REG_DWORD"), std::string::npos) << imported.err;
  EXPECT_EQ(Run({"query", "HKLM\\" + connection, "/v", "Enable Logging"}).code, 1);
  EXPECT_EQ(Run({"query", "HKLM\\" + account}).code, 0);
}

// The reasons themselves are the command-line tests'; here the exit status.
TEST_F(FerryregProgramTest, StoreProblemsAreToldApartAndQueryCreatesNoStore) {
  const std::filesystem::path missing = Folder() / "none" / "registry.hive";
  const std::filesystem::path text = Folder() / "text.hive";
  const std::filesystem::path folder = Folder() / "folder.hive";
  const std::filesystem::path readOnly = Folder() / "read-only.hive";
  std::ofstream(text) << "not a store, just some text that is long enough\n";
  std::filesystem::create_directory(folder);
  ASSERT_EQ(Run({"add", "HKCU\\Software\\K", "/v", "a", "/d", "1"}).code, 0);
  std::filesystem::copy_file(HivePath(), readOnly);
  std::filesystem::permissions(readOnly, std::filesystem::perms::owner_read);
  struct Case {
    const char* name;
    std::filesystem::path hive;
    std::vector<std::string> args;
    std::string problem;
  };
  std::vector<Case> cases = {
      {"QueryOfAMissingStore", missing, {"query", "HKLM\\SYSTEM"}, " does not exist\n"},
      {"NotAStoreFile", text, {"add", "HKCU\\Software\\K", "/v", "a", "/d", "1"}, " is not a store file\n"},
      {"Directory", folder, {"add", "HKCU\\Software\\K", "/v", "a", "/d", "1"}, " is a directory\n"},
  };
  // The superuser writes a file without write permission: only others see it read-only.
  if (geteuid() != 0) {
    cases.push_back({"ReadOnly", readOnly, {"add", "HKCU\\Software\\K", "/v", "a", "/d", "1"}, " is read-only\n"});
  }
  for (const Case& c : cases) {
    SetEnvironment("MAILFERRY_HIVE", c.hive.string());
    ProgramRun run = Run(c.args);
    EXPECT_EQ(run.code, 1) << c.name;
    EXPECT_NE(run.err.find("the store " + c.hive.string() + c.problem), std::string::npos) << c.name << ": " << run.err;
  }
  EXPECT_FALSE(std::filesystem::exists(missing.parent_path())) << "query made the store";
  EXPECT_EQ(test::ReadFile(text), "not a store, just some text that is long enough\n");
}

TEST_F(FerryregProgramTest, BadCommandLinesExitTwoAndHelpExitsZero) {
  using Args = std::vector<std::string>;
  for (const Args& args : {Args{"frobnicate"}, Args{"add", "HKLM\\K", "/v", "a", "/t", "REG_DWORD", "/d", "1O"}}) {
    ProgramRun run = Run(args);
    EXPECT_EQ(run.code, 2) << args[0];
    EXPECT_NE(run.err.find("ERROR: "), std::string::npos) << run.err;
    EXPECT_TRUE(run.out.empty()) << run.out;
  }
  ProgramRun help = Run({"--help"});
  EXPECT_EQ(help.code, 0);
  EXPECT_NE(help.out.find("standard input"), std::string::npos);
}

// Root editing the service's store keeps every file of it the service's own.
TEST_F(FerryregProgramTest, RootKeepsTheStoreWithTheOwnerOfItsFolder) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to hand files to another user";
  const std::filesystem::path folder = Folder() / "service-store";
  std::filesystem::create_directory(folder);
  ASSERT_EQ(chown(folder.c_str(), 65534, 65534), 0);
  const std::string hive = (folder / "registry.hive").string();
  const std::string before = std::getenv("MAILFERRY_HIVE") != nullptr ? std::getenv("MAILFERRY_HIVE") : "";
  setenv("MAILFERRY_HIVE", hive.c_str(), 1);
  ProgramRun added = Run({"add", "HKLM\\SYSTEM\\CurrentControlSet\\Services\\Mailferry Service\\Parameters",
                          "/v", "DebugLevel", "/d", "3", "/f"});
  setenv("MAILFERRY_HIVE", before.c_str(), 1);
  ASSERT_EQ(added.code, 0) << added.err;
  int files = 0;
  for (const std::filesystem::directory_entry& entry : std::filesystem::directory_iterator(folder)) {
    struct stat st {};
    ASSERT_EQ(stat(entry.path().c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 65534u) << entry.path();
    ++files;
  }
  EXPECT_GE(files, 1);
}

}  // namespace
}  // namespace ferry::regtool
