// The service's operations on the settings store: loading the settings of an
// account run and writing back the values it owns, reading a connection,
// clearing the "In Use" flags and reading the trigger port.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "service/transfer/account_settings.h"

namespace ferry {

// Reads every value in the store's order (old names before new ones), each
// whole up to its row's longest length; a missing value, or one longer than its
// row allows, leaves the field as it was. An empty account "Logfile" leaves the
// connection's. Creates nothing.
int LoadSettings(AccountSettings& settings);

// Moves values stored under old names in the run's global, connection and
// account keys to their current names (a current value already stored wins)
// and removes the old and retired names. Keys are opened, never made. Answers
// the number of failed writes (each reported as an error event).
int MigrateOldNames(const AccountSettings& settings);

// What "-create" does: makes the keys of the account, migrates old names and
// adds every value the service keeps that is missing, with its value in
// `settings`; values already stored are left as they are. Answers the number
// of failed writes (each reported as an error event).
int CompleteSettings(const AccountSettings& settings);

// Writes back what a run owns ("In Use" and the tickers' state) where it
// differs from `since`, each as a single value. The account's key is never
// made again: a key deleted meanwhile takes no write. Answers the number of
// failed writes (each reported as an error event).
int WriteRunState(const AccountSettings& now, const AccountSettings& since);

// Why the store cannot be used by the service, as the end of a sentence
// naming it ("is a directory", "is read-only", "cannot be opened for writing
// (...)"); empty when it can. A missing store is made.
std::string StoreUnusableReason();

// A store call's failure in words, with what is wrong with the store file
// when something is.
std::string DescribeStoreError(long rc);

// The error event of a write that failed: the store, the key and value, the reason.
void ReportStoreWriteFailure(const std::string& keyPath, std::string_view name, long rc);

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

// Writes the last run's values into its account's key, when the key still exists.
void WriteLastRun(const LastRun& run);

// The last run of every account of every connection, in the store's order.
std::vector<LastRun> ReadLastRuns();

// "TriggerPort" of the global key, 2000 when missing; the low 16 bits are used.
uint16_t ReadTriggerPort();

}  // namespace ferry
