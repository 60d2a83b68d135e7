// hungmonitor.exe: a monitor that does not answer the exit request. It holds
// the monitor's mutex and window ("TVXMonMain", "VX_MONITOR_EX") like the
// real one, and ignores WM_CLOSE, so an installer or uninstaller has to give
// up waiting for it.
#include <windows.h>

#include <cstdio>

namespace {

LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_CLOSE) return 0;
  return ::DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace

int wmain() {
  ::CreateMutexW(nullptr, TRUE, L"TVXMonMain");
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = Proc;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.lpszClassName = L"TVXMonMain";
  if (!::RegisterClassExW(&wc)) return 1;
  if (!::CreateWindowExW(WS_EX_TOOLWINDOW, L"TVXMonMain", L"VX_MONITOR_EX", WS_POPUP, 0, 0, 10, 10, nullptr,
                         nullptr, wc.hInstance, nullptr)) {
    return 1;
  }
  std::puts("ready");
  std::fflush(stdout);
  MSG m;
  while (::GetMessageW(&m, nullptr, 0, 0) > 0) ::DispatchMessageW(&m);
  return 0;
}
