// Time the recording overlay takes for a new line: adding it (inside the
// mouse hook's callback) and the next animation frame, which draws it. A
// plain program for the windows build; run it under wine in a display:
//   bench_overlay_render.exe [LINES]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "win32/ui/RecordOverlay.h"

int main(int argc, char** argv) {
  const int lines = argc > 1 ? std::max(10, std::atoi(argv[1])) : 300;
  vx::ui::Win32RecordOverlayFactory factory(nullptr, {});
  auto overlay = factory.ShowRecordWindow();
  auto* frm = static_cast<vx::ui::TFrmRecord*>(overlay.get());
  LARGE_INTEGER freq;
  ::QueryPerformanceFrequency(&freq);
  auto now = [] {
    LARGE_INTEGER t;
    ::QueryPerformanceCounter(&t);
    return t.QuadPart;
  };
  auto report = [&](const char* what, std::vector<double>& ms) {
    std::sort(ms.begin(), ms.end());
    std::printf("%s over %zu runs: median %.3f ms, p99 %.3f ms, max %.3f ms\n", what, ms.size(),
                ms[ms.size() / 2], ms[ms.size() * 99 / 100], ms.back());
  };
  std::vector<double> add, frame;
  for (int i = 0; i < lines; ++i) {
    const auto a = now();
    overlay->AddLine(i % 2 ? u"Mouse ClickUp" : u"1234ms");
    const auto b = now();
    frm->Render();
    const auto c = now();
    add.push_back(1000.0 * static_cast<double>(b - a) / static_cast<double>(freq.QuadPart));
    frame.push_back(1000.0 * static_cast<double>(c - b) / static_cast<double>(freq.QuadPart));
  }
  report("AddLine (in the hook callback)", add);
  report("frame with the new line drawn", frame);
  std::vector<double> dot;
  for (int i = 0; i < lines; ++i) {
    ::Sleep(3);  // a new dot colour most of the time
    const auto a = now();
    frm->Render();
    dot.push_back(1000.0 * static_cast<double>(now() - a) / static_cast<double>(freq.QuadPart));
  }
  report("animation frame (dot only)", dot);
  return 0;
}
