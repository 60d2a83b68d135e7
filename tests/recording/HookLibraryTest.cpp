#include "recording/HookFixture.h"

#include <algorithm>
#include <vector>

#include "platform/Clock.h"
#include "platform/Debug.h"

namespace vx::test {
namespace {

using Calls = std::vector<std::string>;

TEST_F(HookTest, LoadsTheLibraryAndEveryModeReplacesTheCallbackOfItsKind) {
  ASSERT_TRUE(Hook().DLLLoaded());
  EXPECT_TRUE(boxes.empty());
  Hook().RecordMouseMacro();
  Hook().RecordKeyboardMacroKey();
  Hook().StartHookMouse();
  EXPECT_EQ(lib.calls, (Calls{"DisableMouseHook", "EnableMouseHook", "DisableKeyboardHook",
                              "EnableKeyboardHook", "DisableMouseHook", "EnableMouseHook"}));
  EXPECT_EQ(lib.mouseContext, &Hook());
  EXPECT_EQ(lib.keyboardContext, &Hook());
  EXPECT_EQ(lib.lastReserved, 0u);
}

TEST_F(HookTest, EveryStopDisablesItsKind) {
  struct Case {
    void (TkwHook::*start)();
    void (TkwHook::*stop)();
    const char* disable;
  };
  const Case cases[] = {
      {&TkwHook::StartHookMouse, &TkwHook::StopHookMouse, "DisableMouseHook"},
      {&TkwHook::RecordMouseMacro, &TkwHook::StopRecordMouseMacro, "DisableMouseHook"},
      {&TkwHook::StartHookKeyboard, &TkwHook::StopHookKeyboard, "DisableKeyboardHook"},
      {&TkwHook::RecordKeyboardSingleKey, &TkwHook::StopRecordKeyboardSingleKey, "DisableKeyboardHook"},
      {&TkwHook::RecordKeyboardComboKey, &TkwHook::StopRecordKeyboardComboKey, "DisableKeyboardHook"},
      {&TkwHook::RecordKeyboardMacroKey, &TkwHook::StopRecordKeyboardMacroKey, "DisableKeyboardHook"},
      {&TkwHook::RecordKeyboardMacroKeyEx, &TkwHook::StopRecordKeyboardMacroKeyEx, "DisableKeyboardHook"},
  };
  for (const Case& c : cases) {
    (Hook().*c.start)();
    lib.calls.clear();
    (Hook().*c.stop)();
    EXPECT_EQ(lib.calls, Calls{c.disable});
    EXPECT_EQ(lib.mouseProc, nullptr);
    EXPECT_EQ(lib.keyboardProc, nullptr);
  }
}

TEST_F(HookTest, MissingLibraryIsReportedOnceAndEveryModeStaysInert) {
  lib.present = false;
  TkwHook& h = Hook();
  EXPECT_FALSE(h.DLLLoaded());
  ASSERT_EQ(boxes, (Calls{"kwHook.dll can not be found!|Error"}));

  // Entries that were there before are still cleared by the start operations.
  h.OnRecordMouseMacroKey = [](std::uint16_t, TMouseButtons, std::int32_t, std::uint16_t,
                               std::uint16_t, double, WView, WView, TMouseMacroKeyList&) {};
  std::uint8_t blocked = 0;
  TMSLLHOOKSTRUCT click;
  click.time = 5;
  h.MouseMacroHookProc(0, kWmLButtonDown, click, blocked);
  ASSERT_EQ(h.MouseMacroKeyList().Count(), 1u);
  h.RecordMouseMacro();
  EXPECT_EQ(h.MouseMacroKeyList().Count(), 0u);

  h.OnRecordKeyboardMacroKey = [](std::int32_t, std::int32_t, std::int32_t, std::int32_t, double,
                                  WView, WView, TMacroKeyList&) {};
  TKBDLLHOOKSTRUCT key;
  key.vkCode = 0x41;
  key.time = 7;
  h.MacroKeyHookProc(0, kWmKeyDown, key, blocked);
  ASSERT_EQ(h.MacroKeyList().Count(), 1u);
  h.RecordKeyboardMacroKey();
  EXPECT_EQ(h.MacroKeyList().Count(), 0u);

  h.StartHookMouse();
  h.StartHookKeyboard();
  h.RecordKeyboardMacroKeyEx();
  h.RecordKeyboardComboKey();
  h.StopRecordMouseMacro();
  h.StopRecordKeyboardMacroKey();
  EXPECT_TRUE(lib.calls.empty());
  EXPECT_EQ(boxes.size(), 1u);
  EXPECT_EQ(lib.mouseProc, nullptr);
}

TEST_F(HookTest, AMissingExportUnloadsTheLibraryWithoutAMessage) {
  for (const char* name :
       {"EnableKeyboardHook", "DisableKeyboardHook", "EnableMouseHook", "DisableMouseHook"}) {
    lib.missingExports = {name};
    lib.unloads = 0;
    TkwHook h;
    EXPECT_FALSE(h.DLLLoaded()) << name;
    EXPECT_EQ(lib.unloads, 1) << name;
    h.RecordMouseMacro();
    EXPECT_TRUE(lib.calls.empty()) << name;
  }
  EXPECT_TRUE(boxes.empty());
}

TEST_F(HookTest, InstancesShareOneLoadAndTheLastOneUnloads) {
  auto first = std::make_unique<TkwHook>();
  auto second = std::make_unique<TkwHook>();
  EXPECT_EQ(lib.loads, 1);
  ASSERT_TRUE(second->DLLLoaded());
  first->RecordMouseMacro();

  // The instance without hooks leaves the other one's hook alone.
  second.reset();
  EXPECT_EQ(lib.unloads, 0);
  EXPECT_EQ(lib.mouseContext, first.get());

  first.reset();
  EXPECT_EQ(lib.unloads, 1);
  EXPECT_EQ(lib.mouseProc, nullptr);
}

TEST_F(HookTest, AnInstanceGoingAwayTakesItsCallbackWithIt) {
  auto watcher = std::make_unique<TkwHook>();
  auto recorder = std::make_unique<TkwHook>();
  watcher->StartHookKeyboard();
  recorder->RecordMouseMacro();
  lib.calls.clear();
  recorder.reset();
  EXPECT_EQ(lib.calls, Calls{"DisableMouseHook"});
  EXPECT_EQ(lib.mouseProc, nullptr);
  EXPECT_EQ(lib.keyboardContext, watcher.get());
}

TEST_F(HookTest, LoadsAgainAfterTheLastInstanceUnloaded) {
  { TkwHook h; }
  TkwHook again;
  EXPECT_TRUE(again.DLLLoaded());
  EXPECT_EQ(lib.loads, 2);
}

TEST_F(HookTest, ADroppedHookIsSetAgainOnceAndALiveOneNever) {
  std::uint32_t now = 50000;
  SetTickCountSource([&] { return now; });
  Hook().OnRecordMouseMacroKey = [](std::uint16_t, TMouseButtons, std::int32_t, std::uint16_t, std::uint16_t,
                                    double, WView, WView, TMouseMacroKeyList&) {};
  Hook().RecordMouseMacro();
  lib.calls.clear();
  // Input every check, all of it seen by the hook: never set again.
  std::int32_t x = 0;
  auto input = [&](bool seen, bool moved) {
    now += 3000;
    if (moved) ++x;
    if (seen) lib.Mouse(kWmMouseMove, now - 20, x, 0);
    return Hook().CheckHooks({now - 20, x, 0});
  };
  Hook().CheckHooks({now, x, 0});
  for (int i = 0; i < 5; ++i) EXPECT_FALSE(input(true, true));
  EXPECT_TRUE(lib.calls.empty());
  // Dropped: keys alone (the pointer still) prove nothing to a mouse hook...
  lib.mouseDropped = true;
  EXPECT_FALSE(input(false, false));
  // ...a pointer move the hook did not see does: set again, once.
  EXPECT_TRUE(input(false, true));
  EXPECT_EQ(lib.calls, Calls{"RefreshHooks"});
  const std::size_t before = Hook().MouseMacroKeyList().Count();
  EXPECT_FALSE(input(true, true));
  EXPECT_FALSE(input(true, true));
  EXPECT_EQ(lib.calls, Calls{"RefreshHooks"});
  EXPECT_GT(Hook().MouseMacroKeyList().Count(), before);  // recording goes on
  // Once the hook is released there is nothing to check.
  Hook().StopRecordMouseMacro();
  lib.calls.clear();
  EXPECT_FALSE(input(false, true));
  EXPECT_TRUE(lib.calls.empty());
  SetTickCountSource(nullptr);
}

TEST_F(HookTest, InputNoHookSeesIsSetAgainOncePerLossAndLoggedOnce) {
  std::uint32_t now = 50000;
  SetTickCountSource([&] { return now; });
  std::vector<WStr> lines;
  SetDebugSink([&](WView t) { lines.emplace_back(t); });
  Hook().OnRecordMouseMacroKey = [](std::uint16_t, TMouseButtons, std::int32_t, std::uint16_t, std::uint16_t,
                                    double, WView, WView, TMouseMacroKeyList&) {};
  Hook().RecordMouseMacro();
  lib.calls.clear();
  std::int32_t x = 0;
  auto input = [&](bool seen) {
    now += 3000;
    ++x;
    if (seen) lib.Mouse(kWmMouseMove, now - 20, x, 0);
    return Hook().CheckHooks({now - 20, x, 0});
  };
  Hook().CheckHooks({now, x, 0});
  // Pen or remote input: the live hook sees none of it, set again or not.
  EXPECT_TRUE(input(false));
  for (int i = 0; i < 6; ++i) EXPECT_FALSE(input(false));
  EXPECT_EQ(lib.calls, Calls{"RefreshHooks"});
  auto count = [&](const char16_t* text) {
    return std::count_if(lines.begin(), lines.end(), [&](const WStr& l) { return l.find(text) != WStr::npos; });
  };
  EXPECT_EQ(count(u"input hook lost"), 1);
  EXPECT_EQ(count(u"changed nothing"), 1);
  // The hook sees input again: a later loss is a new one.
  EXPECT_FALSE(input(true));
  EXPECT_TRUE(input(false));
  EXPECT_EQ(lib.calls, (Calls{"RefreshHooks", "RefreshHooks"}));
  SetDebugSink(nullptr);
  SetTickCountSource(nullptr);
}

TEST(MouseButtonStrings, DescribeTheSevenButtonsAndNothingElse) {
  const std::pair<TMouseButtons, const char*> rows[] = {
      {BUTTON_NONE, ""},
      {LCLICK, "Mouse Click"},
      {RCLICK, "Mouse Right Click"},
      {MCLICK, "Mouse Middle Click"},
      {XCLICK4, "Backward(Mouse) "},
      {XCLICK5, "Forward(Mouse)"},
      {WHEELUP, "Wheel up(Mouse)"},
      {WHEELDOWN, "Wheel Down(Mouse)"},
      {BUTTONX1, ""},
      {BUTTONX3, ""},
      {static_cast<TMouseButtons>(200), ""},
  };
  for (const auto& [button, text] : rows) EXPECT_EQ(ToUtf8(GetMouseButtonString(button)), text);
}

}  // namespace
}  // namespace vx::test
