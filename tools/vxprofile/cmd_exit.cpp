// vxprofile exit [--wait SECONDS]
// Ends the running monitor the way its tray menu's Exit does: WM_CLOSE to
// its window, then waits for the process to end. Exit code 0 when no
// monitor runs any more, 1 when one is still running after the wait.
#if defined(_WIN32)
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/ConfigLink.h"
#include "tools/vxprofile/Commands.h"
#include "win32/Win32Handle.h"

namespace vx::cli {
namespace {

constexpr const char* kUsage = "exit [--wait SECONDS]  end the running monitor (WM_CLOSE) and wait for it";

int RunExit(Context& ctx) {
  long seconds = 10;
  for (std::size_t i = 0; i < ctx.args.size(); ++i) {
    if (ctx.args[i] == "--wait" && i + 1 < ctx.args.size()) {
      char* end = nullptr;
      seconds = std::strtol(ctx.args[++i].c_str(), &end, 10);
      if (*end != 0 || seconds < 0 || seconds > 3600) return Fail("exit: --wait needs 0 to 3600 seconds");
    } else {
      return Fail(std::string("usage: ") + kUsage);
    }
  }
  const ULONGLONG deadline = ::GetTickCount64() + static_cast<ULONGLONG>(seconds) * 1000;
  int ended = 0;
  // A second monitor (one started from another folder before the guard
  // existed) is ended the same way.
  while (HWND hwnd = ::FindWindowW(reinterpret_cast<const wchar_t*>(kMonitorWindowClass), nullptr)) {
    DWORD pid = 0;
    ::GetWindowThreadProcessId(hwnd, &pid);
    win::UniqueHandle process(::OpenProcess(SYNCHRONIZE, FALSE, pid));
    ::PostMessageW(hwnd, WM_CLOSE, 0, 0);
    const ULONGLONG now = ::GetTickCount64();
    const DWORD left = now < deadline ? static_cast<DWORD>(deadline - now) : 0;
    bool gone = false;
    if (process) {
      gone = ::WaitForSingleObject(process.get(), left) == WAIT_OBJECT_0;
    } else {
      // Without a process handle, the window going away is all we can see.
      for (DWORD waited = 0; waited <= left && !gone; waited += 50) {
        gone = !::IsWindow(hwnd);
        if (!gone) ::Sleep(50);
      }
    }
    if (!gone) {
      std::fprintf(stderr, "vxprofile: exit: the monitor (process %lu) did not end within %ld s\n",
                   static_cast<unsigned long>(pid), seconds);
      return 1;
    }
    ++ended;
  }
  std::printf(ended == 0 ? "no monitor running\n" : "monitor ended\n");
  return 0;
}

VX_COMMAND("exit", kUsage, RunExit);

}  // namespace
}  // namespace vx::cli
#endif
