// The scheduler's decisions, one pass of the service loop at a time: when a
// dial-up line, the permanent connection "NORAS" or a triggered connection is
// run. The clock, waiting, the dial-up enumeration and the start of a
// connection's account runs come in as hooks, so a pass can be driven with a
// simulated clock. Ticks keep to their 5-s deadline on the clock whatever
// triggers arrive in between.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/dial_up_lines.h"
#include "service/runtime/config_store.h"
#include "service/runtime/loop_events.h"

namespace ferry {

inline constexpr std::chrono::milliseconds kTickWait{5000};
inline constexpr std::chrono::milliseconds kRouterWait{10000};
inline constexpr int32_t kTickSeconds = 5;

struct SchedulerHooks {
  // Waits for StopEvent or TriggerEvent (StopEvent wins).
  std::function<Wake(std::chrono::milliseconds)> waitStopOrTrigger;
  // Waits for StopEvent alone; true when it was set.
  std::function<bool(std::chrono::milliseconds)> waitStop;
  // The oldest queued trigger name ("" when none).
  std::function<std::string()> takeTrigger;
  // The monotonic clock.
  std::function<std::chrono::steady_clock::time_point()> now;
  // The active dial-up lines and the count reported; 0 on success.
  std::function<int(std::vector<DialUpLine>*, int*)> enumerateLines;
  // Starts the runs of a connection's enabled accounts, in the order given, at
  // most `maxParallel` at a time (never waited for).
  std::function<void(const std::string& connection, const std::vector<std::string>& accounts, int maxParallel)>
      startRuns;
};

// The hooks of the running service: the steady clock, the loop's events, the
// dial-up binding and StartConnectionRuns.
SchedulerHooks ServiceSchedulerHooks(LoopEvents& events);

// Reads the key of `name` into a record (Timeout preset −1). An empty name or
// one longer than schema::kNameScanWidth gives an empty record.
ConnectionRecord ReadConnection(const std::string& name);

class Scheduler {
 public:
  explicit Scheduler(SchedulerHooks hooks);

  // Reads the permanent connection "NORAS": its Timeout and the global
  // "Listen RAS" (1 when missing, as for the account settings). No run happens.
  void Start();

  // One pass: wait until the next tick's deadline or a trigger, run the
  // triggered connection, then the dial-up or permanent-connection tick when
  // its deadline has come. False when StopEvent ended the loop.
  bool Pass();

  bool ListenRas() const { return listenRas_; }

 private:
  struct Slot {
    uint64_t handle = 0;          // seen at this tick
    uint64_t previousHandle = 0;  // seen at the previous tick
    int32_t counter = 0;          // seconds since the line's last run
    int32_t timeout = 0;          // the connection's Timeout when the line came up
  };

  void RunConnection(const ConnectionRecord& record);
  bool TriggeredRun();
  void Tick();
  void DialUpTick();
  void PermanentTick();
  // The slot of the previous tick that held `handle`, or -1.
  int KnownSlot(uint64_t handle) const;
  // Enumerates the lines that are up and walks them with their slot: `known`
  // is the line's former slot, or null for a line not seen before; the known
  // count follows the enumeration.
  using LineUpdate = std::function<void(const DialUpLine& line, Slot& slot, const Slot* known)>;
  void UpdateLines(const LineUpdate& update);

  SchedulerHooks hooks_;
  std::array<Slot, kMaxDialUpLines> slots_{};
  int knownCount_ = 0;
  bool listenRas_ = true;
  int32_t permanentTimeout_ = -1;
  int32_t permanentCounter_ = 0;
  std::chrono::steady_clock::time_point nextTick_{};
};

}  // namespace ferry
