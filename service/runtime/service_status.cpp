#include "service/runtime/service_status.h"

#include <atomic>
#include <mutex>

#include "service/runtime/service_events.h"

namespace ferry {
namespace {

std::atomic<bool> gForeground{false};
// The loop's thread and the control handler's thread both report.
std::mutex gStatusMutex;
svc::StatusBlock gStatus;
uint32_t gCheckPoint = 1;

}  // namespace

void SetForegroundMode() { gForeground = true; }

bool ReportStatus(svc::State state, uint32_t exitCode, uint32_t waitHint) {
  if (gForeground) return true;
  svc::StatusBlock block;
  {
    std::lock_guard lock(gStatusMutex);
    gStatus.controlsAccepted = state == svc::State::StartPending ? 0 : svc::kAcceptStop;
    gStatus.currentState = state;
    gStatus.win32ExitCode = exitCode;
    gStatus.serviceExitCode = 0;
    gStatus.waitHint = waitHint;
    gStatus.checkPoint = (state == svc::State::Running || state == svc::State::Stopped) ? 0 : gCheckPoint++;
    block = gStatus;
  }
  bool ok = svc::SetServiceStatus(block);
  if (!ok) ReportServiceEvent(kEventDispatcherFailed, "SetServiceStatus");
  return ok;
}

svc::State CurrentState() {
  std::lock_guard lock(gStatusMutex);
  return gStatus.currentState;
}

void SetCurrentState(svc::State state) {
  std::lock_guard lock(gStatusMutex);
  gStatus.currentState = state;
}

}  // namespace ferry
