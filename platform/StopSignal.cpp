#include "platform/StopSignal.h"

#include <chrono>
#include <condition_variable>

namespace vx {

StopSignal::StopSignal() : event_(detail::CreateStopEvent()) {}

StopSignal::~StopSignal() { detail::CloseStopEvent(event_); }

void StopSignal::Set() {
  std::list<std::function<void()>> wake;
  {
    std::lock_guard lock(mutex_);
    if (set_.load()) return;
    set_.store(true, std::memory_order_release);
    // Call the wakers under the lock: a Registration being destroyed waits
    // for it, so a waker never runs after its owner has gone.
    for (auto& w : wakers_) w();
  }
  detail::SetStopEvent(event_);
  cv_.notify_all();
}

bool StopSignal::IsSet() const { return set_.load(std::memory_order_acquire); }

bool StopSignal::WaitFor(std::uint32_t ms) const {
  std::unique_lock lock(mutex_);
  return cv_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return set_.load(); });
}

StopSignal::Registration::Registration(const StopSignal& signal, std::function<void()> wake) : signal_(signal) {
  std::lock_guard lock(signal_.mutex_);
  if (signal_.set_.load()) wake();
  it_ = signal_.wakers_.insert(signal_.wakers_.end(), std::move(wake));
}

StopSignal::Registration::~Registration() {
  std::lock_guard lock(signal_.mutex_);
  signal_.wakers_.erase(it_);
}

}  // namespace vx
