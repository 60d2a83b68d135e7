#pragma once
// The monitor process: "/after:<pid>" (wait for that process to end first),
// single-instance guard, profile manager, the hidden
// monitor window of class "TVXMonMain" and its message loop. VXMon.exe and
// VXMonE2E.exe differ only in the HID bus they pass in.
#include <windows.h>

#include <functional>

#include "app/MouseMonitor.h"

namespace vx::win {

struct MonitorProgramOptions {
  // Stands in for the system's HID bus when set (the end-to-end build).
  IHidBus* hidBus = nullptr;
  // Stands in for the system's synthetic input when set (the end-to-end
  // build, to run as if not elevated under wine, where every program is).
  ISyntheticInput* input = nullptr;
  // Called once this process owns the single-instance mutex, before
  // anything else starts.
  std::function<void()> ownsInstance;
  // Called with the monitor once FormCreate has run, and with nullptr just
  // before it is destroyed.
  std::function<void(TVXMonMain*)> onMonitor;
  // Tray icon, menu and About window: created in their place among the
  // window's components, and fed the window's messages first.
  std::function<void(TVXMonMain&, HWND)> createUi;
  std::function<bool(HWND, UINT, WPARAM, LPARAM, LRESULT&)> uiMessage;
  std::function<void()> destroyUi;
  // The recording overlay's windows; none is shown when null.
  IRecordOverlayFactory* overlays = nullptr;
  // The on-screen notice's window; events are only logged when null.
  INoticeWindow* notices = nullptr;
  // Told each message the monitor lets through Windows' filter against
  // lower integrity levels (the end-to-end build drops the others when it
  // plays a monitor run as administrator).
  std::function<void(UINT)> messageAllowed;
  // Stands in for the system's audio (the end-to-end build's microphone).
  IAudioSystem* audio = nullptr;
};

// Runs the whole process; the exit code, always 0.
int RunMonitorProgram(HINSTANCE instance, const MonitorProgramOptions& options);

}  // namespace vx::win
