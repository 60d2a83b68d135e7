// The record toggle: what a recording stores, what the overlay lists and
// in which order the profile is saved, written and announced.
#include <gtest/gtest.h>

#include <stdexcept>

#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/Debug.h"
#include "platform/Text.h"
#include "recording/MacroRecord.h"

namespace vx {
namespace {

using Log = std::vector<std::string>;

struct FakeStore final : IRecordProfileStore {
  explicit FakeStore(Log& l) : log(l) {
    std::memset(current.get(), 0, sizeof(TMouseProfileInfo));
    std::memset(stored.get(), 0, sizeof(TMouseProfileInfo));
  }
  TMouseProfileInfo& CurrentProfileInfo() override { return *current; }
  std::int32_t ProfileIndex() const override { return profileIndex; }
  void LoadCurrentProfileInfoFromRegistry() override {
    log.push_back("load");
    *current = *stored;
  }
  void SaveBackToCurrentProfileInfo() override { log.push_back("saveback"); }
  bool SaveCurrentProfileInfoToRegistry() override {
    log.push_back("save");
    if (saves) *stored = *current;
    return saves;
  }
  bool SaveBackRecordMacroInfoToRegistry(const TMACROKEYINFO& info) override {
    log.push_back("saverecordmacro");
    if (saves && savesRecordMacro) recordMacro = std::make_unique<TMACROKEYINFO>(info);
    return saves && savesRecordMacro;
  }

  Log& log;
  std::int32_t profileIndex = 0;
  bool saves = true;  // false: the registry refuses every save
  bool savesRecordMacro = true;  // false: only the recorded-macro save fails
  std::unique_ptr<TMouseProfileInfo> current = std::make_unique<TMouseProfileInfo>();
  std::unique_ptr<TMouseProfileInfo> stored = std::make_unique<TMouseProfileInfo>();
  std::unique_ptr<TMACROKEYINFO> recordMacro;
};

struct FakeHook final : IMouseMacroHook {
  explicit FakeHook(Log& l) : log(l) {}
  void RecordMouseMacro() override { log.push_back("hook.record"); }
  void StopRecordMouseMacro() override { log.push_back("hook.stop"); }
  Log& log;
};

struct FakeOverlay final : IRecordOverlay {
  FakeOverlay(Log& l, std::vector<WStr>& out) : log(l), lines(out) {}
  ~FakeOverlay() override { log.push_back("overlay.close"); }
  void AddLine(WView line) override { lines.emplace_back(line); }
  Log& log;
  std::vector<WStr>& lines;
};

struct FakeOverlays final : IRecordOverlayFactory {
  FakeOverlays(Log& l, std::vector<WStr>& out) : log(l), lines(out) {}
  std::unique_ptr<IRecordOverlay> ShowRecordWindow() override {
    log.push_back("overlay.show");
    if (fail) throw std::runtime_error("no window");
    lines.clear();
    return std::make_unique<FakeOverlay>(log, lines);
  }
  Log& log;
  std::vector<WStr>& lines;
  bool fail = false;
};

// Feeds the recorder the way the hook engine's mouse macro mode does: every
// event after the first reports the time since the previous one, then a
// button event when the event was a button or wheel.
class HookEngineSim {
 public:
  explicit HookEngineSim(TMacroRecorder& r) : r_(r) {}
  void Event(std::uint32_t time, int button, int state) {
    if (started_) {
      const std::uint32_t delta = time - last_;
      r_.kwHook1RecordMouseMacroKey(kHookEventDelay, 0, 0, IntToWStr(delta));
    }
    started_ = true;
    last_ = time;
    if (button != 0) r_.kwHook1RecordMouseMacroKey(kHookEventButton, button, state, u"");
  }
  void Move(std::uint32_t time) { Event(time, 0, 0); }
  void Click(std::uint32_t time, std::uint32_t held = 0, int button = 1) {
    Event(time, button, 1);
    Event(time + held, button, 0);
  }

