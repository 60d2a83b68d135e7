// Precise waits: a high-resolution waitable timer aimed at a
// QueryPerformanceCounter deadline, waited for alone or together with the
// thread's message queue. Where the system refuses the
// high-resolution flag, a plain waitable timer with the system timer
// resolution raised by timeBeginPeriod, held only between Begin and End.
// In between, the playing thread also runs at a raised priority, so a busy
// machine does not hand its wake-ups to other programs' threads.
#include <windows.h>
#include <timeapi.h>

#include "platform/PreciseTimer.h"
#include "win32/Win32Handle.h"

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace vx {
namespace {

constexpr std::int64_t kYieldWindowUs = 1500;

class Win32PreciseTimer final : public IPreciseTimer {
 public:
  Win32PreciseTimer() {
    LARGE_INTEGER f{};
    ::QueryPerformanceFrequency(&f);
    frequency_ = f.QuadPart > 0 ? f.QuadPart : 1;
  }

  std::int64_t NowMicroseconds() override {
    LARGE_INTEGER c{};
    ::QueryPerformanceCounter(&c);
    // Split so the multiplication cannot overflow after long uptimes.
    const std::int64_t whole = c.QuadPart / frequency_;
    const std::int64_t part = c.QuadPart % frequency_;
    return whole * 1000000 + part * 1000000 / frequency_;
  }

  void SleepUntil(std::int64_t deadline) override {
    for (;;) {
      const std::int64_t remaining = deadline - NowMicroseconds();
      if (remaining <= 0) return;
      if (remaining <= kYieldWindowUs) {
        // The last stretch: timer wake-ups can come a scheduler tick late,
        // so give the processor away in short turns until the deadline.
        // This happens only while a macro plays.
        ::SwitchToThread();
        continue;
      }
      if (!timer_) {
        ::Sleep(static_cast<DWORD>((remaining + 999) / 1000));
        continue;
      }
      LARGE_INTEGER due{};
      due.QuadPart = -(remaining - kYieldWindowUs) * 10;  // relative, in 100 ns units
      if (!::SetWaitableTimer(timer_.get(), &due, 0, nullptr, nullptr, FALSE)) {
        ::Sleep(static_cast<DWORD>((remaining + 999) / 1000));
        continue;
      }
      ::WaitForSingleObject(timer_.get(), INFINITE);
    }
  }

  bool SleepUntilOrMessage(std::int64_t deadline) override {
    for (;;) {
      const std::int64_t remaining = deadline - NowMicroseconds();
      if (remaining <= 0) return false;
      if (remaining <= kYieldWindowUs) {
        // The last stretch as in SleepUntil: a message that comes now waits
        // at most this long, and asking for one on every turn would make
        // the deadline late.
        SleepUntil(deadline);
        return false;
      }
      const std::int64_t waitUs = remaining - kYieldWindowUs;
      if (timer_) {
        LARGE_INTEGER due{};
        due.QuadPart = -waitUs * 10;  // relative, in 100 ns units
        if (::SetWaitableTimer(timer_.get(), &due, 0, nullptr, nullptr, FALSE)) {
          HANDLE h = timer_.get();
          // Only messages that came since the queue was last looked at wake
          // it: one the handlers left behind cannot make this spin.
          if (::MsgWaitForMultipleObjectsEx(1, &h, INFINITE, QS_ALLINPUT, 0) == WAIT_OBJECT_0 + 1) {
            ::CancelWaitableTimer(timer_.get());
            return true;
          }
          continue;
        }
      }
      if (MessagesWaiting(static_cast<DWORD>((waitUs + 999) / 1000))) return true;
    }
  }

  void BeginPrecise() override {
    if (depth_++ > 0) return;
    // Begin and End come from the same thread: the scope of one playback.
    priority_ = ::GetThreadPriority(::GetCurrentThread());
    priorityRaised_ = priority_ != THREAD_PRIORITY_ERROR_RETURN && priority_ < THREAD_PRIORITY_HIGHEST &&
                      ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_HIGHEST);
    timer_.reset(::CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION,
                                          TIMER_ALL_ACCESS));
    if (!timer_) {
      periodHeld_ = ::timeBeginPeriod(1) == TIMERR_NOERROR;
      timer_.reset(::CreateWaitableTimerExW(nullptr, nullptr, 0, TIMER_ALL_ACCESS));
    }
  }

  void EndPrecise() override {
    if (depth_ == 0 || --depth_ > 0) return;
    timer_.reset();
    if (periodHeld_) ::timeEndPeriod(1);
    periodHeld_ = false;
    if (priorityRaised_) ::SetThreadPriority(::GetCurrentThread(), priority_);
    priorityRaised_ = false;
  }

 private:
  // Waits up to ms for messages that came since the queue was last looked at.
  static bool MessagesWaiting(DWORD ms) {
    return ::MsgWaitForMultipleObjectsEx(0, nullptr, ms, QS_ALLINPUT, 0) == WAIT_OBJECT_0;
  }

  std::int64_t frequency_ = 1;
  int depth_ = 0;
  bool periodHeld_ = false;
  int priority_ = THREAD_PRIORITY_NORMAL;
  bool priorityRaised_ = false;
  win::UniqueHandle timer_;
};

}  // namespace

IPreciseTimer& PlatformPreciseTimer() {
  static Win32PreciseTimer timer;
  return timer;
}

}  // namespace vx
