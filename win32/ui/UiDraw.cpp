#include "win32/ui/UiDraw.h"

namespace vx::ui {

void EnsureGdiplus() {
  static ULONG_PTR token = [] {
    ULONG_PTR t = 0;
    Gdiplus::GdiplusStartupInput input;
    Gdiplus::GdiplusStartup(&t, &input, nullptr);
    return t;
  }();
  (void)token;
}

void AddRoundRect(Gdiplus::GraphicsPath& path, Gdiplus::RectF r, float radius) {
  if (radius <= 0) {
    path.AddRectangle(r);
    return;
  }
  const float d = radius * 2;
  path.AddArc(r.X, r.Y, d, d, 180, 90);
  path.AddArc(r.X + r.Width - d, r.Y, d, d, 270, 90);
  path.AddArc(r.X + r.Width - d, r.Y + r.Height - d, d, d, 0, 90);
  path.AddArc(r.X, r.Y + r.Height - d, d, d, 90, 90);
  path.CloseFigure();
}

// Tahoma as designed; systems without it get the nearest sans-serif face.
const wchar_t* TextFace() {
  static const wchar_t* face = [] {
    for (const wchar_t* name : {L"Tahoma", L"Microsoft Sans Serif", L"Segoe UI", L"Arial", L"Liberation Sans",
                                L"DejaVu Sans"}) {
      Gdiplus::FontFamily family(name);
      if (family.IsAvailable()) return name;
    }
    return L"Tahoma";
  }();
  return face;
}

void DrawTextBox(Gdiplus::Graphics& g, WView text, Gdiplus::RectF box, float pixels, bool bold, unsigned argb,
                 HAlign align) {
  Gdiplus::FontFamily family(TextFace());
  Gdiplus::Font font(&family, pixels, bold ? Gdiplus::FontStyleBold : Gdiplus::FontStyleRegular, Gdiplus::UnitPixel);
  Gdiplus::StringFormat format;
  format.SetAlignment(align == HAlign::Center ? Gdiplus::StringAlignmentCenter : Gdiplus::StringAlignmentNear);
  format.SetLineAlignment(Gdiplus::StringAlignmentCenter);
  format.SetFormatFlags(Gdiplus::StringFormatFlagsNoWrap);
  format.SetTrimming(Gdiplus::StringTrimmingNone);
  Gdiplus::SolidBrush brush(Argb(argb));
  const std::wstring w = W(text);
  g.DrawString(w.c_str(), static_cast<INT>(w.size()), &font, box, &format, &brush);
}

RECT CenteredOnDesktop(int width, int height) {
  RECT work{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
  ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  const int x = work.left + (work.right - work.left - width) / 2;
  const int y = work.top + (work.bottom - work.top - height) / 2;
  return RECT{x, y, x + width, y + height};
}

UINT WindowDpi(HWND window) {
  using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
  static const auto getDpi = reinterpret_cast<GetDpiForWindowFn>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  UINT dpi = window && getDpi ? getDpi(window) : 0;
  if (dpi == 0) {
    // Before Windows 10: the system DPI.
    HDC screen = ::GetDC(nullptr);
    dpi = static_cast<UINT>(::GetDeviceCaps(screen, LOGPIXELSX));
    ::ReleaseDC(nullptr, screen);
  }
  return dpi > 0 ? dpi : 96;
}

double FittedScale(UINT dpi, int width, int height) {
  double scale = dpi / 96.0;
  RECT work{0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
  ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
  const double fitW = static_cast<double>(work.right - work.left) / width;
  const double fitH = static_cast<double>(work.bottom - work.top) / height;
  if (scale > fitW) scale = fitW;
  if (scale > fitH) scale = fitH;
  return scale < 1.0 ? 1.0 : scale;
}

void PresentLayered(HWND window, POINT at, SIZE size, HDC source) {
  POINT src{0, 0};
  BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
  HDC screen = ::GetDC(nullptr);
  ::UpdateLayeredWindow(window, screen, &at, &size, source, &src, 0, &blend, ULW_ALPHA);
  ::ReleaseDC(nullptr, screen);
}

}  // namespace vx::ui