 private:
  TMacroRecorder& r_;
  bool started_ = false;
  std::uint32_t last_ = 0;
};

class RecordToggle : public ::testing::Test {
 protected:
  RecordToggle() {
    MacroRecorderDeps deps;
    deps.store = &store;
    deps.hook = &hook;
    deps.overlays = &overlays;
    deps.writeProfileToDevice = [this](std::int32_t index) {
      log.push_back("device.write " + std::to_string(index));
      if (onDeviceWrite) onDeviceWrite();
      return deviceWrites;
    };
    deps.sendMacroRecorded = [this](std::int32_t index) { log.push_back("7038 " + std::to_string(index)); };
    deps.isRecordingMacro = &recordingFlag;
    deps.onOutcome = [this](RecordingOutcome o) { outcomes.push_back(o); };
    recorder = std::make_unique<TMacroRecorder>(std::move(deps));
    sim = std::make_unique<HookEngineSim>(*recorder);
  }

  // The recorded actions as (type, state, value1, value2) for compact checks.
  static std::vector<std::array<int, 4>> Actions(const TMACROKEYINFO& m, int count) {
    std::vector<std::array<int, 4>> out;
    for (int i = 0; i < count; ++i) {
      const TMACROKEY& k = m.MacroList[i];
      out.push_back({k.nKeyType, k.nKeyState, k.VALUE1, k.VALUE2});
    }
    return out;
  }
  std::vector<std::array<int, 4>> Recorded() const {
    return Actions(recorder->FMacroInfo(), recorder->FMacroInfo().MacroListCount);
  }
  static std::vector<std::string> Utf8(const std::vector<WStr>& v) {
    std::vector<std::string> out;
    for (const auto& s : v) out.push_back(ToUtf8(s));
    return out;
  }

