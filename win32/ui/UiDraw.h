#pragma once
// GDI+ helpers shared by the drawn windows (About window, recording overlay).
#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <string>

#include "platform/Text.h"

namespace vx::ui {

// GDI+ is started once per process, on first use, and kept until exit.
void EnsureGdiplus();

inline std::wstring W(WView s) { return std::wstring(s.begin(), s.end()); }

// An ARGB colour written as in the layout tables ("#AARRGGBB" -> 0xAARRGGBB).
inline Gdiplus::Color Argb(unsigned argb) { return Gdiplus::Color(static_cast<Gdiplus::ARGB>(argb)); }

// A rounded rectangle path; radius 0 gives a plain rectangle.
void AddRoundRect(Gdiplus::GraphicsPath& path, Gdiplus::RectF r, float radius);

enum class HAlign { Left, Center };

// The face DrawTextBox draws with.
const wchar_t* TextFace();

// Text in Tahoma with the size in pixels, vertically centred in the box.
void DrawTextBox(Gdiplus::Graphics& g, WView text, Gdiplus::RectF box, float pixels, bool bold, unsigned argb,
                 HAlign align);

// Shows a premultiplied 32-bit frame of `size` from `source` as the whole
// of a layered window at `at` (screen pixels).
void PresentLayered(HWND window, POINT at, SIZE size, HDC source);

// Client size and position that centre a window on the primary screen's work area.
RECT CenteredOnDesktop(int width, int height);

// The DPI a window is drawn at (its monitor's: the program is per-monitor
// aware); 96 is 100 %.
UINT WindowDpi(HWND window);
// The drawing scale for a layout of width x height pixels at the DPI, made
// smaller where the scaled window would not fit the primary work area.
double FittedScale(UINT dpi, int width, int height);
inline int Scaled(int pixels, double scale) { return static_cast<int>(pixels * scale + 0.5); }

}  // namespace vx::ui
