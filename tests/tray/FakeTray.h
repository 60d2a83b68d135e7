#pragma once
// A tray icon that keeps what it was given.
#include <utility>
#include <vector>

#include "platform/TrayIcon.h"

namespace vx {

struct FakeTray final : ITrayIcon {
  void SetHint(WView h) override { hint = WStr(h); }
  void SetMenu(std::vector<TrayMenuItem> items) override { menu = std::move(items); }
  // The shell refuses the first `failAdds` adds, as at logon before the
  // taskbar is ready.
  bool Add() override {
    ++adds;
    added = adds > failAdds;
    return added;
  }
  int failAdds = 0;
  int adds = 0;
  bool added = false;
  void ShowNotification(WView title, WView text) override { notifications.emplace_back(WStr(title), WStr(text)); }
  std::vector<std::pair<WStr, WStr>> notifications;
  WStr hint;
  std::vector<TrayMenuItem> menu;
};

}  // namespace vx
