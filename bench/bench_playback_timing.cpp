// Measured error of macro pauses: each pause is played as a one-delay macro
// through the monitor's player and precise timer, and the time from the start
// of playback to its end is compared with the pause. A long macro of short
// pauses shows whether errors add up. Plain program: the windows build has no
// Google Benchmark; run it under wine or on Windows.
#include <algorithm>
#include <cstdio>
#include <vector>

#include "app/MacroPlayer.h"
#include "platform/PreciseTimer.h"
#include "platform/SyntheticInput.h"

#ifdef _WIN32
#include <windows.h>
#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif
#endif

namespace {

class NoInput final : public vx::ISyntheticInput {
 public:
  bool CursorPos(vx::ScreenPoint&) override { return true; }
  void KeybdEvent(std::uint8_t, std::uint8_t, std::uint32_t) override {}
  void MouseEvent(std::uint32_t, std::int32_t, std::int32_t, std::int32_t, std::uintptr_t) override {}
};

vx::TMACROKEYINFO Pauses(int count, int ms) {
  vx::TMACROKEYINFO m{};
  for (int i = 0; i < count; ++i) {
    m.MacroList[i] = {vx::kActionDelay, 1, static_cast<std::uint8_t>(ms & 0xFF),
                      static_cast<std::uint8_t>(ms >> 8)};
  }
  m.MacroListCount = count;
  return m;
}

void Report(int pause, std::vector<double> errors) {
  std::sort(errors.begin(), errors.end());
  double sum = 0;
  for (double e : errors) sum += e;
  const auto at = [&](double q) { return errors[static_cast<std::size_t>(q * (errors.size() - 1))]; };
  std::printf("pause %5d ms  runs %3zu  error us: mean %8.1f  median %8.1f  p99 %8.1f  min %8.1f  max %8.1f\n",
              pause, errors.size(), sum / errors.size(), at(0.5), at(0.99), errors.front(), errors.back());
}

}  // namespace

int main() {
  vx::IPreciseTimer& timer = vx::PlatformPreciseTimer();
  NoInput input;
#ifdef _WIN32
  HANDLE probe = ::CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, TIMER_ALL_ACCESS);
  std::printf("high-resolution waitable timer: %s\n", probe ? "accepted" : "refused (timeBeginPeriod fallback)");
  if (probe) ::CloseHandle(probe);
#endif
  struct Case {
    int pause;
    int runs;
  };
  for (Case c : {Case{1, 200}, Case{6, 200}, Case{15, 100}, Case{100, 30}, Case{1000, 5}}) {
    std::vector<double> errors;
    const vx::TMACROKEYINFO macro = Pauses(1, c.pause);
    for (int i = 0; i < c.runs; ++i) {
      const std::int64_t start = timer.NowMicroseconds();
      vx::PlayMacroActions(macro, {}, input, timer);
      errors.push_back(static_cast<double>(timer.NowMicroseconds() - start - c.pause * 1000LL));
    }
    Report(c.pause, errors);
  }
  // 127 pauses of 6 ms: absolute deadlines keep the total on time.
  std::vector<double> totals;
  const vx::TMACROKEYINFO longMacro = Pauses(127, 6);
  for (int i = 0; i < 10; ++i) {
    const std::int64_t start = timer.NowMicroseconds();
    vx::PlayMacroActions(longMacro, {}, input, timer);
    totals.push_back(static_cast<double>(timer.NowMicroseconds() - start - 127 * 6000LL));
  }
  std::printf("127 x 6 ms macro, total error:\n");
  Report(127 * 6, totals);
  return 0;
}
