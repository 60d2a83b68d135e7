#include "recording/HookFixture.h"

namespace vx::test {
namespace {

constexpr std::uint32_t kWheel(std::int16_t delta) {
  return static_cast<std::uint32_t>(static_cast<std::uint16_t>(delta)) << 16;
}
constexpr std::uint32_t kXButton(std::uint16_t n) { return static_cast<std::uint32_t>(n) << 16; }

TEST_F(HookTest, MacroFirstEventIsAButtonWithoutDelay) {
  RecordMouse();
  EXPECT_EQ(lib.Mouse(kWmLButtonDown, 1000, 10, 20), 0);
  ASSERT_EQ(Hook().MouseMacroKeyList().Count(), 1u);
  EXPECT_EQ(MouseEntry(0).nKeyType, 1);
  EXPECT_EQ(MouseEntry(0).nKeyState, 1);
  EXPECT_EQ(MouseEntry(0).MouseButton, LCLICK);
  EXPECT_EQ(MouseEntry(0).X, 10);
  EXPECT_EQ(MouseEntry(0).Y, 20);
  ASSERT_EQ(fired.size(), 1u);
  EXPECT_EQ(fired[0].type, 1);
  EXPECT_EQ(fired[0].button, LCLICK);
  EXPECT_EQ(fired[0].text, "Mouse Click");
  EXPECT_EQ(fired[0].stateText, "Down");
  EXPECT_EQ(fired[0].time, 1000.0);
  EXPECT_EQ(fired[0].listCount, 1u);
  EXPECT_EQ(Hook().MouseMacroKeyList().Key(0), u"0");
}

TEST_F(HookTest, MacroMovesGiveDelayEntriesOnlyIncludingAZeroDelta) {
  RecordMouse();
  lib.Mouse(kWmMouseMove, 500, 1, 1);  // first event: timing starts, nothing else
  EXPECT_TRUE(fired.empty());
  lib.Mouse(kWmMouseMove, 516, 2, 3);
  lib.Mouse(kWmMouseMove, 516, 4, 5);
  ASSERT_EQ(Hook().MouseMacroKeyList().Count(), 2u);
  EXPECT_EQ(MouseEntry(0).nKeyType, 0);
  EXPECT_EQ(MouseEntry(0).nKeyState, 0);
  EXPECT_EQ(MouseEntry(0).TimeValue, 16);
  EXPECT_EQ(MouseEntry(0).X, 2);
  EXPECT_EQ(MouseEntry(0).Y, 3);
  EXPECT_EQ(MouseEntry(1).TimeValue, 0);
  ASSERT_EQ(fired.size(), 2u);
  EXPECT_EQ(fired[0].type, 0);
  EXPECT_EQ(fired[0].state, 0);
  EXPECT_EQ(fired[0].text, "16");
  EXPECT_EQ(fired[0].stateText, "ms");
  EXPECT_EQ(fired[1].text, "0");
  EXPECT_EQ(Hook().MouseMacroKeyList().Key(1), u"1");
}

TEST_F(HookTest, MacroClickAfterAPauseGivesDelayThenButton) {
  RecordMouse();
  lib.Mouse(kWmLButtonDown, 100);
  lib.Mouse(kWmLButtonUp, 250);
  ASSERT_EQ(Hook().MouseMacroKeyList().Count(), 3u);
  EXPECT_EQ(MouseEntry(1).nKeyType, 0);
  EXPECT_EQ(MouseEntry(1).TimeValue, 150);
  EXPECT_EQ(MouseEntry(2).nKeyType, 1);
  EXPECT_EQ(MouseEntry(2).nKeyState, 0);
  ASSERT_EQ(fired.size(), 3u);
  EXPECT_EQ(fired[1].text, "150");
  EXPECT_EQ(fired[2].stateText, "Up");
  EXPECT_EQ(fired[2].listCount, 3u);
}

struct ButtonCase {
  const char* name;
  std::uint32_t message;
  std::uint32_t mouseData;
  TMouseButtons macroButton;
  TMouseButtons watchButton;
  int state;
  const char* text;
};

const ButtonCase kButtons[] = {
    {"left down", kWmLButtonDown, 0, LCLICK, LCLICK, 1, "Mouse Click"},
    {"left up", kWmLButtonUp, 0, LCLICK, LCLICK, 0, "Mouse Click"},
    {"right down", kWmRButtonDown, 0, RCLICK, RCLICK, 1, "Mouse Right Click"},
    {"right up", kWmRButtonUp, 0, RCLICK, RCLICK, 0, "Mouse Right Click"},
    {"middle down", kWmMButtonDown, 0, MCLICK, MCLICK, 1, "Mouse Middle Click"},
    {"middle up", kWmMButtonUp, 0, MCLICK, MCLICK, 0, "Mouse Middle Click"},
    {"x1 down", kWmXButtonDown, kXButton(1), XCLICK4, XCLICK4, 1, "Backward(Mouse) "},
    {"x1 up", kWmXButtonUp, kXButton(1), XCLICK4, XCLICK4, 0, "Backward(Mouse) "},
    {"x2 down", kWmXButtonDown, kXButton(2), XCLICK5, XCLICK5, 1, "Forward(Mouse)"},
    {"x2 up", kWmXButtonUp, kXButton(2), XCLICK5, XCLICK5, 0, "Forward(Mouse)"},
    // A roll toward the user has a negative delta.
    {"wheel toward user", kWmMouseWheel, kWheel(-120), WHEELUP, WHEELDOWN, 1, "Wheel up(Mouse)"},
    {"wheel away", kWmMouseWheel, kWheel(120), WHEELDOWN, WHEELUP, 1, "Wheel Down(Mouse)"},
    {"wheel fine step", kWmMouseWheel, kWheel(-1), WHEELUP, WHEELDOWN, 1, "Wheel up(Mouse)"},
    {"wheel zero", kWmMouseWheel, kWheel(0), BUTTON_NONE, BUTTON_NONE, 1, ""},
    {"x3", kWmXButtonDown, kXButton(3), BUTTON_NONE, BUTTON_NONE, 1, ""},
    {"horizontal wheel", kWmMouseHWheel, kWheel(120), BUTTON_NONE, BUTTON_NONE, 1, ""},
};

TEST_F(HookTest, MacroModeDecodesEveryButtonAndWheel) {
  for (const ButtonCase& c : kButtons) {
    SCOPED_TRACE(c.name);
    fired.clear();
    RecordMouse();
    lib.Mouse(c.message, 1000, 0, 0, c.mouseData);
    if (c.macroButton == BUTTON_NONE) {
      EXPECT_TRUE(fired.empty());
      EXPECT_EQ(Hook().MouseMacroKeyList().Count(), 0u);
      continue;
    }
    ASSERT_EQ(fired.size(), 1u);
    EXPECT_EQ(fired[0].button, c.macroButton);
    EXPECT_EQ(fired[0].state, c.state);
    EXPECT_EQ(fired[0].text, c.text);
    EXPECT_EQ(fired[0].stateText, c.state ? "Down" : "Up");
    EXPECT_EQ(MouseEntry(0).MouseButton, c.macroButton);
    EXPECT_EQ(MouseEntry(0).nKeyState, c.state);
  }
}

TEST_F(HookTest, WatchModeDecodesEveryButtonWithItsOwnWheelNaming) {
  struct Seen {
    TMouseButtons button;
    int state;
    int extra;
  };
  std::vector<Seen> seen;
  Hook().OnHookMouseAllButton = [&](TMouseButtons b, std::int32_t s, std::int16_t extra, bool&) {
    seen.push_back({b, s, extra});
  };
  Hook().StartHookMouse();
  for (const ButtonCase& c : kButtons) {
    SCOPED_TRACE(c.name);
    seen.clear();
    lib.Mouse(c.message, 1000, 0, 0, c.mouseData);
    ASSERT_EQ(seen.size(), 1u);  // also for events without a button
    EXPECT_EQ(seen[0].button, c.watchButton);
    EXPECT_EQ(seen[0].state, c.state);
    const bool hasExtra = c.message == kWmXButtonDown || c.message == kWmXButtonUp ||
                          c.message == kWmMouseWheel;
    EXPECT_EQ(seen[0].extra, hasExtra ? static_cast<std::int16_t>(c.mouseData >> 16) : 0);
  }
}

TEST_F(HookTest, InjectedEventsYieldNothingInEitherMouseMode) {
  RecordMouse();
  lib.Mouse(kWmLButtonDown, 100, 0, 0, 0, kLLMouseInjected);
  lib.Mouse(kWmMouseMove, 200, 0, 0, 0, kLLMouseInjected | 0x02);
  EXPECT_TRUE(fired.empty());
  EXPECT_EQ(Hook().MouseMacroKeyList().Count(), 0u);
  // Injected events do not start the timing either.
  lib.Mouse(kWmRButtonDown, 300);
  ASSERT_EQ(fired.size(), 1u);
  EXPECT_EQ(fired[0].type, 1);

  int watchEvents = 0;
  Hook().OnHookMouseAllButton = [&](TMouseButtons, std::int32_t, std::int16_t, bool&) { ++watchEvents; };
  Hook().OnHookMouseMove = [&](std::int32_t, std::int32_t, double) { ++watchEvents; };
  Hook().StartHookMouse();
  lib.Mouse(kWmLButtonDown, 400, 0, 0, 0, kLLMouseInjected);
  lib.Mouse(kWmMouseMove, 400, 0, 0, 0, kLLMouseInjected);
  EXPECT_EQ(watchEvents, 0);
  lib.Mouse(kWmLButtonDown, 400);
  EXPECT_EQ(watchEvents, 1);
}

TEST_F(HookTest, MacroClockWrapRestartsTimingWithoutLosingTheButton) {
  RecordMouse();
  lib.Mouse(kWmLButtonDown, 0xFFFFFF00u);
  lib.Mouse(kWmLButtonUp, 0x20);  // the clock wrapped between press and release
  lib.Mouse(kWmMouseMove, 0x50);
  ASSERT_EQ(Hook().MouseMacroKeyList().Count(), 3u);
  EXPECT_EQ(MouseEntry(1).nKeyType, 1);
  EXPECT_EQ(MouseEntry(1).nKeyState, 0);
  EXPECT_EQ(MouseEntry(2).nKeyType, 0);
  EXPECT_EQ(MouseEntry(2).TimeValue, 0x30);
}

TEST_F(HookTest, MacroKeepsLowSixteenBitsOfLongDelaysAndOffScreenPositions) {
  RecordMouse();
  lib.Mouse(kWmMouseMove, 1000);
  lib.Mouse(kWmLButtonDown, 1000 + 70000, -5, 70000);
  ASSERT_EQ(Hook().MouseMacroKeyList().Count(), 2u);
  EXPECT_EQ(MouseEntry(0).TimeValue, 70000 & 0xFFFF);
  EXPECT_EQ(fired[0].text, "70000");  // the text carries the full delta
  EXPECT_EQ(MouseEntry(1).X, 0xFFFB);
  EXPECT_EQ(MouseEntry(1).Y, 70000 & 0xFFFF);
  EXPECT_EQ(fired[1].x, 0xFFFB);
}

TEST_F(HookTest, MacroNeverBlocksAndNeedsAHandler) {
  Hook().RecordMouseMacro();  // no handler assigned
  EXPECT_EQ(lib.Mouse(kWmLButtonDown, 10), 0);
  EXPECT_EQ(Hook().MouseMacroKeyList().Count(), 0u);
  RecordMouse();
  EXPECT_EQ(lib.Mouse(kWmLButtonDown, 10), 0);
  EXPECT_EQ(lib.Mouse(kWmMouseWheel, 20, 0, 0, kWheel(-120)), 0);
}

TEST_F(HookTest, StopHandsOverTheListAndTheNextRecordingClearsIt) {
  RecordMouse();
  lib.Mouse(kWmLButtonDown, 10);
  lib.Mouse(kWmLButtonUp, 20);
  std::size_t handed = 0;
  Hook().OnStopRecordMouseMacroKey = [&](TMouseMacroKeyList& list) { handed = list.Count(); };
  Hook().StopRecordMouseMacro();
  EXPECT_EQ(handed, 3u);
  EXPECT_EQ(Hook().MouseMacroKeyList().Count(), 3u);
  EXPECT_EQ(lib.Mouse(kWmLButtonDown, 30), 0);  // no hook any more
  EXPECT_EQ(fired.size(), 3u);

  Hook().RecordMouseMacro();
  EXPECT_EQ(Hook().MouseMacroKeyList().Count(), 0u);
  lib.Mouse(kWmLButtonDown, 5000);  // first event of the new recording
  ASSERT_EQ(Hook().MouseMacroKeyList().Count(), 1u);
  EXPECT_EQ(MouseEntry(0).nKeyType, 1);
}

TEST_F(HookTest, WatchMovesReportPositionAndAreNeverBlocked) {
  std::vector<std::pair<int, int>> moves;
  double when = 0;
  Hook().OnHookMouseMove = [&](std::int32_t x, std::int32_t y, double t) {
    moves.emplace_back(x, y);
    when = t;
  };
  bool allFired = false;
  Hook().OnHookMouseAllButton = [&](TMouseButtons, std::int32_t, std::int16_t, bool& b) {
    allFired = true;
    b = true;
  };
  Hook().StartHookMouse();
  EXPECT_EQ(lib.Mouse(kWmMouseMove, 77, -3, 900), 0);
  EXPECT_EQ(moves, (std::vector<std::pair<int, int>>{{-3, 900}}));
  EXPECT_EQ(when, 77.0);
  EXPECT_FALSE(allFired);
  EXPECT_EQ(lib.Mouse(kWmRButtonDown, 78), 1);  // a handler may swallow buttons
}

TEST_F(HookTest, WatchObjectsMatchByStateAndButtonOrdinalFirstMatchOnly) {
  struct Hit {
    TMouseButtons button;
    int state;
  };
  std::vector<Hit> hits;
  Hook().OnHookMouseButton = [&](TMouseButtons b, std::int32_t s, bool& blocked) {
    hits.push_back({b, s});
    blocked = true;
  };
  auto add = [&](TMouseButtons button, TMouseButtonStateSet set, TMouseButtons modified) {
    auto o = std::make_unique<TMouseHookDetailObject>();
    o->FMouseHookDetail = TMouseHookDetail{button, set, modified, HOOK_DOWN};
    Hook().AddMouseHookObject(std::move(o));
  };
  // Right button, presses only, remapped to the middle button.
  add(RCLICK, MouseStateBit(RBUTTONDOWN) | MouseStateBit(LBUTTONDOWN), MCLICK);
  // Wheel: mapped to itself, so it is left alone.
  add(WHEELDOWN, MouseStateBit(MOUSEWHEEL), WHEELDOWN);
  add(WHEELUP, MouseStateBit(MOUSEWHEEL), LCLICK);
  EXPECT_EQ(Hook().MouseHookObjectList().Key(0), u"2");
  Hook().StartHookMouse();

  EXPECT_EQ(lib.Mouse(kWmRButtonDown, 1), 1);
  EXPECT_EQ(lib.Mouse(kWmRButtonUp, 2), 0);  // state not in any set
  // An object for a higher button ordinal also answers a lower one.
  EXPECT_EQ(lib.Mouse(kWmLButtonDown, 3), 1);
  // Toward the user is WHEELDOWN here; its first match maps to itself.
  EXPECT_EQ(lib.Mouse(kWmMouseWheel, 4, 0, 0, kWheel(-120)), 0);
  // Away is WHEELUP: the WHEELDOWN object (ordinal 7 >= 6) matches first.
  EXPECT_EQ(lib.Mouse(kWmMouseWheel, 5, 0, 0, kWheel(120)), 1);
  ASSERT_EQ(hits.size(), 3u);
  EXPECT_EQ(hits[0].button, RCLICK);
  EXPECT_EQ(hits[1].button, LCLICK);
  EXPECT_EQ(hits[2].button, WHEELUP);

  Hook().RemoveAllMouseHookObject();
  EXPECT_EQ(Hook().MouseHookObjectList().Count(), 0u);
  EXPECT_EQ(lib.Mouse(kWmRButtonDown, 6), 0);
}

}  // namespace
}  // namespace vx::test
