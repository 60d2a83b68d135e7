#include "win32/ui/RecordOverlay.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "platform/EntryGuard.h"
#include "win32/ui/UiDraw.h"

namespace vx::ui {

namespace {

constexpr wchar_t kClassName[] = L"TFrmRecord";
constexpr UINT_PTR kTimer1 = 1;
constexpr UINT_PTR kAnimationTimer = 2;
constexpr UINT kAnimationFrameMs = 40;
constexpr int kMemoLinePixels = 15;

void RegisterClassOnce(WNDPROC proc) {
  static const bool registered = [proc] {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = proc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.lpszClassName = kClassName;
    return ::RegisterClassExW(&wc) != 0;
  }();
  (void)registered;
}

}  // namespace

LRESULT CALLBACK TFrmRecord::WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  LRESULT result = 0;
  if (Guarded("recording overlay message", false, [&] {
        result = Message(hwnd, msg, wp, lp);
        return true;
      })) {
    return result;
  }
  return 0;
}

LRESULT TFrmRecord::Message(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto* self = reinterpret_cast<TFrmRecord*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self && msg == WM_TIMER) {
    if (wp == kTimer1) self->Timer1Timer();
    if (wp == kAnimationTimer) self->Render();
    return 0;
  }
  if (self && (msg == WM_DISPLAYCHANGE || msg == WM_DPICHANGED)) {
    // A new resolution, a screen unplugged or another scale: placed again.
    self->FormShow();
    self->Render();
    return 0;
  }
  // Never take the activation from the program being recorded.
  if (msg == WM_MOUSEACTIVATE) return MA_NOACTIVATE;
  return ::DefWindowProcW(hwnd, msg, wp, lp);
}

TFrmRecord::TFrmRecord(HWND owner, std::function<WStr(WView)> translate) : translate_(std::move(translate)) {
  EnsureGdiplus();
  RegisterClassOnce(&TFrmRecord::WndProc);
  window_ = ::CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW | WS_EX_LAYERED | WS_EX_NOACTIVATE, kClassName,
                              L"FrmRecord", WS_POPUP, 0, 0, overlay::kWidth, overlay::kHeight, owner, nullptr,
                              ::GetModuleHandleW(nullptr), nullptr);
  if (!window_) return;
  ::SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  created_ = ::GetTickCount();
  FormShow();
  Render();
  ::ShowWindow(window_, SW_SHOWNOACTIVATE);
  ::SetTimer(window_, kTimer1, overlay::kTopmostTimerMs, nullptr);
  ::SetTimer(window_, kAnimationTimer, kAnimationFrameMs, nullptr);
}

TFrmRecord::~TFrmRecord() {
  if (!window_) return;
  ::KillTimer(window_, kTimer1);
  ::KillTimer(window_, kAnimationTimer);
  ::SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
  ::DestroyWindow(window_);
  FreeFrame();
}

void TFrmRecord::MakeFrame() {
  FreeFrame();
  BITMAPINFO bi{};
  bi.bmiHeader.biSize = sizeof bi.bmiHeader;
  bi.bmiHeader.biWidth = Width();
  bi.bmiHeader.biHeight = -Height();  // top-down, like GDI+'s rows
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  frameDc_ = ::CreateCompatibleDC(nullptr);
  frameBitmap_ = ::CreateDIBSection(frameDc_, &bi, DIB_RGB_COLORS, &frameBits_, nullptr, 0);
  if (frameBitmap_) {
    oldBitmap_ = ::SelectObject(frameDc_, frameBitmap_);
    frameWidth_ = Width();
    frameHeight_ = Height();
  } else {
    ::DeleteDC(frameDc_);
    frameDc_ = nullptr;
  }
  stillDirty_ = true;
}

void TFrmRecord::FreeFrame() {
  if (!frameDc_) return;
  ::SelectObject(frameDc_, oldBitmap_);
  ::DeleteObject(frameBitmap_);
  ::DeleteDC(frameDc_);
  frameDc_ = nullptr;
  frameBitmap_ = nullptr;
  frameBits_ = nullptr;
  frameWidth_ = 0;
  frameHeight_ = 0;
}

void TFrmRecord::FormShow() {
  scale_ = FittedScale(WindowDpi(window_), overlay::kWidth, overlay::kHeight);
  // Any change of size (a scale may keep the width and raise the height).
  if (!frameDc_ || frameWidth_ != Width() || frameHeight_ != Height()) MakeFrame();
  const int screenW = ::GetSystemMetrics(SM_CXSCREEN), screenH = ::GetSystemMetrics(SM_CYSCREEN);
  const int left = (screenW - Width()) / 2;
  const int top = screenH - Height() - Scaled(overlay::kBottomGap, scale_);
  ::SetWindowPos(window_, HWND_TOPMOST, left, top, Width(), Height(), SWP_NOACTIVATE);
}

void TFrmRecord::Timer1Timer() {
  wchar_t title[256] = {};
  ::GetWindowTextW(::GetForegroundWindow(), title, 255);
  const std::u16string t(title, title + std::wcslen(title));
  if (SameTextIgnoreCase(t, overlay::kCaption)) return;
  ::SetWindowPos(window_, HWND_TOPMOST, 0, 0, Width(), Height(), SWP_NOMOVE | SWP_SHOWWINDOW | SWP_NOACTIVATE);
}

