// Precise waits on the Linux host: CLOCK_MONOTONIC with absolute sleeps.
#include <cerrno>
#include <ctime>

#include "platform/PreciseTimer.h"

namespace vx {
namespace {

class PosixPreciseTimer final : public IPreciseTimer {
 public:
  std::int64_t NowMicroseconds() override {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
  }
  void SleepUntil(std::int64_t deadline) override {
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(deadline / 1000000);
    ts.tv_nsec = static_cast<long>((deadline % 1000000) * 1000);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
    }
  }
  bool SleepUntilOrMessage(std::int64_t deadline) override {
    SleepUntil(deadline);
    return false;
  }
  void BeginPrecise() override {}
  void EndPrecise() override {}
};

}  // namespace

IPreciseTimer& PlatformPreciseTimer() {
  static PosixPreciseTimer timer;
  return timer;
}

}  // namespace vx
