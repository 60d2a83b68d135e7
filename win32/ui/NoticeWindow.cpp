#include "win32/ui/NoticeWindow.h"

#include <shellapi.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "win32/ui/UiDraw.h"

namespace vx::ui {

namespace {

constexpr UINT_PTR kHideTimer = 1;

// The monitor's DPI (GetDpiForMonitor, Windows 8.1 and later), else the system's.
UINT MonitorDpi(HMONITOR monitor) {
  using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
  static const auto getDpi = [] {
    HMODULE shcore = ::LoadLibraryExW(L"shcore.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    return shcore ? reinterpret_cast<GetDpiForMonitorFn>(
                        reinterpret_cast<void*>(::GetProcAddress(shcore, "GetDpiForMonitor")))
                  : nullptr;
  }();
  UINT x = 0, y = 0;
  if (getDpi && monitor && SUCCEEDED(getDpi(monitor, 0 /* MDT_EFFECTIVE_DPI */, &x, &y)) && x > 0) return x;
  return WindowDpi(nullptr);
}

float TextWidth(const std::wstring& text) {
  HDC screen = ::GetDC(nullptr);
  float width = 0;
  {
    Gdiplus::Graphics g(screen);
    Gdiplus::FontFamily family(TextFace());
    Gdiplus::Font font(&family, notice::kTextPixels, Gdiplus::FontStyleBold, Gdiplus::UnitPixel);
    Gdiplus::RectF box;
    g.MeasureString(text.c_str(), static_cast<INT>(text.size()), &font, Gdiplus::PointF(0, 0), &box);
    width = box.Width;
  }
  ::ReleaseDC(nullptr, screen);
  return width;
}

}  // namespace

LRESULT CALLBACK Win32NoticeWindow::WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto* self = reinterpret_cast<Win32NoticeWindow*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self && msg == WM_TIMER && wp == kHideTimer) {
    self->Hide();
    return 0;
  }
  if (self && (msg == WM_DISPLAYCHANGE || msg == WM_DPICHANGED)) {
    // A screen unplugged or rescaled: placed again on one that exists.
    if (self->visible_) {
      self->Place();
      self->Render();
    }
    return 0;
  }
  if (msg == WM_MOUSEACTIVATE) return MA_NOACTIVATE;
  if (msg == WM_NCHITTEST) return HTTRANSPARENT;
  return ::DefWindowProcW(hwnd, msg, wp, lp);
}

Win32NoticeWindow::~Win32NoticeWindow() {
  if (!window_) return;
  ::KillTimer(window_, kHideTimer);
  ::SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
  ::DestroyWindow(window_);
}

bool Win32NoticeWindow::Create() {
  if (window_) return true;
  EnsureGdiplus();
  static const bool registered = [] {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = &Win32NoticeWindow::WndProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = notice::kClassName;
    return ::RegisterClassExW(&wc) != 0;
  }();
  (void)registered;
  // WS_EX_TRANSPARENT with WS_EX_LAYERED: clicks go to the window below.
  window_ = ::CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_LAYERED | WS_EX_TRANSPARENT | WS_EX_NOACTIVATE,
                              notice::kClassName, L"FrmNotice", WS_POPUP, 0, 0, notice::kMinWidth, notice::kHeight,
                              nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
  if (!window_) return false;
  ::SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  return true;
}

int Win32NoticeWindow::UserNotificationState() {
  QUERY_USER_NOTIFICATION_STATE state{};
  if (FAILED(::SHQueryUserNotificationState(&state))) return 0;
  return static_cast<int>(state);
}

