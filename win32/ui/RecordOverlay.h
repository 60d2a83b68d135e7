#pragma once
// The recording overlay (window caption "FrmRecord"): a translucent rounded
// panel at the bottom centre of the primary screen, always on top, with a
// blinking dot, "Recording..." and the list of recorded actions.
#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "recording/MacroRecord.h"
#include "win32/ui/UiDraw.h"

namespace vx::ui {

class TFrmRecord final : public IRecordOverlay {
 public:
  TFrmRecord(HWND owner, std::function<WStr(WView)> translate);
  ~TFrmRecord() override;
  TFrmRecord(const TFrmRecord&) = delete;
  TFrmRecord& operator=(const TFrmRecord&) = delete;

  void AddLine(WView line) override;

  // Places the window at the bottom centre of the primary screen, scaled
  // for its DPI; run when it is shown and when the display changes.
  void FormShow();
  double Scale() const { return scale_; }
  // Every 100 ms: back to the top of the topmost windows unless it is the
  // foreground window itself.
  void Timer1Timer();

  // One animation frame (the timer's work): the still layer, drawn again
  // when lines were added, plus the dot in its current colour.
  void Render();

  HWND Handle() const { return window_; }
  const std::vector<WStr>& Lines() const { return lines_; }
  // The lines the memo shows: the newest ones that fit.
  std::vector<WStr> VisibleLines() const;

 private:
  static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  static LRESULT Message(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  // The frame, label and memo, redrawn only when the lines change.
  void DrawStill();
  // The frame buffer at the window's current size.
  void MakeFrame();
  void FreeFrame();
  int Width() const { return Scaled(overlay::kWidth, scale_); }
  int Height() const { return Scaled(overlay::kHeight, scale_); }

  HWND window_ = nullptr;
  std::function<WStr(WView)> translate_;
  std::vector<WStr> lines_;
  DWORD created_ = 0;
  std::vector<std::uint32_t> still_;  // premultiplied ARGB
  bool stillDirty_ = true;
  unsigned lastDot_ = 0;
  HDC frameDc_ = nullptr;
  HBITMAP frameBitmap_ = nullptr;
  HGDIOBJ oldBitmap_ = nullptr;
  void* frameBits_ = nullptr;
  double scale_ = 1.0;
  int frameWidth_ = 0;
  int frameHeight_ = 0;
};

class Win32RecordOverlayFactory final : public IRecordOverlayFactory {
 public:
  // applicationWindow: the monitor window, hidden while the overlay shows.
  Win32RecordOverlayFactory(HWND applicationWindow, std::function<WStr(WView)> translate);
  std::unique_ptr<IRecordOverlay> ShowRecordWindow() override;
  // The window is created after the factory in the monitor program.
  void SetApplicationWindow(HWND window) { app_ = window; }

 private:
  HWND app_;
  std::function<WStr(WView)> translate_;
};

}  // namespace vx::ui
