#include "service/runtime/account_context.h"

#include "platform/command_interpreter.h"
#include "schema/registry_schema.h"

namespace ferry {
namespace {

std::string CutName(const std::string& name) {
  return name.size() < schema::kNameWidth ? name : name.substr(0, schema::kNameWidth - 1);
}

}  // namespace

AccountContext::AccountContext(const std::string& connectionName, const std::string& accountName) {
  settings.connectionName = CutName(connectionName);
  settings.accountName = CutName(accountName);
  LoadSettings();
  if (settings.enableLogging != 0) log_.Open(settings.logfile);
  log_.SetLevel(settings.debugLevel);
  if (settings.enableCommand != 0) {
    // The exit status of the command is of no interest; the run goes on.
    RunCommandInterpreter(settings.command);
  }
  SaveAllSettings();
}

AccountContext::~AccountContext() {
  log_.Close();
  SaveSettings();
}

int AccountContext::LoadSettings() {
  loadedState_ = {};
  int rc = ferry::LoadSettings(settings, &loadedState_);
  saved_ = settings;
  return rc;
}

int AccountContext::SaveSettings() {
  int rc = ferry::SaveSettings(settings, SaveScope::Changes, saved_);
  saved_ = settings;
  return rc;
}

int AccountContext::SaveAllSettings() {
  int rc = ferry::SaveSettings(settings, SaveScope::Everything, saved_, loadedState_);
  saved_ = settings;
  // What is stored now is this run's own: a later change is written as a change.
  loadedState_ = {true, true, true};
  return rc;
}

}  // namespace ferry
