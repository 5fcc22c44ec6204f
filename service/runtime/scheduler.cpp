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
  hooks.now = [] { return std::chrono::steady_clock::now(); };
  hooks.enumerateLines = [](std::vector<DialUpLine>* lines, int* count) { return EnumerateActiveLines(lines, count); };
  hooks.startRuns = [](const std::string& connection, const std::vector<std::string>& accounts, int maxParallel) {
    StartConnectionRuns(connection, accounts, maxParallel);
  };
  return hooks;
}

ConnectionRecord ReadConnection(const std::string& name) {
  ConnectionRecord record;
  record.name = name;
  record.timeout = static_cast<int32_t>(schema::DefaultNumber(schema::Level::Connection, schema::kTimeout));
  record.listenRas = static_cast<uint32_t>(schema::DefaultNumber(schema::Level::Global, schema::kListenRas));
  if (!name.empty() && name.size() <= schema::kNameScanWidth) EnumerateConnection(record);
  return record;
}

Scheduler::Scheduler(SchedulerHooks hooks) : hooks_(std::move(hooks)) {}

void Scheduler::Start() {
  ConnectionRecord permanent = ReadConnection(schema::kPermanentConnection);
  permanentTimeout_ = permanent.timeout;
  listenRas_ = permanent.listenRas != 0;
  permanentCounter_ = 0;
  nextTick_ = hooks_.now() + kTickWait;
}

bool Scheduler::Pass() {
  const auto now = hooks_.now();
  const auto wait = nextTick_ > now ? std::chrono::duration_cast<std::chrono::milliseconds>(nextTick_ - now)
                                    : std::chrono::milliseconds(0);
  switch (hooks_.waitStopOrTrigger(wait)) {
    case Wake::Stop:
      return false;
    case Wake::Trigger:
      if (!TriggeredRun()) return false;
      break;
    case Wake::Timeout:
      break;
  }
  // A tick is due at every 5-s deadline; when the loop fell behind (a run
  // after a trigger waited), the ticks missed follow pass by pass.
  if (hooks_.now() >= nextTick_) {
    nextTick_ += kTickWait;
    Tick();
  }
  return true;
}

void Scheduler::Tick() {
  if (listenRas_) {
    DialUpTick();
  } else {
    PermanentTick();
  }
}

void Scheduler::RunConnection(const ConnectionRecord& record) {
  std::vector<std::string> enabled;
  for (const AccountEntry& entry : record.accounts)
    if (entry.enableAccount != 0) enabled.push_back(entry.accountName);
  if (!enabled.empty()) hooks_.startRuns(record.name, enabled, static_cast<int>(record.maxParallel));
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
  for (Slot& slot : slots_) slot.previousHandle = slot.handle;
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
  if (record.usingRouter == 0) return true;
  // The router brings its lines up for the run; they are taken as known after
  // a wait of 10 s.
  if (hooks_.waitStop(kRouterWait)) return false;
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
