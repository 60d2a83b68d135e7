#include "win32/app/MonitorProgram.h"

#include <objbase.h>
#include <wtsapi32.h>

#include <exception>
#include <memory>
#include <optional>

#include "app/ConfigLink.h"
#include "app/MonitorStart.h"
#include "i18n/kwLanguage.h"
#include "platform/Debug.h"
#include "platform/EntryGuard.h"
#include "platform/Files.h"
#include "platform/HidBus.h"
#include "platform/Log.h"
#include "platform/Shell.h"
#include "platform/MainThread.h"
#include "profiles/DMUnit.h"
#include "profiles/ProfileBackup.h"
#include "win32/Win32Handle.h"
#include "profiles/IniFile.h"
#include "win32/app/CrashReport.h"

#ifndef VX_VERSION
#define VX_VERSION "0"
#endif

namespace vx::win {
namespace {

struct WindowState {
  TVXMonMain* monitor = nullptr;
  const MonitorProgramOptions* options = nullptr;
};
WindowState g_window;
std::unique_ptr<FileLogWriter> g_log;

// config.ini [OtherConfig] Log=0 turns the log off; it is on otherwise.
bool LogWanted() {
  const IniFile ini = IniFile::Load(ExecutableFolder() + u"config.ini");
  return ini.ReadInteger(u"OtherConfig", u"Log", 1) != 0;
}

void StartLog() {
  if (!LogWanted()) return;
  g_log = std::make_unique<FileLogWriter>(LogFilePath());
  SetLogWriter(g_log.get());
  SetCrashReportLog(LogFilePath());
}

void EndLog() {
  SetLogWriter(nullptr);
  g_log.reset();  // writes what is queued
}

LRESULT MonitorWindowMessage(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
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
        case kCmdRestartAsAdministrator:
          mon->RestartAsAdministrator1Click();
          return 0;
        default:
          break;
      }
    }
    if (msg == WM_QUERYENDSESSION) return TRUE;  // never hold up a logoff
    if (mon->HandleMessage(msg, wp, static_cast<std::intptr_t>(lp))) {
      // The process may be ended as soon as WM_ENDSESSION returns.
      if (msg == WM_ENDSESSION && wp && g_log) g_log->Flush();
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

// A failing handler must not take the tray process down.
LRESULT CALLBACK MonitorWndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  LRESULT result = 0;
  const bool ran = Guarded("monitor window message", false, [&] {
    result = MonitorWindowMessage(hwnd, msg, wp, lp);
    return true;
  });
  return ran ? result : 0;
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

// Lets the configuration application's reload messages and the exit request
// of setup, uninstall and "vxprofile exit" reach a monitor run as
// administrator (none of them grants a privilege).
void AllowMessagesFromLowerIntegrity(HWND hwnd, const MonitorProgramOptions& options) {
  const UINT allowed[] = {WM_VX_RELOAD_PROFILES, WM_VX_RELOAD_SETTINGS, WM_CLOSE};
  if (options.messageAllowed) {
    for (UINT msg : allowed) options.messageAllowed(msg);
  }
  using FilterFn = BOOL(WINAPI*)(HWND, UINT, DWORD, void*);
  HMODULE user = ::GetModuleHandleW(L"user32.dll");
  auto fn = user ? reinterpret_cast<FilterFn>(
                       reinterpret_cast<void*>(::GetProcAddress(user, "ChangeWindowMessageFilterEx")))
                 : nullptr;
  if (!fn) return;
  constexpr DWORD kAllow = 1;  // MSGFLT_ALLOW
  for (UINT msg : allowed) fn(hwnd, msg, kAllow, nullptr);
}

// Win8 and later tell a callback, on a thread of the system's, before the
// suspend: a macro that is playing blocks the message loop, so the window
// message alone would come only after it. The unregistration does not wait
// for a callback already running: it reaches the monitor through a target
// that outlives it and that the teardown closes.
CallbackTarget<TVXMonMain> g_suspendTarget;

ULONG CALLBACK SuspendCallback(PVOID, ULONG type, PVOID) {
  if (type == PBT_APMSUSPEND) {
    Guarded("suspend callback", [&] { g_suspendTarget.Call([](TVXMonMain& m) { m.SuspendRequested(); }); });
  }
  return 0;
}

struct SuspendCallbackRegistration {
  // DEVICE_NOTIFY_SUBSCRIBE_PARAMETERS; DEVICE_NOTIFY_CALLBACK.
  static constexpr DWORD kNotifyCallback = 2;
  struct Params {
    ULONG(CALLBACK* callback)(PVOID, ULONG, PVOID);
    PVOID context;
  } params{};
  HPOWERNOTIFY handle = nullptr;
  using UnregisterFn = BOOL(WINAPI*)(HPOWERNOTIFY);
  UnregisterFn unregister = nullptr;

  void Register(TVXMonMain* monitor) {
    g_suspendTarget.Open(monitor);
    using RegisterFn = HPOWERNOTIFY(WINAPI*)(HANDLE, DWORD);
    HMODULE user = ::GetModuleHandleW(L"user32.dll");
    if (!user) return;
    auto reg = reinterpret_cast<RegisterFn>(
        reinterpret_cast<void*>(::GetProcAddress(user, "RegisterSuspendResumeNotification")));
    unregister = reinterpret_cast<UnregisterFn>(
        reinterpret_cast<void*>(::GetProcAddress(user, "UnregisterSuspendResumeNotification")));
    if (!reg || !unregister) return;
    params = {SuspendCallback, nullptr};
    handle = reg(&params, kNotifyCallback);
  }
  ~SuspendCallbackRegistration() {
    if (handle && unregister) unregister(handle);
    // Waits for a callback still running; later ones find no monitor.
    g_suspendTarget.Close();
  }
};

// Started (or restarted after a crash) while the session is locked: no
// notification tells it, so it is asked.
std::optional<bool> SessionLockedNow(const OsVersionInfo& os) {
  // WTSINFOEXW with level-1 data, as far as read here (not in every SDK's
  // headers): the level, then SessionId, SessionState, SessionFlags.
  struct alignas(8) Level1 {
    ULONG sessionId;
    INT state;
    LONG flags;
  };
  struct InfoEx {
    DWORD level;
    Level1 level1;
  };
  constexpr int kSessionInfoEx = 25;  // WTSSessionInfoEx
  constexpr LONG kStateLock = 0;      // WTS_SESSIONSTATE_LOCK
  LPWSTR buffer = nullptr;
  DWORD bytes = 0;
  if (!::WTSQuerySessionInformationW(WTS_CURRENT_SERVER_HANDLE, WTS_CURRENT_SESSION,
                                     static_cast<WTS_INFO_CLASS>(kSessionInfoEx), &buffer, &bytes)) {
    return std::nullopt;
  }
  std::optional<bool> locked;
  const auto* info = reinterpret_cast<const InfoEx*>(buffer);
  if (bytes >= sizeof(InfoEx) && info->level == 1) {
    locked = info->level1.flags == kStateLock;
    // Windows 7 reports the two states the other way round.
    if (os.major == 6 && os.minor == 1) locked = info->level1.flags == 1;
  }
  ::WTSFreeMemory(buffer);
  return locked;
}

class Win32SessionState final : public ISessionState {
 public:
  Win32SessionState(HWND window, OsVersionInfo os) : window_(window), os_(os) {}
  bool RegisterNotification() override {
    if (registered_) return true;
    // Fails (RPC_S_INVALID_BINDING) while the terminal service starts up.
    registered_ = ::WTSRegisterSessionNotification(window_, NOTIFY_FOR_THIS_SESSION) != FALSE;
    if (!registered_) {
      DebugOutput(u"WTSRegisterSessionNotification failed, error " +
                  IntToWStr(static_cast<long long>(::GetLastError())));
    }
    return registered_;
  }
  void UnregisterNotification() override {
    if (registered_) ::WTSUnRegisterSessionNotification(window_);
    registered_ = false;
  }
  std::optional<bool> LockedNow() override { return SessionLockedNow(os_); }

 private:
  HWND window_;
  OsVersionInfo os_;
  bool registered_ = false;
};

// Restarted by the system after a hang, and after an update that the
// restart manager closed it for (a crash restarts it itself; the Run value
// starts it at logon, so not after a reboot or a patch); the mutex keeps it
// to one at a time.
void RegisterForRestart() {
  using RegisterFn = HRESULT(WINAPI*)(PCWSTR, DWORD);
  HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
  auto fn = kernel ? reinterpret_cast<RegisterFn>(
                         reinterpret_cast<void*>(::GetProcAddress(kernel, "RegisterApplicationRestart")))
                   : nullptr;
  if (fn) fn(L"", RESTART_NO_REBOOT | RESTART_NO_PATCH);
}

// "/after:<pid>": the monitor that started this one is still ending and
// may hold the mutex a while longer.
void WaitForStartingProcess() {
  const std::optional<std::uint32_t> pid = AfterProcessId(reinterpret_cast<const char16_t*>(::GetCommandLineW()));
  if (!pid || *pid == ::GetCurrentProcessId()) return;
  // Not openable: already gone.
  UniqueHandle process{::OpenProcess(SYNCHRONIZE, FALSE, *pid)};
  if (process) ::WaitForSingleObject(process.get(), kAfterProcessWaitMs);
}

int Run(HINSTANCE instance, const MonitorProgramOptions& options) {
  WaitForStartingProcess();
  // One call decides: a running monitor owns the name, and this one ends at
  // once, telling nobody. A monitor of another integrity level or user
  // (one run as administrator) holds a mutex this one may not open: access
  // denied means the same. Without the guard start-up goes on.
  const auto* name = reinterpret_cast<const wchar_t*>(kMonitorMutexName);
  UniqueHandle mutex{::CreateMutexW(nullptr, TRUE, name)};
  const DWORD created = ::GetLastError();
  if (mutex ? created == ERROR_ALREADY_EXISTS : created == ERROR_ACCESS_DENIED) return 0;
  if (options.ownsInstance) options.ownsInstance();

  InstallCrashReport();
  SetCrashRestart(true);
  StartLog();
  RegisterForRestart();

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
  std::unique_ptr<Win32SessionState> session;
  std::unique_ptr<TVXMonMain> monitor;
  if (hwnd) {
    AllowMessagesFromLowerIntegrity(hwnd, options);
    MonitorServices services;
    services.windows = &PlatformWindowSystem();
    services.input = options.input ? options.input : &PlatformSyntheticInput();
    services.timer = &PlatformPreciseTimer();
    services.audio = options.audio ? options.audio : &PlatformAudioSystem();
    services.hidBus = options.hidBus;
    services.dispatcher = &dispatcher;
    services.overlays = options.overlays;
    session = std::make_unique<Win32SessionState>(hwnd, services.windows->OsVersion());
    services.session = session.get();
    services.notices = options.notices;
    // Backups of the registry and documents folder the monitor runs with,
    // taken and put back with the safety rules of vxprofile.
    IRegistry& registry = GetRegistry();
    services.backupSnapshot = [&registry](std::string& why) {
      return BackupBytes({registry, DocumentsFolder()}, why);
    };
    services.restoreBackup = [&registry](WView file, std::string& why) {
      const BackupStore store{registry, DocumentsFolder()};
      auto want = ReadBackupFile(store, WStr(file), why);
      WStr saved;
      if (!want || !RestoreBackupParts(store, *want, WStr(file), saved, why)) return false;
      DebugOutput(u"the data before the restore was saved to " + saved);
      return true;
    };
    if (options.createUi) {
      services.createTrayAndAbout = [&options, hwnd](TVXMonMain& m) { options.createUi(m, hwnd); };
    }
    g_window.options = &options;
    monitor = std::make_unique<TVXMonMain>(*dm, services, reinterpret_cast<WindowHandle>(hwnd));
    g_window.monitor = monitor.get();
    monitor->FormCreate();
    if (options.onMonitor) options.onMonitor(monitor.get());
    DebugOutput(monitor->StartUpLine(FromUtf8(VX_VERSION)));
    // Lock, unlock and session switches arrive as WM_WTSSESSION_CHANGE.
    monitor->StartSessionWatch();
    SuspendCallbackRegistration suspend;
    suspend.Register(monitor.get());

    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
  }

  // Ending by choice: a crash from here on starts no new monitor.
  SetCrashRestart(false);
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
  DebugOutput(std::string_view("monitor ended"));
  EndLog();
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
  EndLog();
  return 0;
}

}  // namespace vx::win
