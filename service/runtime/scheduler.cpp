#include "service/runtime/scheduler.h"

#include <algorithm>

#include "schema/registry_schema.h"
#include "service/runtime/account_worker.h"
#include "service/runtime/dial_up_binding.h"
#include "service/runtime/service_events.h"

namespace ferry {

SchedulerHooks ServiceSchedulerHooks(LoopEvents& events) {
  SchedulerHooks hooks;
  hooks.waitStopOrTrigger = [&events](std::chrono::milliseconds timeout) { return events.WaitStopOrTrigger(timeout); };
  hooks.waitStop = [&events](std::chrono::milliseconds timeout) { return events.WaitStop(timeout); };
  hooks.takeTrigger = [&events] { return events.TakeTrigger(); };
  hooks.enumerateLines = [](std::vector<DialUpLine>* lines, int* count) { return EnumerateActiveLines(lines, count); };
  hooks.startWorker = [](const std::string& connection, const std::string& account) {
    StartAccountWorker(connection, account);
  };
  return hooks;
}

ConnectionRecord ReadConnection(const std::string& name) {
  ConnectionRecord record;
  record.name = name;
  record.timeout = static_cast<int32_t>(schema::DefaultNumber(schema::Level::Connection, schema::kTimeout));
  record.listenRas = static_cast<uint32_t>(schema::DefaultNumber(schema::Level::Global, schema::kListenRas));
  if (name.size() < schema::kRecordNameWidth) EnumerateConnection(record);
  return record;
}

Scheduler::Scheduler(SchedulerHooks hooks) : hooks_(std::move(hooks)) {}

void Scheduler::Start() {
  ConnectionRecord permanent = ReadConnection(schema::kPermanentConnection);
  permanentTimeout_ = permanent.timeout;
  listenRas_ = permanent.listenRas != 0;
  permanentCounter_ = 0;
}

bool Scheduler::Pass() {
  for (Slot& slot : slots_) slot.previousHandle = slot.handle;
  switch (hooks_.waitStopOrTrigger(kTickWait)) {
    case Wake::Stop:
      return false;
    case Wake::Trigger:
      return TriggeredRun();
    case Wake::Timeout:
      if (listenRas_) {
        DialUpTick();
      } else {
        PermanentTick();
      }
      return true;
  }
  return true;
}

void Scheduler::RunConnection(const ConnectionRecord& record) {
  int count = std::clamp<int>(record.accountCount, 0, static_cast<int>(record.accounts.size()));
  for (int i = 0; i < count; ++i) {
    const AccountEntry& entry = record.accounts[static_cast<std::size_t>(i)];
    if (entry.enableAccount != 0) hooks_.startWorker(entry.connectionName, entry.accountName);
  }
}

int Scheduler::KnownSlot(uint64_t handle) const {
  int known = std::clamp(knownCount_, 0, kMaxDialUpLines);
  for (int j = 0; j < known; ++j) {
    if (slots_[static_cast<std::size_t>(j)].previousHandle == handle) return j;
  }
  return -1;
}

// A line's counter and Timeout travel with its handle: when a line before it
// goes down, the line moves up in the list but keeps its own schedule.
void Scheduler::UpdateLines(const LineUpdate& update) {
  std::vector<DialUpLine> lines;
  int count = 0;
  if (hooks_.enumerateLines(&lines, &count) == 0 && count > 0) {
    const auto previous = slots_;
    int n = std::min({count, static_cast<int>(lines.size()), kMaxDialUpLines});
    for (int i = 0; i < n; ++i) {
      const DialUpLine& line = lines[static_cast<std::size_t>(i)];
      Slot& slot = slots_[static_cast<std::size_t>(i)];
      int j = KnownSlot(line.handle);
      update(line, slot, j >= 0 ? &previous[static_cast<std::size_t>(j)] : nullptr);
      slot.handle = line.handle;
    }
  }
  knownCount_ = count;
}

void Scheduler::DialUpTick() {
  UpdateLines([this](const DialUpLine& line, Slot& slot, const Slot* known) {
    if (known != nullptr) {
      slot.counter = known->counter + kTickSeconds;
      slot.timeout = known->timeout;
      if (slot.timeout >= 0 && slot.timeout < slot.counter) {
        slot.counter = 0;
        RunConnection(ReadConnection(line.entryName));
      }
    } else {
      ReportServiceEvent(kEventConnectionRun, line.entryName);
      slot.counter = 0;
      ConnectionRecord record = ReadConnection(line.entryName);
      slot.timeout = record.timeout;
      RunConnection(record);
    }
  });
}

void Scheduler::PermanentTick() {
  permanentCounter_ += kTickSeconds;
  if (permanentTimeout_ >= 0 && permanentTimeout_ < permanentCounter_) {
    ReportServiceEvent(kEventConnectionRun, schema::kPermanentConnection);
    permanentCounter_ = 0;
    RunConnection(ReadConnection(schema::kPermanentConnection));
  }
}

bool Scheduler::TriggeredRun() {
  ConnectionRecord record = ReadConnection(hooks_.takeTrigger());
  RunConnection(record);
  if (hooks_.waitStop(kRouterWait)) return false;
  if (record.usingRouter == 0) return true;
  // The lines brought up for the triggered run count as known, so the next
  // tick does not run them as new; their schedule starts now.
  UpdateLines([](const DialUpLine& line, Slot& slot, const Slot* known) {
    if (known != nullptr) {
      slot.counter = known->counter;
      slot.timeout = known->timeout;
    } else {
      slot.counter = 0;
      slot.timeout = ReadConnection(line.entryName).timeout;
    }
  });
  return true;
}

}  // namespace ferry
