// Windows, messages, timers and the shell on Win32.
#include <windows.h>
#include <shellapi.h>

#include <map>
#include <string>

#include "platform/Debug.h"
#include "platform/EntryGuard.h"
#include "platform/WindowSystem.h"

namespace vx {
namespace {

std::wstring W(WView s) { return std::wstring(s.begin(), s.end()); }
HWND H(WindowHandle w) { return reinterpret_cast<HWND>(w); }

// Thread timers (SetTimer without a window): their events come from the
// message loop of the thread that set them, the main thread.
class Win32Timer final : public ITimer {
 public:
  explicit Win32Timer(std::function<void()> fn) : fn_(std::move(fn)) {}
  ~Win32Timer() override { Stop(); }
  void SetInterval(std::uint32_t ms) override {
    interval_ = ms;
    if (enabled_) Start();
  }
  std::uint32_t Interval() const override { return interval_; }
  void SetEnabled(bool enabled) override {
    enabled_ = enabled;
    if (enabled) {
      Start();
    } else {
      Stop();
    }
  }
  bool Enabled() const override { return enabled_; }

 private:
  static std::map<UINT_PTR, Win32Timer*>& Live() {
    static std::map<UINT_PTR, Win32Timer*> live;
    return live;
  }
  // A failing callback is logged; the timer stays set and fires again.
  static void CALLBACK Fire(HWND, UINT, UINT_PTR id, DWORD) {
    Guarded("timer callback", [id] {
      auto it = Live().find(id);
      if (it != Live().end() && it->second->fn_) it->second->fn_();
    });
  }
  void Start() {
    Stop();
    id_ = ::SetTimer(nullptr, 0, interval_ == 0 ? 1 : interval_, &Fire);
    if (id_ != 0) Live()[id_] = this;
  }
  void Stop() {
    if (id_ == 0) return;
    ::KillTimer(nullptr, id_);
    Live().erase(id_);
    id_ = 0;
  }

  std::function<void()> fn_;
  std::uint32_t interval_ = 1000;
  bool enabled_ = false;
  UINT_PTR id_ = 0;
};

class Win32WindowSystem final : public IWindowSystem {
 public:
  WindowHandle FindWindowByClass(WView className) override {
    return reinterpret_cast<WindowHandle>(::FindWindowW(W(className).c_str(), nullptr));
  }
  WindowHandle FindWindowByCaption(WView caption) override {
    return reinterpret_cast<WindowHandle>(::FindWindowW(nullptr, W(caption).c_str()));
  }
  std::intptr_t SendMessageTo(WindowHandle w, std::uint32_t msg, std::uintptr_t wp, std::intptr_t lp) override {
    // A hung receiver must not freeze the main thread, and with it every
    // macro and, while recording, the whole desktop's mouse through the hook.
    DWORD_PTR result = 0;
    if (!::SendMessageTimeoutW(H(w), msg, wp, lp, SMTO_NORMAL | SMTO_ABORTIFHUNG, kSendMessageTimeoutMs, &result)) {
      DebugOutput(u"message " + IntToWStr(static_cast<long long>(msg)) +
                  u" not handled: the receiving window did not answer");
      return 0;
    }
    return static_cast<std::intptr_t>(result);
  }
  bool PostMessageTo(WindowHandle w, std::uint32_t msg, std::uintptr_t wp, std::intptr_t lp) override {
    return ::PostMessageW(H(w), msg, wp, lp) != FALSE;
  }
  void ShowWindowCmd(WindowHandle w, int cmd) override { ::ShowWindow(H(w), cmd); }
  void BringToForeground(WindowHandle w) override { ::SetForegroundWindow(H(w)); }
  bool ShellOpen(WindowHandle owner, WView file, WView params, WView dir, int show) override {
    const std::wstring f = W(file), p = W(params), d = W(dir);
    HINSTANCE r = ::ShellExecuteW(H(owner), L"open", f.c_str(), p.empty() ? nullptr : p.c_str(),
                                  d.empty() ? nullptr : d.c_str(), show);
    return reinterpret_cast<INT_PTR>(r) > 32;
  }
  std::uint32_t StartSelfElevated(WView parameters) override {
    std::wstring exe(32768, L'\0');
    const DWORD n = ::GetModuleFileNameW(nullptr, exe.data(), static_cast<DWORD>(exe.size()));
    if (n == 0 || n >= exe.size()) return ::GetLastError();
    exe.resize(n);
    const std::wstring params = W(parameters);
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOASYNC;
    info.lpVerb = L"runas";
    info.lpFile = exe.c_str();
    info.lpParameters = params.c_str();
    info.nShow = SW_SHOWNORMAL;
    if (::ShellExecuteExW(&info)) return 0;
    const DWORD error = ::GetLastError();
    return error != 0 ? error : ERROR_GEN_FAILURE;
  }
  std::uint32_t CurrentProcessId() override { return ::GetCurrentProcessId(); }
  void ProcessMessages() override {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        // Leave it for the main loop, which must still end.
        ::PostQuitMessage(static_cast<int>(msg.wParam));
        return;
      }
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
  }
  void SleepMs(std::uint32_t ms) override { ::Sleep(ms); }
  void Terminate() override { ::PostQuitMessage(0); }
  std::unique_ptr<ITimer> CreateTimer(std::function<void()> onTimer) override {
    return std::make_unique<Win32Timer>(std::move(onTimer));
  }
  OsVersionInfo OsVersion() override {
    // GetVersionExW reports what the manifest claims; ask the kernel instead.
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
    OSVERSIONINFOW v{};
    v.dwOSVersionInfoSize = sizeof(v);
    if (HMODULE nt = ::GetModuleHandleW(L"ntdll.dll")) {
      auto fn = reinterpret_cast<RtlGetVersionFn>(reinterpret_cast<void*>(::GetProcAddress(nt, "RtlGetVersion")));
      if (fn && fn(&v) == 0) return {v.dwPlatformId, v.dwMajorVersion, v.dwMinorVersion, v.dwBuildNumber};
    }
    return {VER_PLATFORM_WIN32_NT, 6, 0};
  }
};

}  // namespace

IWindowSystem& PlatformWindowSystem() {
  static Win32WindowSystem system;
  return system;
}

}  // namespace vx
