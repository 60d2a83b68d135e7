#pragma once
// A stop request that stays set once given. Threads block on their own work
// and on a StopSignal together: on Windows through the event handle (for
// WaitForMultipleObjects), elsewhere through a wake callback that the
// blocking code registers for the duration of its wait.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <list>
#include <mutex>

namespace vx {

class StopSignal {
 public:
  StopSignal();
  ~StopSignal();
  StopSignal(const StopSignal&) = delete;
  StopSignal& operator=(const StopSignal&) = delete;

  // Sets the signal and runs every registered wake callback once.
  void Set();
  bool IsSet() const;
  // Blocks until set or until the milliseconds have passed; true when set.
  bool WaitFor(std::uint32_t ms) const;
  // The manual-reset event behind the signal on Windows; nullptr elsewhere.
  void* NativeHandle() const { return event_; }

  // Runs `wake` when the signal is set while the registration lives (at once
  // when it is already set). Callbacks run on the thread that calls Set; they
  // may lock the waiter's mutex to notify it, so create and destroy a
  // Registration while holding no lock of your own. IsSet takes no lock and
  // may be called under any.
  class Registration {
   public:
    Registration(const StopSignal& signal, std::function<void()> wake);
    ~Registration();
    Registration(const Registration&) = delete;
    Registration& operator=(const Registration&) = delete;

   private:
    const StopSignal& signal_;
    std::list<std::function<void()>>::iterator it_;
  };

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable_any cv_;
  std::atomic<bool> set_{false};
  mutable std::list<std::function<void()>> wakers_;
  void* event_ = nullptr;
};

namespace detail {
// The OS event of a StopSignal (Windows); no-ops returning nullptr elsewhere.
void* CreateStopEvent();
void SetStopEvent(void* event);
void CloseStopEvent(void* event);
}  // namespace detail

}  // namespace vx
