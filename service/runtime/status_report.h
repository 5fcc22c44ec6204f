// What "mailferry2 -status" prints: each account's last run.
#pragma once

#include <string>
#include <vector>

#include "service/runtime/config_store.h"

namespace ferry {

// One block per account: "CONNECTION\ACCOUNT" and its last run's time,
// outcome, messages forwarded and left, and last error.
std::string FormatStatus(const std::vector<LastRun>& runs);

}  // namespace ferry
