#include "service/runtime/account_worker.h"

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/command_interpreter.h"
#include "platform/registry.h"
#include "schema/registry_schema.h"
#include "service/runtime/service_events.h"
#include "service/runtime/stored_run.h"
#include "service/transfer/account_run.h"

namespace ferry {
namespace {

std::mutex gWorkersMutex;
std::condition_variable gWorkersChanged;
int gRunningWorkers = 0;

void WorkerEnded() {
  // Notified under the lock: a waiter that sees the count drop may end the
  // process at once, and the worker must be done with the condition by then.
  std::lock_guard lock(gWorkersMutex);
  --gRunningWorkers;
  gWorkersChanged.notify_all();
}

std::string Bounded(const std::string& name) { return name.substr(0, kWorkerNameWidth - 1); }

// The global "Command Timeout" in seconds (its default when missing or out of range).
std::chrono::milliseconds ReadCommandTimeout() {
  const schema::ValueInfo* info = schema::FindValue(schema::Level::Global, schema::kCommandTimeout);
  uint32_t seconds = static_cast<uint32_t>(info->defaultNumber);
  reg::KeyHolder key;
  if (reg::OpenKey(reg::LocalMachine(), schema::kParametersKey, reg::kQueryValue, key.out()) == reg::kOk) {
    uint32_t stored = 0;
    uint32_t size = sizeof stored;
    uint32_t type = 0;
    if (reg::QueryValue(key.get(), schema::kCommandTimeout, &type, &stored, &size) == reg::kOk && type == reg::kDword &&
        size == sizeof stored && stored >= info->min && stored <= info->max)
      seconds = stored;
  }
  return std::chrono::seconds(seconds);
}

void ReportCommandEnded(const std::string& command, std::chrono::milliseconds timeout) {
  ReportServiceEvent(kEventFailure, "pre-run command still running after " +
                                        std::to_string(timeout.count() / 1000) + " s, ended: " + command);
}


}  // namespace

int StartAccountWorker(const std::string& connectionName, const std::string& accountName, AccountRunFunction run) {
  auto block = std::make_unique<WorkerStartBlock>();
  block->connectionName = Bounded(connectionName);
  block->accountName = Bounded(accountName);
  block->run = run != nullptr ? run : &RunAccount;
  {
    std::lock_guard lock(gWorkersMutex);
    ++gRunningWorkers;
  }
  try {
    std::thread([raw = block.get()] {
      AccountWorker(raw);
      WorkerEnded();
    }).detach();
    block.release();  // the worker frees it
  } catch (const std::system_error&) {
    WorkerEnded();
  }
  return 0;
}

namespace {

// The accounts of one connection run that wait for a worker.
struct RunQueue {
  std::mutex mutex;
  std::vector<std::string> accounts;
  std::size_t next = 0;
  std::string connectionName;
  AccountRunFunction run = nullptr;

  bool Take(std::string* account) {
    std::lock_guard lock(mutex);
    if (next >= accounts.size()) return false;
    *account = accounts[next++];
    return true;
  }
};

}  // namespace

int StartConnectionRuns(const std::string& connectionName, const std::vector<std::string>& accounts, int maxParallel,
                        AccountRunFunction run) {
  if (accounts.empty()) return 0;
  SetCommandPolicy({ReadCommandTimeout(), &ReportCommandEnded});
  auto queue = std::make_shared<RunQueue>();
  queue->accounts = accounts;
  queue->connectionName = Bounded(connectionName);
  queue->run = run != nullptr ? run : &RunAccount;
  const std::size_t workers = std::min<std::size_t>(accounts.size(), static_cast<std::size_t>(std::max(maxParallel, 1)));
  for (std::size_t i = 0; i < workers; ++i) {
    {
      std::lock_guard lock(gWorkersMutex);
      ++gRunningWorkers;
    }
    try {
      std::thread([queue] {
        std::string account;
        while (queue->Take(&account)) {
          auto block = std::make_unique<WorkerStartBlock>();
          block->connectionName = queue->connectionName;
          block->accountName = Bounded(account);
          block->run = queue->run;
          AccountWorker(block.release());
        }
        WorkerEnded();
      }).detach();
    } catch (const std::system_error&) {
      // The workers already started take the accounts this one would have run.
      WorkerEnded();
    }
  }
  return 0;
}

void AccountWorker(WorkerStartBlock* block) {
  std::unique_ptr<WorkerStartBlock> owned(block);
  if (owned->magic == kWorkerMagic) {
    try {
      StoredRun stored(owned->connectionName, owned->accountName);
      // The run guards itself against a second run of the same account; the
      // worker adds nothing that could let two runs overlap or block each other.
      owned->run(stored.Context());
    } catch (...) {
      // An exception the run did not catch ends only this worker; what the run
      // changed has been written back on the way out.
    }
  }
}

int CreateAccountSettings(const std::string& connectionName, const std::string& accountName) {
  AccountSettings settings;
  settings.connectionName = connectionName;
  settings.accountName = accountName;
  LoadSettings(settings);
  return CompleteSettings(settings);
}

bool WaitForWorkers(std::chrono::milliseconds timeout) {
  std::unique_lock lock(gWorkersMutex);
  return gWorkersChanged.wait_for(lock, timeout, [] { return gRunningWorkers == 0; });
}

}  // namespace ferry
