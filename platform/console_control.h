// The interrupt requests that reach a process from its console or its manager:
// Ctrl+C and Ctrl+Break (SetConsoleCtrlHandler on Windows), SIGINT and SIGTERM
// on Linux. The handler runs on a thread of its own, never inside a signal
// handler, so it may lock and notify like any other code.
#pragma once

#include <functional>

namespace ferry {

enum class ControlRequest {
  Interrupt,  // Ctrl+C, SIGINT
  Break,      // Ctrl+Break
  Terminate,  // SIGTERM: the service manager's stop
};

// The handler answers true when it handled the request; an unhandled request
// gets the system's default action (the process ends).
using ControlRequestHandler = std::function<bool(ControlRequest)>;

// Installs (or replaces) the process's handler. False when it could not be set.
bool SetControlRequestHandler(ControlRequestHandler handler);

}  // namespace ferry
