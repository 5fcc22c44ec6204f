// The service's status as reported to the service manager. In the foreground
// (the "debug" verb) nothing is reported and every report succeeds.
#pragma once

#include <cstdint>

#include "platform/service_control.h"

namespace ferry {

void SetForegroundMode();

// Reports `state` with the exit code and the wait hint (milliseconds). Stop is
// accepted in every state but start pending; the checkpoint counts up in the
// pending states and is 0 in running and stopped. A failed hand-over is reported
// as event 0 "SetServiceStatus". Answers whether the manager took the report.
bool ReportStatus(svc::State state, uint32_t exitCode, uint32_t waitHint);

// The state last reported (or being reported).
svc::State CurrentState();
void SetCurrentState(svc::State state);

}  // namespace ferry
