// vxwin.exe: window queries for the end-to-end tests.
//   vxwin count CLASS              prints how many top-level windows have the class
//   vxwin wait CLASS [MS]          waits until one exists (exit 1 on timeout)
//   vxwin gone CLASS [MS]          waits until none exists
//   vxwin post CLASS MSG [WP] [LP] posts a message to the first one
//   vxwin visible CLASS            exit 0 when the first one is visible
//   vxwin hide CLASS               hides the first one (it loses the activation)
//   vxwin texts CLASS              prints the caption and child texts of the first one
//   vxwin rect CLASS               prints "X Y W H" of the first one
//   vxwin foreground               prints the foreground window's class
#include <windows.h>

#include <cstdio>
#include <cwchar>

namespace {

struct Count {
  const wchar_t* cls;
  int n;
};

BOOL CALLBACK CountProc(HWND hwnd, LPARAM lp) {
  auto* c = reinterpret_cast<Count*>(lp);
  wchar_t name[256];
  if (::GetClassNameW(hwnd, name, 256) && std::wcscmp(name, c->cls) == 0) ++c->n;
  return TRUE;
}

int CountOf(const wchar_t* cls) {
  Count c{cls, 0};
  ::EnumWindows(CountProc, reinterpret_cast<LPARAM>(&c));
  return c.n;
}

bool WaitFor(const wchar_t* cls, DWORD ms, bool present) {
  const DWORD start = ::GetTickCount();
  for (;;) {
    if ((CountOf(cls) > 0) == present) return true;
    if (::GetTickCount() - start > ms) return false;
    ::Sleep(100);
  }
}

BOOL CALLBACK PrintChild(HWND hwnd, LPARAM) {
  wchar_t text[512];
  if (::GetWindowTextW(hwnd, text, 512) > 0) std::printf("%ls\n", text);
  return TRUE;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc == 2 && std::wcscmp(argv[1], L"foreground") == 0) {
    wchar_t name[256] = L"";
    HWND fg = ::GetForegroundWindow();
    if (fg) ::GetClassNameW(fg, name, 256);
    std::printf("%ls\n", name);
    return 0;
  }
  if (argc < 3) {
    std::fputs("usage: vxwin count|wait|gone|post|visible|hide|texts CLASS ...\n", stderr);
    return 2;
  }
  const wchar_t* cmd = argv[1];
  const wchar_t* cls = argv[2];
  const DWORD ms = argc > 3 ? std::wcstoul(argv[3], nullptr, 10) : 10000;
  if (std::wcscmp(cmd, L"count") == 0) {
    std::printf("%d\n", CountOf(cls));
    return 0;
  }
  if (std::wcscmp(cmd, L"wait") == 0) return WaitFor(cls, ms, true) ? 0 : 1;
  if (std::wcscmp(cmd, L"gone") == 0) return WaitFor(cls, ms, false) ? 0 : 1;
  HWND hwnd = ::FindWindowW(cls, nullptr);
  if (!hwnd) return 1;
  if (std::wcscmp(cmd, L"visible") == 0) return ::IsWindowVisible(hwnd) ? 0 : 1;
  if (std::wcscmp(cmd, L"hide") == 0) {
    ::ShowWindow(hwnd, SW_HIDE);
    return ::IsWindowVisible(hwnd) ? 1 : 0;
  }
  if (std::wcscmp(cmd, L"rect") == 0) {
    RECT r{};
    ::GetWindowRect(hwnd, &r);
    std::printf("%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
    return 0;
  }
  if (std::wcscmp(cmd, L"texts") == 0) {
    wchar_t text[512];
    if (::GetWindowTextW(hwnd, text, 512) > 0) std::printf("%ls\n", text);
    ::EnumChildWindows(hwnd, PrintChild, 0);
    return 0;
  }
  if (std::wcscmp(cmd, L"post") == 0 && argc > 3) {
    const UINT msg = static_cast<UINT>(std::wcstoul(argv[3], nullptr, 10));
    const WPARAM wp = argc > 4 ? static_cast<WPARAM>(std::wcstoull(argv[4], nullptr, 10)) : 0;
    const LPARAM lp = argc > 5 ? static_cast<LPARAM>(std::wcstoll(argv[5], nullptr, 10)) : 0;
    return ::PostMessageW(hwnd, msg, wp, lp) ? 0 : 1;
  }
  return 2;
}
