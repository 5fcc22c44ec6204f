// The store's side of one account run, owned by its worker. It loads the
// settings, opens the debug log, runs the account's command and writes every
// value back (creating missing keys and values, replacing old names); while
// the run goes on and when it is destroyed, it writes back what the run
// changed. The run itself sees only the RunContext.
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
  // Closes the log and writes what the run changed; after a run, also its
  // outcome ("Last Run", "Last Outcome", ...).
  ~StoredRun() override;
  StoredRun(const StoredRun&) = delete;
  StoredRun& operator=(const StoredRun&) = delete;

  RunContext& Context() { return context_; }
  AccountSettings& Settings() { return context_.settings; }

  // Writes what changed since the load or the last write.
  void StateChanged(const AccountSettings& settings) override;

 private:
  AccountSettings saved_;  // the store's values as this run last loaded or wrote them
  DebugLog log_;
  RunContext context_;
};

}  // namespace ferry
