// The store's side of one account run, owned by its worker. It migrates old
// value names, loads the settings, opens the debug log and runs the account's
// command (then loads the settings again). While the run goes on and when it is
// destroyed, it writes back only the values the run owns that it changed ("In
// Use", the tickers' state) and, after a run, its outcome; the rest of the
// store is the user's. The run itself sees only the RunContext.
#pragma once

#include <chrono>
#include <string>

#include "service/runtime/config_store.h"
#include "service/runtime/service_reports.h"
#include "service/transfer/debug_log.h"
#include "service/transfer/run_context.h"

namespace ferry {

class StoredRun final : public ServiceReports {
 public:
  StoredRun(const std::string& connectionName, const std::string& accountName,
            std::chrono::milliseconds receiveTimeout = kDefaultReceiveTimeout);
  // Closes the log and writes the owned values the run changed; after a run,
  // also its outcome ("Last Run", "Last Outcome", ...).
  ~StoredRun() override;
  StoredRun(const StoredRun&) = delete;
  StoredRun& operator=(const StoredRun&) = delete;

  RunContext& Context() { return context_; }
  AccountSettings& Settings() { return context_.settings; }

  // Writes the owned values that changed since the load or the last write.
  void StateChanged(const AccountSettings& settings) override;

 private:
  AccountSettings saved_;  // the store's values as this run last loaded or wrote them
  DebugLog log_;
  RunContext context_;
};

}  // namespace ferry
