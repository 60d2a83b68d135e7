#pragma once
// The on-screen notice (window class "TFrmNotice"): one line of text on a
// translucent rounded panel at the bottom centre of the monitor that holds
// the foreground window, above its task bar. Layered, topmost, click-through
// and never activated; one window for the process, reused by every notice.
#include <windows.h>

#include "app/Notice.h"

namespace vx::ui {

namespace notice {
inline constexpr wchar_t kClassName[] = L"TFrmNotice";
// Layout in 96-DPI pixels.
inline constexpr int kHeight = 44, kMinWidth = 180, kMaxWidth = 640, kPadding = 28, kBottomGap = 48;
inline constexpr float kTextPixels = 16.0f;
}  // namespace notice

class Win32NoticeWindow final : public INoticeWindow {
 public:
  Win32NoticeWindow() = default;
  ~Win32NoticeWindow() override;
  Win32NoticeWindow(const Win32NoticeWindow&) = delete;
  Win32NoticeWindow& operator=(const Win32NoticeWindow&) = delete;

  void Show(WView text) override;
  int UserNotificationState() override;

  HWND Handle() const { return window_; }
  double Scale() const { return scale_; }
  bool Visible() const { return visible_; }

 private:
  static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  bool Create();
  // Size for the text and the target monitor's DPI, position on that monitor.
  void Place();
  void Render();
  void Hide();

  HWND window_ = nullptr;
  std::wstring text_;
  HMONITOR monitor_ = nullptr;
  double scale_ = 1.0;
  RECT rect_{};
  bool visible_ = false;
};

}  // namespace vx::ui
