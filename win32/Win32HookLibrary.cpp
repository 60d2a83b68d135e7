// kwHook.dll is loaded by full path from the folder of the running
// executable. The default search order would also look in the current
// working folder, where a planted DLL would then run inside the monitor.
#include <windows.h>

#include <cstddef>
#include <string>

#include "platform/HookLibrary.h"
#include "platform/Shell.h"

namespace vx {

// The portable records are the platform's own.
static_assert(sizeof(TKBDLLHOOKSTRUCT) == sizeof(KBDLLHOOKSTRUCT));
static_assert(offsetof(TKBDLLHOOKSTRUCT, flags) == offsetof(KBDLLHOOKSTRUCT, flags));
static_assert(offsetof(TKBDLLHOOKSTRUCT, time) == offsetof(KBDLLHOOKSTRUCT, time));
static_assert(offsetof(TKBDLLHOOKSTRUCT, dwExtraInfo) == offsetof(KBDLLHOOKSTRUCT, dwExtraInfo));
static_assert(sizeof(TMSLLHOOKSTRUCT) == sizeof(MSLLHOOKSTRUCT));
static_assert(offsetof(TMSLLHOOKSTRUCT, y) == offsetof(MSLLHOOKSTRUCT, pt.y));
static_assert(offsetof(TMSLLHOOKSTRUCT, mouseData) == offsetof(MSLLHOOKSTRUCT, mouseData));
static_assert(offsetof(TMSLLHOOKSTRUCT, flags) == offsetof(MSLLHOOKSTRUCT, flags));
static_assert(offsetof(TMSLLHOOKSTRUCT, time) == offsetof(MSLLHOOKSTRUCT, time));
static_assert(offsetof(TMSLLHOOKSTRUCT, dwExtraInfo) == offsetof(MSLLHOOKSTRUCT, dwExtraInfo));
static_assert(kLLKeyExtended == LLKHF_EXTENDED && kLLKeyReleased == LLKHF_UP);
static_assert(kLLMouseInjected == LLMHF_INJECTED);
static_assert(kWmMouseWheel == WM_MOUSEWHEEL && kWmXButtonUp == WM_XBUTTONUP);

namespace {

class Win32HookLibrary final : public IHookLibraryLoader {
 public:
  bool LoadModule() override {
    if (module_ != nullptr) return true;
    WStr path = ExecutableFolder();
    // Only an absolute folder: a relative one would resolve against the
    // working folder again.
    const bool absolute = (path.size() >= 3 && path[1] == u':' && (path[2] == u'\\' || path[2] == u'/')) ||
                          (path.size() >= 2 && path[0] == u'\\' && path[1] == u'\\');
    if (!absolute) {
      error_ = ERROR_BAD_PATHNAME;
      return false;
    }
    if (path.back() != u'\\' && path.back() != u'/') path += u'\\';
    path += u"kwHook.dll";
    const auto* wpath = reinterpret_cast<const wchar_t*>(path.c_str());
    // Dependencies come from the DLL's own folder and System32 only.
    module_ = ::LoadLibraryExW(wpath, nullptr,
                               LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
    error_ = module_ ? 0 : ::GetLastError();
    if (module_ == nullptr && error_ == ERROR_INVALID_PARAMETER) {
      // Systems without the search flags: still a full path.
      module_ = ::LoadLibraryExW(wpath, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
      error_ = module_ ? 0 : ::GetLastError();
    }
    return module_ != nullptr;
  }

  void* FindExport(const char* name) override {
    if (module_ == nullptr) return nullptr;
    return reinterpret_cast<void*>(::GetProcAddress(module_, name));
  }

  std::uint32_t LastLoadError() const override { return error_; }

  void UnloadModule() override {
    if (module_ != nullptr) ::FreeLibrary(module_);
    module_ = nullptr;
  }

 private:
  HMODULE module_ = nullptr;
  DWORD error_ = 0;
};

}  // namespace

IHookLibraryLoader& PlatformHookLibraryLoader() {
  static Win32HookLibrary loader;
  return loader;
}

std::int16_t PlatformKeyState(std::int32_t vk) { return ::GetAsyncKeyState(vk); }

InputActivity PlatformInputActivity() {
  InputActivity a;
  LASTINPUTINFO info{};
  info.cbSize = sizeof(info);
  if (::GetLastInputInfo(&info)) a.lastInputTick = info.dwTime;
  POINT p{};
  if (::GetCursorPos(&p)) {
    a.cursorX = p.x;
    a.cursorY = p.y;
  }
  return a;
}

}  // namespace vx
