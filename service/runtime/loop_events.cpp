#include "service/runtime/loop_events.h"

#include <algorithm>
#include <cctype>

namespace ferry {

void LoopEvents::SetStop() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
}

namespace {

bool SameName(const std::string& a, const std::string& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](unsigned char x, unsigned char y) {
    return std::tolower(x) == std::tolower(y);
  });
}

}  // namespace

bool LoopEvents::SetTrigger(const std::string& name) {
  if (name.empty() || name.size() > kTriggerNameLimit) return false;
  {
    std::lock_guard lock(mutex_);
    if (triggers_.size() >= kTriggerQueueLimit) return false;
    for (const std::string& waiting : triggers_)
      if (SameName(waiting, name)) return false;
    triggers_.push_back(name);
  }
  changed_.notify_all();
  return true;
}

Wake LoopEvents::WaitStopOrTrigger(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  changed_.wait_for(lock, timeout, [this] { return stop_ || !triggers_.empty(); });
  if (stop_) return Wake::Stop;
  if (!triggers_.empty()) return Wake::Trigger;
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
  if (triggers_.empty()) return {};
  std::string name = std::move(triggers_.front());
  triggers_.pop_front();
  return name;
}

namespace {

std::mutex gPublishedMutex;
LoopEvents* gPublished = nullptr;
bool gStopPending = false;
bool gStopSignalled = false;  // since the running loop was published

}  // namespace

void PublishLoopEvents(LoopEvents* events) {
  std::lock_guard lock(gPublishedMutex);
  gPublished = events;
  gStopSignalled = gStopPending;
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
  gStopSignalled = true;
  if (gPublished != nullptr) {
    gPublished->SetStop();
  } else {
    gStopPending = true;
  }
}

bool StopSignalled() {
  std::lock_guard lock(gPublishedMutex);
  return gStopSignalled;
}

}  // namespace ferry
