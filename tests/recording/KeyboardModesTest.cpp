#include "recording/HookFixture.h"

namespace vx::test {
namespace {

constexpr std::uint32_t kUp = kLLKeyReleased;
constexpr std::uint32_t kExt = kLLKeyExtended;

class KeyboardTest : public HookTest {
 protected:
  void RecordMacro() {
    Hook().OnRecordKeyboardMacroKey = [this](std::int32_t type, std::int32_t key, std::int32_t state,
                                             std::int32_t ext, double time, WView text, WView stateText,
                                             TMacroKeyList& list) {
      fired.push_back(Fired{type, key, state, ext, 0, time, ToUtf8(text), ToUtf8(stateText),
                            list.Count(), 0});
    };
    Hook().RecordKeyboardMacroKey();
  }
  void RecordMacroEx() {
    Hook().OnRecordKeyboardMacroKeyEx = [this](std::int32_t type, std::int32_t key,
                                               std::int32_t state, std::int32_t ext, double time,
                                               std::uint32_t total, WView text, WView stateText,
                                               TMacroKeyList& list) {
      fired.push_back(Fired{type, key, state, ext, 0, time, ToUtf8(text), ToUtf8(stateText),
                            list.Count(), total});
    };
    Hook().RecordKeyboardMacroKeyEx();
  }
  struct Combo {
    int key1, ext1, key2, ext2, modifier;
    std::string text;
  };
  void RecordCombo() {
    Hook().OnRecordKeyboardComboKey = [this](std::int32_t k1, std::int32_t e1, std::int32_t k2,
                                             std::int32_t e2, std::int32_t mod, WView text) {
      combos.push_back(Combo{k1, e1, k2, e2, mod, ToUtf8(text)});
    };
    Hook().RecordKeyboardComboKey();
  }
  std::vector<Combo> combos;
};

// --- keyboard macro mode ------------------------------------------------------

TEST_F(KeyboardTest, MacroGapBoundsDecideTheDelayEntry) {
  const std::pair<std::uint32_t, bool> gaps[] = {
      {0, false}, {10, false}, {11, true}, {1999, true}, {2000, false}, {60000, false}};
  for (const auto& [gap, delay] : gaps) {
    SCOPED_TRACE(gap);
    fired.clear();
    RecordMacro();
    lib.Key(0x41, 5000);
    lib.Key(0x41, 5000 + gap, kUp);
    const std::size_t expected = delay ? 3 : 2;
    ASSERT_EQ(Hook().MacroKeyList().Count(), expected);
    ASSERT_EQ(fired.size(), expected);
    if (delay) {
      EXPECT_EQ(KeyEntry(1).nKeyType, 0);
      EXPECT_EQ(KeyEntry(1).nKeyValue, gap);
      EXPECT_EQ(KeyEntry(1).nKeyState, 0);
      EXPECT_EQ(fired[1].type, 0);
      EXPECT_EQ(fired[1].button, static_cast<int>(gap));
      EXPECT_EQ(fired[1].text, std::to_string(gap));
      EXPECT_EQ(fired[1].stateText, "ms");
    }
    EXPECT_EQ(KeyEntry(expected - 1).nKeyType, 1);
    EXPECT_EQ(KeyEntry(expected - 1).nKeyState, 0);
  }
}

TEST_F(KeyboardTest, MacroRecordsKeysWithDescriptionsAndSwallowsThem) {
  RecordMacro();
  EXPECT_EQ(lib.Key(0x21, 100, kExt), 1);  // first key: never a delay before it
  EXPECT_EQ(lib.Key(0x21, 100, kExt | kUp), 1);
  ASSERT_EQ(Hook().MacroKeyList().Count(), 2u);
  EXPECT_EQ(KeyEntry(0).nKeyType, 1);
  EXPECT_EQ(KeyEntry(0).nKeyState, 1);
  EXPECT_EQ(KeyEntry(0).nKeyValue, 0x21);
  EXPECT_EQ(KeyEntry(0).nKeyValueExtended, 1);
  EXPECT_TRUE(KeyEntry(0).MacroKeyString.empty());
  EXPECT_EQ(KeyEntry(0).Time, 0.0);
  ASSERT_EQ(fired.size(), 2u);
  EXPECT_EQ(fired[0].text, "PAGE UP");
  EXPECT_EQ(fired[0].stateText, "Down");
  EXPECT_EQ(fired[0].x, 1);
  EXPECT_EQ(fired[1].stateText, "Up");
  EXPECT_EQ(fired[0].time, 100.0);
  EXPECT_EQ(Hook().MacroKeyList().Key(1), u"1");
}

TEST_F(KeyboardTest, MacroRecordsNoDelayAcrossAClockWrap) {
  RecordMacro();
  lib.Key(0x41, 0xFFFFFFF0u);
  lib.Key(0x41, 0x05, kUp);
  lib.Key(0x42, 0x05 + 50);
  ASSERT_EQ(Hook().MacroKeyList().Count(), 4u);
  EXPECT_EQ(KeyEntry(1).nKeyType, 1);
  EXPECT_EQ(KeyEntry(2).nKeyType, 0);
  EXPECT_EQ(KeyEntry(2).nKeyValue, 50);
}

TEST_F(KeyboardTest, StopPassesTheFullListThenEmptiesIt) {
  RecordMacro();
  lib.Key(0x41, 100);
  lib.Key(0x41, 200, kUp);
  std::size_t handed = 0;
  Hook().OnStopRecordKeyboardMacroKey = [&](TMacroKeyList& list) { handed = list.Count(); };
  Hook().StopRecordKeyboardMacroKey();
  EXPECT_EQ(handed, 3u);
  EXPECT_EQ(Hook().MacroKeyList().Count(), 0u);
  EXPECT_EQ(lib.Key(0x41, 300), 0);

  RecordMacroEx();
  lib.Key(0x41, 100);
  Hook().StopRecordKeyboardMacroKeyEx();
  EXPECT_EQ(handed, 1u);
  EXPECT_EQ(Hook().MacroKeyList().Count(), 0u);
}

// --- extended keyboard macro mode ---------------------------------------------

TEST_F(KeyboardTest, ExtendedHeldKeyGivesPressDelayRelease) {
  RecordMacroEx();
  EXPECT_EQ(lib.Key(0x41, 1000), 1);
  EXPECT_EQ(lib.Key(0x41, 1500), 1);  // auto-repeat
  EXPECT_EQ(lib.Key(0x41, 1530), 1);
  EXPECT_EQ(lib.Key(0x41, 1800, kUp), 1);
  ASSERT_EQ(Hook().MacroKeyList().Count(), 3u);
  EXPECT_EQ(KeyEntry(0).nKeyType, 1);
  EXPECT_EQ(KeyEntry(0).nKeyState, 1);
  EXPECT_EQ(KeyEntry(1).nKeyType, 0);
  EXPECT_EQ(KeyEntry(1).nKeyValue, 800);
  EXPECT_EQ(KeyEntry(2).nKeyType, 1);
  EXPECT_EQ(KeyEntry(2).nKeyState, 0);
  ASSERT_EQ(fired.size(), 2u);  // the delay entry fires no event
  EXPECT_EQ(fired[0].totalTime, 0u);
  EXPECT_EQ(fired[0].text, "A");
  EXPECT_EQ(fired[1].totalTime, 800u);
  EXPECT_EQ(fired[1].stateText, "Up");
}

TEST_F(KeyboardTest, ExtendedSequenceOfKeysCarriesTheGapBeforeEach) {
  RecordMacroEx();
  lib.Key(0x41, 1000);
  lib.Key(0x42, 1040);
  lib.Key(0x41, 1100, kUp);
  lib.Key(0x42, 1100, kUp);  // no gap: no delay entry
  std::vector<std::pair<int, int>> entries;  // type, value
  for (std::size_t i = 0; i < Hook().MacroKeyList().Count(); ++i) {
    entries.emplace_back(KeyEntry(i).nKeyType, KeyEntry(i).nKeyValue);
  }
  EXPECT_EQ(entries, (std::vector<std::pair<int, int>>{
                         {1, 0x41}, {0, 40}, {1, 0x42}, {0, 60}, {1, 0x41}, {1, 0x42}}));
}

TEST_F(KeyboardTest, ExtendedClampsLongHoldsAndCountsAWrapAsNoGap) {
  RecordMacroEx();
  lib.Key(0x41, 1000);
  lib.Key(0x41, 1000 + 70000, kUp);
  ASSERT_EQ(Hook().MacroKeyList().Count(), 3u);
  EXPECT_EQ(KeyEntry(1).nKeyValue, 65535);
  EXPECT_EQ(fired.back().totalTime, 65535u);

  RecordMacroEx();
  lib.Key(0x41, 0xFFFFFFF0u);
  lib.Key(0x41, 0x10, kUp);
  ASSERT_EQ(Hook().MacroKeyList().Count(), 2u);
  EXPECT_EQ(KeyEntry(1).nKeyType, 1);
}

TEST_F(KeyboardTest, ExtendedStopsTakingKeysAboveFiveHundredEntries) {
  RecordMacroEx();
  for (int i = 0; i < 250; ++i) {  // taps without pauses: two entries each
    lib.Key(0x41, 1000);
    lib.Key(0x41, 1000, kUp);
  }
  ASSERT_EQ(Hook().MacroKeyList().Count(), 500u);
  EXPECT_EQ(lib.Key(0x42, 1000), 1);  // 500 entries: still taken
  ASSERT_EQ(Hook().MacroKeyList().Count(), 501u);
  EXPECT_EQ(lib.Key(0x42, 1000, kUp), 0);  // ignored and passed on
  EXPECT_EQ(Hook().MacroKeyList().Count(), 501u);
  EXPECT_EQ(fired.size(), 501u);
}

TEST_F(KeyboardTest, ExtendedModeStartsFresh) {
  RecordMacroEx();
  lib.Key(0x41, 1000);  // A stays marked down
  RecordMacroEx();
  lib.Key(0x41, 5000);
  ASSERT_EQ(Hook().MacroKeyList().Count(), 1u);
  EXPECT_EQ(KeyEntry(0).nKeyType, 1);
  EXPECT_EQ(fired.back().totalTime, 0u);
}

// --- key combination mode -----------------------------------------------------

TEST_F(KeyboardTest, ComboModifierPressesAndReleasesPassThrough) {
  RecordCombo();
  for (std::uint32_t vk : {0xA0u, 0xA1u, 0xA2u, 0xA3u, 0xA4u, 0xA5u, 0x5Bu, 0x5Cu}) {
    EXPECT_EQ(lib.Key(vk, 100), 0) << vk;
  }
  EXPECT_EQ(lib.Key(0x41, 100, kUp), 0);
  EXPECT_TRUE(combos.empty());
}

TEST_F(KeyboardTest, ComboReadsLiveModifiersInFixedOrder) {
  const struct {
    std::vector<std::int32_t> down;
    int modifier;
    const char* text;
  } cases[] = {
      {{}, 0, "A"},
      {{0xA2}, 2, "Ctrl+A"},
      {{0xA3}, 2, "Ctrl+A"},
      {{0xA5}, 1, "Alt+A"},
      {{0x5C}, 8, "Win+A"},
      {{0xA0}, 4, "Shift+A"},
      {{0xA1, 0xA2}, 6, "Ctrl+Shift+A"},
      {{0xA0, 0x5B, 0xA4, 0xA3}, 15, "Ctrl+Alt+Win+Shift+A"},
      {{0x10, 0x11, 0x12}, 0, "A"},  // the generic codes are not read
  };
  std::uint32_t t = 1000;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    keysDown.clear();
    for (auto vk : c.down) keysDown[vk] = true;
    combos.clear();
    RecordCombo();
    EXPECT_EQ(lib.Key(0x41, t += 1000), 1);
    ASSERT_EQ(combos.size(), 1u);
    EXPECT_EQ(combos[0].key1, 0x41);
    EXPECT_EQ(combos[0].key2, 0);
    EXPECT_EQ(combos[0].modifier, c.modifier);
    EXPECT_EQ(combos[0].text, c.text);
    EXPECT_EQ(ToUtf8(Hook().ComboKeyString()), c.text);
  }
}

// A background program's own key state stays up (keysDown is empty): the
// modifiers the hook saw go by are what counts, until they are released.
TEST_F(KeyboardTest, ComboReadsModifiersTheHookSawWhenTheKeyStateIsStale) {
  RecordCombo();
  EXPECT_EQ(lib.Key(0xA3, 1000, kExt), 0);  // right Ctrl, passed on
  EXPECT_EQ(lib.Key(0xA4, 1010), 0);        // left Alt
  lib.Key(0x41, 2000);
  ASSERT_EQ(combos.size(), 1u);
  EXPECT_EQ(combos[0].modifier, 3);
  EXPECT_EQ(combos[0].text, "Ctrl+Alt+A");
  lib.Key(0xA3, 2100, kExt | kUp);
  lib.Key(0x42, 3000);
  ASSERT_EQ(combos.size(), 2u);
  EXPECT_EQ(combos[1].text, "Alt+B");
  // A new recording forgets what the last one saw.
  RecordCombo();
  lib.Key(0x43, 4000);
  ASSERT_EQ(combos.size(), 3u);
  EXPECT_EQ(combos[2].text, "C");
}

TEST_F(KeyboardTest, ComboSecondKeyWithinTheWindowBecomesKeyTwo) {
  keysDown[0xA2] = true;
  RecordCombo();
  lib.Key(0x41, 1000);
  lib.Key(0x21, 1100, kExt);  // exactly 100 ms: same combination
  ASSERT_EQ(combos.size(), 2u);
  EXPECT_EQ(combos[1].key1, 0x41);
  EXPECT_EQ(combos[1].key2, 0x21);
  EXPECT_EQ(combos[1].ext2, 1);
  EXPECT_EQ(combos[1].text, "Ctrl+A+PAGE UP");
  EXPECT_EQ(Hook().ComboKeyInfo().nKeyValue2, 0x21);

  // A third key clears the pair and starts over.
  lib.Key(0x43, 1150);
  ASSERT_EQ(combos.size(), 3u);
  EXPECT_EQ(combos[2].key1, 0x43);
  EXPECT_EQ(combos[2].key2, 0);
  EXPECT_EQ(combos[2].text, "Ctrl+C");
}

TEST_F(KeyboardTest, ComboAfterMoreThanTheWindowStartsANewCombination) {
  RecordCombo();
  lib.Key(0x41, 1000);
  lib.Key(0x42, 1101);
  ASSERT_EQ(combos.size(), 2u);
  EXPECT_EQ(combos[1].key1, 0x42);
  EXPECT_EQ(combos[1].key2, 0);
  EXPECT_EQ(combos[1].text, "B");
}

TEST_F(KeyboardTest, ComboSameKeyAgainStaysKeyOne) {
  RecordCombo();
  lib.Key(0x41, 1000);
  lib.Key(0x41, 1030);  // auto-repeat
  ASSERT_EQ(combos.size(), 2u);
  EXPECT_EQ(combos[1].key1, 0x41);
  EXPECT_EQ(combos[1].key2, 0);
  EXPECT_EQ(combos[1].text, "A");
}

TEST_F(KeyboardTest, ComboWindowUsesTheAbsoluteDifference) {
  RecordCombo();
  lib.Key(0x41, 0xFFFFFFF0u);
  lib.Key(0x42, 0xFFFFFFF0u - 50);  // earlier by 50 ms: still the same combination
  ASSERT_EQ(combos.size(), 2u);
  EXPECT_EQ(combos[1].key2, 0x42);
  lib.Key(0x43, 0x10);  // far away after the wrap
  EXPECT_EQ(combos[2].key1, 0x43);
}

TEST_F(KeyboardTest, ComboStopResetsTheWindow) {
  RecordCombo();
  lib.Key(0x41, 50);
  Hook().StopRecordKeyboardComboKey();
  Hook().RecordKeyboardComboKey();
  lib.Key(0x42, 60);  // the last time is 0 again: 60 ms from it
  ASSERT_EQ(combos.size(), 2u);
  EXPECT_EQ(combos[1].key1, 0x41);
  EXPECT_EQ(combos[1].key2, 0x42);
}

// --- single key mode ----------------------------------------------------------

TEST_F(KeyboardTest, SingleKeyReportsPressAndReleaseAndLetsTheHandlerBlock) {
  struct Seen {
    int key;
    unsigned scan;
    int state, ext;
    std::string text;
  };
  std::vector<Seen> seen;
  Hook().OnRecordKeyboardSingleKey = [&](std::int32_t key, std::uint32_t scan, std::int32_t state,
                                         std::int32_t ext, WView text, bool& blocked) {
    seen.push_back({key, scan, state, ext, ToUtf8(text)});
    blocked = state == 1;
  };
  Hook().RecordKeyboardSingleKey();
  EXPECT_EQ(lib.Key(0x2E, 1, kExt, 0x53), 1);
  EXPECT_EQ(lib.Key(0x2E, 2, kExt | kUp, 0x53), 0);
  EXPECT_EQ(lib.Key(0x2E, 3, 0, 0x53), 1);
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0].text, "DEL");
  EXPECT_EQ(seen[0].scan, 0x53u);
  EXPECT_EQ(seen[0].ext, 1);
  EXPECT_EQ(seen[1].state, 0);
  EXPECT_EQ(seen[2].text, "Keypad DEL");
}