  Log log;
  std::vector<WStr> lines;
  FakeStore store{log};
  FakeHook hook{log};
  FakeOverlays overlays{log, lines};
  bool recordingFlag = false;
  std::vector<RecordingOutcome> outcomes;
  std::function<void()> onDeviceWrite;
  bool deviceWrites = true;
  std::unique_ptr<TMacroRecorder> recorder;
  std::unique_ptr<HookEngineSim> sim;
};

TEST_F(RecordToggle, StartAndStopWithoutClickStoresNothing) {
  store.stored->ConfigInfo.ButtonFuncInfo[2].FunctionType = kFuncPlayMacro;
  recorder->ToggleMacroRecording(7);
  EXPECT_TRUE(recordingFlag);
  EXPECT_TRUE(recorder->OverlayShown());
  sim->Move(100);
  sim->Move(300);
  recorder->ToggleMacroRecording(7);
  EXPECT_FALSE(recordingFlag);
  EXPECT_FALSE(recorder->OverlayShown());
  EXPECT_EQ(log, (Log{"hook.record", "overlay.show", "overlay.close", "hook.stop"}));
  EXPECT_EQ(outcomes, (std::vector{RecordingOutcome::Started, RecordingOutcome::NothingRecorded}));
  EXPECT_TRUE(lines.empty());
  EXPECT_EQ(store.recordMacro, nullptr);
  EXPECT_EQ(store.current->ConfigInfo.ButtonFuncInfo[2].MacroInfo.MacroListCount, 0);
}

TEST_F(RecordToggle, DroppedRecordingStoresNothingAndTheNextStartsAfresh) {
  recorder->ToggleMacroRecording(7);
  sim->Click(100, 50);
  recorder->DropRecording();  // the system suspends
  EXPECT_FALSE(recordingFlag);
  EXPECT_FALSE(recorder->OverlayShown());
  EXPECT_EQ(log, (Log{"hook.record", "overlay.show", "overlay.close", "hook.stop"}));
  EXPECT_EQ(store.recordMacro, nullptr);
  recorder->DropRecording();  // nothing running: nothing happens
  EXPECT_EQ(log.size(), 4u);
  recorder->ToggleMacroRecording(7);
  EXPECT_TRUE(recordingFlag);
  EXPECT_EQ(recorder->FMacroInfo().MacroListCount, 0);
}

TEST_F(RecordToggle, AStartThatThrowsLeavesNoRecordingBehind) {
  overlays.fail = true;
  EXPECT_THROW(recorder->ToggleMacroRecording(7), std::runtime_error);
  EXPECT_FALSE(recordingFlag);
  EXPECT_EQ(log, (Log{"hook.record", "overlay.show", "hook.stop"}));
  // The next press starts a recording, not the stop of a dead one.
  overlays.fail = false;
  recorder->ToggleMacroRecording(7);
  EXPECT_TRUE(recordingFlag);
  EXPECT_TRUE(recorder->OverlayShown());
}

TEST_F(RecordToggle, OneLeftClickGivesPressPauseRelease) {
  recorder->ToggleMacroRecording(7);
  sim->Move(10);
  sim->Click(50, 120);
  EXPECT_EQ(Recorded(), (std::vector<std::array<int, 4>>{{1, 1, 1, 1}, {6, 0, 120, 0}, {1, 0, 1, 1}}));
  EXPECT_EQ(Utf8(lines), (std::vector<std::string>{"Mouse ClickDown", "120ms", "Mouse ClickUp"}));
  EXPECT_TRUE(recorder->HasRecordedAction());
}

TEST_F(RecordToggle, ClickWithoutHoldTimeHasNoPause) {
  recorder->ToggleMacroRecording(7);
  sim->Click(0, 0);
  EXPECT_EQ(Recorded(), (std::vector<std::array<int, 4>>{{1, 1, 1, 1}, {1, 0, 1, 1}}));
  EXPECT_EQ(lines.size(), 2u);
}

TEST_F(RecordToggle, PauseBetweenClicks) {
  struct Case {
    const char* name;
    std::uint32_t gap;        // from the first release to the second press
    std::uint32_t moveEvery;  // pointer moves in between, 0 = pointer still
    int expectedPause;        // -1: no pause stored
  };
  const Case cases[] = {
      {"3 s, pointer still", 3000, 0, 3000},
      {"8000 ms is the longest pause", 8000, 0, 8000},
      {"8001 ms restarts", 8001, 0, -1},
      {"9 s, pointer still", 9000, 0, -1},
      // 81 moves of 100 ms pass 8000 and restart; 9 more collect 900.
      {"9 s with moves", 9000, 100, 900},
      {"2.5 s with moves", 2500, 250, 2500},
      {"high byte of the pause", 0x1234, 0, 0x1234},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    recorder = nullptr;
    MacroRecorderDeps deps;
    deps.overlays = &overlays;
    recorder = std::make_unique<TMacroRecorder>(std::move(deps));
    HookEngineSim engine(*recorder);
    recorder->ToggleMacroRecording(7);
    engine.Click(1000, 0);
    std::uint32_t t = 1000;
    if (c.moveEvery) {
      for (std::uint32_t m = c.moveEvery; m < c.gap; m += c.moveEvery) engine.Move(t + m);
    }
    engine.Click(t + c.gap, 0);
    std::vector<std::array<int, 4>> expected{{1, 1, 1, 1}, {1, 0, 1, 1}};
    if (c.expectedPause >= 0) expected.push_back({6, 0, c.expectedPause & 0xFF, c.expectedPause >> 8});
    expected.push_back({1, 1, 1, 1});
    expected.push_back({1, 0, 1, 1});
    EXPECT_EQ(Recorded(), expected);
    if (c.expectedPause >= 0) {
      EXPECT_EQ(ToUtf8(lines[2]), std::to_string(c.expectedPause) + "ms");
    }
  }
}

TEST_F(RecordToggle, PausesBeforeTheFirstAndAfterTheLastActionAreNotStored) {
  recorder->ToggleMacroRecording(7);
  sim->Move(0);
  sim->Move(400);
  sim->Click(900, 0);
  sim->Move(1500);
  recorder->ToggleMacroRecording(7);
  EXPECT_EQ(Recorded(), (std::vector<std::array<int, 4>>{{1, 1, 1, 1}, {1, 0, 1, 1}}));
}

TEST_F(RecordToggle, ButtonsAndWheelAreStoredWithTheirValues) {
  struct Case {
    int button;
    int state;
    std::array<int, 4> action;
    const char* line;
  };
  const Case cases[] = {
      {1, 1, {1, 1, 1, 1}, "Mouse ClickDown"},
      {2, 0, {1, 0, 2, 2}, "Mouse Right ClickUp"},
      {3, 1, {1, 1, 4, 3}, "Mouse Middle ClickDown"},
      {4, 1, {1, 1, 8, 4}, "Backward(Mouse)Down"},
      {5, 0, {1, 0, 16, 5}, "Forward(Mouse)Up"},
      // Toward the user: index 6, value 1; away: index 7, value 255.
      {6, 1, {3, 0, 1, 6}, "Wheel Down(Mouse)"},
      {7, 1, {3, 0, 255, 7}, "Wheel up(Mouse)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.button);
    recorder->ToggleMacroRecording(7);
    recorder->kwHook1RecordMouseMacroKey(kHookEventButton, c.button, c.state, u"");
    EXPECT_EQ(Recorded(), (std::vector<std::array<int, 4>>{c.action}));
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(ToUtf8(lines[0]), c.line);
    recorder->ToggleMacroRecording(7);
  }
}

TEST_F(RecordToggle, UnknownButtonNumbersAreNotRecorded) {
  recorder->ToggleMacroRecording(7);
  for (int button : {0, 8, 9, 10, 255, -1}) recorder->kwHook1RecordMouseMacroKey(kHookEventButton, button, 1, u"");
  EXPECT_EQ(recorder->FMacroInfo().MacroListCount, 0);
  EXPECT_FALSE(recorder->HasRecordedAction());
  EXPECT_TRUE(lines.empty());
}

TEST_F(RecordToggle, StopsCountingAt127Actions) {
  recorder->ToggleMacroRecording(7);
  for (int i = 0; i < 200; ++i) recorder->kwHook1RecordMouseMacroKey(kHookEventButton, 1, i % 2 == 0 ? 1 : 0, u"");
  EXPECT_EQ(recorder->FMacroInfo().MacroListCount, 127);
  EXPECT_EQ(lines.size(), 127u);
  EXPECT_EQ(recorder->FMacroInfo().MacroList[127].nKeyType, 0) << "the spare slot stays empty";
}

TEST_F(RecordToggle, PauseTakingTheLastPlaceLeavesTheActionUncounted) {
  recorder->ToggleMacroRecording(7);
  for (int i = 0; i < 126; ++i) recorder->kwHook1RecordMouseMacroKey(kHookEventButton, 1, i % 2 == 0 ? 1 : 0, u"");
  recorder->kwHook1RecordMouseMacroKey(kHookEventDelay, 0, 0, u"40");
  recorder->kwHook1RecordMouseMacroKey(kHookEventButton, 2, 1, u"");
  const TMACROKEYINFO& m = recorder->FMacroInfo();
  EXPECT_EQ(m.MacroListCount, 127);
  EXPECT_EQ(Actions(m, 128)[126], (std::array<int, 4>{6, 0, 40, 0}));
  EXPECT_EQ(Actions(m, 128)[127], (std::array<int, 4>{1, 1, 2, 2}));
  EXPECT_EQ(lines.size(), 128u) << "one line more than was counted";
  EXPECT_EQ(ToUtf8(lines.back()), "Mouse Right ClickDown");

  recorder->kwHook1RecordMouseMacroKey(kHookEventButton, 3, 1, u"");
  recorder->kwHook1RecordMouseMacroKey(kHookEventDelay, 0, 0, u"40");
  EXPECT_EQ(lines.size(), 128u);
  EXPECT_EQ(m.MacroListCount, 127);
}

TEST_F(RecordToggle, StoresIntoButtonQualifyingButtonsAndFirstMacroSlot) {
  auto& stored = store.stored->ConfigInfo.ButtonFuncInfo;
  stored[2].FunctionType = kFuncPlayMacro;
  stored[2].FunctionClass = 1;
  stored[2].FunctionID = 13;
  stored[12].FunctionType = kFuncPlayMacro;
  stored[12].FunctionID = 13;
  stored[4].FunctionType = kFuncMacroByIndex;  // index 0: plays the recorded macro
  stored[5].FunctionType = kFuncMacroByIndex;
  stored[5].MacroInfo.nMacroIndex = 3;
  stored[7].FunctionType = kFuncRecordToggle;
  stored[7].MacroInfo.MacroList[5].nKeyType = 4;  // leftovers are cleared
  stored[7].MacroInfo.MacroListCount = 6;
  store.stored->MacroKeyInfoList.nMacroInfoCount = 2;

  recorder->ToggleMacroRecording(7);
  sim->Click(0, 30);
  recorder->ToggleMacroRecording(7);

  const TMouseProfileInfo& p = *store.current;
  const TMACROKEYINFO& macro = recorder->FMacroInfo();
  EXPECT_EQ(ReadFixed(macro.szMacroName), u"User Recorded");
  EXPECT_EQ(macro.nMacroIndex, 0);
  EXPECT_EQ(macro.nAutoAddDelay, 1);
  EXPECT_EQ(macro.MacroListCount, 3);
  auto same = [](const TMACROKEYINFO& a, const TMACROKEYINFO& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
  };
  const auto& b = p.ConfigInfo.ButtonFuncInfo;
  EXPECT_TRUE(same(b[7].MacroInfo, macro));
  EXPECT_EQ(b[7].FunctionType, kFuncRecordToggle);
  EXPECT_TRUE(same(b[2].MacroInfo, macro));
  EXPECT_EQ(b[2].FunctionClass, 4);
  EXPECT_EQ(b[2].FunctionID, 0);
  EXPECT_TRUE(same(b[4].MacroInfo, macro));
  EXPECT_FALSE(same(b[5].MacroInfo, macro));
  EXPECT_EQ(b[5].MacroInfo.nMacroIndex, 3);
  EXPECT_EQ(b[12].MacroInfo.MacroListCount, 0) << "only the first ten buttons receive the macro";
  EXPECT_EQ(b[12].FunctionID, 13);
  EXPECT_TRUE(same(p.MacroKeyInfoList.MacroInfos[0], macro));
  EXPECT_EQ(p.MacroKeyInfoList.nMacroInfoCount, 2) << "the reloaded profile is the base of the change";
  ASSERT_NE(store.recordMacro, nullptr);
  EXPECT_TRUE(same(*store.recordMacro, macro));
  EXPECT_TRUE(same(store.stored->MacroKeyInfoList.MacroInfos[0], macro));
}

TEST_F(RecordToggle, SavesWritesThenAnnouncesWithTheProfileIndex) {
  store.profileIndex = 3;
  recorder->ToggleMacroRecording(7);
  sim->Click(0, 10);
  log.clear();
  recorder->ToggleMacroRecording(7);
  EXPECT_EQ(log, (Log{"overlay.close", "hook.stop", "load", "saveback", "save", "device.write 3", "saverecordmacro",
                      "7038 3"}));
  EXPECT_EQ(outcomes, (std::vector{RecordingOutcome::Started, RecordingOutcome::Saved}));
  // A registry that refuses the saves: the mouse still gets the macro and the
  // configuration application still hears of it; the log says what was lost.
  store.saves = false;
  std::vector<std::string> debug;
  SetDebugSink([&](WView line) {
    if (ToUtf8(line).starts_with("record toggle")) debug.push_back(ToUtf8(line));
  });
  recorder->ToggleMacroRecording(7);
  sim->Click(100, 10);
  log.clear();
  recorder->ToggleMacroRecording(7);
  SetDebugSink(nullptr);
  EXPECT_EQ(log, (Log{"overlay.close", "hook.stop", "load", "saveback", "save", "device.write 3", "saverecordmacro",
                      "7038 3"}));
  EXPECT_EQ(debug, (std::vector<std::string>{
                       "record toggle: the profile with the recorded macro could not be saved to the registry; the "
                       "mouse still gets it",
                       "record toggle: the recorded macro could not be saved to the registry"}));
  EXPECT_EQ(outcomes, (std::vector{RecordingOutcome::Started, RecordingOutcome::Saved, RecordingOutcome::Started,
                                   RecordingOutcome::NotSaved}));
  // Either store failing alone is "not saved" too.
  for (const bool slotFails : {true, false}) {
    store.saves = !slotFails;
    store.savesRecordMacro = slotFails;
    outcomes.clear();
    recorder->ToggleMacroRecording(7);
    sim->Click(200, 10);
    recorder->ToggleMacroRecording(7);
    EXPECT_EQ(outcomes, (std::vector{RecordingOutcome::Started, RecordingOutcome::NotSaved})) << slotFails;
  }
  // Saved, but the mouse refused the profile: its own outcome.
  store.saves = true;
  store.savesRecordMacro = true;
  deviceWrites = false;
  outcomes.clear();
  recorder->ToggleMacroRecording(7);
  sim->Click(200, 10);
  recorder->ToggleMacroRecording(7);
  EXPECT_EQ(outcomes, (std::vector{RecordingOutcome::Started, RecordingOutcome::SavedNotOnMouse}));
}

TEST_F(RecordToggle, RecordPressDuringTheDeviceWriteKeepsTheStoredMacro) {
  onDeviceWrite = [this] {
    onDeviceWrite = nullptr;
    recorder->ToggleMacroRecording(7);  // handled while the write pumps messages
  };
  recorder->ToggleMacroRecording(7);
  sim->Click(0, 10);
  recorder->ToggleMacroRecording(7);
  ASSERT_NE(store.recordMacro, nullptr);
  EXPECT_EQ(store.recordMacro->MacroListCount, 3);
  EXPECT_EQ(ReadFixed(store.recordMacro->szMacroName), u"User Recorded");
  EXPECT_TRUE(recordingFlag) << "the nested press started a new recording";
  EXPECT_EQ(recorder->FMacroInfo().MacroListCount, 0);
}

TEST_F(RecordToggle, ButtonIndexOutOfRangeStillStoresTheFirstSlot) {
  recorder->ToggleMacroRecording(15);
  sim->Click(0, 10);
  recorder->ToggleMacroRecording(15);
  EXPECT_EQ(store.current->MacroKeyInfoList.MacroInfos[0].MacroListCount, 3);
  EXPECT_EQ(log.back(), "7038 0");
}

TEST_F(RecordToggle, EventsOutsideARecordingAreIgnored) {
  recorder->kwHook1RecordMouseMacroKey(kHookEventButton, 1, 1, u"");
  EXPECT_EQ(recorder->FMacroInfo().MacroListCount, 0);
  recorder->ToggleMacroRecording(7);
  sim->Click(0, 10);
  recorder->ToggleMacroRecording(7);
  recorder->kwHook1RecordMouseMacroKey(kHookEventButton, 2, 1, u"");
  EXPECT_EQ(recorder->FMacroInfo().MacroListCount, 3) << "the finished recording stays as it was";
}

TEST_F(RecordToggle, NewRecordingStartsFromAnEmptyBuffer) {
  recorder->ToggleMacroRecording(7);
  sim->Click(0, 10);
  recorder->ToggleMacroRecording(7);
  recorder->ToggleMacroRecording(7);
  const TMACROKEYINFO& m = recorder->FMacroInfo();
  EXPECT_EQ(m.MacroListCount, 0);
  EXPECT_EQ(m.MacroList[0].nKeyType, 0);
  EXPECT_EQ(m.szMacroName[0], 0);
  EXPECT_EQ(m.nAutoAddDelay, 1);
  EXPECT_FALSE(recorder->HasRecordedAction());
}

TEST_F(RecordToggle, OverlayLinesPassTheTranslator) {
  MacroRecorderDeps deps;
  deps.overlays = &overlays;
  deps.translate = [](WView t) {
    WStr s(1, u'<');
    s.append(t);
    s.push_back(u'>');
    return s;
  };
  TMacroRecorder r(std::move(deps));
  HookEngineSim engine(r);
  r.ToggleMacroRecording(7);
  engine.Click(0, 250);
  r.kwHook1RecordMouseMacroKey(kHookEventButton, 6, 1, u"");
  EXPECT_EQ(Utf8(lines), (std::vector<std::string>{"<Mouse Click><Down>", "250<ms>", "<Mouse Click><Up>",
                                                   "<Wheel Down(Mouse)>"}));
}

TEST(RecordLineText, Texts) {
  TMacroRecorder r(MacroRecorderDeps{});
  struct Case {
    int type, v1, v2;
    const char* text;
  };
  const Case cases[] = {
      {6, 250, 0, "250ms"},   {6, 0xE8, 0x03, "1000ms"},       {6, 0xFF, 0xFF, "65535ms"},
      {1, 1, 4, "Backward(Mouse)Down"}, {1, 0, 5, "Forward(Mouse)Up"}, {3, 255, 7, "Wheel up(Mouse)"},
      {3, 1, 6, "Wheel Down(Mouse)"},   {1, 0, 9, "Up"},             {3, 0, 0, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ToUtf8(r.RecordLineText(c.type, static_cast<std::uint8_t>(c.v1), static_cast<std::uint8_t>(c.v2))),
              c.text);
  }
}

TEST(PauseText, IntegerValueOrZero) {
  struct Case {
    const char16_t* text;
    std::int32_t value;
  };
  const Case cases[] = {{u"120", 120}, {u"0", 0},   {u"", 0},           {u"abc", 0},      {u"12a", 0},
                        {u"-5", -5},   {u" 7", 7},  {u"2147483647", 2147483647}, {u"4294967295", 0}, {u"-", 0}};
  for (const Case& c : cases) EXPECT_EQ(PauseTextToInt(c.text), c.value) << ToUtf8(c.text);
}

TEST(PauseText, NonNumberCountsAsZero) {
  std::vector<WStr> lines;
  Log log;
  FakeOverlays overlays(log, lines);
  MacroRecorderDeps deps;
  deps.overlays = &overlays;
  TMacroRecorder r(std::move(deps));
  r.ToggleMacroRecording(7);
  r.kwHook1RecordMouseMacroKey(kHookEventButton, 1, 1, u"");
  r.kwHook1RecordMouseMacroKey(kHookEventDelay, 0, 0, u"x");
  EXPECT_EQ(r.PendingRecordDelay(), 0);
  r.kwHook1RecordMouseMacroKey(kHookEventDelay, 0, 0, u"70");
  EXPECT_EQ(r.PendingRecordDelay(), 70);
}

}  // namespace
}  // namespace vx

namespace vx {
namespace {

TEST(OverlayDot, BlinksBetweenItsTwoColoursAndBack) {
  struct Case {
    unsigned ms;
    unsigned color;
  };
  const Case cases[] = {
      {0, overlay::kDotColorFrom},   {200, overlay::kDotColorTo}, {400, overlay::kDotColorFrom},
      {600, overlay::kDotColorTo},   {10000, overlay::kDotColorFrom},
  };
  for (const Case& c : cases) EXPECT_EQ(overlay::DotColorAt(c.ms), c.color) << c.ms;
  // Exponential easing: halfway in time is still close to the start colour.
  const unsigned mid = overlay::DotColorAt(100);
  EXPECT_LT(mid >> 24, 0x10u);
  EXPECT_EQ(overlay::DotColorAt(150), overlay::DotColorAt(250)) << "the way back mirrors the way there";
}

}  // namespace
}  // namespace vx
