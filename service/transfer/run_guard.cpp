#include "service/transfer/run_guard.h"

#include <mutex>
#include <set>

#include "platform/registry.h"

namespace ferry {
namespace {

std::mutex gMutex;
std::set<std::string>& ActiveRuns() {
  static std::set<std::string> runs;
  return runs;
}

}  // namespace

AccountRunGuard::AccountRunGuard(const std::string& connectionName, const std::string& accountName)
    : key_(reg::FoldName(connectionName) + '\\' + reg::FoldName(accountName)) {
  std::lock_guard lock(gMutex);
  acquired_ = ActiveRuns().insert(key_).second;
}

AccountRunGuard::~AccountRunGuard() {
  if (!acquired_) return;
  std::lock_guard lock(gMutex);
  ActiveRuns().erase(key_);
}

}  // namespace ferry
