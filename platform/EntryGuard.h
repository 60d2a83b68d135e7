#pragma once
// Code that Windows enters (window procedures, hook, timer and notification
// callbacks) lets no exception out: one leaving it is swallowed or ends the
// process unpredictably. The failure is logged and the caller gets a
// fallback, so the callback still does what its caller relies on.
#include <exception>
#include <mutex>
#include <shared_mutex>
#include <string>

#include "platform/Debug.h"

namespace vx {

inline void LogEntryFailure(const char* where, const char* what) noexcept {
  try {
    DebugOutput(std::string(where) + " failed: " + what);
  } catch (...) {
  }
}

template <class R, class F>
R Guarded(const char* where, R fallback, F&& fn) noexcept {
  try {
    return fn();
  } catch (const std::exception& e) {
    LogEntryFailure(where, e.what());
  } catch (...) {
    LogEntryFailure(where, "unknown exception");
  }
  return fallback;
}

template <class F>
void Guarded(const char* where, F&& fn) noexcept {
  Guarded(where, 0, [&] {
    fn();
    return 0;
  });
}

// What a system callback reaches through its context pointer, when the
// unregistration does not wait for a call already running: Close waits for
// one, and later calls find nothing. Outlives the registration.
template <class T>
class CallbackTarget {
 public:
  void Open(T* target) {
    std::unique_lock lock(mutex_);
    target_ = target;
  }
  void Close() {
    std::unique_lock lock(mutex_);
    target_ = nullptr;
  }
  template <class F>
  void Call(F&& fn) {
    std::shared_lock lock(mutex_);
    if (target_ != nullptr) fn(*target_);
  }

 private:
  std::shared_mutex mutex_;
  T* target_ = nullptr;
};

}  // namespace vx
