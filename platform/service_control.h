// The service manager: the service control manager on Windows, systemd on Linux.
//
// Manager side (the install and remove verbs): each call is one manager
// operation. On Linux the service is a unit file "<unit name>" in the unit folder
// (/etc/systemd/system, or MAILFERRY_UNIT_DIR), and the manager is reached by
// running systemctl (or the program named by MAILFERRY_SYSTEMCTL).
//
// Service side: the dispatcher, the control handler and the status reports. On
// Linux a process runs under the manager when NOTIFY_SOCKET is set: the unit is
// of Type=notify, so systemd hands every process it starts that way a socket to
// report to, and without it there is no one to report to (a process started from
// a shell, or by a unit of another type). INVOCATION_ID alone is not taken as a
// sign, because a service that cannot report READY would be killed at the start
// time-out. Status reports become sd_notify datagrams; SIGTERM is the stop control.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace ferry::svc {

inline constexpr const char* kUnitDirEnvironmentVariable = "MAILFERRY_UNIT_DIR";
inline constexpr const char* kSystemctlEnvironmentVariable = "MAILFERRY_SYSTEMCTL";

// Service states (the Windows numbers).
enum class State : uint32_t { Stopped = 1, StartPending = 2, StopPending = 3, Running = 4 };

inline constexpr uint32_t kControlStop = 1;
inline constexpr uint32_t kControlInterrogate = 4;
inline constexpr uint32_t kAcceptStop = 1;

struct ServiceDefinition {
  std::string name;
  std::string displayName;
  std::string executablePath;
  // What the manager shows about the service (Windows; the unit has its own).
  std::string description;
};

// ---- Manager side ----

// Whether the manager can be reached for changes (OpenSCManager with all access).
bool ManagerAvailable();
bool ServiceExists(const std::string& name);
// Creates the service (own process, automatic start, no dependencies). On
// Windows the program path is stored in quotes (a path with blanks is never
// taken for a shorter program), with the description and recovery actions:
// restart 60 s after the first and the second failure. On Linux:
// writes the unit "mailferry2.service" (the packaged unit's text, with this
// program and this store) and enables it; refused while the package's unit is
// installed.
bool CreateService(const ServiceDefinition& service);
// Sends the stop control; true when the manager accepted it.
bool SendStopControl(const std::string& name);
// The service's current state; nothing when the query failed.
std::optional<State> QueryState(const std::string& name);
// Deletes the service (on Linux: disables it and deletes the unit file).
bool DeleteService(const std::string& name);

// The unit file's path on Linux (empty on Windows).
std::string UnitPath(const std::string& name);

// Linux: the unit "-install" writes, from the packaged unit's text: this
// program, this store (and its folder writable when it is not the system
// store's), home folders read-only instead of hidden when either lies there,
// and the service user only where it exists and the store is the system one.
// Exposed for tests.
std::string InstalledUnitText(const std::string& templateText, const std::string& executablePath,
                              const std::string& storePath, bool serviceUserExists);

// Why the last manager-side call of this thread failed, in words.
std::string LastServiceError();

// Whether the install also writes the store entries of the Windows event log,
// console and Control Panel (WriteInstallEntries): Windows only.
bool InstallWritesStoreEntries();

// ---- Service side ----

struct StatusBlock {
  State currentState = State::Stopped;
  uint32_t controlsAccepted = 0;
  uint32_t win32ExitCode = 0;
  uint32_t serviceExitCode = 0;
  uint32_t checkPoint = 0;
  uint32_t waitHint = 0;  // milliseconds
};

using ServiceMainFunction = void (*)(const std::vector<std::string>& args);
using ControlHandlerFunction = void (*)(uint32_t control);

// Hands the process to the manager; returns when the service has ended, or at
// once with false when the process was not started by the manager.
bool RunServiceDispatcher(const std::string& name, ServiceMainFunction serviceMain);
// Registers the control handler of the running service.
bool RegisterControlHandler(const std::string& name, ControlHandlerFunction handler);
// Hands the status block to the manager.
bool SetServiceStatus(const StatusBlock& status);

// The sd_notify message for a status block (Linux; exposed for tests).
std::string NotifyMessageFor(const StatusBlock& status);

}  // namespace ferry::svc
