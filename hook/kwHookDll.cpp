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
// When a hook last saw an event: the monitor compares it with the system's
// last input to tell a hook the system has dropped. Written and read on the
// hooking thread.
volatile DWORD g_lastEventTick = 0;

LRESULT Dispatch(HookSlot& slot, int code, WPARAM wParam, LPARAM lParam) {
  g_lastEventTick = ::GetTickCount();
  if (code == HC_ACTION && slot.callback != nullptr) {
    std::uint8_t blocked = 0;
    // The callback logs its own failures; none may stop the chain here.
    try {
      slot.callback(slot.context, code, static_cast<std::uintptr_t>(wParam), reinterpret_cast<void*>(lParam),
                    &blocked);
    } catch (...) {
      blocked = 0;
    }
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

// The new hook goes in before the old one comes out, so no event passes
// unseen; the old handle may already be dead (the system dropped it).
bool Reinstall(HookSlot& slot, int kind, HOOKPROC proc) {
  if (slot.hook == nullptr || slot.callback == nullptr) return false;
  HHOOK fresh = ::SetWindowsHookExW(kind, proc, g_module, 0);
  if (fresh == nullptr) return false;
  ::UnhookWindowsHookEx(slot.hook);
  slot.hook = fresh;
  return true;
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

__declspec(dllexport) std::uint32_t VX_HOOKAPI HookLastEventTime() { return g_lastEventTick; }

__declspec(dllexport) std::int32_t VX_HOOKAPI RefreshHooks() {
  int n = 0;
  if (Reinstall(g_keyboard, WH_KEYBOARD_LL, KeyboardProc)) ++n;
  if (Reinstall(g_mouse, WH_MOUSE_LL, MouseProc)) ++n;
  return n;
}

// The system's handle of a hook held (0 keyboard, 1 mouse), nullptr when
// none: for diagnostics, and for tests that drop a hook the way the system
// does, behind the library's back.
__declspec(dllexport) void* VX_HOOKAPI HookHandle(std::int32_t kind) {
  return kind == 0 ? g_keyboard.hook : g_mouse.hook;
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
static_assert(std::is_same_v<decltype(&HookLastEventTime), vx::THookLastEventTimeProc>);
static_assert(std::is_same_v<decltype(&RefreshHooks), vx::TRefreshHooksProc>);
