#include "service/runtime/service_entry.h"

#include <cstring>
#include <thread>

#include "platform/message_box.h"
#include "platform/registry.h"
#include "platform/service_control.h"
#include "platform/system_info.h"
#include "schema/registry_schema.h"
#include "service/runtime/account_worker.h"
#include "service/runtime/command_line.h"
#include "service/runtime/loop_events.h"
#include "service/runtime/scheduler.h"
#include "service/runtime/service_loop.h"
#include "service/runtime/service_events.h"
#include "service/runtime/service_status.h"

namespace ferry {
namespace {

constexpr std::chrono::milliseconds kRemovePoll{1000};
constexpr uint32_t kTypesSupported = 7;  // error, warning, information
constexpr const char* kInstallWarning = "can no install!\nMaybe already installed.";
constexpr const char* kInstallWarningTitle = "MailFerry2 warning";

void SetExpandString(reg::Key key, const char* name, const char* text) {
  reg::SetValue(key, name, reg::kExpandSz, text, static_cast<uint32_t>(std::strlen(text) + 1));
}

void SetDword(reg::Key key, const char* name, uint32_t value) {
  reg::SetValue(key, name, reg::kDword, &value, sizeof value);
}

}  // namespace

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

void InstallService() {
  std::string path = ModulePath();
  if (path.empty() || !svc::ManagerAvailable()) return;
  if (svc::ServiceExists(schema::kServiceName)) return;
  if (!svc::CreateService({schema::kServiceName, schema::kDisplayName, path})) {
    ShowWarning(kInstallWarning, kInstallWarningTitle);
    return;
  }
  WriteInstallEntries();
}

void RemoveService(const Sleeper& sleep) {
  Sleeper wait = sleep ? sleep : Sleeper([](std::chrono::milliseconds d) { std::this_thread::sleep_for(d); });
  if (!svc::ManagerAvailable() || !svc::ServiceExists(schema::kServiceName)) return;
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
  svc::DeleteService(schema::kServiceName);
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

void ServiceMain(const std::vector<std::string>& args) {
  if (!svc::RegisterControlHandler(schema::kServiceName, ServiceControlHandler)) return;
  if (ReportStatus(svc::State::StartPending, 0, 3000)) ServiceLoop(args);
  ReportStatus(svc::State::Stopped, 0, 0);
}

int ProcessEntry(const std::vector<std::string>& args) {
  try {
    switch (FindVerb(args)) {
      case Verb::Install:
        InstallService();
        break;
      case Verb::Remove:
        RemoveService();
        break;
      case Verb::Debug:
        SetForegroundMode();
        RunInForeground(args);
        break;
      case Verb::Create:
        CreateAccountSettings(args[2], args[3]);
        break;
      case Verb::None:
        break;
    }
  } catch (const std::exception&) {
    // A verb that fails for want of memory or store leaves the process as if
    // it had done nothing; the dispatcher call below still comes.
  }
  if (!svc::RunServiceDispatcher(schema::kServiceName, ServiceMain)) {
    ReportServiceEvent(kEventDispatcherFailed, "StartServiceCtrlDispatcher failed.");
  }
  return 0;
}

}  // namespace ferry
