// The service's operations on the settings store: loading and saving the
// settings of an account run, reading a connection, clearing the "In Use" flags
// and reading the trigger port.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "service/transfer/account_settings.h"

namespace ferry {

// What was found in the store at load time for the values whose stored copy is
// run state ("In Use", "LastDate", "LastTitle").
struct LoadedState {
  bool inUsePresent = false;
  bool lastDatePresent = false;
  bool lastTitlePresent = false;
};

// Reads every value in the store's order (old names before new ones); a missing
// value or one longer than its field leaves the field as it was.
int LoadSettings(AccountSettings& settings, LoadedState* state = nullptr);

enum class SaveScope {
  // Every value the service writes back, creating keys and values and removing
  // old names; run state that was already stored is left to its owner.
  Everything,
  // Only the values that differ from `since` (what this run loaded or last saved).
  Changes,
};

// Writes the settings back. With SaveScope::Everything, `since` and `state`
// tell which run-state values were already stored (they are then not rewritten).
int SaveSettings(const AccountSettings& settings, SaveScope scope, const AccountSettings& since,
                 const LoadedState& state = {});

struct AccountEntry {
  std::string connectionName;
  std::string accountName;
  uint32_t enableAccount = 0;
};

// The most accounts read for one connection (the console makes at most 250).
inline constexpr std::size_t kMaxConnectionAccounts = 1000;

struct ConnectionRecord {
  std::string name;
  int32_t accountCount = 0;
  std::vector<AccountEntry> accounts;  // in name order
  int32_t timeout = -1;  // the caller presets -1
  uint32_t usingRouter = 0;
  uint32_t disableMt = 0;
  uint32_t listenRas = 1;     // the global value; 1 when it is missing
  uint32_t maxParallel = 10;  // the global "Max Parallel", kept within 1..250
};

// Reads the connection's values, the global "Listen RAS" and "Max Parallel" and
// every account of the connection (at most kMaxConnectionAccounts, in name order
// without regard to case). Names longer than schema::kNameScanWidth are skipped.
int EnumerateConnection(ConnectionRecord& record);

int ResetInUseFlags();

// What "mailferry2 -status" shows of an account's last run.
struct LastRun {
  std::string connectionName;
  std::string accountName;
  std::string time;     // "YYYY-MM-DD hh:mm:ss", empty: never ran
  std::string outcome;  // "ok" or "failed"
  uint32_t forwarded = 0;
  uint32_t left = 0;
  std::string error;
};

// Writes the last run's values into its account's key.
void WriteLastRun(const LastRun& run);

// The last run of every account of every connection, in the store's order.
std::vector<LastRun> ReadLastRuns();

// "TriggerPort" of the global key, 2000 when missing; the low 16 bits are used.
uint16_t ReadTriggerPort();

}  // namespace ferry
