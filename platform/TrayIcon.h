#pragma once
// The notification-area icon with its hint and popup menu. The windows
// build implements it with Shell_NotifyIconW; its click and menu events go to
// the callbacks given when it is created.
#include <cstdint>
#include <vector>

#include "platform/Text.h"

namespace vx {

struct TrayMenuItem {
  std::uint16_t command = 0;  // sent back when the item is chosen
  WStr caption;               // shown as is: no automatic accelerator letters
  bool checked = false;
  bool enabled = true;
  bool submenu = false;              // opens `items` instead of sending a command
  std::vector<TrayMenuItem> items;
};

class ITrayIcon {
 public:
  virtual ~ITrayIcon() = default;
  virtual void SetHint(WView hint) = 0;
  // The popup menu opened at the pointer by a right click.
  virtual void SetMenu(std::vector<TrayMenuItem> items) = 0;
  // Puts the icon into the notification area (again, after the taskbar was
  // re-created); false when the shell refused or did not answer in time.
  virtual bool Add() = 0;
  // A notification balloon with a warning icon (NIF_INFO).
  virtual void ShowNotification(WView title, WView text) = 0;
};

}  // namespace vx
