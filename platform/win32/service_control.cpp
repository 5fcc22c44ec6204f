// The service control manager: each call of the manager side opens the manager
// and the service for the one operation; the service side is the dispatcher,
// the control handler and SetServiceStatus.
#include <windows.h>

// winsvc.h maps these names onto their A/W variants; the seam's functions of
// the same names are meant here.
#undef CreateService

#include <mutex>

#include "platform/service_control.h"

namespace ferry::svc {
namespace {

// Closes a service manager or service handle when it leaves scope.
class ScHandle {
 public:
  explicit ScHandle(SC_HANDLE handle) : handle_(handle) {}
  ScHandle(const ScHandle&) = delete;
  ScHandle& operator=(const ScHandle&) = delete;
  ~ScHandle() {
    if (handle_ != nullptr) CloseServiceHandle(handle_);
  }
  SC_HANDLE get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }

 private:
  SC_HANDLE handle_;
};

constexpr DWORD kRestartDelayMs = 60000;
constexpr DWORD kFailureResetSeconds = 24 * 60 * 60;

SC_HANDLE OpenManager() { return OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS); }

}  // namespace

bool ManagerAvailable() { return static_cast<bool>(ScHandle(OpenManager())); }

bool ServiceExists(const std::string& name) {
  ScHandle manager(OpenManager());
  if (!manager) return false;
  ScHandle service(OpenServiceA(manager.get(), name.c_str(), SERVICE_QUERY_STATUS));
  return static_cast<bool>(service);
}

bool CreateService(const ServiceDefinition& service) {
  ScHandle manager(OpenManager());
  if (!manager) return false;
  const std::string imagePath = "\"" + service.executablePath + "\"";
  ScHandle created(CreateServiceA(manager.get(), service.name.c_str(), service.displayName.c_str(),
                                  SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START,
                                  SERVICE_ERROR_NORMAL, imagePath.c_str(), nullptr, nullptr, "\0", nullptr,
                                  nullptr));
  if (!created) return false;
  std::string description = service.description;
  SERVICE_DESCRIPTIONA text{description.data()};
  // Restart after the first and the second failure; the count starts again
  // after a day without one.
  SC_ACTION actions[] = {
      {SC_ACTION_RESTART, kRestartDelayMs}, {SC_ACTION_RESTART, kRestartDelayMs}, {SC_ACTION_NONE, 0}};
  SERVICE_FAILURE_ACTIONSA recovery{};
  recovery.dwResetPeriod = kFailureResetSeconds;
  recovery.cActions = 3;
  recovery.lpsaActions = actions;
  if (!ChangeServiceConfig2A(created.get(), SERVICE_CONFIG_DESCRIPTION, &text) ||
      !ChangeServiceConfig2A(created.get(), SERVICE_CONFIG_FAILURE_ACTIONS, &recovery)) {
    const DWORD error = GetLastError();
    ::DeleteService(created.get());
    SetLastError(error);
    return false;
  }
  return true;
}

bool SendStopControl(const std::string& name) {
  ScHandle manager(OpenManager());
  if (!manager) return false;
  ScHandle service(OpenServiceA(manager.get(), name.c_str(), SERVICE_ALL_ACCESS));
  if (!service) return false;
  SERVICE_STATUS status{};
  return ControlService(service.get(), SERVICE_CONTROL_STOP, &status) != FALSE;
}

std::optional<State> QueryState(const std::string& name) {
  ScHandle manager(OpenManager());
  if (!manager) return std::nullopt;
  ScHandle service(OpenServiceA(manager.get(), name.c_str(), SERVICE_QUERY_STATUS));
  if (!service) return std::nullopt;
  SERVICE_STATUS status{};
  if (!QueryServiceStatus(service.get(), &status)) return std::nullopt;
  switch (status.dwCurrentState) {
    case SERVICE_START_PENDING:
    case SERVICE_CONTINUE_PENDING: return State::StartPending;
    case SERVICE_STOP_PENDING:
    case SERVICE_PAUSE_PENDING: return State::StopPending;
    case SERVICE_STOPPED: return State::Stopped;
    default: return State::Running;
  }
}

bool DeleteService(const std::string& name) {
  ScHandle manager(OpenManager());
  if (!manager) return false;
  ScHandle service(OpenServiceA(manager.get(), name.c_str(), SERVICE_ALL_ACCESS));
  if (!service) return false;
  return ::DeleteService(service.get()) != FALSE;
}

std::string UnitPath(const std::string& /*name*/) { return {}; }

std::string LastServiceError() {
  const DWORD code = GetLastError();
  if (code == ERROR_ACCESS_DENIED) return "access denied (run it as an administrator)";
  if (code == ERROR_SERVICE_EXISTS) return "the service already exists";
  if (code == ERROR_SERVICE_DOES_NOT_EXIST) return "the service does not exist";
  return "Windows error " + std::to_string(code);
}

bool InstallWritesStoreEntries() { return true; }

// ---- Service side ----

namespace {

ServiceMainFunction gServiceMain = nullptr;
ControlHandlerFunction gControlHandler = nullptr;
SERVICE_STATUS_HANDLE gStatusHandle = nullptr;
std::mutex gStatusMutex;

void WINAPI ServiceMainEntry(DWORD argc, LPSTR* argv) {
  std::vector<std::string> args;
  for (DWORD i = 0; i < argc; ++i) args.emplace_back(argv[i] != nullptr ? argv[i] : "");
  gServiceMain(args);
}

void WINAPI ControlHandlerEntry(DWORD control) {
  if (gControlHandler != nullptr) gControlHandler(control);
}

}  // namespace

bool RunServiceDispatcher(const std::string& name, ServiceMainFunction serviceMain) {
  gServiceMain = serviceMain;
  std::string serviceName = name;
  SERVICE_TABLE_ENTRYA table[] = {{serviceName.data(), ServiceMainEntry}, {nullptr, nullptr}};
  return StartServiceCtrlDispatcherA(table) != FALSE;
}

bool RegisterControlHandler(const std::string& name, ControlHandlerFunction handler) {
  gControlHandler = handler;
  SERVICE_STATUS_HANDLE handle = RegisterServiceCtrlHandlerA(name.c_str(), ControlHandlerEntry);
  std::lock_guard lock(gStatusMutex);
  gStatusHandle = handle;
  return handle != nullptr;
}

bool SetServiceStatus(const StatusBlock& status) {
  SERVICE_STATUS block{};
  block.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
  block.dwCurrentState = static_cast<DWORD>(status.currentState);
  block.dwControlsAccepted = status.controlsAccepted;
  block.dwWin32ExitCode = status.win32ExitCode;
  block.dwServiceSpecificExitCode = status.serviceExitCode;
  block.dwCheckPoint = status.checkPoint;
  block.dwWaitHint = status.waitHint;
  std::lock_guard lock(gStatusMutex);
  if (gStatusHandle == nullptr) return false;
  return ::SetServiceStatus(gStatusHandle, &block) != FALSE;
}

std::string NotifyMessageFor(const StatusBlock& /*status*/) {
  // The service control manager takes the status block itself.
  return {};
}

}  // namespace ferry::svc
