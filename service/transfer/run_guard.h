// Keeps two runs of one account in this process from overlapping: the second
// run's guard is not acquired. Names are compared without regard to letter case,
// as the store compares them.
#pragma once

#include <string>

namespace ferry {

class AccountRunGuard {
 public:
  AccountRunGuard(const std::string& connectionName, const std::string& accountName);
  ~AccountRunGuard();
  AccountRunGuard(const AccountRunGuard&) = delete;
  AccountRunGuard& operator=(const AccountRunGuard&) = delete;

  bool Acquired() const { return acquired_; }

 private:
  std::string key_;
  bool acquired_ = false;
};

}  // namespace ferry
