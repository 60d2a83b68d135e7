// Shows the About window and the recording overlay as the monitor does, for
// screenshots: prints each window's rectangle, then "ready", and runs until
// the given number of seconds has passed. WM_APP posted to its window closes
// the overlay (the About window alone for a second screenshot).
//   UiShowcase.exe SECONDS
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

#include "app/MonitorAbout.h"
#include "platform/WindowSystem.h"
#include "win32/ui/AboutView.h"
#include "win32/ui/RecordOverlay.h"

namespace {

vx::ui::AboutView* g_about = nullptr;
bool g_closeOverlay = false;

LRESULT CALLBACK Proc(HWND h, UINT m, WPARAM w, LPARAM l) {
  LRESULT r = 0;
  if (m == WM_APP) {
    g_closeOverlay = true;
    return 0;
  }
  if (g_about && g_about->HandleMessage(m, w, l, r)) return r;
  return ::DefWindowProcW(h, m, w, l);
}

void PrintRect(const char* name, HWND w) {
  RECT r{};
  ::GetWindowRect(w, &r);
  std::printf("%s %ld %ld %ld %ld\n", name, r.left, r.top, r.right - r.left, r.bottom - r.top);
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 20;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = Proc;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  wc.lpszClassName = L"VXUiShowcase";
  ::RegisterClassExW(&wc);
  HWND main = ::CreateWindowExW(0, L"VXUiShowcase", L"VXUiShowcase", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                wc.hInstance, nullptr);
  vx::ui::AboutView view(main, {}, {});
  g_about = &view;
  view.Attach();
  vx::TMonitorAbout about(vx::PlatformWindowSystem(), reinterpret_cast<vx::WindowHandle>(main), [] {
    vx::PlatformWindowSystem().ProcessMessages();
    ::Sleep(50);
  });
  about.About1Click();
  PrintRect("about", main);
  std::printf("about_scale %.3f\n", view.Scale());

  // The overlay hides the application's window; a second, independent
  // window owner keeps the About window up for the same screenshot.
  vx::ui::Win32RecordOverlayFactory overlays(nullptr, {});
  auto overlay = overlays.ShowRecordWindow();
  for (const char16_t* line : {u"Mouse ClickDown", u"120ms", u"Mouse ClickUp", u"Wheel Down(Mouse)"}) {
    overlay->AddLine(line);
  }
  PrintRect("overlay", ::FindWindowW(L"TFrmRecord", L"FrmRecord"));
  std::printf("overlay_scale %.3f\n", static_cast<vx::ui::TFrmRecord*>(overlay.get())->Scale());
  std::printf("ready\n");
  std::fflush(stdout);

  const DWORD end = ::GetTickCount() + static_cast<DWORD>(seconds) * 1000;
  while (static_cast<LONG>(end - ::GetTickCount()) > 0) {
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
    if (g_closeOverlay) overlay.reset();
  }
  overlay.reset();
  g_about = nullptr;
  ::DestroyWindow(main);
  return 0;
}
