#pragma once
// The monitor window's user interface in the windows build: the tray icon
// with its menu, the About window drawn in the monitor window and the
// recording overlay, plugged into the monitor program.
#include <windows.h>

#include <memory>

#include "app/MonitorAbout.h"
#include "app/MonitorTray.h"
#include "app/RetryTimer.h"
#include "i18n/kwLanguage.h"
#include "win32/app/MonitorProgram.h"
#include "win32/ui/AboutView.h"
#include "win32/ui/NoticeWindow.h"
#include "win32/ui/RecordOverlay.h"
#include "win32/ui/TrayIcon.h"

namespace vx::ui {

class MonitorUi {
 public:
  MonitorUi();
  ~MonitorUi();
  MonitorUi(const MonitorUi&) = delete;
  MonitorUi& operator=(const MonitorUi&) = delete;

  // Hooks this UI into the program; the options must not outlive it.
  void Install(win::MonitorProgramOptions& options);

  // Run by the program: among the window's components, on its messages, at
  // the end.
  void Create(TVXMonMain& monitor, HWND window);
  bool Message(HWND window, UINT msg, WPARAM wp, LPARAM lp, LRESULT& result);
  void Destroy();

  TMonitorTray* Tray() { return tray_.get(); }

 private:
  void UpdateLanguageAndCaptions(TVXMonMain& monitor);

  Win32RecordOverlayFactory overlays_;
  Win32NoticeWindow notice_;
  std::unique_ptr<Win32TrayIcon> trayIcon_;
  std::unique_ptr<TMonitorTray> tray_;
  std::unique_ptr<TRetryTimer> trayRetry_;
  std::unique_ptr<AboutView> aboutView_;
  std::unique_ptr<TMonitorAbout> about_;
  // The drawn windows' texts as a registered scene: the language designer
  // collects them, and a language switch repaints the About window.
  std::unique_ptr<SceneTexts> scene_;
};

}  // namespace vx::ui
