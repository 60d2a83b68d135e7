#include "win32/app/MonitorProgram.h"

#include <objbase.h>

#include <exception>
#include <memory>

#include "app/ConfigLink.h"
#include "i18n/kwLanguage.h"
#include "platform/Debug.h"
#include "platform/HidBus.h"
#include "platform/MainThread.h"
#include "profiles/DMUnit.h"
#include "win32/Win32Handle.h"

namespace vx::win {
namespace {

struct WindowState {
  TVXMonMain* monitor = nullptr;
  const MonitorProgramOptions* options = nullptr;
};
WindowState g_window;

LRESULT CALLBACK MonitorWndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (g_window.options && g_window.options->uiMessage) {
    LRESULT result = 0;
    if (g_window.options->uiMessage(hwnd, msg, wp, lp, result)) return result;
  }
  TVXMonMain* mon = g_window.monitor;
  if (mon) {
    if (msg == WM_COMMAND && HIWORD(wp) == 0) {
      switch (LOWORD(wp)) {
        case kCmdConfig:
          mon->Config1Click();
          return 0;
        case kCmdAbout:
          mon->About1Click();
          return 0;
        case kCmdExit:
          mon->Exit1Click();
          return 0;
        default:
          break;
      }
    }
    try {
      if (mon->HandleMessage(msg, wp, static_cast<std::intptr_t>(lp))) return 0;
    } catch (const std::exception& e) {
      // A failing handler must not take the tray process down.
      DebugOutput(std::string("message handler failed: ") + e.what());
      return 0;
    }
  }
  if (msg == WM_SYSCOMMAND && (wp & 0xFFF0) == SC_CLOSE) {
    // Alt+F4 on the About window hides it; the monitor stays.
    ::ShowWindow(hwnd, SW_HIDE);
    return 0;
  }
  if (msg == WM_CLOSE) {
    // The way to end the monitor from outside (installer, vxprofile exit):
    // the same path as the tray menu's Exit. Never a bare DestroyWindow,
    // which would leave the loop running without its window.
    if (mon) mon->Exit1Click();
    return 0;
  }
  return ::DefWindowProcW(hwnd, msg, wp, lp);
}

HWND CreateMonitorWindow(HINSTANCE instance) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = MonitorWndProc;
  wc.hInstance = instance;
  wc.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
  wc.hIcon = ::LoadIconW(instance, L"MAINICON");
  wc.lpszClassName = L"TVXMonMain";
  if (!::RegisterClassExW(&wc)) return nullptr;
  // A hidden tool window: no task-bar button, and still top-level so that
  // it receives broadcasts such as "TaskbarCreated".
  return ::CreateWindowExW(WS_EX_TOOLWINDOW, L"TVXMonMain", L"VX_MONITOR_EX", WS_POPUP, 0, 0, 504, 400,
                           nullptr, nullptr, instance, nullptr);
}

// Lets the configuration application reach the reload messages from another
// integrity level.
void AllowConfigurationMessages(HWND hwnd) {
  using FilterFn = BOOL(WINAPI*)(HWND, UINT, DWORD, void*);
  HMODULE user = ::GetModuleHandleW(L"user32.dll");
  auto fn = user ? reinterpret_cast<FilterFn>(
                       reinterpret_cast<void*>(::GetProcAddress(user, "ChangeWindowMessageFilterEx")))
                 : nullptr;
  if (!fn) return;
  constexpr DWORD kAllow = 1;  // MSGFLT_ALLOW
  fn(hwnd, WM_VX_RELOAD_PROFILES, kAllow, nullptr);
  fn(hwnd, WM_VX_RELOAD_SETTINGS, kAllow, nullptr);
}

int Run(HINSTANCE instance, const MonitorProgramOptions& options) {
  // A running monitor owns the name: end at once, telling nobody.
  const auto* name = reinterpret_cast<const wchar_t*>(kMonitorMutexName);
  if (UniqueHandle running{::OpenMutexW(MUTEX_ALL_ACCESS, FALSE, name)}) return 0;
  // Without the guard start-up goes on.
  UniqueHandle mutex{::CreateMutexW(nullptr, TRUE, name)};

  const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  if (options.hidBus) SetHidBus(options.hidBus);
  // The thread that asks first becomes the main thread of the dispatcher.
  IMainThreadDispatcher& dispatcher = GetMainThreadDispatcher();

  InstallProfileTranslator();
  auto dm = std::make_unique<TDM>();
  // Start-up errors are reported under the application's title.
  dm->ErrorCaption = LookupTranslation(u"Vantor Gaming Mouse Monitor");
  dm->DataModuleCreate();

  HWND hwnd = CreateMonitorWindow(instance);
  std::unique_ptr<TVXMonMain> monitor;
  if (hwnd) {
    AllowConfigurationMessages(hwnd);
    MonitorServices services;
    services.windows = &PlatformWindowSystem();
    services.input = &PlatformSyntheticInput();
    services.timer = &PlatformPreciseTimer();
    services.audio = &PlatformAudioSystem();
    services.hidBus = options.hidBus;
    services.dispatcher = &dispatcher;
    services.overlays = options.overlays;
    if (options.createUi) {
      services.createTrayAndAbout = [&options, hwnd](TVXMonMain& m) { options.createUi(m, hwnd); };
    }
    g_window.options = &options;
    monitor = std::make_unique<TVXMonMain>(*dm, services, reinterpret_cast<WindowHandle>(hwnd));
    g_window.monitor = monitor.get();
    monitor->FormCreate();
    if (options.onMonitor) options.onMonitor(monitor.get());

    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
  }

  // A new instance may start while this one tears down: an open handle
  // would keep the name alive until the process ends.
  if (mutex) ::ReleaseMutex(mutex.get());
  mutex.reset();

  if (monitor) {
    if (options.onMonitor) options.onMonitor(nullptr);
    monitor->FormDestroy();
    g_window.monitor = nullptr;
    if (options.destroyUi) options.destroyUi();
    monitor.reset();
  }
  if (hwnd) ::DestroyWindow(hwnd);
  g_window.options = nullptr;
  dm.reset();
  if (SUCCEEDED(com)) ::CoUninitialize();
  return 0;
}

}  // namespace

int RunMonitorProgram(HINSTANCE instance, const MonitorProgramOptions& options) {
  try {
    return Run(instance, options);
  } catch (const std::exception& e) {
    DebugOutput(std::string("monitor ended by an error: ") + e.what());
  } catch (...) {
    DebugOutput(std::string_view("monitor ended by an unknown error"));
  }
  return 0;
}

}  // namespace vx::win
