// The events the scheduler loop shares with the other threads of the service:
// StopEvent (set once, never reset), TriggerEvent with the TriggerName it
// carries, both manual-reset. One mutex guards the flags and the name, so the
// listener's name and event reach the scheduler together.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>

namespace ferry {

enum class Wake { Stop, Trigger, Timeout };

class LoopEvents {
 public:
  // The longest TriggerName kept (a 32-byte field with its terminator).
  static constexpr std::size_t kTriggerNameLimit = 31;

  void SetStop();
  // Stores `name` (cut to kTriggerNameLimit) as TriggerName and sets TriggerEvent.
  void SetTrigger(const std::string& name);

  // Waits up to `timeout` for either event; a set StopEvent wins over a trigger.
  Wake WaitStopOrTrigger(std::chrono::milliseconds timeout);
  // Waits up to `timeout` for StopEvent; true when it is set.
  bool WaitStop(std::chrono::milliseconds timeout);
  bool StopSet();

  // Copies TriggerName and resets TriggerEvent in one step, so a trigger that
  // arrives while the scheduler runs the previous one is kept for its next pass.
  std::string TakeTrigger();

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool stop_ = false;
  bool trigger_ = false;
  std::string triggerName_;
};

// The events of the running scheduler loop, for SignalStop. A stop requested
// while no loop runs is kept and ends the next loop at its first wait.
void PublishLoopEvents(LoopEvents* events);
void WithdrawLoopEvents(LoopEvents* events);

// Sets StopEvent of the running loop (from any thread).
void SignalStop();

}  // namespace ferry
