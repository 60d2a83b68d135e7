// kwHook.dll: system-wide low-level keyboard and mouse hooks that hand every
// event to one registered callback per kind. Low-level hooks are called on
// the thread that installed them, from its message loop, so the callback
// runs on the thread that called the Enable export. The callback must be
// quick: Windows silently drops a low-level hook that keeps it waiting.
#include <windows.h>

#include <cstdint>
#include <type_traits>

#include "platform/HookLibrary.h"

namespace {

struct HookSlot {
  HHOOK hook = nullptr;
  vx::THookEventProc callback = nullptr;
  void* context = nullptr;
};

HINSTANCE g_module = nullptr;
HookSlot g_keyboard;
HookSlot g_mouse;

LRESULT Dispatch(HookSlot& slot, int code, WPARAM wParam, LPARAM lParam) {
  if (code == HC_ACTION && slot.callback != nullptr) {
    std::uint8_t blocked = 0;
    slot.callback(slot.context, code, static_cast<std::uintptr_t>(wParam),
                  reinterpret_cast<void*>(lParam), &blocked);
    if (blocked == 1) return 1;
  }
  return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK KeyboardProc(int code, WPARAM wParam, LPARAM lParam) {
  return Dispatch(g_keyboard, code, wParam, lParam);
}

LRESULT CALLBACK MouseProc(int code, WPARAM wParam, LPARAM lParam) {
  return Dispatch(g_mouse, code, wParam, lParam);
}

void Remove(HookSlot& slot) {
  if (slot.hook != nullptr) ::UnhookWindowsHookEx(slot.hook);
  slot = HookSlot{};
}

BOOL Install(HookSlot& slot, int kind, HOOKPROC proc, vx::THookEventProc callback, void* context) {
  Remove(slot);  // at most one callback per kind
  if (callback == nullptr) return FALSE;
  slot.callback = callback;
  slot.context = context;
  slot.hook = ::SetWindowsHookExW(kind, proc, g_module, 0);
  if (slot.hook == nullptr) {
    slot = HookSlot{};
    return FALSE;
  }
  return TRUE;
}



}  // namespace

extern "C" {

__declspec(dllexport) std::int32_t VX_HOOKAPI EnableKeyboardHook(vx::THookEventProc callback,
                                                                 void* context, std::uint32_t) {
  return Install(g_keyboard, WH_KEYBOARD_LL, KeyboardProc, callback, context);
}

__declspec(dllexport) std::int32_t VX_HOOKAPI DisableKeyboardHook() {
  Remove(g_keyboard);
  return TRUE;
}

__declspec(dllexport) std::int32_t VX_HOOKAPI EnableMouseHook(vx::THookEventProc callback,
                                                              void* context, std::uint32_t) {
  return Install(g_mouse, WH_MOUSE_LL, MouseProc, callback, context);
}

__declspec(dllexport) std::int32_t VX_HOOKAPI DisableMouseHook() {
  Remove(g_mouse);
  return TRUE;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_module = instance;
    ::DisableThreadLibraryCalls(instance);
  } else if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
    // Unloaded by FreeLibrary while hooks may still be installed: remove
    // them so no event reaches code that is gone. At process exit the
    // system removes them itself.
    Remove(g_keyboard);
    Remove(g_mouse);
  }
  return TRUE;
}

}  // extern "C"

static_assert(std::is_same_v<decltype(&EnableKeyboardHook), vx::TEnableHookProc>);
static_assert(std::is_same_v<decltype(&DisableMouseHook), vx::TDisableHookProc>);
