#pragma once
// Windows, messages, timers and the shell, as far as the monitor uses them.
#include <cstdint>
#include <functional>
#include <memory>

#include "platform/Text.h"

namespace vx {

// A window handle as a number; 0 is no window.
using WindowHandle = std::uintptr_t;

inline constexpr int kShowNormal = 1;  // SW_SHOWNORMAL
inline constexpr int kShowShow = 5;    // SW_SHOW
inline constexpr std::uint32_t kSendMessageTimeoutMs = 3000;

// A timer whose event runs on the main thread from the message loop. Like a
// component timer: enabling it (again) starts a fresh interval.
class ITimer {
 public:
  virtual ~ITimer() = default;
  virtual void SetInterval(std::uint32_t milliseconds) = 0;
  virtual std::uint32_t Interval() const = 0;
  virtual void SetEnabled(bool enabled) = 0;
  virtual bool Enabled() const = 0;
};

struct OsVersionInfo {
  std::uint32_t platformId = 0;  // 2 = NT family
  std::uint32_t major = 0;
  std::uint32_t minor = 0;
  std::uint32_t build = 0;
};

class IWindowSystem {
 public:
  virtual ~IWindowSystem() = default;
  // Top-level window lookups (FindWindowW).
  virtual WindowHandle FindWindowByClass(WView className) = 0;
  virtual WindowHandle FindWindowByCaption(WView caption) = 0;
  // SendMessageTimeoutW with SMTO_ABORTIFHUNG: waits until the window has
  // handled it, but at most kSendMessageTimeoutMs and not at all for a
  // window that has stopped answering (then 0).
  virtual std::intptr_t SendMessageTo(WindowHandle window, std::uint32_t msg, std::uintptr_t wparam,
                                      std::intptr_t lparam) = 0;
  // PostMessageW: queues it and returns.
  virtual bool PostMessageTo(WindowHandle window, std::uint32_t msg, std::uintptr_t wparam,
                             std::intptr_t lparam) = 0;
  virtual void ShowWindowCmd(WindowHandle window, int showCommand) = 0;
  virtual void BringToForeground(WindowHandle window) = 0;
  // ShellExecuteW with the verb "open"; false when the shell reports failure.
  virtual bool ShellOpen(WindowHandle owner, WView file, WView parameters, WView directory,
                         int showCommand) = 0;
  // ShellExecuteExW with the verb "runas" on this program's executable: the
  // system's elevation prompt, then the program elevated with `parameters`.
  // 0 when it started, else the system error (1223: the user declined).
  virtual std::uint32_t StartSelfElevated(WView parameters) = 0;
  virtual std::uint32_t CurrentProcessId() = 0;
  // Handles every message waiting in the calling thread's queue.
  virtual void ProcessMessages() = 0;
  virtual void SleepMs(std::uint32_t milliseconds) = 0;
  // Ends the message loop of the main thread.
  virtual void Terminate() = 0;
  virtual std::unique_ptr<ITimer> CreateTimer(std::function<void()> onTimer) = 0;
  virtual OsVersionInfo OsVersion() = 0;
};

// The Win32 window system (windows build only).
IWindowSystem& PlatformWindowSystem();

}  // namespace vx
