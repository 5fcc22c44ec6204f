// Runs a command line through the system's command interpreter and waits for it.
#pragma once

#include <string>

namespace ferry {

// Runs `command` (/bin/sh -c on Linux, the Windows command interpreter through
// `system` on Windows) and returns its exit status, or -1 when it could not be
// started. Unlike `system` on Linux, it leaves the caller's signal handling
// alone, so a stop request reaches the service while the command runs.
int RunCommandInterpreter(const std::string& command);

}  // namespace ferry
