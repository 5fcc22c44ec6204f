#include "service/runtime/stored_run.h"

#include <ctime>

#include "platform/command_interpreter.h"
#include "platform/system_info.h"
#include "schema/registry_schema.h"

namespace ferry {
namespace {

std::string CutName(const std::string& name) {
  return name.size() < schema::kNameWidth ? name : name.substr(0, schema::kNameWidth - 1);
}

AccountSettings Named(const std::string& connectionName, const std::string& accountName) {
  AccountSettings settings;
  settings.connectionName = CutName(connectionName);
  settings.accountName = CutName(accountName);
  return settings;
}

}  // namespace

StoredRun::StoredRun(const std::string& connectionName, const std::string& accountName,
                     std::chrono::milliseconds receiveTimeout)
    : context_(Named(connectionName, accountName), log_, *this, receiveTimeout) {
  AccountSettings& settings = context_.settings;
  LoadedState loaded;
  LoadSettings(settings, &loaded);
  if (settings.enableLogging != 0) log_.Open(settings.logfile);
  log_.SetLevel(settings.debugLevel);
  if (settings.enableCommand != 0) {
    // The exit status of the command is of no interest; the run goes on.
    RunCommandInterpreter(settings.command);
  }
  // Run state that was already stored belongs to whoever wrote it: only what
  // was missing is written with the rest.
  SaveSettings(settings, SaveScope::Everything, settings, loaded);
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
  SaveSettings(settings, SaveScope::Changes, saved_);
  saved_ = settings;
}

}  // namespace ferry
