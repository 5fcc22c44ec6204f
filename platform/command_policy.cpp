// The policy of the pre-run commands, shared by both systems' implementations.
#include <mutex>
#include <utility>

#include "platform/command_interpreter.h"

namespace ferry {
namespace {

std::mutex gPolicyMutex;
CommandPolicy gPolicy;

}  // namespace

void SetCommandPolicy(CommandPolicy policy) {
  std::lock_guard lock(gPolicyMutex);
  gPolicy = std::move(policy);
}

CommandPolicy CurrentCommandPolicy() {
  std::lock_guard lock(gPolicyMutex);
  return gPolicy;
}

int RunCommandInterpreter(const std::string& command) {
  const CommandPolicy policy = CurrentCommandPolicy();
  const int status = RunCommandInterpreter(command, policy.timeout);
  if (status == kCommandEnded && policy.timedOut) policy.timedOut(command, policy.timeout);
  return status;
}

}  // namespace ferry
