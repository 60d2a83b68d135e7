// The drawn windows on real Win32: the About window's frame, size, place and
// button states, the overlay's window, and the tray icon's messages.
#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "VXVersion.h"
#include "app/MonitorAbout.h"
#include "platform/Text.h"
#include "platform/WindowSystem.h"
#include "recording/MacroRecord.h"
#include "win32/ui/AboutView.h"
#include "win32/ui/RecordOverlay.h"
#include "win32/ui/TrayIcon.h"
#include "win32/ui/UiDraw.h"

namespace vx::ui {
namespace {

// A hidden top-level window like the monitor's, forwarding to the views.
struct TestWindow {
  TestWindow() {
    static bool registered = [] {
      WNDCLASSEXW wc{};
      wc.cbSize = sizeof wc;
      wc.lpfnWndProc = &TestWindow::Proc;
      wc.hInstance = ::GetModuleHandleW(nullptr);
      wc.lpszClassName = L"VXUiTestWindow";
      return ::RegisterClassExW(&wc) != 0;
    }();
    (void)registered;
    hwnd = ::CreateWindowExW(0, L"VXUiTestWindow", L"VXUiTest", WS_OVERLAPPEDWINDOW, 10, 10, 200, 100, nullptr,
                             nullptr, ::GetModuleHandleW(nullptr), this);
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }
  ~TestWindow() { ::DestroyWindow(hwnd); }
  static LRESULT CALLBACK Proc(HWND h, UINT m, WPARAM w, LPARAM l) {
    auto* self = reinterpret_cast<TestWindow*>(::GetWindowLongPtrW(h, GWLP_USERDATA));
    LRESULT r = 0;
    if (self && self->about && self->about->HandleMessage(m, w, l, r)) return r;
    if (self && self->tray && self->tray->HandleMessage(m, w, l)) return 0;
    return ::DefWindowProcW(h, m, w, l);
  }
  HWND hwnd = nullptr;
  AboutView* about = nullptr;
  Win32TrayIcon* tray = nullptr;
};

void Pump() {
  MSG msg;
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
}

LPARAM At(const UiRect& r, int dx = 0) { return MAKELPARAM(r.x + r.width / 2 + dx, r.y + r.height / 2); }

int CountWindows(const wchar_t* cls, const wchar_t* caption) {
  int n = 0;
  HWND w = nullptr;
  while ((w = ::FindWindowExW(nullptr, w, cls, caption)) != nullptr) ++n;
  return n;
}

TEST(AboutWindow, BorderlessCentred504x400) {
  TestWindow win;
  AboutView view(win.hwnd, {}, {});
  win.about = &view;
  view.Attach();
  ::ShowWindow(win.hwnd, SW_SHOW);
  Pump();
  RECT client{}, outer{};
  ::GetClientRect(win.hwnd, &client);
  ::GetWindowRect(win.hwnd, &outer);
  EXPECT_EQ(client.right - client.left, 504);
  EXPECT_EQ(client.bottom - client.top, 400);
  EXPECT_EQ(outer.right - outer.left, 504) << "no border";
  const LONG_PTR style = ::GetWindowLongPtrW(win.hwnd, GWL_STYLE);
  EXPECT_EQ(style & (WS_CAPTION | WS_THICKFRAME | WS_BORDER | WS_SYSMENU), 0);
  EXPECT_TRUE(::GetWindowLongPtrW(win.hwnd, GWL_EXSTYLE) & WS_EX_TOOLWINDOW) << "no task-bar button";
  const RECT want = CenteredOnDesktop(504, 400);
  EXPECT_EQ(outer.left, want.left);
  EXPECT_EQ(outer.top, want.top);
  // Left off the screen by a display change: placed again.
  ::SetWindowPos(win.hwnd, nullptr, -3000, 4000, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  ::SendMessageW(win.hwnd, WM_DISPLAYCHANGE, 32, 0);
  ::GetWindowRect(win.hwnd, &outer);
  EXPECT_EQ(outer.left, want.left);
  EXPECT_EQ(outer.top, want.top);
}

TEST(AboutWindow, ButtonsHoverPressAndClick) {
  TestWindow win;
  std::vector<std::string> clicks;
  AboutView view(win.hwnd, {[&] { clicks.push_back("ok"); }, [&] { clicks.push_back("web"); }}, {});
  win.about = &view;
  view.Attach();
  ::ShowWindow(win.hwnd, SW_SHOW);
  Pump();
  using P = AboutView::Part;
  using S = AboutView::State;

  ::SendMessageW(win.hwnd, WM_MOUSEMOVE, 0, At(about::kBtnOK));
  EXPECT_EQ(view.StateOf(P::OK), S::Hot);
  EXPECT_EQ(view.StateOf(P::GoWeb), S::Normal);
  ::SendMessageW(win.hwnd, WM_LBUTTONDOWN, MK_LBUTTON, At(about::kBtnOK));
  EXPECT_EQ(view.StateOf(P::OK), S::Pressed);
  ::SendMessageW(win.hwnd, WM_LBUTTONUP, 0, At(about::kBtnOK));
  EXPECT_EQ(view.StateOf(P::OK), S::Hot);

  ::SendMessageW(win.hwnd, WM_MOUSEMOVE, 0, At(about::kBtnGoWeb));
  EXPECT_EQ(view.StateOf(P::GoWeb), S::Hot);
  EXPECT_EQ(view.StateOf(P::OK), S::Normal);
  ::SendMessageW(win.hwnd, WM_LBUTTONDOWN, MK_LBUTTON, At(about::kBtnGoWeb));
  ::SendMessageW(win.hwnd, WM_LBUTTONUP, 0, At(about::kBtnGoWeb));

  // Pressed on OK, released elsewhere: no click.
  ::SendMessageW(win.hwnd, WM_LBUTTONDOWN, MK_LBUTTON, At(about::kBtnOK));
  ::SendMessageW(win.hwnd, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
  ::SendMessageW(win.hwnd, WM_KEYDOWN, VK_ESCAPE, 0);
  EXPECT_EQ(clicks, (std::vector<std::string>{"ok", "web", "ok"}));
}

TEST(AboutWindow, AboutTwiceShowsOneWindowAndOkHidesIt) {
  TestWindow win;
  IWindowSystem& ws = PlatformWindowSystem();
  TMonitorAbout about(ws, reinterpret_cast<WindowHandle>(win.hwnd), [] { Pump(); });
  AboutView view(win.hwnd, {[&] { about.BtnOKClick(); }, {}}, {});
  win.about = &view;
  view.Attach();
  about.About1Click();
  about.About1Click();
  EXPECT_TRUE(::IsWindowVisible(win.hwnd));
  EXPECT_EQ(CountWindows(L"VXUiTestWindow", nullptr), 1);
  ::SendMessageW(win.hwnd, WM_LBUTTONDOWN, MK_LBUTTON, At(about::kBtnOK));
  ::SendMessageW(win.hwnd, WM_LBUTTONUP, 0, At(about::kBtnOK));
  EXPECT_FALSE(::IsWindowVisible(win.hwnd));
}

TEST(RecordOverlay, CreatedOnStartPlacedOnTopAndFreedOnStop) {
  TestWindow app;
  ::ShowWindow(app.hwnd, SW_SHOW);
  Win32RecordOverlayFactory factory(app.hwnd, [](WView t) {
    WStr s(1, u'<');
    s.append(t);
    s.push_back(u'>');
    return s;
  });
  for (int round = 0; round < 2; ++round) {
    auto overlay = factory.ShowRecordWindow();
    Pump();
    HWND w = ::FindWindowW(L"TFrmRecord", L"FrmRecord");
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(CountWindows(L"TFrmRecord", nullptr), 1);
    EXPECT_FALSE(::IsWindowVisible(app.hwnd)) << "the application's window is hidden";
    EXPECT_TRUE(::IsWindowVisible(w));
    EXPECT_TRUE(::GetWindowLongPtrW(w, GWL_EXSTYLE) & WS_EX_TOPMOST);
    RECT r{};
    ::GetWindowRect(w, &r);
    const int sw = ::GetSystemMetrics(SM_CXSCREEN), sh = ::GetSystemMetrics(SM_CYSCREEN);
    EXPECT_EQ(r.right - r.left, 372);
    EXPECT_EQ(r.bottom - r.top, 100);
    EXPECT_EQ(r.left, (sw - 372) / 2);
    EXPECT_EQ(r.top, sh - 100 - 50);
    auto* frm = static_cast<TFrmRecord*>(overlay.get());
    for (int i = 0; i < 9; ++i) {
      WStr line = IntToWStr(i);
      line.append(u"ms");
      overlay->AddLine(line);
    }
    const std::vector<WStr> shown = frm->VisibleLines();
    ASSERT_EQ(shown.size(), 6u);
    EXPECT_EQ(ToUtf8(shown.front()), "3ms");
    EXPECT_EQ(ToUtf8(shown.back()), "8ms") << "the newest line stays in view";
    // Another window on top: the timer puts the overlay back on top.
    ::SetWindowPos(w, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    frm->Timer1Timer();
    EXPECT_TRUE(::GetWindowLongPtrW(w, GWL_EXSTYLE) & WS_EX_TOPMOST);
    // Not while the foreground window is captioned "FrmRecord".
    TestWindow front;
    ::SetWindowTextW(front.hwnd, L"FrmRecord");
    ::ShowWindow(front.hwnd, SW_SHOW);
    ::SetForegroundWindow(front.hwnd);
    Pump();
    ASSERT_EQ(::GetForegroundWindow(), front.hwnd);
    ::SetWindowPos(w, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    frm->Timer1Timer();
    EXPECT_FALSE(::GetWindowLongPtrW(w, GWL_EXSTYLE) & WS_EX_TOPMOST);
    // Off the screen after a display change (a monitor unplugged): the
    // change places it at the bottom centre again.
    ::SetWindowPos(w, nullptr, 5000, 5000, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ::SendMessageW(w, WM_DISPLAYCHANGE, 32, MAKELPARAM(sw, sh));
    ::GetWindowRect(w, &r);
    EXPECT_EQ(r.left, (sw - 372) / 2);
    EXPECT_EQ(r.top, sh - 100 - 50);
    overlay.reset();
    EXPECT_EQ(::FindWindowW(L"TFrmRecord", nullptr), nullptr);
    ::ShowWindow(app.hwnd, SW_SHOW);
  }
}

TEST(TrayIcon, ClickAndTaskbarRestart) {
  TestWindow win;
  int clicks = 0;
  Win32TrayIcon tray(win.hwnd, {[&] { ++clicks; }, {}});
  win.tray = &tray;
  tray.SetHint(u"hint");
  ::SendMessageW(win.hwnd, WM_VX_TRAY, 1, WM_LBUTTONUP);
  ::SendMessageW(win.hwnd, WM_VX_TRAY, 1, WM_MOUSEMOVE);
  EXPECT_EQ(clicks, 1);
  const UINT restarted = ::RegisterWindowMessageW(L"TaskbarCreated");
  EXPECT_TRUE(tray.HandleMessage(restarted, 0, 0));
}

TEST(Resources, IconVersionAndManifestAreLinkedIn) {
  HMODULE self = ::GetModuleHandleW(nullptr);
  HRSRC group = ::FindResourceW(self, L"MAINICON", MAKEINTRESOURCEW(14));  // RT_GROUP_ICON
  ASSERT_NE(group, nullptr);
  // GRPICONDIR: reserved, type 1, count, then 14-byte entries.
  const auto* dir = static_cast<const BYTE*>(::LockResource(::LoadResource(self, group)));
  ASSERT_NE(dir, nullptr);
  const int count = dir[4] | dir[5] << 8;
  EXPECT_EQ(count, 6);
  int sizes48 = 0, deep = 0;
  for (int i = 0; i < count; ++i) {
    const BYTE* e = dir + 6 + 14 * i;
    if (e[0] == 48) ++sizes48;
    if ((e[6] | e[7] << 8) == 32) ++deep;
  }
  EXPECT_EQ(sizes48, 2);
  EXPECT_EQ(deep, 3);
  for (int size : {16, 32, 48}) {
    HICON icon = static_cast<HICON>(::LoadImageW(self, L"MAINICON", IMAGE_ICON, size, size, 0));
    EXPECT_NE(icon, nullptr) << size;
    if (icon) ::DestroyIcon(icon);
  }
  EXPECT_NE(::FindResourceW(self, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24)), nullptr) << "manifest";

  wchar_t path[MAX_PATH];
  ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  DWORD ignored = 0;
  const DWORD size = ::GetFileVersionInfoSizeW(path, &ignored);
  ASSERT_GT(size, 0u);
  std::vector<BYTE> info(size);
  ASSERT_TRUE(::GetFileVersionInfoW(path, 0, size, info.data()));
  wchar_t* text = nullptr;
  UINT len = 0;
  ASSERT_TRUE(::VerQueryValueW(info.data(), L"\\StringFileInfo\\040904B0\\FileDescription",
                               reinterpret_cast<void**>(&text), &len));
  EXPECT_EQ(std::wstring(text), L"Vantor Gaming Mouse Monitor");
  ASSERT_TRUE(::VerQueryValueW(info.data(), L"\\StringFileInfo\\040904B0\\ProductVersion",
                               reinterpret_cast<void**>(&text), &len));
  EXPECT_EQ(ToUtf8(WView(reinterpret_cast<const char16_t*>(text))), VX_VERSION_TEXT);
}

}  // namespace
}  // namespace vx::ui
