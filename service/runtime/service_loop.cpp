#include "service/runtime/service_loop.h"

#include <system_error>
#include <thread>

#include "platform/command_interpreter.h"
#include "platform/event_log.h"
#include "platform/network_startup.h"
#include "platform/store_location.h"
#include "platform/udp_socket.h"
#include "service/runtime/account_worker.h"
#include "service/runtime/config_store.h"
#include "service/runtime/dial_up_binding.h"
#include "service/runtime/scheduler.h"
#include "service/runtime/service_events.h"
#include "service/runtime/service_status.h"
#include "service/runtime/trigger_listener.h"

namespace ferry {

int ServiceLoop(const std::vector<std::string>& args) {
  // A listen address the listener cannot use is an error at start, never a
  // wider bind than asked for.
  if (!TriggerListenAddress()) {
    ReportServiceEvent(kEventFailure, std::string(kTriggerAddressEnvironmentVariable) +
                                          " is not a dotted IPv4 address; the service does not start");
    return 1;
  }
  // A store the service cannot read and write is an error at start, never a
  // service that runs on defaults and loses what it writes.
  if (std::string problem = StoreUnusableReason(); !problem.empty()) {
    ReportServiceEvent(kEventStoreUnusable, kEventError, {reg::StoreLocation(), problem});
    return 1;
  }
  LoadRasBinding();
  AllowCommands();
  if (args.size() == 4 && args[1] == "create") CreateAccountSettings(args[2], args[3]);
  StartNetworking();
  // A trigger port the service cannot have is an error at start, never a
  // service that runs deaf to its triggers.
  UdpSocket triggerSocket;
  const uint16_t triggerPort = ReadTriggerPort();
  if (!triggerSocket.Bind(*TriggerListenAddress(), triggerPort)) {
    ReportServiceEvent(kEventTriggerPortUnusable, kEventError,
                       {std::to_string(triggerPort), "another program holds it, or it may not be used"});
    FreeRasBinding();
    StopNetworking();
    return 1;
  }

  LoopEvents events;
  std::thread listener;
  if (ReportStatus(svc::State::StartPending, 0, 3000)) {
    PublishLoopEvents(&events);
    try {
      listener = std::thread(
          [&events, &triggerSocket] { TriggerListener(events, DefaultTriggerListenerOptions(), &triggerSocket); });
    } catch (const std::system_error&) {
      // Without the listener the service runs on, deaf to triggers.
    }
    if (ReportStatus(svc::State::Running, 0, 0)) {
      ReportServiceEvent(kEventLoopStarted, nullptr);
      ResetInUseFlags();
      Scheduler scheduler(ServiceSchedulerHooks(events));
      scheduler.Start();
      while (scheduler.Pass()) {
      }
    }
  }

  // Pre-run commands still running end with the service.
  EndRunningCommands();
  ReportServiceEvent(kEventLoopEnded, nullptr);
  FreeRasBinding();
  StopNetworking();
  WithdrawLoopEvents(&events);
  // The listener looks at StopEvent between receives; it ends within one slice.
  events.SetStop();
  if (listener.joinable()) listener.join();
  return 0;
}

}  // namespace ferry
