#pragma once
// Waits aimed at absolute deadlines on a monotonic clock, so that a series of
// pauses does not add up the error of each wait.
#include <cstdint>

namespace vx {

class IPreciseTimer {
 public:
  virtual ~IPreciseTimer() = default;
  // Monotonic time in microseconds (QueryPerformanceCounter on Windows).
  virtual std::int64_t NowMicroseconds() = 0;
  // Returns at the deadline or as soon after it as the system allows; at once
  // when it has passed.
  virtual void SleepUntil(std::int64_t deadlineMicroseconds) = 0;
  // As SleepUntil, but returns early, with true, as soon as the calling
  // thread has window messages, sent messages or input waiting (Windows:
  // MsgWaitForMultipleObjectsEx on the timer). Where no thread has messages,
  // the same as SleepUntil.
  virtual bool SleepUntilOrMessage(std::int64_t deadlineMicroseconds) = 0;
  // Brackets a series of precise waits: the implementation may hold a finer
  // system timer resolution in between, and must give it back in End.
  virtual void BeginPrecise() = 0;
  virtual void EndPrecise() = 0;
};

// The system's precise timer (monotonic clock and absolute sleeps on Linux;
// a high-resolution waitable timer on Windows).
IPreciseTimer& PlatformPreciseTimer();

// Holds the fine resolution for the life of a scope.
class PreciseScope {
 public:
  explicit PreciseScope(IPreciseTimer& timer) : timer_(timer) { timer_.BeginPrecise(); }
  ~PreciseScope() { timer_.EndPrecise(); }
  PreciseScope(const PreciseScope&) = delete;
  PreciseScope& operator=(const PreciseScope&) = delete;

 private:
  IPreciseTimer& timer_;
};

}  // namespace vx
