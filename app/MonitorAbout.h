#pragma once
// The About window: the monitor window itself, shown borderless with the
// version texts and a button that opens the web site. Its layout is fixed
// here so the drawing and the tests share one table.
#include <array>
#include <cstdint>
#include <functional>

#include "platform/Text.h"
#include "platform/WindowSystem.h"

namespace vx {

struct UiRect {
  int x = 0, y = 0, width = 0, height = 0;
  constexpr int right() const { return x + width; }
  constexpr int bottom() const { return y + height; }
  constexpr bool operator==(const UiRect&) const = default;
};

inline constexpr char16_t kAboutWebAddress[] = u"https://www.example.com/vxmon/";

struct AboutLabel {
  const char16_t* text;
  UiRect rect;  // in client coordinates
  int fontPixels;
  bool bold;
};

namespace about {
inline constexpr int kClientWidth = 504;
inline constexpr int kClientHeight = 400;
inline constexpr UiRect kImageMain{0, 0, 504, 400};
inline constexpr UiRect kBtnOK{208, 325, 94, 27};
inline constexpr UiRect kRectangle1{43, 81, 425, 223};
// Inner margins of Rectangle1: the labels are stacked inside them.
inline constexpr int kPadLeft = 4, kPadTop = 10, kPadRight = 2;
inline constexpr UiRect kTextWeb{kRectangle1.x + 18, kRectangle1.y + 142, 301, 26};
inline constexpr UiRect kBtnGoWeb{kRectangle1.x + 25, kRectangle1.y + 182, 77, 31};

constexpr UiRect StackedLabel(int top, int leftMargin, int height) {
  return UiRect{kRectangle1.x + kPadLeft + leftMargin, top, kRectangle1.width - kPadLeft - kPadRight - leftMargin,
                height};
}
inline constexpr int kLabel1Top = kRectangle1.y + kPadTop + 25;
inline constexpr std::array<AboutLabel, 4> kLabels{{
    {u"Hardware & Software Information:", StackedLabel(kLabel1Top, 20, 26), 16, true},
    {u"Hardware Core:1.00.00", StackedLabel(kLabel1Top + 26, 25, 30), 13, false},
    {u"Software Core:1.00.00", StackedLabel(kLabel1Top + 56, 25, 30), 13, false},
    {u"Software Update Website:", StackedLabel(kLabel1Top + 86, 20, 26), 16, true},
}};
inline constexpr char16_t kOKText[] = u"OK";
}  // namespace about

class TMonitorAbout {
 public:
  // processMessages: ProcessMessageAndSleep50ms of the monitor.
  TMonitorAbout(IWindowSystem& windows, WindowHandle monitorWindow, std::function<void()> processMessages);

  // Shows the monitor window, lets it draw, brings it to the front. Choosing
  // About again shows the same window again.
  void About1Click();
  void BtnOKClick();
  void BtnGoWebClick();

  WView TextWeb() const { return kAboutWebAddress; }

 private:
  IWindowSystem& windows_;
  WindowHandle window_;
  std::function<void()> processMessages_;
};

}  // namespace vx
