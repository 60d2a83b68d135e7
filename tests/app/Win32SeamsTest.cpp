// The Win32 seams of the monitor, run under wine or Windows.
#include <gtest/gtest.h>

#include <windows.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "platform/Debug.h"
#include "platform/PreciseTimer.h"
#include "platform/SyntheticInput.h"
#include "platform/WindowSystem.h"

namespace vx {
namespace {

TEST(Win32PreciseTimer, NeverWakesBeforeTheDeadline) {
  IPreciseTimer& t = PlatformPreciseTimer();
  PreciseScope scope(t);
  for (int ms : {0, 1, 3, 6, 15}) {
    const std::int64_t deadline = t.NowMicroseconds() + ms * 1000;
    t.SleepUntil(deadline);
    EXPECT_GE(t.NowMicroseconds(), deadline) << ms;
  }
  const std::int64_t past = t.NowMicroseconds() - 5000;
  const std::int64_t before = t.NowMicroseconds();
  t.SleepUntil(past);
  EXPECT_LT(t.NowMicroseconds() - before, 5000);  // a passed deadline returns at once
}

// Playback runs raised, nested scopes keep it raised, and the thread's own
// priority comes back afterwards, whatever it was.
TEST(Win32PreciseTimer, RaisesThePriorityOnlyWhilePrecise) {
  IPreciseTimer& t = PlatformPreciseTimer();
  HANDLE self = ::GetCurrentThread();
  for (int own : {THREAD_PRIORITY_NORMAL, THREAD_PRIORITY_BELOW_NORMAL, THREAD_PRIORITY_TIME_CRITICAL}) {
    ASSERT_TRUE(::SetThreadPriority(self, own));
    {
      PreciseScope outer(t);
      EXPECT_GE(::GetThreadPriority(self), THREAD_PRIORITY_HIGHEST) << own;
      {
        PreciseScope inner(t);
      }
      EXPECT_GE(::GetThreadPriority(self), THREAD_PRIORITY_HIGHEST) << own;
    }
    EXPECT_EQ(::GetThreadPriority(self), own);
  }
  ::SetThreadPriority(self, THREAD_PRIORITY_NORMAL);
}

TEST(Win32PreciseTimer, ClockAgreesWithTheTickCount) {
  IPreciseTimer& t = PlatformPreciseTimer();
  const std::int64_t a = t.NowMicroseconds();
  const DWORD ta = ::GetTickCount();
  ::Sleep(200);
  const std::int64_t elapsed = t.NowMicroseconds() - a;
  const DWORD ticks = ::GetTickCount() - ta;
  EXPECT_NEAR(static_cast<double>(elapsed) / 1000.0, static_cast<double>(ticks), 40.0);
}

TEST(Win32WindowSystem, TimerFiresFromTheMessageLoopAndRestartsWhenReenabled) {
  IWindowSystem& w = PlatformWindowSystem();
  int fired = 0;
  auto timer = w.CreateTimer([&] { ++fired; });
  EXPECT_FALSE(timer->Enabled());
  timer->SetInterval(30);
  timer->SetEnabled(true);
  const DWORD start = ::GetTickCount();
  while (fired == 0 && ::GetTickCount() - start < 3000) {
    w.ProcessMessages();
    ::Sleep(5);
  }
  EXPECT_GE(fired, 1);
  timer->SetEnabled(false);
  const int before = fired;
  for (int i = 0; i < 10; ++i) {
    w.ProcessMessages();
    ::Sleep(10);
  }
  EXPECT_EQ(fired, before);  // a disabled timer stays quiet
}

// An exception must not leave a callback Windows entered: it is logged and
// the timer goes on firing.
TEST(Win32WindowSystem, ATimerCallbackThatThrowsIsLoggedAndFiresAgain) {
  std::vector<WStr> lines;
  SetDebugSink([&](WView t) { lines.emplace_back(t); });
  IWindowSystem& w = PlatformWindowSystem();
  int fired = 0;
  auto timer = w.CreateTimer([&] {
    ++fired;
    throw std::runtime_error("boom");
  });
  timer->SetInterval(20);
  timer->SetEnabled(true);
  const DWORD start = ::GetTickCount();
  while (fired < 3 && ::GetTickCount() - start < 5000) {
    w.ProcessMessages();
    ::Sleep(5);
  }
  timer->SetEnabled(false);
  SetDebugSink(nullptr);
  EXPECT_GE(fired, 3);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], u"timer callback failed: boom");
}

TEST(Win32WindowSystem, FindsWindowsByClassAndCaptionAndDeliversMessages) {
  static UINT seen = 0;
  static LPARAM seenParam = 0;
  WNDCLASSW wc{};
  wc.lpfnWndProc = [](HWND h, UINT m, WPARAM wp, LPARAM lp) -> LRESULT {
    if (m == 7040) {
      seen = m;
      seenParam = lp;
      return 0;
    }
    return ::DefWindowProcW(h, m, wp, lp);
  };
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.lpszClassName = L"VXSeamsTestWindow";
  ASSERT_NE(::RegisterClassW(&wc), 0);
  HWND hwnd = ::CreateWindowExW(0, L"VXSeamsTestWindow", L"VX seams test caption", WS_OVERLAPPED, 0, 0, 10, 10,
                                nullptr, nullptr, wc.hInstance, nullptr);
  // Under wine without an X display no window can be made.
  if (hwnd == nullptr) GTEST_SKIP() << "no window station to create windows in";
  IWindowSystem& w = PlatformWindowSystem();
  EXPECT_EQ(w.FindWindowByClass(u"VXSeamsTestWindow"), reinterpret_cast<WindowHandle>(hwnd));
  EXPECT_EQ(w.FindWindowByCaption(u"VX seams test caption"), reinterpret_cast<WindowHandle>(hwnd));
  EXPECT_EQ(w.FindWindowByClass(u"NoSuchClassVX"), 0u);
  w.SendMessageTo(reinterpret_cast<WindowHandle>(hwnd), 7040, 1, 77);
  EXPECT_EQ(seen, 7040u);
  EXPECT_EQ(seenParam, 77);
  ::DestroyWindow(hwnd);
}

TEST(Win32WindowSystem, ReportsAFailedLaunch) {
  EXPECT_FALSE(PlatformWindowSystem().ShellOpen(0, u"C:\\no\\such\\folder\\VXCfg.exe", u"", u"C:\\", 5));
}

TEST(Win32WindowSystem, ProcessMessagesLeavesTheQuitForTheMainLoop) {
  ::PostQuitMessage(0);
  PlatformWindowSystem().ProcessMessages();
  MSG msg;
  EXPECT_TRUE(::PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

TEST(Win32WindowSystem, ReportsAnNTVersion) {
  const OsVersionInfo v = PlatformWindowSystem().OsVersion();
  EXPECT_EQ(v.platformId, 2u);
  EXPECT_GE(v.major, 5u);
}

TEST(Win32SyntheticInput, ReadsTheCursor) {
  ScreenPoint p{-99999, -99999};
  if (PlatformSyntheticInput().CursorPos(p)) {
    EXPECT_GT(p.x, -99999);
  }
}

}  // namespace
}  // namespace vx
