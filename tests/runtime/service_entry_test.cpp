// The verbs through the process entry, with a throwaway store, a throwaway unit
// folder and a stand-in for systemctl that records its calls.
#include "service/runtime/service_entry.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sys/stat.h>

#include "platform/service_control.h"
#include "platform/system_info.h"
#include "service/runtime/loop_events.h"
#include "service/runtime/service_status.h"
#include "tests/runtime/store_setup.h"
#include "tests/support/temp_hive.h"

namespace ferry::test {
namespace {

const char* kDispatcherFailedLine = "0\t0\tStartServiceCtrlDispatcher failed.";

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

  // Runs the process entry and answers what it wrote to standard error.
  std::string Entry(const std::vector<std::string>& args) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(ProcessEntry(args), 0);
    return testing::internal::GetCapturedStderr();
  }

  std::filesystem::path unitDir_;
  std::filesystem::path systemctl_;
};

TEST_F(ServiceEntryTest, InstallWritesAnEnabledNotifyUnitAndTheStoreEntries) {
  EXPECT_EQ(Entry({"mailferry2", "/Install"}), "");
  std::string unit = ReadFile(UnitFile());
  EXPECT_NE(unit.find("Type=notify\n"), std::string::npos) << unit;
  EXPECT_NE(unit.find("ExecStart=\"" + ModulePath() + "\"\n"), std::string::npos) << unit;
  EXPECT_NE(unit.find("Description=POP3 Gateway Dienst\n"), std::string::npos) << unit;
  EXPECT_EQ(SystemctlLog(), "daemon-reload\nenable mailferry-service.service\n");

  const std::string file("%SystemRoot%\\System32\\MailFerryRes.dll");
  StoredValue message = GetValue(reg::LocalMachine(), schema::kEventSourceKey, "EventMessageFile");
  EXPECT_EQ(message.type, reg::kExpandSz);
  EXPECT_EQ(message.bytes, file + '\0');
  EXPECT_EQ(GetValue(reg::LocalMachine(), schema::kEventSourceKey, "TypesSupported").Dword(), 7u);
  StoredValue adminHost = GetValue(reg::CurrentUser(), schema::kConsoleKey, "Admin Host");
  EXPECT_EQ(adminHost.type, reg::kExpandSz);
  EXPECT_EQ(adminHost.bytes, std::string(1, '\0'));
  EXPECT_EQ(GetValue(reg::CurrentUser(), schema::kConsoleKey, "Backup before Edit").Dword(), 1u);
  EXPECT_EQ(GetValue(reg::CurrentUser(), schema::kControlPanelKey, file).bytes, file + '\0');
  EXPECT_EQ(Events(), (std::vector<std::string>{kDispatcherFailedLine}));
}

TEST_F(ServiceEntryTest, SecondInstallFindsTheServiceAndChangesNothingSilently) {
  Entry({"mailferry2", "-install"});
  WriteFile("systemctl.log", "");
  std::ofstream(UnitFile(), std::ios::app) << "# edited\n";
  EXPECT_EQ(Entry({"mailferry2", "-INSTALL"}), "");
  EXPECT_EQ(SystemctlLog(), "");
  EXPECT_NE(ReadFile(UnitFile()).find("# edited\n"), std::string::npos);
}

TEST_F(ServiceEntryTest, FailedCreationShowsTheWarningAndWritesNoStoreEntries) {
  WriteFile("enable-status", "1");
  EXPECT_EQ(Entry({"mailferry2", "-install"}), "MailFerry2 warning: can no install!\nMaybe already installed.\n");
  EXPECT_FALSE(std::filesystem::exists(UnitFile()));
  EXPECT_FALSE(GetValue(reg::LocalMachine(), schema::kEventSourceKey, "TypesSupported").present);
}

TEST_F(ServiceEntryTest, VerbWithoutLeadCharacterDoesNothingButTheDispatcherCall) {
  EXPECT_EQ(Entry({"mailferry2", "install"}), "");
  EXPECT_FALSE(std::filesystem::exists(UnitFile()));
  EXPECT_EQ(SystemctlLog(), "");
  EXPECT_EQ(Events(), (std::vector<std::string>{kDispatcherFailedLine}));
}