void Win32NoticeWindow::Show(WView text) {
  if (!Create()) return;
  text_ = W(text);
  // The screen the user looks at: the one holding the foreground window.
  HWND fg = ::GetForegroundWindow();
  monitor_ = ::MonitorFromWindow(fg ? fg : window_, MONITOR_DEFAULTTOPRIMARY);
  Place();
  Render();
  ::SetWindowPos(window_, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
  visible_ = true;
  // Replacing a notice restarts its time; the timer runs only while one shows.
  ::SetTimer(window_, kHideTimer, kNoticeShowMs, nullptr);
}

void Win32NoticeWindow::Hide() {
  ::KillTimer(window_, kHideTimer);
  ::ShowWindow(window_, SW_HIDE);
  visible_ = false;
}

void Win32NoticeWindow::Place() {
  MONITORINFO mi{};
  mi.cbSize = sizeof mi;
  if (!monitor_ || !::GetMonitorInfoW(monitor_, &mi)) {
    // The monitor is gone (display change): the primary one.
    monitor_ = ::MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY);
    ::GetMonitorInfoW(monitor_, &mi);
  }
  const RECT work = mi.rcWork;
  const int workW = work.right - work.left, workH = work.bottom - work.top;
  scale_ = MonitorDpi(monitor_) / 96.0;
  const int textW = static_cast<int>(TextWidth(text_) + 0.99f);
  const int layoutW = std::clamp(textW + 2 * notice::kPadding, notice::kMinWidth, notice::kMaxWidth);
  int w = Scaled(layoutW, scale_), h = Scaled(notice::kHeight, scale_);
  w = std::min(w, workW);
  h = std::min(h, workH);
  const int gap = std::min(Scaled(notice::kBottomGap, scale_), std::max(0, workH - h));
  rect_ = RECT{work.left + (workW - w) / 2, work.bottom - h - gap, 0, 0};
  rect_.right = rect_.left + w;
  rect_.bottom = rect_.top + h;
  // The recording overlay keeps its place: the notice goes above it.
  HWND overlay = ::FindWindowW(L"TFrmRecord", nullptr);
  RECT o{}, both{};
  if (overlay && ::IsWindowVisible(overlay) && ::GetWindowRect(overlay, &o) && ::IntersectRect(&both, &o, &rect_) &&
      o.top - h - Scaled(8, scale_) >= work.top) {
    rect_.top = o.top - h - Scaled(8, scale_);
    rect_.bottom = rect_.top + h;
  }
}

void Win32NoticeWindow::Render() {
  const int w = rect_.right - rect_.left, h = rect_.bottom - rect_.top;
  if (w <= 0 || h <= 0) return;
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = w;
  bi.bmiHeader.biHeight = -h;
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  HDC dc = ::CreateCompatibleDC(nullptr);
  void* bits = nullptr;
  HBITMAP bitmap = ::CreateDIBSection(dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (!bitmap) {
    ::DeleteDC(dc);
    return;
  }
  HGDIOBJ old = ::SelectObject(dc, bitmap);
  {
    Gdiplus::Bitmap canvas(w, h, w * 4, PixelFormat32bppPARGB, static_cast<BYTE*>(bits));
    Gdiplus::Graphics g(&canvas);
    g.Clear(Gdiplus::Color(0, 0, 0, 0));
    g.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
    g.SetTextRenderingHint(Gdiplus::TextRenderingHintAntiAlias);
    const float s = static_cast<float>(scale_);
    g.ScaleTransform(s, s);
    const float lw = w / s, lh = h / s;
    Gdiplus::GraphicsPath panel;
    AddRoundRect(panel, Gdiplus::RectF(1, 1, lw - 2, lh - 2), 6);
    Gdiplus::SolidBrush fill(Argb(0xD8141414));
    g.FillPath(&fill, &panel);
    Gdiplus::Pen stroke(Argb(0xFDA8B4B6), 1.5f);
    g.DrawPath(&stroke, &panel);
    DrawTextBox(g, WView(reinterpret_cast<const char16_t*>(text_.c_str()), text_.size()),
                Gdiplus::RectF(0, 0, lw, lh), notice::kTextPixels, true, 0xFFFFFFFF, HAlign::Center);
  }
  PresentLayered(window_, POINT{rect_.left, rect_.top}, SIZE{w, h}, dc);
  ::SelectObject(dc, old);
  ::DeleteObject(bitmap);
  ::DeleteDC(dc);
}

}  // namespace vx::ui
