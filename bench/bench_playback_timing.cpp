// Measured error of macro pauses: each pause is played between a key press
// and its release through the monitor's player and precise timer, waiting
// for the deadline or a message as the monitor does, and the
// time between the two synthetic key events is compared with the pause, as a
// game would see it. A long macro of short pauses shows whether errors add
// up; the playback's own set-up and end are reported apart.
// Floors measured in the same run: after each played pause, a bare wait of
// the same length on the same timer (no player, no input); and between the
// cases a pure spin loop on the clock, whose largest gaps are time the
// machine took away from a running thread, which no wait can undo.
// Plain program: the windows build has no Google Benchmark; run it under
// wine or on Windows.
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

// Notes when each key event would have been sent.
class TimedInput final : public vx::ISyntheticInput {
 public:
  explicit TimedInput(vx::IPreciseTimer& timer) : timer_(timer) {}
  bool CursorPos(vx::ScreenPoint&) override { return true; }
  std::uint16_t ScanCodeOf(std::uint8_t) override { return 0x64; }  // F13
  bool KeybdEvent(std::uint8_t, std::uint8_t, std::uint32_t) override {
    times.push_back(timer_.NowMicroseconds());
    return true;
  }
  bool MouseEvent(std::uint32_t, std::int32_t, std::int32_t, std::int32_t, std::uintptr_t) override { return true; }
  bool Foreground(vx::ForegroundProcess&) override { return false; }
  std::uint32_t OwnIntegrity() override { return 0; }
  std::vector<std::int64_t> times;

 private:
  vx::IPreciseTimer& timer_;
};

// A press, `count` pauses of `ms`, the release.
vx::TMACROKEYINFO Pauses(int count, int ms) {
  constexpr std::uint8_t kVkF13 = 0x7C;  // a key nothing reacts to
  vx::TMACROKEYINFO m{};
  m.MacroList[0] = {vx::kActionKey, 1, kVkF13, 0};
  for (int i = 1; i <= count; ++i) {
    m.MacroList[i] = {vx::kActionDelay, 1, static_cast<std::uint8_t>(ms & 0xFF),
                      static_cast<std::uint8_t>(ms >> 8)};
  }
  m.MacroList[count + 1] = {vx::kActionKey, 0, kVkF13, 0};
  m.MacroListCount = count + 2;
  return m;
}

double P99(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[static_cast<std::size_t>(0.99 * static_cast<double>(v.size() - 1))];
}

void Report(const char* what, std::vector<double> errors) {
  std::sort(errors.begin(), errors.end());
  double sum = 0;
  for (double e : errors) sum += e;
  const auto at = [&](double q) { return errors[static_cast<std::size_t>(q * (errors.size() - 1))]; };
  std::printf("%-16s runs %3zu  us: mean %8.1f  median %8.1f  p99 %8.1f  min %8.1f  max %8.1f\n",
              what, errors.size(), sum / errors.size(), at(0.5), at(0.99), errors.front(), errors.back());
}

// A bare wait of ms on the timer, as playback waits; returns how late it
// ended, in microseconds.
double BareWait(vx::IPreciseTimer& timer, int ms) {
  vx::PreciseScope precise(timer);
  const std::int64_t deadline = timer.NowMicroseconds() + ms * 1000LL;
  timer.SleepUntil(deadline);
  return static_cast<double>(timer.NowMicroseconds() - deadline);
}

// Spins on the clock for ms; adds every gap between two readings longer
// than 20 us to gaps.
void SpinGaps(vx::IPreciseTimer& timer, int ms, std::vector<double>& gaps) {
  vx::PreciseScope precise(timer);
  std::int64_t last = timer.NowMicroseconds();
  const std::int64_t end = last + ms * 1000LL;
  while (last < end) {
    const std::int64_t now = timer.NowMicroseconds();
    if (now - last > 20) gaps.push_back(static_cast<double>(now - last));
    last = now;
  }
}

}  // namespace

int main() {
  vx::IPreciseTimer& timer = vx::PlatformPreciseTimer();
  TimedInput input(timer);
  std::vector<double> setUp, ending;
  // Plays a macro; returns the microseconds from the first key event to the last.
  const auto play = [&](const vx::TMACROKEYINFO& macro) {
    input.times.clear();
    const std::int64_t start = timer.NowMicroseconds();
    // As the monitor plays: pauses wait for messages too and handle them.
    vx::PlaybackControl control;
    control.handleMessages = [] {
#ifdef _WIN32
      MSG msg;
      while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
#endif
    };
    vx::PlayMacroActions(macro, {}, input, timer, control);
    const std::int64_t end = timer.NowMicroseconds();
    setUp.push_back(static_cast<double>(input.times.front() - start));
    ending.push_back(static_cast<double>(end - input.times.back()));
    return input.times.back() - input.times.front();
  };
#ifdef _WIN32
  HANDLE probe = ::CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, TIMER_ALL_ACCESS);
  std::printf("high-resolution waitable timer: %s\n", probe ? "accepted" : "refused (timeBeginPeriod fallback)");
  if (probe) ::CloseHandle(probe);
#endif
  struct Case {
    int pause;
    int runs;
  };
  struct Summary {
    int pause;
    double p99;
    double floorP99;
  };
  std::vector<Summary> summary;
  std::vector<double> gaps;
  int spunMs = 0;
  for (Case c : {Case{1, 200}, Case{6, 200}, Case{15, 100}, Case{100, 30}, Case{1000, 5}}) {
    std::vector<double> errors;
    std::vector<double> floor;
    const vx::TMACROKEYINFO macro = Pauses(1, c.pause);
    for (int i = 0; i < c.runs; ++i) {
      errors.push_back(static_cast<double>(play(macro) - c.pause * 1000LL));
      floor.push_back(BareWait(timer, c.pause));
    }
    char what[32];
    std::snprintf(what, sizeof what, "pause %d ms", c.pause);
    Report(what, errors);
    Report("  bare wait", floor);
    summary.push_back({c.pause, P99(errors), P99(floor)});
    SpinGaps(timer, 300, gaps);
    spunMs += 300;
  }
  // 125 pauses of 6 ms in one macro: absolute deadlines keep small errors
  // from adding up; each stall of more than 2 ms moves the rest of the
  // schedule, so it adds to the total instead of shortening later pauses.
  std::vector<double> totals;
  const vx::TMACROKEYINFO longMacro = Pauses(125, 6);
  for (int i = 0; i < 10; ++i) totals.push_back(static_cast<double>(play(longMacro) - 125 * 6000LL));
  std::printf("125 x 6 ms macro, total error:\n");
  Report("total error", totals);
  std::printf("playback set-up (start to the first event) and end (the last event to the return), all runs:\n");
  Report("set-up", setUp);
  Report("end", ending);

  std::sort(gaps.rbegin(), gaps.rend());
  std::printf("pure spin loop, %d ms between the cases: %zu gaps above 20 us; largest (us):", spunMs, gaps.size());
  for (std::size_t i = 0; i < gaps.size() && i < 5; ++i) std::printf(" %.0f", gaps[i]);
  std::printf("\n");
  const double spinMax = gaps.empty() ? 0 : gaps.front();
  std::printf("p99 pause error next to its floors (us): player | bare wait | ratio | largest spin gap\n");
  for (const Summary& x : summary) {
    std::printf("  %4d ms: %8.1f | %8.1f | %5.2f | %8.0f\n", x.pause, x.p99, x.floorP99,
                x.floorP99 > 0 ? x.p99 / x.floorP99 : 0.0, spinMax);
  }
  return 0;
}
