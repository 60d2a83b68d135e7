#pragma once
// The notification-area icon (Shell_NotifyIconW) of a top-level window:
// left click and menu commands go to callbacks, a right click opens the
// popup menu at the pointer, and the icon is added again when the task bar
// is re-created (the "TaskbarCreated" message reaches top-level windows only).
#include <windows.h>
#include <shellapi.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/TrayIcon.h"

namespace vx::ui {

inline constexpr UINT WM_VX_TRAY = WM_APP + 0x51;

class Win32TrayIcon final : public ITrayIcon {
 public:
  struct Handlers {
    std::function<void()> OnClick;
    std::function<void(std::uint16_t command)> OnCommand;
    // The taskbar was re-created and adding the icon again failed.
    std::function<void()> OnAddFailed;
    // Just before the menu opens, so that its items can be brought up to date.
    std::function<void()> OnMenuOpening;
  };
  // The icon is the resource "MAINICON" of the executable.
  Win32TrayIcon(HWND window, Handlers handlers);
  ~Win32TrayIcon() override;
  Win32TrayIcon(const Win32TrayIcon&) = delete;
  Win32TrayIcon& operator=(const Win32TrayIcon&) = delete;

  // The handlers may be set after creation (the menu logic needs the icon).
  void SetHandlers(Handlers handlers) { handlers_ = std::move(handlers); }
  void SetHint(WView hint) override;
  void SetMenu(std::vector<TrayMenuItem> items) override;
  void ShowNotification(WView title, WView text) override;

  // The owner window's messages; true when handled.
  bool HandleMessage(UINT msg, WPARAM wp, LPARAM lp);
  bool Visible() const { return added_; }
  bool Add() override;
  // Opens the popup menu at the pointer and runs the chosen command.
  void ShowPopupMenu();

 private:
  NOTIFYICONDATAW Data(UINT flags) const;

  HWND window_;
  Handlers handlers_;
  HICON icon_ = nullptr;
  // The system's shared fallback icon belongs to the system.
  bool iconShared_ = false;
  UINT taskbarCreated_ = 0;
  std::wstring hint_;
  std::vector<TrayMenuItem> menu_;
  bool added_ = false;
};

}  // namespace vx::ui
