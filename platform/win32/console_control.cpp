// Ctrl+C and Ctrl+Break through SetConsoleCtrlHandler. The system calls the
// routine on a thread of its own, so the handler may lock and notify. Closing
// the console, logging off and shutting down are left to the system.
#include "platform/console_control.h"

#include <windows.h>

#include <mutex>

namespace ferry {
namespace {

std::mutex gMutex;
ControlRequestHandler gHandler;
bool gInstalled = false;

BOOL WINAPI OnConsoleControl(DWORD type) {
  ControlRequest request;
  switch (type) {
    case CTRL_C_EVENT: request = ControlRequest::Interrupt; break;
    case CTRL_BREAK_EVENT: request = ControlRequest::Break; break;
    default: return FALSE;
  }
  ControlRequestHandler handler;
  {
    std::lock_guard lock(gMutex);
    handler = gHandler;
  }
  return handler && handler(request) ? TRUE : FALSE;
}

}  // namespace

bool SetControlRequestHandler(ControlRequestHandler handler) {
  std::lock_guard lock(gMutex);
  gHandler = std::move(handler);
  if (!gInstalled) gInstalled = SetConsoleCtrlHandler(OnConsoleControl, TRUE) != FALSE;
  return gInstalled;
}

}  // namespace ferry