TEST_F(ServiceEntryTest, RemoveStopsDisablesAndDeletesTheUnitAndKeepsTheStoreEntries) {
  Entry({"mailferry2", "-install"});
  WriteFile("systemctl.log", "");
  int sleeps = 0;
  RemoveService([&](std::chrono::milliseconds) { ++sleeps; });
  EXPECT_EQ(sleeps, 1);
  EXPECT_FALSE(std::filesystem::exists(UnitFile()));
  EXPECT_EQ(SystemctlLog(),
            "stop --no-block mailferry-service.service\nis-active mailferry-service.service\n"
            "disable mailferry-service.service\ndaemon-reload\n");
  EXPECT_TRUE(GetValue(reg::LocalMachine(), schema::kEventSourceKey, "TypesSupported").present);
}

TEST_F(ServiceEntryTest, RemoveWaitsForAHungStopAtMostThirtySecondsThenDeletesAnyway) {
  Entry({"mailferry2", "-install"});
  WriteFile("state", "deactivating\n");
  std::chrono::milliseconds slept{0};
  RemoveService([&](std::chrono::milliseconds d) { slept += d; });
  EXPECT_EQ(slept, std::chrono::milliseconds(30000));
  EXPECT_FALSE(std::filesystem::exists(UnitFile()));
}

TEST_F(ServiceEntryTest, RemoveOfAServiceThatIsNotInstalledDoesNothing) {
  EXPECT_EQ(Entry({"mailferry2", "-remove"}), "");
  EXPECT_EQ(SystemctlLog(), "");
}

TEST_F(ServiceEntryTest, CreateLeavesBothKeysHoldingEveryValueAndNoOldNames) {
  const std::string account = schema::AccountKey("Dialin", "Postfach");
  PutString(account, "EMailTo", "to@example.org");
  PutDword(account, "UDPPort", 5000);
  PutDword(schema::ConnectionKey("Dialin"), "LogEnabled", 0);
  Entry({"mailferry2", "-create", "Dialin", "Postfach"});
  for (const schema::ValueInfo& value : schema::Values()) {
    if (!value.serviceWrites) continue;
    std::string key = value.level == schema::Level::Connection ? schema::ConnectionKey("Dialin")
                      : value.level == schema::Level::Account  ? account
                      : value.level == schema::Level::Global   ? std::string(schema::kParametersKey)
                                                               : std::string(schema::kVolatileKey);
    StoredValue stored = GetValue(reg::LocalMachine(), key, value.name);
    EXPECT_TRUE(stored.present) << value.name;
    if (value.type == schema::Type::Dword && stored.present && std::string(value.name) != schema::kUdpPort) {
      EXPECT_EQ(static_cast<int32_t>(stored.Dword()), value.defaultNumber) << value.name;
    }
  }
  EXPECT_EQ(GetValue(reg::LocalMachine(), account, schema::kSmtpTo).bytes, "to@example.org");
  EXPECT_EQ(GetValue(reg::LocalMachine(), account, schema::kUdpPort).Dword(), 5000u);
  for (const char* old : schema::OldAccountNames()) {
    EXPECT_FALSE(GetValue(reg::LocalMachine(), account, old).present) << old;
  }
  EXPECT_FALSE(GetValue(reg::LocalMachine(), schema::ConnectionKey("Dialin"), "LogEnabled").present);
}

TEST_F(ServiceEntryTest, CreateWithOneOrThreeNamesDoesNothing) {
  Entry({"mailferry2", "-create", "Dialin"});
  Entry({"mailferry2", "-create", "Dialin", "Postfach", "Extra"});
  reg::KeyHolder key;
  EXPECT_NE(reg::OpenKey(reg::LocalMachine(), schema::ConnectionKey("Dialin"), reg::kRead, key.out()), reg::kOk);
}

TEST(ReportStatusTest, NotifyMessagesFollowTheStates) {
  struct Case {
    const char* name;
    svc::State state;
    uint32_t waitHint;
    const char* message;
  };
  const std::vector<Case> cases = {
      {"StartPending", svc::State::StartPending, 3000, "STATUS=start pending\nEXTEND_TIMEOUT_USEC=3000000"},
      {"Running", svc::State::Running, 0, "READY=1\nSTATUS=running"},
      {"StopPending", svc::State::StopPending, 0, "STOPPING=1\nSTATUS=stop pending"},
      {"Stopped", svc::State::Stopped, 0, "STATUS=stopped"},
  };
  for (const Case& c : cases) {
    svc::StatusBlock block;
    block.currentState = c.state;
    block.waitHint = c.waitHint;
    EXPECT_EQ(svc::NotifyMessageFor(block), c.message) << c.name;
  }
}

}  // namespace
}  // namespace ferry::test