// --- keyboard watch mode ------------------------------------------------------

TEST_F(KeyboardTest, WatchScansObjectsUntilMinusOneAndBlocksOnRequest) {
  std::vector<int> hits;
  int all = 0;
  Hook().OnHookKeyboardKey = [&](std::int32_t key, std::int32_t, std::int32_t, bool&, std::uint32_t) {
    hits.push_back(key);
  };
  Hook().OnHookKeyboardAllKey = [&](std::int32_t, std::int32_t, std::int32_t, bool&, std::uint32_t) {
    ++all;
  };
  auto add = [&](std::int32_t vk, std::int32_t scan, std::int32_t ext, std::int32_t block) {
    auto o = std::make_unique<TKeyBoardHookDetailObject>();
    o->FKeyBoardHookDetail = TKeyBoardHookDetail{vk, scan, ext, block};
    Hook().AddKeyboardHookObject(std::move(o));
  };
  add(0x41, 0, 0, 1);     // A, swallowed
  add(0, 0x30, 0, 0);     // by scan code only, passed on
  add(0x21, 0, 1, 1);     // extended Page Up, swallowed
  add(-1, 0, 0, 0);       // end of the list
  add(0x43, 0, 0, 1);     // never reached
  EXPECT_EQ(Hook().KeyboardHookObjectList().Key(0), u"65");
  Hook().StartHookKeyboard();

  const struct {
    std::uint32_t vk, scan, flags;
    std::uint8_t blocked;
    bool hit;
  } cases[] = {
      {0x41, 0x1E, 0, 1, true},   {0x41, 0x1E, kUp, 1, true},  {0x41, 0x1E, kExt, 0, false},
      {0x42, 0x30, 0, 0, true},   {0x21, 0x49, kExt, 1, true}, {0x21, 0x49, 0, 0, false},
      {0x43, 0x2E, 0, 0, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.vk);
    hits.clear();
    EXPECT_EQ(lib.Key(c.vk, 1, c.flags, c.scan), c.blocked);
    EXPECT_EQ(hits.size(), c.hit ? 1u : 0u);
  }
  EXPECT_EQ(all, 7);
  // Events with a hook code other than 0 are not acted on.
  EXPECT_EQ(lib.Key(0x41, 1, 0, 0x1E, 1), 0);
  EXPECT_EQ(all, 7);
}

TEST_F(KeyboardTest, WatchAllKeyHandlerCanBlockAlone) {
  Hook().OnHookKeyboardAllKey = [](std::int32_t key, std::int32_t, std::int32_t, bool& b,
                                   std::uint32_t) { b = key == 0x5B; };
  Hook().StartHookKeyboard();
  EXPECT_EQ(lib.Key(0x5B, 1, kExt), 1);
  EXPECT_EQ(lib.Key(0x41, 1), 0);
  Hook().RemoveAllKeyboardHookObject();
  EXPECT_EQ(Hook().KeyboardHookObjectList().Count(), 0u);
}

}  // namespace
}  // namespace vx::test