void TFrmRecord::AddLine(WView line) {
  // Drawn with the next animation frame, not here: this runs inside the
  // mouse hook's callback, which must return quickly.
  lines_.emplace_back(line);
  stillDirty_ = true;
}

std::vector<WStr> TFrmRecord::VisibleLines() const {
  const std::size_t fit = overlay::kMemoHeight / kMemoLinePixels;
  const std::size_t first = lines_.size() > fit ? lines_.size() - fit : 0;
  return {lines_.begin() + static_cast<std::ptrdiff_t>(first), lines_.end()};
}

void TFrmRecord::DrawStill() {
  const int w = Width(), h = Height();
  still_.assign(static_cast<std::size_t>(w) * h, 0);
  Gdiplus::Bitmap canvas(w, h, w * 4, PixelFormat32bppPARGB, reinterpret_cast<BYTE*>(still_.data()));
  Gdiplus::Graphics g(&canvas);
  // The layout is in 96-DPI pixels.
  g.ScaleTransform(static_cast<float>(scale_), static_cast<float>(scale_));
  g.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
  g.SetTextRenderingHint(Gdiplus::TextRenderingHintAntiAlias);

  // RectRoot: the rounded translucent frame.
  Gdiplus::GraphicsPath root;
  AddRoundRect(root,
               Gdiplus::RectF(overlay::kRootX + 1.0f, overlay::kRootY + 1.0f, overlay::kRootWidth - 2.0f,
                              overlay::kRootHeight - 2.0f),
               3);
  Gdiplus::SolidBrush fill(Argb(0xA40C0C0C));
  g.FillPath(&fill, &root);
  Gdiplus::Pen stroke(Argb(0xFDA8B4B6), 2);
  g.DrawPath(&stroke, &root);

  // Label1; like the designed label, the text may run past its 99 pixels.
  const WStr recording = translate_ ? translate_(overlay::kRecordingText) : WStr(overlay::kRecordingText);
  const float labelX = static_cast<float>(overlay::kLabelX + overlay::kLabelTextIndent);
  DrawTextBox(g, recording,
              Gdiplus::RectF(labelX, overlay::kRootY + 5.0f, overlay::kMemoX + 20 - labelX, overlay::kRootHeight - 10.0f),
              14, true, 0xFFFFFFFF, HAlign::Left);

  // HudMemo1: the newest lines, centred.
  const std::vector<WStr> shown = VisibleLines();
  for (std::size_t i = 0; i < shown.size(); ++i) {
    DrawTextBox(g, shown[i],
                Gdiplus::RectF(static_cast<float>(overlay::kMemoX),
                               static_cast<float>(overlay::kMemoY + static_cast<int>(i) * kMemoLinePixels),
                               static_cast<float>(overlay::kMemoWidth), static_cast<float>(kMemoLinePixels)),
                12, false, 0xFFEDEDED, HAlign::Center);
  }
  stillDirty_ = false;
}

void TFrmRecord::Render() {
  if (window_ && frameDc_ && (frameWidth_ != Width() || frameHeight_ != Height())) MakeFrame();
  if (!window_ || !frameDc_) return;
  const unsigned dot = overlay::DotColorAt(::GetTickCount() - created_);
  // Most frames of the blink repeat the last colour: nothing to do then.
  if (!stillDirty_ && dot == lastDot_) return;
  if (stillDirty_) DrawStill();
  lastDot_ = dot;
  const int w = Width(), h = Height();
  std::memcpy(frameBits_, still_.data(), still_.size() * sizeof(std::uint32_t));
  {
    Gdiplus::Bitmap canvas(w, h, w * 4, PixelFormat32bppPARGB, static_cast<BYTE*>(frameBits_));
    Gdiplus::Graphics g(&canvas);
    g.ScaleTransform(static_cast<float>(scale_), static_cast<float>(scale_));
    g.SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
    // RoundRect1: the blinking dot.
    Gdiplus::GraphicsPath dotPath;
    AddRoundRect(dotPath,
                 Gdiplus::RectF(static_cast<float>(overlay::kDotX), static_cast<float>(overlay::kDotY),
                                static_cast<float>(overlay::kDotSize), static_cast<float>(overlay::kDotSize)),
                 overlay::kDotSize / 2.0f - 0.5f);
    Gdiplus::SolidBrush dotBrush(Argb(dot));
    g.FillPath(&dotBrush, &dotPath);
  }
  RECT wr{};
  ::GetWindowRect(window_, &wr);
  PresentLayered(window_, POINT{wr.left, wr.top}, SIZE{w, h}, frameDc_);
}

Win32RecordOverlayFactory::Win32RecordOverlayFactory(HWND applicationWindow, std::function<WStr(WView)> translate)
    : app_(applicationWindow), translate_(std::move(translate)) {}

std::unique_ptr<IRecordOverlay> Win32RecordOverlayFactory::ShowRecordWindow() {
  auto frm = std::make_unique<TFrmRecord>(app_, translate_);
  // The About window (the monitor window) goes away while recording.
  if (app_) ::ShowWindow(app_, SW_HIDE);
  return frm;
}

}  // namespace vx::ui
