// The events the scheduler loop shares with the other threads of the service:
// StopEvent (set once, never reset) and the queue of triggered connection
// names (TriggerEvent is set while the queue holds a name). One mutex guards
// both, so a name and its event reach the scheduler together.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>

namespace ferry {

enum class Wake { Stop, Trigger, Timeout };

class LoopEvents {
 public:
  // The longest connection name queued, and the most names waiting at once.
  static constexpr std::size_t kTriggerNameLimit = 60;
  static constexpr std::size_t kTriggerQueueLimit = 64;

  void SetStop();
  // Queues `name` and sets TriggerEvent. A name already waiting (letter case
  // ignored), an empty or overlong name, or a full queue is not queued: false.
  bool SetTrigger(const std::string& name);

  // Waits up to `timeout` for either event; a set StopEvent wins over a trigger.
  Wake WaitStopOrTrigger(std::chrono::milliseconds timeout);
  // Waits up to `timeout` for StopEvent; true when it is set.
  bool WaitStop(std::chrono::milliseconds timeout);
  bool StopSet();

  // Takes the oldest queued name ("" when none); TriggerEvent stays set while
  // more names wait, so each queued name runs once.
  std::string TakeTrigger();

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  bool stop_ = false;
  std::deque<std::string> triggers_;
};

// The events of the running scheduler loop, for SignalStop. A stop requested
// while no loop runs is kept and ends the next loop at its first wait.
void PublishLoopEvents(LoopEvents* events);
void WithdrawLoopEvents(LoopEvents* events);

// Sets StopEvent of the running loop (from any thread).
void SignalStop();
// Whether SignalStop was called since the running loop was published (a
// command refused or ended then is the stop's doing, not a failure).
bool StopSignalled();

}  // namespace ferry
