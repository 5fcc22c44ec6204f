#include "service/runtime/loop_events.h"

namespace ferry {

void LoopEvents::SetStop() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
}

void LoopEvents::SetTrigger(const std::string& name) {
  {
    std::lock_guard lock(mutex_);
    triggerName_ = name.substr(0, kTriggerNameLimit);
    trigger_ = true;
  }
  changed_.notify_all();
}

Wake LoopEvents::WaitStopOrTrigger(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  changed_.wait_for(lock, timeout, [this] { return stop_ || trigger_; });
  if (stop_) return Wake::Stop;
  if (trigger_) return Wake::Trigger;
  return Wake::Timeout;
}

bool LoopEvents::WaitStop(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [this] { return stop_; });
}

bool LoopEvents::StopSet() {
  std::lock_guard lock(mutex_);
  return stop_;
}

std::string LoopEvents::TakeTrigger() {
  std::lock_guard lock(mutex_);
  trigger_ = false;
  return triggerName_;
}

namespace {

std::mutex gPublishedMutex;
LoopEvents* gPublished = nullptr;
bool gStopPending = false;

}  // namespace

void PublishLoopEvents(LoopEvents* events) {
  std::lock_guard lock(gPublishedMutex);
  gPublished = events;
  if (gStopPending) {
    gStopPending = false;
    events->SetStop();
  }
}

void WithdrawLoopEvents(LoopEvents* events) {
  std::lock_guard lock(gPublishedMutex);
  if (gPublished == events) gPublished = nullptr;
}

void SignalStop() {
  std::lock_guard lock(gPublishedMutex);
  if (gPublished != nullptr) {
    gPublished->SetStop();
  } else {
    gStopPending = true;
  }
}

}  // namespace ferry
