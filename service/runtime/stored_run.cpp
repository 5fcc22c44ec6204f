#include "service/runtime/stored_run.h"

#include <ctime>

#include "platform/command_interpreter.h"
#include "platform/event_log.h"
#include "platform/system_info.h"
#include "schema/registry_schema.h"
#include "service/runtime/loop_events.h"
#include "service/runtime/service_events.h"

namespace ferry {
namespace {

AccountSettings Named(const std::string& connectionName, const std::string& accountName) {
  AccountSettings settings;
  settings.connectionName = connectionName;
  settings.accountName = accountName;
  return settings;
}

}  // namespace

StoredRun::StoredRun(const std::string& connectionName, const std::string& accountName,
                     std::chrono::milliseconds receiveTimeout)
    : context_(Named(connectionName, accountName), log_, *this, receiveTimeout) {
  AccountSettings& settings = context_.settings;
  MigrateOldNames(settings);
  LoadSettings(settings);
  if (settings.enableLogging != 0) log_.Open(settings.logfile);
  log_.SetLevel(settings.debugLevel);
  if (settings.enableCommand != 0) {
    // A failing command is reported, and the run goes on all the same, with
    // the settings as they are stored once the command has ended (a user may
    // have changed them meanwhile). One ended after its time-out is reported
    // by the command policy.
    const int status = RunCommandInterpreter(settings.command);
    if (status != 0 && status != kCommandEnded && !StopSignalled()) {
      ReportServiceEvent(kEventCommandFailed, kEventWarning,
                         {connectionName, accountName, settings.command,
                          status == -1 ? std::string("it could not be started")
                                       : "exit status " + std::to_string(status)});
    }
    AccountSettings fresh = Named(connectionName, accountName);
    LoadSettings(fresh);
    settings = std::move(fresh);
  }
  saved_ = settings;
}

StoredRun::~StoredRun() {
  log_.Close();
  StateChanged(context_.settings);
  if (context_.outcome.empty()) return;  // not enabled, already running, or no run at all
  LastRun run;
  run.connectionName = context_.settings.connectionName;
  run.accountName = context_.settings.accountName;
  std::tm local = LocalTime(std::time(nullptr));
  char stamp[32];
  run.time = std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &local) > 0 ? stamp : "";
  run.outcome = context_.outcome;
  run.forwarded = static_cast<uint32_t>(context_.forwardedCount);
  run.left = context_.messageCount > context_.forwardedCount
                 ? static_cast<uint32_t>(context_.messageCount - context_.forwardedCount)
                 : 0;
  run.error = context_.failure;
  WriteLastRun(run);
}

void StoredRun::StateChanged(const AccountSettings& settings) {
  WriteRunState(settings, saved_);
  saved_ = settings;
}

}  // namespace ferry
