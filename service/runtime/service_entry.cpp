#include "service/runtime/service_entry.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <thread>

#include "platform/event_log.h"
#include "platform/registry.h"
#include "platform/service_control.h"
#include "platform/state_files.h"
#include "platform/store_location.h"
#include "platform/system_info.h"
#include "schema/registry_schema.h"
#include "service/oauth/authorize_command.h"
#include "service/runtime/account_worker.h"
#include "service/runtime/config_store.h"
#include "service/runtime/command_line.h"
#include "service/runtime/loop_events.h"
#include "service/runtime/scheduler.h"
#include "service/runtime/service_loop.h"
#include "service/runtime/service_events.h"
#include "service/runtime/service_status.h"
#include "service/runtime/status_report.h"
#include "service/transfer/debug_log.h"
#include "service/transfer/delivery_ledger.h"
#include "service/transfer/refusal_release.h"
#include "tools/ferryreg/commands.h"

namespace ferry {
namespace {

constexpr std::chrono::milliseconds kRemovePoll{1000};
constexpr uint32_t kTypesSupported = 7;  // error, warning, information
constexpr int kExitUsage = 2;
constexpr int kBrowserSignInWaitMs = 10 * 60 * 1000;  // how long -authorize waits for the browser
constexpr const char* kVersion = FERRY_VERSION_TEXT;  // the project's version, from CMake

// A verb's failure, in words: on standard error and as an event (the program
// has no console on Windows; the event log keeps what it says). Answers the
// exit status.
int Fail(const std::string& verb, const std::string& text) {
  std::string line = "mailferry2: " + text + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
  ReportServiceEvent(kEventAdminVerbFailed, kEventError, {verb, text});
  return 1;
}

void Say(const std::string& text) {
  std::string line = "mailferry2: " + text + "\n";
  std::fwrite(line.data(), 1, line.size(), stdout);
}

// The installed service as the user knows it: the unit file, or the service's name.
std::string ServiceWhere() {
  std::string unit = svc::UnitPath(schema::kServiceName);
  return unit.empty() ? "the service \"" + std::string(schema::kServiceName) + "\"" : unit;
}

void SetExpandString(reg::Key key, const char* name, const char* text) {
  reg::SetValue(key, name, reg::kExpandSz, text, static_cast<uint32_t>(std::strlen(text) + 1));
}

void SetDword(reg::Key key, const char* name, uint32_t value) {
  reg::SetValue(key, name, reg::kDword, &value, sizeof value);
}

// The Parameters key (made when missing) readable and writable by SYSTEM and
// the Administrators only: it holds the mailboxes' passwords. Empty, or why not.
std::string RestrictParameters() {
  reg::KeyHolder key;
  long rc = reg::CreateKey(reg::LocalMachine(), schema::kParametersKey, key.out());
  if (rc == reg::kOk) rc = reg::RestrictToAdministrators(key.get());
  return rc == reg::kOk ? "" : DescribeStoreError(rc);
}

// What an administrator reads about the service.
constexpr const char* kDescription =
    "Fetches the mail of POP3 mailboxes and forwards it to an SMTP server, on a schedule or when triggered. "
    "Settings: HKLM\\SYSTEM\\CurrentControlSet\\Services\\Mailferry Service\\Parameters.";

std::string ParametersName() { return std::string("HKLM\\") + schema::kParametersKey; }

bool ParametersExist() {
  reg::KeyHolder key;
  return reg::OpenKey(reg::LocalMachine(), schema::kParametersKey, reg::kRead, key.out()) == reg::kOk;
}

}  // namespace

std::string SettingsBackupPath() { return state::JoinStatePath(state::StateFolder(), "settings-backup.reg"); }

std::string SaveSettingsBackup() {
  if (state::FileResult made = state::CreateOwnerFolder(state::StateFolder()); !made.ok())
    return "cannot create " + state::StateFolder() + ": " + state::DescribeFileResult(made);
  std::istringstream in;
  std::ostringstream out;
  std::ostringstream err;
  if (regtool::RunFerryReg({"export", ParametersName(), SettingsBackupPath(), "/y"}, in, out, err) != regtool::kExitOk)
    return err.str().empty() ? "the export failed" : err.str();
  return {};
}

void WriteInstallEntries() {
  reg::KeyHolder key;
  if (reg::CreateKey(reg::LocalMachine(), schema::kEventSourceKey, key.out()) == reg::kOk) {
    SetExpandString(key.get(), "EventMessageFile", schema::kMessageFile);
    SetDword(key.get(), "TypesSupported", kTypesSupported);
  }
  if (reg::CreateKey(reg::CurrentUser(), schema::kConsoleKey, key.out()) == reg::kOk) {
    SetExpandString(key.get(), "Admin Host", "");
    SetDword(key.get(), "Backup before Edit", 1);
  }
  if (reg::CreateKey(reg::CurrentUser(), schema::kControlPanelKey, key.out()) == reg::kOk) {
    SetExpandString(key.get(), schema::kMessageFile, schema::kMessageFile);
  }
}

int InstallService() {
  std::string path = ModulePath();
  if (path.empty()) return Fail("-install", "cannot install: the program's own path is unknown");
  if (!svc::ManagerAvailable()) return Fail("-install", "cannot install: " + svc::LastServiceError());
  if (svc::ServiceExists(schema::kServiceName)) {
    Say("already installed (" + ServiceWhere() + "); nothing changed");
    return 0;
  }
  const bool hadParameters = ParametersExist();
  if (!svc::CreateService({schema::kServiceName, schema::kDisplayName, path, kDescription})) {
    return Fail("-install", "cannot install: " + svc::LastServiceError());
  }
  if (svc::InstallWritesStoreEntries()) {
    std::string ignored;  // only whether the file is there counts
    const bool saved = state::ReadWholeFile(SettingsBackupPath(), 0, &ignored).status != state::FileStatus::kNotFound;
    if (!hadParameters && saved) {
      // The settings a -remove saved are offered back, never imported unasked.
      Say("the settings saved at the last removal are in " + SettingsBackupPath() + "; \"reg import " +
          SettingsBackupPath() + "\" puts them back");
    }
    WriteInstallEntries();
    if (std::string why = RestrictParameters(); !why.empty())
      return Fail("-install", "installed, but the settings key could not be kept to the administrators: " + why);
  }
  const bool unit = !svc::UnitPath(schema::kServiceName).empty();
  Say("installed and enabled " + ServiceWhere() + (unit ? "; start it with \"systemctl start mailferry2\"" : ""));
  return 0;
}

int RemoveService(const Sleeper& sleep) {
  Sleeper wait = sleep ? sleep : Sleeper([](std::chrono::milliseconds d) { std::this_thread::sleep_for(d); });
  if (!svc::ManagerAvailable()) return Fail("-remove", "cannot remove: " + svc::LastServiceError());
  if (!svc::ServiceExists(schema::kServiceName)) return Fail("-remove", "cannot remove: the service is not installed");
  const std::string where = ServiceWhere();
  // On Windows the settings live below the service's key, which the removal
  // deletes: they are saved first, and a failed save keeps the service.
  const bool saveSettings = svc::InstallWritesStoreEntries() && ParametersExist();
  if (saveSettings) {
    if (std::string why = SaveSettingsBackup(); !why.empty())
      return Fail("-remove", "not removed: the settings could not be saved to " + SettingsBackupPath() + ": " + why);
  }
  if (svc::SendStopControl(schema::kServiceName)) {
    // A service that hangs in its stop is deleted all the same after the limit.
    std::chrono::milliseconds waited{0};
    do {
      wait(kRemovePoll);
      waited += kRemovePoll;
      auto state = svc::QueryState(schema::kServiceName);
      if (!state || *state != svc::State::StopPending) break;
    } while (waited < kRemoveStopWait);
  }
  if (!svc::DeleteService(schema::kServiceName)) return Fail("-remove", "cannot remove: " + svc::LastServiceError());
  if (saveSettings) {
    ReportServiceEvent(kEventSettingsSaved, kEventInformation, {SettingsBackupPath()});
    Say("the settings were saved to " + SettingsBackupPath() + "; \"reg import " + SettingsBackupPath() +
        "\" puts them back");
  }
  Say("stopped and removed " + where);
  return 0;
}

int CreateAccount(const std::string& connectionName, const std::string& accountName) {
  const std::string name = connectionName + "\\" + accountName;
  if (std::string problem = StoreUnusableReason(); !problem.empty()) {
    return Fail("-create", "cannot create " + name + ": the store " + reg::StoreLocation() + " " + problem);
  }
  if (int failed = CreateAccountSettings(connectionName, accountName); failed > 0) {
    return Fail("-create", "cannot create " + name + ": " + std::to_string(failed) +
                               " value(s) could not be written to the store " + reg::StoreLocation() +
                               (reg::StoreProblem().empty() ? "" : " (it " + reg::StoreProblem() + ")"));
  }
  reg::KeyHolder key;
  if (reg::OpenKey(reg::LocalMachine(), schema::AccountKey(connectionName, accountName), reg::kRead, key.out()) !=
      reg::kOk) {
    return Fail("-create", "cannot create " + name + ": the store " + reg::StoreLocation() + " could not be written");
  }
  if (std::string why = RestrictParameters(); !why.empty())
    return Fail("-create",
                "account " + name + " is in the store, but its key could not be kept to the administrators: " + why);
  Say("account " + name + " is in the store " + reg::StoreLocation() + " (every value at its default)");
  return 0;
}

int ReleaseMessages(const std::string& connectionName, const std::string& accountName, const std::string& which) {
  const std::string name = connectionName + "\\" + accountName;
  if (!reg::StoreExists()) return Fail("-release", "no settings store at " + reg::StoreLocation());
  AccountSettings settings;
  settings.connectionName = connectionName;
  settings.accountName = accountName;
  LoadSettings(settings);
  if (settings.popHost.empty()) return Fail("-release", "account " + name + " has no \"POP Host\"");
  DeliveryLedger ledger(LedgerFolder(), LedgerFileName(settings.popHost, settings.popUser));
  ReleaseResult result = ReleaseRefusals(ledger, which);
  if (!result.error.empty()) return Fail("-release", "cannot release for " + name + ": " + result.error);
  Say(std::to_string(result.released.size()) + " refused message(s) of " + name +
      " released; the next run sends them again");
  return 0;
}

int ShowStatus() {
  if (!reg::StoreExists()) return Fail("-status", "no settings store at " + reg::StoreLocation());
  {
    reg::KeyHolder key;
    const long rc = reg::OpenKey(reg::LocalMachine(), schema::kParametersKey, reg::kRead, key.out());
    if (rc != reg::kOk && rc != reg::kFileNotFound)
      return Fail("-status", "cannot read the store " + reg::StoreLocation() + ": " + DescribeStoreError(rc));
  }
  std::string text = FormatStatus(ReadLastRuns());
  std::fwrite(text.data(), 1, text.size(), stdout);
  return 0;
}

bool ConsoleControlHandler(ControlRequest request) {
  // SIGTERM ends the foreground loop as well: it is how a shell or a process
  // supervisor asks a program to end.
  SignalStop();
  (void)request;
  return true;
}

int RunInForeground(const std::vector<std::string>& args) {
  SetControlRequestHandler(ConsoleControlHandler);
  return ServiceLoop(args);
}

void ServiceControlHandler(uint32_t control) {
  if (control == svc::kControlStop) {
    SetCurrentState(svc::State::StopPending);
    SignalStop();
  }
  ReportStatus(CurrentState(), 0, 0);
}

// What the service's loop ended with under the service manager: a loop that
// could not start ends the process with a failure, so the manager sees it.
std::atomic<int> gServiceExit{0};

// The Win32 exit code that tells the manager a service-specific error.
constexpr uint32_t kServiceSpecificError = 1066;

void ServiceMain(const std::vector<std::string>& args) {
  if (!svc::RegisterControlHandler(schema::kServiceName, ServiceControlHandler)) return;
  if (ReportStatus(svc::State::StartPending, 0, 3000)) gServiceExit = ServiceLoop(args);
  ReportStatus(svc::State::Stopped, gServiceExit != 0 ? kServiceSpecificError : 0, 0);
}

int ProcessEntry(const std::vector<std::string>& args) {
  try {
    switch (FindVerb(args)) {
      case Verb::Install:
        return InstallService();
      case Verb::Remove:
        return RemoveService();
      case Verb::Debug:
        SetForegroundMode();
        EchoEventsToStandardError(true);
        DebugLog::EchoToStandardError(true);
        return RunInForeground(args);
      case Verb::Create:
        return CreateAccount(args[2], args[3]);
      case Verb::Status:
        return ShowStatus();
      case Verb::Release:
        return ReleaseMessages(args[2], args[3], args.size() == 5 ? args[4] : "all");
      case Verb::Authorize:
        return AuthorizeAccount(
            args[2], args[3],
            [](const std::string& line) {
              std::printf("%s\n", line.c_str());
              std::fflush(stdout);
            },
            [](int64_t seconds) {
              // Ctrl+C ends the process, and the polling with it.
              std::this_thread::sleep_for(std::chrono::seconds(seconds));
              return true;
            },
            kBrowserSignInWaitMs);
      case Verb::Help:
        std::fputs(UsageText().c_str(), stdout);
        return 0;
      case Verb::Version:
        std::printf("mailferry2 %s\n", kVersion);
        return 0;
      case Verb::Unknown:
        std::fprintf(stderr, "mailferry2: unknown verb \"%s\"\n%s", args[1].c_str(), UsageText().c_str());
        return kExitUsage;
      case Verb::None:
        break;
    }
  } catch (const std::exception& error) {
    return Fail(args.size() > 1 ? args[1] : "", std::string("failed: ") + error.what());
  }
  if (svc::RunServiceDispatcher(schema::kServiceName, ServiceMain)) return gServiceExit;
  ReportServiceEvent(kEventDispatcherFailed, "StartServiceCtrlDispatcher failed.");
  std::fputs("mailferry2: not started by the service manager; \"mailferry2 -debug\" runs it in the foreground, "
             "\"mailferry2 --help\" lists the verbs\n",
             stderr);
  return 1;
}

}  // namespace ferry
