// hookwatch.exe FILE SECONDS: a low-level mouse hook that writes every button
// and wheel event it sees to FILE, one line each ("left down injected"), for
// SECONDS seconds. It writes "ready" once the hook is installed.
#include <windows.h>

#include <cstdio>
#include <cwchar>

namespace {

FILE* g_out = nullptr;

LRESULT CALLBACK MouseHook(int code, WPARAM wp, LPARAM lp) {
  if (code == HC_ACTION && g_out) {
    const auto* info = reinterpret_cast<const MSLLHOOKSTRUCT*>(lp);
    const char* what = nullptr;
    switch (wp) {
      case WM_LBUTTONDOWN: what = "left down"; break;
      case WM_LBUTTONUP: what = "left up"; break;
      case WM_RBUTTONDOWN: what = "right down"; break;
      case WM_RBUTTONUP: what = "right up"; break;
      case WM_MBUTTONDOWN: what = "middle down"; break;
      case WM_MBUTTONUP: what = "middle up"; break;
      case WM_MOUSEWHEEL: what = "wheel"; break;
      default: break;
    }
    if (what) {
      std::fprintf(g_out, "%s%s\n", what, (info->flags & LLMHF_INJECTED) ? " injected" : "");
      std::fflush(g_out);
    }
  }
  return ::CallNextHookEx(nullptr, code, wp, lp);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 3) {
    std::fputs("usage: hookwatch FILE SECONDS\n", stderr);
    return 2;
  }
  g_out = _wfopen(argv[1], L"w");
  if (!g_out) return 1;
  HHOOK hook = ::SetWindowsHookExW(WH_MOUSE_LL, MouseHook, ::GetModuleHandleW(nullptr), 0);
  if (!hook) return 1;
  std::fputs("ready\n", g_out);
  std::fflush(g_out);
  const UINT_PTR timer = ::SetTimer(nullptr, 0, static_cast<UINT>(std::wcstoul(argv[2], nullptr, 10) * 1000), nullptr);
  MSG msg;
  while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (msg.message == WM_TIMER && msg.wParam == timer) break;
    ::DispatchMessageW(&msg);
  }
  ::UnhookWindowsHookEx(hook);
  std::fclose(g_out);
  return 0;
}
