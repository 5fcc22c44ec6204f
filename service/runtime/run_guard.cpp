#include "service/runtime/run_guard.h"

#include <mutex>
#include <set>

namespace ferry {
namespace {

std::mutex gMutex;
std::set<std::string>& ActiveRuns() {
  static std::set<std::string> runs;
  return runs;
}

std::string Fold(const std::string& s) {
  std::string out = s;
  for (char& c : out) {
    auto u = static_cast<unsigned char>(c);
    if ((u >= 'a' && u <= 'z') || (u >= 0xE0 && u <= 0xFE && u != 0xF7)) c = static_cast<char>(u - 0x20);
  }
  return out;
}

}  // namespace

AccountRunGuard::AccountRunGuard(const std::string& connectionName, const std::string& accountName)
    : key_(Fold(connectionName) + '\\' + Fold(accountName)) {
  std::lock_guard lock(gMutex);
  acquired_ = ActiveRuns().insert(key_).second;
}

AccountRunGuard::~AccountRunGuard() {
  if (!acquired_) return;
  std::lock_guard lock(gMutex);
  ActiveRuns().erase(key_);
}

}  // namespace ferry
