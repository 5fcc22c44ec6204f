#include "service/runtime/account_worker.h"

#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

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

void CreateAccountSettings(const std::string& connectionName, const std::string& accountName) {
  StoredRun stored(connectionName, accountName);
}

bool WaitForWorkers(std::chrono::milliseconds timeout) {
  std::unique_lock lock(gWorkersMutex);
  return gWorkersChanged.wait_for(lock, timeout, [] { return gRunningWorkers == 0; });
}

}  // namespace ferry
