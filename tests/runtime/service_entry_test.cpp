// The verbs through the process entry, with a throwaway store, a throwaway unit
// folder and a stand-in for systemctl that records its calls.
#include "service/runtime/service_entry.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <sys/stat.h>

#include "platform/service_control.h"
#include "platform/unit_template.h"
#include "platform/system_info.h"
#include "service/runtime/loop_events.h"
#include "tests/runtime/store_setup.h"
#include "tests/support/temp_hive.h"

namespace ferry::test {
namespace {

class ServiceEntryTest : public TempHiveTest {
 protected:
  void SetUp() override {
    TempHiveTest::SetUp();
    SetEnvironment("NOTIFY_SOCKET", "");
    unitDir_ = Folder() / "units";
    std::filesystem::create_directory(unitDir_);
    systemctl_ = Folder() / "systemctl";
    std::ofstream script(systemctl_);
    script << "#!/bin/sh\n"
           << "echo \"$*\" >> '" << (Folder() / "systemctl.log").string() << "'\n"
           << "case \"$1\" in\n"
           << "  is-active) cat '" << (Folder() / "state").string() << "' 2>/dev/null || echo inactive ;;\n"
           << "  enable) exit $(cat '" << (Folder() / "enable-status").string() << "' 2>/dev/null || echo 0) ;;\n"
           << "esac\n"
           << "exit 0\n";
    script.close();
    std::filesystem::permissions(systemctl_, std::filesystem::perms::owner_all);
    SetEnvironment(svc::kUnitDirEnvironmentVariable, unitDir_.string());
    SetEnvironment(svc::kSystemctlEnvironmentVariable, systemctl_.string());
  }
  void TearDown() override {
    SetEnvironment(svc::kUnitDirEnvironmentVariable, "");
    SetEnvironment(svc::kSystemctlEnvironmentVariable, "");
    TempHiveTest::TearDown();
  }

  std::filesystem::path UnitFile() const { return svc::UnitPath(schema::kServiceName); }
  std::string SystemctlLog() const { return ReadFile(Folder() / "systemctl.log"); }
  void WriteFile(const std::string& name, const std::string& text) { std::ofstream(Folder() / name) << text; }

  struct Outcome {
    int status;
    std::string out;
    std::string err;
  };
  // Runs the process entry and answers its status and what it wrote.
  Outcome Entry(const std::vector<std::string>& args) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    int status = ProcessEntry(args);
    std::string out = testing::internal::GetCapturedStdout();
    return {status, out, testing::internal::GetCapturedStderr()};
  }

  std::filesystem::path unitDir_;
  std::filesystem::path systemctl_;
};

TEST_F(ServiceEntryTest, InstallWritesAnEnabledUnitOfThePackagedShapeAndNoWindowsEntries) {
  Outcome o = Entry({"mailferry2", "/Install"});
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.out, "mailferry2: installed and enabled " + UnitFile().string() +
                       "; start it with \"systemctl start mailferry2\"\n");
  EXPECT_EQ(UnitFile().filename(), "mailferry2.service");
  std::string unit = ReadFile(UnitFile());
  EXPECT_NE(unit.find("Type=notify\n"), std::string::npos) << unit;
  EXPECT_NE(unit.find("ExecStart=\"" + ModulePath() + "\"\n"), std::string::npos) << unit;
  EXPECT_NE(unit.find("Environment=\"MAILFERRY_HIVE=" + HivePath().string() + "\"\n"), std::string::npos) << unit;
  EXPECT_EQ(SystemctlLog(), "daemon-reload\nenable mailferry2.service\n");
  EXPECT_FALSE(GetValue(reg::LocalMachine(), schema::kEventSourceKey, "TypesSupported").present);
  EXPECT_FALSE(GetValue(reg::CurrentUser(), schema::kConsoleKey, "Backup before Edit").present);
  EXPECT_TRUE(Events().empty());
}

TEST_F(ServiceEntryTest, SecondInstallFindsTheServiceAndChangesNothing) {
  Entry({"mailferry2", "-install"});
  WriteFile("systemctl.log", "");
  std::ofstream(UnitFile(), std::ios::app) << "# edited\n";
  Outcome o = Entry({"mailferry2", "-INSTALL"});
  EXPECT_EQ(o.status, 0);
  EXPECT_EQ(o.out, "mailferry2: already installed (" + UnitFile().string() + "); nothing changed\n");
  EXPECT_EQ(SystemctlLog(), "");
  EXPECT_NE(ReadFile(UnitFile()).find("# edited\n"), std::string::npos);
}

