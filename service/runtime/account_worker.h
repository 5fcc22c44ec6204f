// The worker of one account run: a thread of its own that loads the account's
// settings (StoredRun), runs the account on them and writes its state back.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace ferry {

class RunContext;
using AccountRunFunction = int (*)(RunContext&);

inline constexpr uint32_t kWorkerMagic = 1919;
inline constexpr std::size_t kWorkerNameWidth = 80;

// What the starter hands to the worker thread; the worker frees it.
struct WorkerStartBlock {
  uint32_t magic = kWorkerMagic;
  std::string connectionName;  // at most 79 characters
  std::string accountName;     // at most 79 characters
  AccountRunFunction run = nullptr;
};

// Starts a worker thread for the account and returns at once (0). A thread that
// cannot be started loses this run; nothing is reported. `run` is the account
// run (RunAccount unless a test supplies another).
int StartAccountWorker(const std::string& connectionName, const std::string& accountName,
                       AccountRunFunction run = nullptr);

// Runs the accounts of a connection: at most `maxParallel` worker threads (at
// least one), each taking the next account of `accounts` in the order given
// until none is left, so the accounts past the first `maxParallel` wait for a
// free worker. Returns at once (0).
int StartConnectionRuns(const std::string& connectionName, const std::vector<std::string>& accounts, int maxParallel,
                        AccountRunFunction run = nullptr);

// The worker thread's function: with the right magic number, loads the
// settings, runs the account and writes its state back; an exception from the
// run ends only this worker. Frees the block in every case.
void AccountWorker(WorkerStartBlock* block);

// Makes the account's keys and adds every value the service keeps that is
// missing, with its default (old names migrated; stored values left as they
// are): afterwards the connection key and the account key hold every value.
// Answers the number of failed writes (each reported as an error event).
int CreateAccountSettings(const std::string& connectionName, const std::string& accountName);

// Waits until every worker started has ended. The service never waits for its
// workers; tests do, before they remove the store the workers use.
bool WaitForWorkers(std::chrono::milliseconds timeout);

}  // namespace ferry
