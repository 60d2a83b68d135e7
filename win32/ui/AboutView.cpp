#include "win32/ui/AboutView.h"

#include <windowsx.h>

#include "app/MonitorAbout.h"
#include "win32/ui/UiDraw.h"

namespace vx::ui {

namespace {

using Gdiplus::RectF;

RectF ToRectF(const UiRect& r) {
  return RectF(static_cast<float>(r.x), static_cast<float>(r.y), static_cast<float>(r.width),
               static_cast<float>(r.height));
}

bool Inside(const UiRect& r, int x, int y) { return x >= r.x && x < r.right() && y >= r.y && y < r.bottom(); }

// The background picture, designed at 1667 x 1327 and scaled to the client
// area: a dark brushed panel with a red accent and a frame for the texts.
void DrawBackground(Gdiplus::Graphics& g) {
  constexpr float kW = 1667, kH = 1327;
  const Gdiplus::GraphicsState saved = g.Save();
  g.ScaleTransform(about::kClientWidth / kW, about::kClientHeight / kH);

  Gdiplus::LinearGradientBrush back(Gdiplus::PointF(0, 0), Gdiplus::PointF(0, kH), Argb(0xFF2B2E33),
                                    Argb(0xFF0E0F11));
  g.FillRectangle(&back, 0.0f, 0.0f, kW, kH);

  // Fine diagonal brushing.
  Gdiplus::Pen line(Argb(0x0CFFFFFF), 3);
  for (float x = -kH; x < kW; x += 24) g.DrawLine(&line, x, kH, x + kH, 0.0f);

  // Header band with a red accent stripe and a stylised wheel mark.
  Gdiplus::LinearGradientBrush band(Gdiplus::PointF(0, 0), Gdiplus::PointF(kW, 0), Argb(0xFF1A1B1E),
                                    Argb(0xFF3A0C0E));
  g.FillRectangle(&band, 0.0f, 0.0f, kW, 220.0f);
  Gdiplus::SolidBrush red(Argb(0xFFE0191F));
  g.FillRectangle(&red, 0.0f, 220.0f, kW, 10.0f);
  Gdiplus::GraphicsPath mouse;
  AddRoundRect(mouse, RectF(120, 45, 90, 140), 45);
  Gdiplus::Pen outline(Argb(0xFFE0191F), 10);
  g.DrawPath(&outline, &mouse);
  g.FillRectangle(&red, 160.0f, 70.0f, 10.0f, 36.0f);

  // Frame behind the texts (Rectangle1 in design units).
  const float sx = kW / about::kClientWidth, sy = kH / about::kClientHeight;
  const UiRect& f = about::kRectangle1;
  Gdiplus::GraphicsPath frame;
  AddRoundRect(frame, RectF(f.x * sx, f.y * sy, f.width * sx, f.height * sy), 30);
  Gdiplus::SolidBrush frameFill(Argb(0x59000000));
  g.FillPath(&frameFill, &frame);
  Gdiplus::Pen frameLine(Argb(0x40FFFFFF), 4);
  g.DrawPath(&frameLine, &frame);

  g.Restore(saved);
}

// The OK button's three pictures, 94 x 27 each.
void DrawStateButton(Gdiplus::Graphics& g, const UiRect& r, AboutView::State state, WView text) {
  unsigned top = 0xFF4C4F55, bottom = 0xFF26282C, border = 0xFF6E737B;
  if (state == AboutView::State::Hot) top = 0xFFE2363B, bottom = 0xFF9C1418, border = 0xFFFF7A7E;
  if (state == AboutView::State::Pressed) top = 0xFF7E1013, bottom = 0xFFB9262B, border = 0xFFFF7A7E;
  const RectF box = ToRectF(r);
  Gdiplus::GraphicsPath path;
  AddRoundRect(path, RectF(box.X + 0.5f, box.Y + 0.5f, box.Width - 1, box.Height - 1), 4);
  Gdiplus::LinearGradientBrush fill(Gdiplus::PointF(0, box.Y), Gdiplus::PointF(0, box.Y + box.Height), Argb(top),
                                    Argb(bottom));
  g.FillPath(&fill, &path);
  Gdiplus::Pen pen(Argb(border), 1);
  g.DrawPath(&pen, &path);
  RectF textBox = box;
  if (state == AboutView::State::Pressed) textBox.Offset(1, 1);
  DrawTextBox(g, text, textBox, 12, true, 0xFFFFFFFF, HAlign::Center);
}

// The web button: a 70 x 30 picture (globe and arrow) fitted into its box.
void DrawWebButton(Gdiplus::Graphics& g, const UiRect& r, AboutView::State state) {
  const float sx = r.width / 70.0f, sy = r.height / 30.0f;
  const Gdiplus::GraphicsState saved = g.Save();
  g.TranslateTransform(static_cast<float>(r.x), static_cast<float>(r.y));
  g.ScaleTransform(sx, sy);
  unsigned fillColor = 0xFF3A3D43;
  if (state == AboutView::State::Hot) fillColor = 0xFFC8262B;
  if (state == AboutView::State::Pressed) fillColor = 0xFF8E1519;
  Gdiplus::GraphicsPath pill;
  AddRoundRect(pill, RectF(0.5f, 0.5f, 69, 29), 14);
  Gdiplus::SolidBrush fill(Argb(fillColor));
  g.FillPath(&fill, &pill);
  Gdiplus::Pen rim(Argb(0xFF8A9099), 1);
  g.DrawPath(&rim, &pill);
  Gdiplus::Pen white(Argb(0xFFFFFFFF), 2);
  g.DrawEllipse(&white, 12.0f, 6.0f, 18.0f, 18.0f);
  g.DrawLine(&white, 21.0f, 6.0f, 21.0f, 24.0f);
  g.DrawLine(&white, 12.0f, 15.0f, 30.0f, 15.0f);
  g.DrawEllipse(&white, 16.5f, 6.0f, 9.0f, 18.0f);
  Gdiplus::Pen arrow(Argb(0xFFFFFFFF), 3);
  arrow.SetStartCap(Gdiplus::LineCapRound);
  arrow.SetEndCap(Gdiplus::LineCapArrowAnchor);
  g.DrawLine(&arrow, 38.0f, 15.0f, 58.0f, 15.0f);
  g.Restore(saved);
}

}  // namespace

AboutView::AboutView(HWND window, Handlers handlers, std::function<WStr(WView)> translate)
    : window_(window), handlers_(std::move(handlers)), translate_(std::move(translate)) {
  EnsureGdiplus();
}

void AboutView::Attach() {
  ::SetWindowLongPtrW(window_, GWL_STYLE, WS_POPUP | WS_CLIPCHILDREN);
  const LONG_PTR ex = ::GetWindowLongPtrW(window_, GWL_EXSTYLE);
  ::SetWindowLongPtrW(window_, GWL_EXSTYLE, (ex | WS_EX_TOOLWINDOW) & ~static_cast<LONG_PTR>(WS_EX_APPWINDOW));
  ::SetWindowPos(window_, nullptr, 0, 0, 0, 0, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOMOVE | SWP_NOSIZE | SWP_FRAMECHANGED);
  Place();
}

void AboutView::Place() {
  scale_ = FittedScale(WindowDpi(window_), about::kClientWidth, about::kClientHeight);
  const int w = Scaled(about::kClientWidth, scale_), h = Scaled(about::kClientHeight, scale_);
  const RECT r = CenteredOnDesktop(w, h);
  ::SetWindowPos(window_, nullptr, r.left, r.top, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
  ::InvalidateRect(window_, nullptr, FALSE);
}

void AboutView::Retranslate() { ::InvalidateRect(window_, nullptr, FALSE); }

AboutView::State AboutView::StateOf(Part part) const {
  if (part == Part::None) return State::Normal;
  if (pressed_ == part && hot_ == part) return State::Pressed;
  if (hot_ == part) return State::Hot;
  return State::Normal;
}

AboutView::Part AboutView::HitTest(int x, int y) const {
  // Layout pixels from window pixels.
  x = static_cast<int>(x / scale_);
  y = static_cast<int>(y / scale_);
  if (Inside(about::kBtnOK, x, y)) return Part::OK;
  if (Inside(about::kBtnGoWeb, x, y)) return Part::GoWeb;
  return Part::None;
}

void AboutView::SetHot(Part part) {
  if (hot_ == part) return;
  hot_ = part;
  ::InvalidateRect(window_, nullptr, FALSE);
}

void AboutView::Paint(HDC dc) {
  const int w = Scaled(about::kClientWidth, scale_), h = Scaled(about::kClientHeight, scale_);
  HDC mem = ::CreateCompatibleDC(dc);
  HBITMAP bmp = ::CreateCompatibleBitmap(dc, w, h);
  HGDIOBJ old = ::SelectObject(mem, bmp);
  {
    Gdiplus::Graphics g(mem);
    g.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
    g.SetTextRenderingHint(Gdiplus::TextRenderingHintAntiAliasGridFit);
    // The layout is in 96-DPI pixels; text and pictures scale with it.
    g.ScaleTransform(static_cast<float>(scale_), static_cast<float>(scale_));
    DrawBackground(g);
    auto tr = [this](WView t) { return translate_ ? translate_(t) : WStr(t); };
    for (const AboutLabel& label : about::kLabels) {
      DrawTextBox(g, tr(label.text), ToRectF(label.rect), static_cast<float>(label.fontPixels), label.bold,
                  0xFFE6E8EB, HAlign::Left);
    }
    DrawTextBox(g, kAboutWebAddress, ToRectF(about::kTextWeb), 13, false, 0xFFFFFFFF, HAlign::Left);
    DrawWebButton(g, about::kBtnGoWeb, StateOf(Part::GoWeb));
    DrawStateButton(g, about::kBtnOK, StateOf(Part::OK), tr(about::kOKText));
  }
  ::BitBlt(dc, 0, 0, w, h, mem, 0, 0, SRCCOPY);
  ::SelectObject(mem, old);
  ::DeleteObject(bmp);
  ::DeleteDC(mem);
}

bool AboutView::HandleMessage(UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
  switch (msg) {
    case WM_ERASEBKGND:
      result = 1;
      return true;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = ::BeginPaint(window_, &ps);
      Paint(dc);
      ::EndPaint(window_, &ps);
      result = 0;
      return true;
    }
    case WM_MOUSEMOVE: {
      if (!tracking_) {
        TRACKMOUSEEVENT t{sizeof t, TME_LEAVE, window_, 0};
        tracking_ = ::TrackMouseEvent(&t) != FALSE;
      }
      SetHot(HitTest(GET_X_LPARAM(lp), GET_Y_LPARAM(lp)));
      result = 0;
      return true;
    }
    case WM_MOUSELEAVE:
      tracking_ = false;
      SetHot(Part::None);
      result = 0;
      return true;
    case WM_LBUTTONDOWN: {
      pressed_ = HitTest(GET_X_LPARAM(lp), GET_Y_LPARAM(lp));
      hot_ = pressed_;
      if (pressed_ != Part::None) ::SetCapture(window_);
      ::InvalidateRect(window_, nullptr, FALSE);
      result = 0;
      return true;
    }
    case WM_LBUTTONUP: {
      const Part released = HitTest(GET_X_LPARAM(lp), GET_Y_LPARAM(lp));
      const Part pressed = pressed_;
      pressed_ = Part::None;
      if (::GetCapture() == window_) ::ReleaseCapture();
      ::InvalidateRect(window_, nullptr, FALSE);
      result = 0;
      if (pressed != Part::None && pressed == released) {
        if (pressed == Part::OK && handlers_.BtnOKClick) handlers_.BtnOKClick();
        if (pressed == Part::GoWeb && handlers_.BtnGoWebClick) handlers_.BtnGoWebClick();
      }
      return true;
    }
    case WM_CAPTURECHANGED:
      if (pressed_ != Part::None) {
        pressed_ = Part::None;
        ::InvalidateRect(window_, nullptr, FALSE);
      }
      return false;
    case WM_SETCURSOR:
      if (LOWORD(lp) == HTCLIENT && hot_ != Part::None) {
        ::SetCursor(::LoadCursorW(nullptr, IDC_HAND));
        result = TRUE;
        return true;
      }
      return false;
    case WM_KEYDOWN:
      // Enter and Escape close it like OK.
      if ((wp == VK_ESCAPE || wp == VK_RETURN) && handlers_.BtnOKClick) {
        handlers_.BtnOKClick();
        result = 0;
        return true;
      }
      return false;
    case WM_SHOWWINDOW:
      // Each showing starts with both buttons in their normal pictures.
      hot_ = pressed_ = Part::None;
      tracking_ = false;
      if (wp) Place();
      return false;
    case WM_DISPLAYCHANGE:
      // A new resolution or a screen gone: never left off-screen.
      if (::IsWindowVisible(window_)) Place();
      return false;
    case WM_DPICHANGED:
      Place();
      result = 0;
      return true;
    default:
      return false;
  }
}

}  // namespace vx::ui