TEST_F(ServiceEntryTest, FailedInstallSaysWhyAndLeavesNoUnit) {
  WriteFile("enable-status", "1");
  Outcome o = Entry({"mailferry2", "-install"});
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.err, "mailferry2: cannot install: \"systemctl enable mailferry2.service\" failed with exit status 1\n");
  EXPECT_FALSE(std::filesystem::exists(UnitFile()));
}

TEST_F(ServiceEntryTest, RemoveStopsDisablesAndDeletesTheUnit) {
  Entry({"mailferry2", "-install"});
  WriteFile("systemctl.log", "");
  int sleeps = 0;
  EXPECT_EQ(RemoveService([&](std::chrono::milliseconds) { ++sleeps; }), 0);
  EXPECT_EQ(sleeps, 1);
  EXPECT_FALSE(std::filesystem::exists(UnitFile()));
  EXPECT_EQ(SystemctlLog(),
            "stop --no-block mailferry2.service\nis-active mailferry2.service\n"
            "disable mailferry2.service\ndaemon-reload\n");
}

TEST_F(ServiceEntryTest, RemoveWaitsForAHungStopAtMostThirtySecondsThenDeletesAnyway) {
  Entry({"mailferry2", "-install"});
  WriteFile("state", "deactivating\n");
  std::chrono::milliseconds slept{0};
  RemoveService([&](std::chrono::milliseconds d) { slept += d; });
  EXPECT_EQ(slept, std::chrono::milliseconds(30000));
  EXPECT_FALSE(std::filesystem::exists(UnitFile()));
}

TEST_F(ServiceEntryTest, RemoveOfAServiceThatIsNotInstalledSaysSo) {
  Outcome o = Entry({"mailferry2", "-remove"});
  EXPECT_EQ(o.status, 1);
  EXPECT_EQ(o.err, "mailferry2: cannot remove: the service is not installed\n");
  EXPECT_EQ(SystemctlLog(), "");
}

TEST(InstalledUnitTest, ThePackagedUnitForThisProgramAndStore) {
  struct Case {
    const char* name;
    std::string program;
    std::string store;
    bool userExists;
    std::vector<std::string> present;
    std::vector<std::string> absent;
  };
  const std::vector<Case> cases = {
      {"SystemStoreWithTheServiceUser", "/usr/local/sbin/mailferry2", "/var/lib/mailferry/registry.hive", true,
       {"ExecStart=\"/usr/local/sbin/mailferry2\"\n", "User=mailferry\n", "ProtectHome=yes\n",
        "Environment=\"MAILFERRY_HIVE=/var/lib/mailferry/registry.hive\"\n"},
       {"ReadWritePaths=", "@FERRY_SBINDIR@"}},
      {"NoServiceUser", "/usr/local/sbin/mailferry2", "/var/lib/mailferry/registry.hive", false, {"Type=notify\n"},
       {"User=", "Group="}},
      {"ProgramInAHome", "/home/ann/ferry/build/mailferry2", "/var/lib/mailferry/registry.hive", true,
       {"ProtectHome=read-only\n"}, {"ProtectHome=yes"}},
      {"StoreElsewhere", "/opt/ferry/mailferry2", "/srv/ferry 1/registry.hive", true,
       {"ReadWritePaths=\"/srv/ferry 1\"\n", "ProtectHome=yes\n"}, {"User="}},
  };
  for (const Case& c : cases) {
    std::string unit = svc::InstalledUnitText(svc::kPackagedUnitTemplate, c.program, c.store, c.userExists);
    for (const std::string& line : c.present) EXPECT_NE(unit.find(line), std::string::npos) << c.name << ": " << line;
    for (const std::string& text : c.absent) EXPECT_EQ(unit.find(text), std::string::npos) << c.name << ": " << text;
    // Every setting of the packaged unit is kept, in its order.
    std::istringstream lines(svc::kPackagedUnitTemplate);
    std::size_t at = 0;
    for (std::string line; std::getline(lines, line);) {
      if (line.empty() || line[0] == '#' || line.find('=') == std::string::npos) continue;
      std::string name = line.substr(0, line.find('=') + 1);
      if (name == "User=" || name == "Group=") continue;
      std::size_t found = unit.find("\n" + name, at);
      EXPECT_NE(found, std::string::npos) << c.name << ": " << name;
      if (found != std::string::npos) at = found + 1;
    }
  }
}

}  // namespace
}  // namespace ferry::test
