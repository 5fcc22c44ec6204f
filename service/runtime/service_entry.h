// The process entry of mailferry2: the verbs of its command line, and the
// service's main function and control handler under the service manager.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/console_control.h"

namespace ferry {

// Carries out the verb of `args` (argument 0 is the program) and answers the
// exit status: 0 done, 1 failed (said in words on standard error), 2 an
// unknown verb (the usage on standard error). Without a verb, hands the process
// to the service dispatcher; when that fails (the process was not started by
// the service manager) reports event 0 "StartServiceCtrlDispatcher failed.",
// names -debug and --help on standard error and answers 1.
int ProcessEntry(const std::vector<std::string>& args);

// Installs the service (and on Windows its store entries); an existing
// service is left alone. Answers the exit status.
int InstallService();

using Sleeper = std::function<void(std::chrono::milliseconds)>;
// Stops the service, waits for the stop at most kRemoveStopWait, and deletes it.
inline constexpr std::chrono::milliseconds kRemoveStopWait{30000};
int RemoveService(const Sleeper& sleep = {});

// Runs the scheduler loop on this thread until Ctrl+C, Ctrl+Break or SIGTERM.
int RunInForeground(const std::vector<std::string>& args);

void ServiceMain(const std::vector<std::string>& args);
void ServiceControlHandler(uint32_t control);
bool ConsoleControlHandler(ControlRequest request);

// The store entries of the install: the event source, the console's two values
// and the Control Panel entry. A key that cannot be created is skipped.
void WriteInstallEntries();

// Where -remove saves the Parameters tree on Windows, as a .reg file in the
// program's data folder (StateFolder) before the service's key is deleted.
std::string SettingsBackupPath();
// Writes that file (owner-only); empty, or why it could not be written.
std::string SaveSettingsBackup();

}  // namespace ferry
