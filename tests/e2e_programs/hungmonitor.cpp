// hungmonitor.exe [locked]: a monitor that does not answer the exit request.
// It holds the monitor's mutex and window ("TVXMonMain", "VX_MONITOR_EX")
// like the real one, and ignores WM_CLOSE, so an installer or uninstaller
// has to give up waiting for it. "locked": no other process may open it (as
// a monitor running elevated), so it cannot be stopped either; WM_APP + 1
// ends it.
#include <windows.h>
#include <aclapi.h>

#include <cstdio>

namespace {

LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_CLOSE) return 0;
  if (msg == WM_APP + 1) {
    ::PostQuitMessage(0);
    return 0;
  }
  return ::DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc > 1 && ::lstrcmpiW(argv[1], L"locked") == 0) {
    // An empty access list: nobody is granted anything.
    ACL empty;
    ::InitializeAcl(&empty, sizeof empty, ACL_REVISION);
    if (::SetSecurityInfo(::GetCurrentProcess(), SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                          &empty, nullptr) != ERROR_SUCCESS) {
      return 1;
    }
  }
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
