#pragma once
// The monitor window drawn as the About window: borderless, 504 x 400 client
// pixels, centred; background picture, the version labels, the web address
// and two buttons with normal, hot and pressed pictures.
#include <windows.h>

#include <functional>

#include "platform/Text.h"

namespace vx::ui {

class AboutView {
 public:
  struct Handlers {
    std::function<void()> BtnOKClick;
    std::function<void()> BtnGoWebClick;
  };
  enum class Part { None, OK, GoWeb };
  enum class State { Normal, Hot, Pressed };

  AboutView(HWND window, Handlers handlers, std::function<WStr(WView)> translate);
  AboutView(const AboutView&) = delete;
  AboutView& operator=(const AboutView&) = delete;

  // Turns the (hidden) window into the About window: no border or caption,
  // no task-bar button, client area 504 x 400 centred on the desktop.
  void Attach();
  // The window's messages; true when handled, with the result to return.
  bool HandleMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result);
  // Texts follow the active language from the next paint on.
  void Retranslate();

  State StateOf(Part part) const;
  // Size and place for the current DPI and screen: the layout scaled, centred.
  void Place();
  double Scale() const { return scale_; }

 private:
  void Paint(HDC dc);
  Part HitTest(int x, int y) const;
  void SetHot(Part part);

  HWND window_;
  Handlers handlers_;
  std::function<WStr(WView)> translate_;
  Part hot_ = Part::None;
  Part pressed_ = Part::None;
  bool tracking_ = false;
  double scale_ = 1.0;
};

}  // namespace vx::ui
