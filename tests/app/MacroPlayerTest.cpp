#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <utility>
#include <vector>

#include "app/AppFakes.h"
#include "app/MacroPlayer.h"

namespace vx {
namespace {

using test::FakeInput;
using test::FakePreciseTimer;
using test::InputEvent;
using test::Key;
using test::Mouse;

TMACROKEY Act(std::uint16_t type, std::uint16_t state, std::uint8_t v1, std::uint8_t v2) {
  return TMACROKEY{type, state, v1, v2};
}

TMACROKEYINFO MacroOf(const std::vector<TMACROKEY>& actions, std::optional<int> count = {}) {
  TMACROKEYINFO m{};
  for (std::size_t i = 0; i < actions.size() && i < 128; ++i) m.MacroList[i] = actions[i];
  m.MacroListCount = count.value_or(static_cast<int>(actions.size()));
  return m;
}

struct ActionCase {
  const char* name;
  TMACROKEY action;
  std::vector<InputEvent> expected;
};

class PerformActionTest : public ::testing::TestWithParam<ActionCase> {};

TEST_P(PerformActionTest, ProducesExactInput) {
  FakeInput input;
  const auto& c = GetParam();
  EXPECT_EQ(PerformMacroAction(c.action, ScreenPoint{-1700, -25}, input), 0u);
  EXPECT_EQ(input.events, c.expected);
}

// Cursor at (-1700, -25): a monitor left of and above the primary one.
INSTANTIATE_TEST_SUITE_P(
    ActionTable, PerformActionTest,
    ::testing::Values(
        // Scan codes as MapVirtualKeyW(MAPVK_VK_TO_VSC_EX) gives them (the
        // fake holds the documented US table); E0 or the stored flag
        // (byte 5) makes the extended key.
        ActionCase{"KeyPress", Act(4, 1, 65, 0), {Key(65, 0, 0x1E)}},
        ActionCase{"KeyRelease", Act(4, 0, 65, 0), {Key(65, 0x0002, 0x1E)}},
        ActionCase{"RightArrowNoStoredFlag", Act(4, 1, 0x27, 0), {Key(0x27, 0x0001, 0x4D)}},
        ActionCase{"RightArrowStoredFlag", Act(4, 1, 0x27, 1), {Key(0x27, 0x0001, 0x4D)}},
        ActionCase{"RightArrowRelease", Act(4, 0, 0x27, 0), {Key(0x27, 0x0003, 0x4D)}},
        ActionCase{"Numpad6IsNotExtended", Act(4, 1, 0x66, 0), {Key(0x66, 0, 0x4D)}},
        ActionCase{"RightCtrl", Act(4, 1, 0xA3, 0), {Key(0xA3, 0x0001, 0x1D)}},
        ActionCase{"RightCtrlRelease", Act(4, 0, 0xA3, 0), {Key(0xA3, 0x0003, 0x1D)}},
        ActionCase{"MainEnter", Act(4, 1, 0x0D, 0), {Key(0x0D, 0, 0x1C)}},
        ActionCase{"NumpadEnterByStoredFlag", Act(4, 1, 0x0D, 1), {Key(0x0D, 0x0001, 0x1C)}},
        ActionCase{"DeleteStoredFlag", Act(4, 1, 0x2E, 1), {Key(0x2E, 0x0001, 0x53)}},
        // E1 1D: Pause as Windows' keyboard input gives it, never left Ctrl.
        ActionCase{"PauseIs45Unextended", Act(4, 1, 0x13, 0), {Key(0x13, 0, 0x45)}},
        ActionCase{"PauseStoredFlagStaysPause", Act(4, 1, 0x13, 1), {Key(0x13, 0, 0x45)}},
        ActionCase{"PauseRelease", Act(4, 0, 0x13, 0), {Key(0x13, 0x0002, 0x45)}},
        ActionCase{"NumLockIs45Extended", Act(4, 1, 0x90, 0), {Key(0x90, 0x0001, 0x45)}},
        ActionCase{"CtrlBreak", Act(4, 1, 0x03, 0), {Key(0x03, 0x0001, 0x46)}},
        ActionCase{"PrintScreen", Act(4, 1, 0x2C, 0), {Key(0x2C, 0x0001, 0x37)}},
        ActionCase{"KeyWithoutScanCode", Act(4, 1, 0x7C, 0), {Key(0x7C, 0, 0)}},
        ActionCase{"KeyState2", Act(4, 2, 65, 0), {}},
        ActionCase{"LeftDown", Act(1, 1, 0, 1), {Mouse(0x0002, -1700, -25)}},
        ActionCase{"LeftUp", Act(1, 0, 0, 1), {Mouse(0x0004, -1700, -25)}},
        ActionCase{"RightDown", Act(1, 1, 0, 2), {Mouse(0x0008, -1700, -25)}},
        ActionCase{"RightUp", Act(1, 0, 0, 2), {Mouse(0x0010, -1700, -25)}},
        ActionCase{"MiddleDown", Act(1, 1, 0, 3), {Mouse(0x0020, -1700, -25)}},
        ActionCase{"MiddleUp", Act(1, 0, 0, 3), {Mouse(0x0040, -1700, -25)}},
        ActionCase{"MouseValueByteIgnored", Act(1, 1, 0xFF, 1), {Mouse(0x0002, -1700, -25)}},
        ActionCase{"BackPress", Act(1, 1, 0, 4), {Key(166, 0x0001)}},
        ActionCase{"BackRelease", Act(1, 0, 0, 4), {Key(166, 0x0003)}},
        ActionCase{"ForwardPress", Act(1, 1, 0, 5), {Key(167, 0x0001)}},
        ActionCase{"ForwardRelease", Act(1, 0, 0, 5), {Key(167, 0x0003)}},
        ActionCase{"MouseState2", Act(1, 2, 0, 1), {}},
        ActionCase{"SideButtonState2", Act(1, 2, 0, 4), {}},
        ActionCase{"MouseIndex0", Act(1, 1, 0, 0), {}},
        ActionCase{"MouseIndex6", Act(1, 1, 0, 6), {}},
        ActionCase{"WheelTowardUser", Act(3, 1, 0, 6), {Mouse(0x0800, -1700, -25, -120)}},
        ActionCase{"WheelTowardUserState0ValueFF", Act(3, 0, 0xFF, 6), {Mouse(0x0800, -1700, -25, -120)}},
        ActionCase{"WheelAwayFromUser", Act(3, 7, 3, 7), {Mouse(0x0800, -1700, -25, 120)}},
        ActionCase{"WheelIndex1", Act(3, 1, 0, 1), {}},
        ActionCase{"PressCodeKindSkipped", Act(5, 1, 65, 0), {}},
        ActionCase{"LoopKindSkipped", Act(7, 1, 3, 0), {}},
        ActionCase{"KindZeroSkipped", Act(0, 1, 65, 0), {}}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(PerformAction, DelayReturnsLowPlus256TimesHigh) {
  FakeInput input;
  EXPECT_EQ(PerformMacroAction(Act(6, 1, 0xE8, 0x03), {}, input), 1000u);
  EXPECT_EQ(PerformMacroAction(Act(6, 0, 0xFF, 0xFF), {}, input), 65535u);
  EXPECT_EQ(PerformMacroAction(Act(6, 7, 0x00, 0x00), {}, input), 0u);
  EXPECT_TRUE(input.events.empty());
}

TEST(PlayMacro, KeyDelayKeyPausesBetweenPressAndRelease) {
  FakeInput input;
  FakePreciseTimer timer;
  input.clock = &timer;
  PlayMacroActions(MacroOf({Act(4, 1, 65, 0), Act(6, 1, 100, 0), Act(4, 0, 65, 0)}), {}, input, timer);
  ASSERT_EQ(input.events, (std::vector<InputEvent>{Key(65, 0, 0x1E), Key(65, 0x0002, 0x1E)}));
  EXPECT_EQ(input.times[1] - input.times[0], 100000);
}

TEST(PlayMacro, DelayFromE803IsOneSecond) {
  FakeInput input;
  FakePreciseTimer timer;
  const std::int64_t start = timer.now;
  PlayMacroActions(MacroOf({Act(6, 1, 0xE8, 0x03)}), {}, input, timer);
  ASSERT_EQ(timer.deadlines.size(), 1u);
  EXPECT_EQ(timer.deadlines[0] - start, 1000000);
}

TEST(PlayMacro, DeadlinesAreAbsoluteSoInputTimeDoesNotAccumulate) {
  FakeInput input;
  FakePreciseTimer timer;
  timer.costPerRead = 300;  // every clock reading costs 0.3 ms
  input.clock = &timer;
  std::vector<TMACROKEY> actions;
  for (int i = 0; i < 40; ++i) {
    actions.push_back(Act(4, 1, 65, 0));
    actions.push_back(Act(6, 1, 6, 0));  // 6 ms
    actions.push_back(Act(4, 0, 65, 0));
  }
  const std::int64_t before = timer.now;
  PlayMacroActions(MacroOf(actions), {}, input, timer);
  ASSERT_EQ(timer.deadlines.size(), 40u);
  const std::int64_t start = timer.deadlines[0] - 6000;
  EXPECT_GE(start, before);
  for (std::size_t i = 0; i < timer.deadlines.size(); ++i) {
    EXPECT_EQ(timer.deadlines[i] - start, static_cast<std::int64_t>(6000 * (i + 1))) << i;
  }
}

TEST(PlayMacro, AStalledInputCallDoesNotShortenTheFollowingPauses) {
  FakeInput input;
  FakePreciseTimer timer;
  input.clock = &timer;
  bool stalled = false;
  input.during = [&] {
    if (!std::exchange(stalled, true)) timer.now += 50000;  // the first call blocks 50 ms
  };
  PlayMacroActions(MacroOf({Act(4, 1, 65, 0), Act(6, 1, 10, 0), Act(4, 0, 65, 0), Act(6, 1, 20, 0),
                            Act(4, 1, 66, 0), Act(6, 1, 30, 0), Act(4, 0, 66, 0)}),
                   {}, input, timer);
  ASSERT_EQ(input.times.size(), 4u);
  // The stall, then each recorded pause in full.
  EXPECT_EQ(input.times[1] - input.times[0], 50000 + 10000);
  EXPECT_EQ(input.times[2] - input.times[1], 20000);
  EXPECT_EQ(input.times[3] - input.times[2], 30000);
}

TEST(PlayMacro, CountZeroOrNegativePlaysNothingAndTakesNoTimer) {
  for (int count : {0, -1, -100000}) {
    FakeInput input;
    FakePreciseTimer timer;
    EXPECT_EQ(PlayMacroActions(MacroOf({Act(4, 1, 65, 0)}, count), {}, input, timer), 0);
    EXPECT_TRUE(input.events.empty());
    EXPECT_EQ(timer.begins, 0);
  }
}

TEST(PlayMacro, CountAbove128PlaysTheStoredActionsOnly) {
  for (int count : {129, 1000, 0x7FFFFFFF}) {
    FakeInput input;
    FakePreciseTimer timer;
    std::vector<TMACROKEY> actions(128, Act(4, 1, 66, 0));
    EXPECT_EQ(PlayMacroActions(MacroOf(actions, count), {}, input, timer), 128);
    EXPECT_EQ(input.events.size(), 128u);
  }
}

TEST(PlayMacro, FineResolutionHeldOnlyWhilePlaying) {
  FakeInput input;
  FakePreciseTimer timer;
  PlayMacroActions(MacroOf({Act(6, 1, 1, 0), Act(4, 1, 65, 0)}), {}, input, timer);
  EXPECT_EQ(timer.begins, 1);
  EXPECT_EQ(timer.ends, 1);
  EXPECT_FALSE(timer.preciseHeld);
}

TEST(PlayMacro, SkipsUnknownKindsButKeepsOrder) {
  FakeInput input;
  FakePreciseTimer timer;
  PlayMacroActions(MacroOf({Act(5, 1, 1, 1), Act(1, 1, 0, 1), Act(7, 0, 2, 0), Act(1, 0, 0, 1)}),
                   {5, 6}, input, timer);
  EXPECT_EQ(input.events, (std::vector<InputEvent>{Mouse(0x0002, 5, 6), Mouse(0x0004, 5, 6)}));
}

TEST(PlayMacro, AReleaseGoesOutWithItsPresssScanCodeAndFlags) {
  FakeInput input;
  FakePreciseTimer timer;
  // Keypad Enter down (stored flag), released by an action without the flag.
  PlayMacroActions(MacroOf({Act(4, 1, 0x0D, 1), Act(4, 0, 0x0D, 0), Act(4, 0, 0x0D, 0)}), {}, input, timer);
  EXPECT_EQ(input.events, (std::vector<InputEvent>{Key(0x0D, 0x0001, 0x1C), Key(0x0D, 0x0003, 0x1C),
                                                   Key(0x0D, 0x0002, 0x1C)}));
}

TEST(PlayMacro, ARefusedEventStopsPlaybackAndReleasesWhatWentDown) {
  FakeInput input;
  FakePreciseTimer timer;
  input.refuseFrom = 2;  // the third event is refused
  PlaybackControl control;
  const int looked = PlayMacroActions(MacroOf({Act(4, 1, 0x27, 0), Act(1, 1, 0, 1), Act(4, 1, 65, 0),
                                               Act(6, 1, 0xE8, 0x03), Act(4, 0, 65, 0), Act(1, 0, 0, 1),
                                               Act(4, 0, 0x27, 0)}),
                                      {}, input, timer, control);
  EXPECT_TRUE(control.refused);
  EXPECT_EQ(looked, 3);
  EXPECT_TRUE(timer.deadlines.empty());  // no pause played into the void
  EXPECT_EQ(input.events, (std::vector<InputEvent>{Key(0x27, 1, 0x4D), Mouse(2, 0, 0), Key(65, 0, 0x1E),
                                                   Mouse(4, 0, 0), Key(0x27, 3, 0x4D), Key(65, 2, 0x1E)}));
}

TEST(PlayMacro, PausesHandleArrivingMessagesThenWaitForTheSameDeadline) {
  FakeInput input;
  FakePreciseTimer timer;
  input.clock = &timer;
  const std::int64_t start = timer.now;
  timer.messagesAt = {start + 100000, start + 250000};
  std::vector<std::int64_t> handledAt;
  PlaybackControl control;
  control.handleMessages = [&] { handledAt.push_back(timer.now); };
  PlayMacroActions(MacroOf({Act(4, 1, 65, 0), Act(6, 1, 0xE8, 0x03), Act(4, 0, 65, 0)}), {}, input, timer, control);
  // What waited at the start of the pause, then each arrival.
  EXPECT_EQ(handledAt, (std::vector<std::int64_t>{start, start + 100000, start + 250000}));
  ASSERT_EQ(input.times.size(), 2u);
  EXPECT_EQ(input.times[1] - input.times[0], 1000000);
}

TEST(PlayMacro, ACancelDuringAPauseStopsAtOnceAndReleases) {
  FakeInput input;
  FakePreciseTimer timer;
  const std::int64_t start = timer.now;
  timer.messagesAt = {start + 100000};
  std::atomic<bool> cancel{false};
  PlaybackControl control;
  control.cancel = &cancel;
  control.handleMessages = [&] { cancel = timer.now > start; };  // Exit chosen in the pause
  PlayMacroActions(MacroOf({Act(4, 1, 65, 0), Act(6, 1, 0xE8, 0x03), Act(4, 0, 65, 0), Act(4, 1, 66, 0)}), {}, input,
                   timer, control);
  EXPECT_TRUE(control.cancelled);
  EXPECT_EQ(timer.now, start + 100000);  // the rest of the pause is not waited
  EXPECT_EQ(input.events, (std::vector<InputEvent>{Key(65, 0, 0x1E), Key(65, 2, 0x1E)}));
}

// Stopped in the last pause, nothing is left down: keys, buttons, and the
// browser keys a side button plays.
TEST(PlayMacro, ACancelInTheLastPauseReleasesWhatIsDown) {
  const struct {
    const char* name;
    TMACROKEY press;
    std::vector<InputEvent> expected;
  } rows[] = {
      {"Key", Act(4, 1, 0x27, 0), {Key(0x27, 1, 0x4D), Key(0x27, 3, 0x4D)}},
      {"LeftButton", Act(1, 1, 0, 1), {Mouse(2, 0, 0), Mouse(4, 0, 0)}},
      {"MiddleButton", Act(1, 1, 0, 3), {Mouse(0x20, 0, 0), Mouse(0x40, 0, 0)}},
      {"BackSideButton", Act(1, 1, 0, 4), {Key(166, 1), Key(166, 3)}},
      {"ForwardSideButton", Act(1, 1, 0, 5), {Key(167, 1), Key(167, 3)}},
  };
  for (const auto& r : rows) {
    FakeInput input;
    FakePreciseTimer timer;
    std::atomic<bool> cancel{false};
    timer.onSleep = [&] { cancel = true; };
    PlaybackControl control;
    control.cancel = &cancel;
    EXPECT_EQ(PlayMacroActions(MacroOf({r.press, Act(6, 1, 100, 0)}), {}, input, timer, control), 2) << r.name;
    EXPECT_TRUE(control.cancelled) << r.name;
    EXPECT_EQ(input.events, r.expected) << r.name;
  }
}

}  // namespace
}  // namespace vx
