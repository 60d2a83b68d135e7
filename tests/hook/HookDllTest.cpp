// kwHook.dll itself: loaded by full path from the test's own folder and
// driven with SendInput, whose events reach low-level hooks marked injected.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/HookLibrary.h"

namespace {

std::wstring ExeFolder() {
  wchar_t buf[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, buf, MAX_PATH);
  std::wstring path(buf, n);
  return path.substr(0, path.find_last_of(L"\\/") + 1);
}

struct Seen {
  void* context;
  int code;
  std::uintptr_t message;
  std::uint8_t blockOnEntry;
  DWORD thread;
  vx::TMSLLHOOKSTRUCT mouse;
  vx::TKBDLLHOOKSTRUCT key;
};

struct Recorder {
  std::vector<Seen> seen;
  bool block = false;
};

void VX_HOOKAPI MouseCallback(void* context, std::int32_t code, std::uintptr_t message, void* record,
                              std::uint8_t* blocked) {
  auto* r = static_cast<Recorder*>(context);
  Seen s{context, code, message, *blocked, GetCurrentThreadId(),
         *static_cast<vx::TMSLLHOOKSTRUCT*>(record), {}};
  r->seen.push_back(s);
  if (r->block) *blocked = 1;
}

void VX_HOOKAPI KeyboardCallback(void* context, std::int32_t code, std::uintptr_t message,
                                 void* record, std::uint8_t* blocked) {
  auto* r = static_cast<Recorder*>(context);
  Seen s{context, code, message, *blocked, GetCurrentThreadId(), {},
         *static_cast<vx::TKBDLLHOOKSTRUCT*>(record)};
  r->seen.push_back(s);
  if (r->block) *blocked = 1;
}

void Pump(DWORD ms) {
  const DWORD start = GetTickCount();
  MSG m;
  while (GetTickCount() - start < ms) {
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
}

void MoveTo(int x, int y) {
  INPUT in{};
  in.type = INPUT_MOUSE;
  in.mi.dx = x * 65535 / (GetSystemMetrics(SM_CXSCREEN) - 1);
  in.mi.dy = y * 65535 / (GetSystemMetrics(SM_CYSCREEN) - 1);
  in.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
  SendInput(1, &in, sizeof(in));
  Pump(250);
}

void Key(WORD vk, bool up) {
  INPUT in{};
  in.type = INPUT_KEYBOARD;
  in.ki.wVk = vk;
  in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  SendInput(1, &in, sizeof(in));
  Pump(250);
}

template <typename Fn>
Fn Export(HMODULE module, const char* name) {
  return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

class HookDll : public ::testing::Test {
 protected:
  void SetUp() override {
    module = LoadLibraryW((ExeFolder() + L"kwHook.dll").c_str());
    ASSERT_NE(module, nullptr);
    enableMouse = Export<vx::TEnableHookProc>(module, "EnableMouseHook");
    disableMouse = Export<vx::TDisableHookProc>(module, "DisableMouseHook");
    enableKeyboard = Export<vx::TEnableHookProc>(module, "EnableKeyboardHook");
    disableKeyboard = Export<vx::TDisableHookProc>(module, "DisableKeyboardHook");
    ASSERT_TRUE(enableMouse && disableMouse && enableKeyboard && disableKeyboard);
  }
  void TearDown() override {
    if (module != nullptr) {
      disableMouse();
      disableKeyboard();
      FreeLibrary(module);
    }
  }

  HMODULE module = nullptr;
  vx::TEnableHookProc enableMouse = nullptr;
  vx::TDisableHookProc disableMouse = nullptr;
  vx::TEnableHookProc enableKeyboard = nullptr;
  vx::TDisableHookProc disableKeyboard = nullptr;
};

TEST_F(HookDll, MouseEventsReachTheCallbackOnTheEnablingThread) {
  Recorder r;
  enableMouse(&MouseCallback, &r, 0);
  MoveTo(120, 130);
  ASSERT_FALSE(r.seen.empty());
  const Seen& s = r.seen.back();
  EXPECT_EQ(s.context, &r);
  EXPECT_EQ(s.code, 0);
  EXPECT_EQ(s.message, static_cast<std::uintptr_t>(WM_MOUSEMOVE));
  EXPECT_EQ(s.blockOnEntry, 0);
  EXPECT_EQ(s.thread, GetCurrentThreadId());
  EXPECT_NE(s.mouse.flags & vx::kLLMouseInjected, 0u);
  EXPECT_EQ(s.mouse.x, 120);
  EXPECT_EQ(s.mouse.y, 130);
}

TEST_F(HookDll, ABlockedKeyNeverReachesTheSystem) {
  Recorder r;
  enableKeyboard(&KeyboardCallback, &r, 0);
  Key(VK_F14, false);
  const bool passedDown = (GetAsyncKeyState(VK_F14) & 0x8000) != 0;
  Key(VK_F14, true);
  ASSERT_TRUE(passedDown);
  r.block = true;
  Key(VK_F15, false);
  EXPECT_EQ(GetAsyncKeyState(VK_F15) & 0x8000, 0);
  Key(VK_F15, true);
  ASSERT_EQ(r.seen.size(), 4u);
  EXPECT_EQ(r.seen[2].key.vkCode, static_cast<std::uint32_t>(VK_F15));
  EXPECT_EQ(r.seen[2].blockOnEntry, 0);
}

TEST_F(HookDll, EnablingAgainReplacesTheCallbackAndDisableStopsIt) {
  Recorder first, second;
  enableMouse(&MouseCallback, &first, 0);
  enableMouse(&MouseCallback, &second, 0);
  MoveTo(50, 60);
  EXPECT_TRUE(first.seen.empty());
  EXPECT_FALSE(second.seen.empty());
  disableMouse();
  disableMouse();  // harmless when nothing is hooked
  second.seen.clear();
  MoveTo(70, 80);
  EXPECT_TRUE(second.seen.empty());
}

TEST_F(HookDll, RefreshSetsANewHookReleasesTheOldAndRevivesADroppedOne) {
  using HandleFn = void*(VX_HOOKAPI*)(std::int32_t);
  auto lastEvent = Export<vx::THookLastEventTimeProc>(module, vx::kHookLastEventTimeName);
  auto refresh = Export<vx::TRefreshHooksProc>(module, vx::kRefreshHooksName);
  auto handle = Export<HandleFn>(module, "HookHandle");
  ASSERT_TRUE(lastEvent && refresh && handle);
  EXPECT_EQ(refresh(), 0) << "nothing held, nothing set";
  Recorder r;
  enableMouse(&MouseCallback, &r, 0);
  const DWORD before = GetTickCount();
  MoveTo(90, 91);
  EXPECT_GE(static_cast<std::int32_t>(lastEvent() - before), 0);
  HHOOK old = static_cast<HHOOK>(handle(1));
  ASSERT_NE(old, nullptr);
  EXPECT_EQ(refresh(), 1);
  EXPECT_NE(handle(1), old);
  EXPECT_FALSE(UnhookWindowsHookEx(old)) << "the old hook was released";
  r.seen.clear();
  MoveTo(92, 93);
  ASSERT_EQ(r.seen.size(), 1u) << "one hook, one call per event";
  // Dropped behind the library's back, as the system does: nothing comes
  // until the refresh sets it again.
  ASSERT_TRUE(UnhookWindowsHookEx(static_cast<HHOOK>(handle(1))));
  r.seen.clear();
  MoveTo(94, 95);
  EXPECT_TRUE(r.seen.empty());
  EXPECT_EQ(refresh(), 1);
  MoveTo(96, 97);
  ASSERT_EQ(r.seen.size(), 1u);
  EXPECT_EQ(r.seen.back().mouse.x, 96);
}

TEST_F(HookDll, KeyboardEventsCarryTheKeyAndItsRelease) {
  Recorder r;
  r.block = true;  // keep the key away from other programs
  enableKeyboard(&KeyboardCallback, &r, 0);
  Key(VK_F13, false);
  Key(VK_F13, true);
  ASSERT_EQ(r.seen.size(), 2u);
  EXPECT_EQ(r.seen[0].key.vkCode, static_cast<std::uint32_t>(VK_F13));
  EXPECT_EQ(r.seen[0].message, static_cast<std::uintptr_t>(WM_KEYDOWN));
  EXPECT_EQ(r.seen[0].key.flags & vx::kLLKeyReleased, 0u);
  EXPECT_NE(r.seen[1].key.flags & vx::kLLKeyReleased, 0u);
  EXPECT_EQ(r.seen[1].message, static_cast<std::uintptr_t>(WM_KEYUP));
  EXPECT_EQ(r.seen[1].blockOnEntry, 0);
  // Mouse and keyboard hooks are independent.
  disableMouse();
  Key(VK_F13, false);
  Key(VK_F13, true);
  EXPECT_EQ(r.seen.size(), 4u);
}

TEST_F(HookDll, UnloadingRemovesHooksThatAreStillInstalled) {
  Recorder r;
  enableMouse(&MouseCallback, &r, 0);
  enableKeyboard(&KeyboardCallback, &r, 0);
  ASSERT_TRUE(FreeLibrary(module));
  module = nullptr;
  EXPECT_EQ(GetModuleHandleW(L"kwHook.dll"), nullptr);
  MoveTo(300, 310);  // would call into unloaded code if a hook were left
  Key(VK_F16, false);
  Key(VK_F16, true);
  EXPECT_TRUE(r.seen.empty());
}

}  // namespace
