#pragma once
// A tray icon that keeps what it was given.
#include <vector>

#include "platform/TrayIcon.h"

namespace vx {

struct FakeTray final : ITrayIcon {
  void SetHint(WView h) override { hint = WStr(h); }
  void SetMenu(std::vector<TrayMenuItem> items) override { menu = std::move(items); }
  WStr hint;
  std::vector<TrayMenuItem> menu;
};

}  // namespace vx
