#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <optional>
#include <stdexcept>
#include <thread>
#include <vector>

#include "app/AppFakes.h"
#include "app/MemRegistry.h"
#include "app/MonitorStart.h"
#include "platform/EntryGuard.h"
#include "app/MouseMonitor.h"
#include "i18n/LanguageTable.h"
#include "platform/DeviceArrival.h"
#include "platform/Files.h"
#include "platform/Debug.h"
#include "platform/HookLibrary.h"
#include "platform/MainThread.h"
#include "platform/VirtualHidBus.h"
#include "platform/MessageBox.h"
#include "platform/Registry.h"
#include "platform/Shell.h"

namespace vx {
namespace {

// The arrival notifier's host: records the start-up timer, fires on demand.
struct FakeArrivalHost final : IDeviceArrivalHost {
  explicit FakeArrivalHost(DeviceArrivalCallbacks c, FakeArrivalHost** self) : callbacks(std::move(c)) {
    *self = this;
  }
  bool RegisterNotification(const std::array<std::uint8_t, 32>&) override { return true; }
  void PostDeviceChange(std::uint32_t code, std::intptr_t param) override { posted.emplace_back(code, param); }
  void StartTimer(std::uint32_t ms) override { timerMs = ms; }
  void StopTimer() override { timerMs = 0; }
  DeviceArrivalCallbacks callbacks;
  std::vector<std::pair<std::uint32_t, std::intptr_t>> posted;
  std::uint32_t timerMs = 0;
};

using test::InputEvent;
using test::Key;
using test::SentMessage;

constexpr WindowHandle kSelf = 0x4242;
constexpr WindowHandle kCfg = 0x7777;

class MonitorTest : public ::testing::Test {
 public:
  void SetUp() override {
    SetRegistry(&reg);
    SetExecutableFolderOverride(u"C:\\Program Files\\Vantor\\");
    SetDebugSink([this](WView t) { debug.emplace_back(t); });
    SetMessageBoxSink([this](WView t, WView c) { boxes.emplace_back(WStr(t), WStr(c)); });
    dm = std::make_unique<TDM>();
    DeviceUsageAndPage = {0x0001, 0xFFA0};  // as the manager's creation sets it
    services.windows = &windows;
    services.input = &input;
    services.timer = &timer;
    services.audio = &audio;
    services.hidBus = &bus;
    services.dispatcher = &mainThread;
    SetDeviceArrivalHostFactory([this](DeviceArrivalCallbacks c) -> std::unique_ptr<IDeviceArrivalHost> {
      return std::make_unique<FakeArrivalHost>(std::move(c), &arrivalHost);
    });
    IsPlayingMacro = false;
    IsRecordingMacro = false;
  }
  void TearDown() override {
    mon.reset();
    SetDeviceArrivalHostFactory(nullptr);
    SetRegistry(nullptr);
    SetExecutableFolderOverride(u"");
    SetDebugSink(nullptr);
    SetMessageBoxSink(nullptr);
  }
  TVXMonMain& Monitor() {
    if (!mon) {
      mon = std::make_unique<TVXMonMain>(*dm, services, kSelf);
      mon->Extensions.ToggleMacroRecording = [this](std::uint8_t i) { toggled.push_back(i); };
      mon->Extensions.UpdateLanguageAndCaptions = [this] { ++captionUpdates; };
      boxes.clear();  // the hook library is absent on this host
      debug.clear();
    }
    return *mon;
  }
  void Report(std::uint8_t id, std::vector<std::uint8_t> data) {
    Monitor().kwHIDData1Data(u"dev", u"path", id, data.data(), static_cast<std::uint16_t>(data.size()));
  }
  // Delivers what the monitor posted to itself.
  void Pump() {
    for (const auto& m : windows.TakePosted(kSelf)) Monitor().HandleMessage(m.msg, m.wparam, m.lparam);
  }
  void SetType(int slot, std::uint16_t type) {
    dm->FCurrentProfileInfo.ConfigInfo.ButtonFuncInfo[slot].FunctionType = type;
  }
  void SetMacro0(std::vector<TMACROKEY> actions) {
    auto& m = dm->FCurrentProfileInfo.MacroKeyInfoList.MacroInfos[0];
    for (std::size_t i = 0; i < actions.size(); ++i) m.MacroList[i] = actions[i];
    m.MacroListCount = static_cast<std::int32_t>(actions.size());
  }
  std::optional<std::uint32_t> ProfileID() {
    auto v = reg.QueryValue(HKEY_CURRENT_USER_, kProfileKeyPath, u"ProfileID");
    if (!v) return std::nullopt;
    EXPECT_EQ(v->type, RegType::DWord);
    EXPECT_EQ(v->data.size(), 4u);
    return v->data[0] | v->data[1] << 8 | v->data[2] << 16 | static_cast<std::uint32_t>(v->data[3]) << 24;
  }
  std::vector<SentMessage> ToConfig() {
    std::vector<SentMessage> r;
    for (auto& m : windows.messages)
      if (m.window == kCfg) r.push_back(m);
    return r;
  }

  VirtualHidBus bus;
  QueuedMainThread mainThread;
  FakeArrivalHost* arrivalHost = nullptr;
  test::MemRegistry reg;
  test::FakeWindowSystem windows;
  test::FakeInput input;
  test::FakePreciseTimer timer;
  test::FakeAudioSystem audio;
  MonitorServices services;
  std::unique_ptr<TDM> dm;
  std::unique_ptr<TVXMonMain> mon;
  std::vector<WStr> debug;
  std::vector<std::pair<WStr, WStr>> boxes;
  std::vector<std::uint8_t> toggled;
  int captionUpdates = 0;
};

// ---- Report decoding -------------------------------------------------------

struct DecodeCase {
  const char* name;
  std::uint8_t id;
  std::vector<std::uint8_t> data;
  std::optional<int> code;
};

class DecodeTest : public MonitorTest, public ::testing::WithParamInterface<DecodeCase> {};

TEST_P(DecodeTest, PostsTheEventCodeToItself) {
  const auto& c = GetParam();
  Report(c.id, c.data);
  const auto posted = windows.TakePosted(kSelf);
  if (!c.code) {
    EXPECT_TRUE(posted.empty());
    EXPECT_TRUE(debug.empty());
    return;
  }
  ASSERT_EQ(posted.size(), 1u);
  EXPECT_EQ(posted[0], (SentMessage{kSelf, 7524, static_cast<std::uintptr_t>(*c.code), 1, true}));
  if (c.id == 7) {
    ASSERT_EQ(debug.size(), 1u);
    EXPECT_EQ(debug[0], u"KeyIndex = " + IntToWStr(*c.code) + u" postmessage record!");
  } else {
    EXPECT_TRUE(debug.empty());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Reports, DecodeTest,
    ::testing::Values(DecodeCase{"Bit0", 7, {1, 0, 0, 0, 0, 0, 0}, 0},
                      DecodeCase{"Bit7", 7, {0x80, 0, 0, 0, 0, 0, 0}, 7},
                      DecodeCase{"Bit8", 7, {0, 1, 0, 0, 0, 0, 0}, 8},
                      DecodeCase{"Bit14", 7, {0, 0x40, 0, 0, 0, 0, 0}, 14},
                      DecodeCase{"Bit15", 7, {0, 0x80, 0, 0, 0, 0, 0}, 15},
                      DecodeCase{"Bit21", 7, {0, 0, 0x20, 0, 0, 0, 0}, 21},
                      DecodeCase{"Bit22", 7, {0, 0, 0x40, 0, 0, 0, 0}, 22},
                      DecodeCase{"Bit23", 7, {0, 0, 0x80, 0, 0, 0, 0}, 23},
                      DecodeCase{"TrailingBytesIgnored", 7, {0, 0x40, 0, 9, 9, 9, 9}, 14},
                      DecodeCase{"TwoButtons", 7, {3, 0, 0, 0, 0, 0, 0}, std::nullopt},
                      DecodeCase{"NoButton", 7, {0, 0, 0, 0, 0, 0, 0}, std::nullopt},
                      DecodeCase{"SixBytes", 7, {1, 0, 0, 0, 0, 0}, std::nullopt},
                      DecodeCase{"EightBytes", 7, {1, 0, 0, 0, 0, 0, 0, 0}, std::nullopt},
                      DecodeCase{"Empty", 7, {}, std::nullopt},
                      DecodeCase{"Profile0", 8, {1, 0, 0, 0, 0, 0, 0}, 21},
                      DecodeCase{"Profile1", 8, {1, 1, 0, 0, 0, 0, 0}, 22},
                      DecodeCase{"NotASwitch", 8, {2, 1, 0, 0, 0, 0, 0}, std::nullopt},
                      DecodeCase{"Profile2", 8, {1, 2, 0, 0, 0, 0, 0}, std::nullopt},
                      DecodeCase{"SwitchSixBytes", 8, {1, 0, 0, 0, 0, 0}, std::nullopt},
                      DecodeCase{"OtherId", 9, {1, 0, 0, 0, 0, 0, 0}, std::nullopt},
                      DecodeCase{"IdZero", 0, {1, 0, 0, 0, 0, 0, 0}, std::nullopt}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(DecodeButtonReport, EveryTableEntryDecodesToItsIndex) {
  for (int i = 0; i < 24; ++i) {
    const auto& e = ButtonReportTable[static_cast<std::size_t>(i)];
    const std::uint8_t data[7] = {e[1], e[2], e[3], 0, 0, 0, 0};
    EXPECT_EQ(DecodeButtonReport(7, data, 7), i);
  }
  EXPECT_EQ(DecodeButtonReport(7, nullptr, 7), std::nullopt);
}

TEST(AfterProcessId, ReadsTheFirstWellFormedArgument) {
  const std::pair<const char16_t*, std::optional<std::uint32_t>> rows[] = {
      {u"VXMon.exe", std::nullopt},
      {u"\"C:\\P F\\VXMon.exe\" /after:1234", 1234},
      {u"VXMon.exe /AFTER:77 /after:88", 77},
      {u"VXMon.exe \"/after:4294967295\"", 4294967295u},
      {u"VXMon.exe /after:4294967296", std::nullopt},
      {u"VXMon.exe /after:0", std::nullopt},
      {u"VXMon.exe /after:", std::nullopt},
      {u"VXMon.exe /after:12x /after:-5 after:9", std::nullopt},
      {u"/after:5", std::nullopt},  // the program's own name
  };
  for (const auto& [line, pid] : rows) EXPECT_EQ(AfterProcessId(line), pid) << ToUtf8(line);
}

TEST(CrashRestart, NoneWithinAMinuteAtMostThreeAnHour) {
  struct Row {
    std::vector<std::int64_t> earlier;
    CrashRestart what;
    std::int64_t since;
  };
  const std::int64_t now = 1'000'000;
  const Row rows[] = {
      {{}, CrashRestart::Start, -1},
      {{now - 60}, CrashRestart::Start, 60},
      {{now - 59}, CrashRestart::TooSoon, 59},
      {{now - 3000, now - 10, now - 2000}, CrashRestart::TooSoon, 10},
      {{now - 3599, now - 2000, now - 61}, CrashRestart::TooMany, 61},
      {{now - 3600, now - 2000, now - 61}, CrashRestart::Start, 61},
      {{now + 30}, CrashRestart::TooSoon, 0},          // clock set back
      {{now + 7200, now - 7200}, CrashRestart::Start, -1},
  };
  for (const Row& r : rows) {
    const CrashRestartVerdict v = DecideCrashRestart(r.earlier.data(), r.earlier.size(), now);
    EXPECT_EQ(v.what, r.what) << r.earlier.size() << " earlier, since " << r.since;
    EXPECT_EQ(v.secondsSinceLast, r.since);
  }
}

TEST(CrashRestart, RecordKeepsTheLastHourAndAddsNow) {
  const char text[] = "100\r\n5000\r\nbad\n12x\n6000";
  std::int64_t t[8] = {};
  ASSERT_EQ(ParseCrashRestarts(text, sizeof text - 1, t, 8), 3u);
  EXPECT_EQ(t[0], 100);
  EXPECT_EQ(t[2], 6000);
  char out[64];
  const std::size_t n = FormatCrashRestarts(t, 3, 7000, out, sizeof out);
  EXPECT_EQ(std::string(out, n), "5000\r\n6000\r\n7000\r\n");
  EXPECT_EQ(FormatCrashRestarts(t, 3, 7000, out, 10), 0u);  // does not fit
}

TEST(CallbackTarget, CloseWaitsForARunningCallAndLaterCallsFindNothing) {
  CallbackTarget<int> target;
  int value = 0;
  target.Open(&value);
  std::atomic<bool> inside{false}, release{false}, closed{false};
  std::thread callback([&] {
    target.Call([&](int& v) {
      inside = true;
      while (!release) std::this_thread::yield();
      v = 1;
    });
  });
  while (!inside) std::this_thread::yield();
  std::thread teardown([&] {
    target.Close();
    closed = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_FALSE(closed);  // the call is still running
  release = true;
  teardown.join();
  callback.join();
  EXPECT_EQ(value, 1);
  target.Call([](int& v) { v = 2; });
  EXPECT_EQ(value, 1);
}

// ---- Dispatch ----------------------------------------------------------------

struct DispatchCase {
  const char* name;
  int code;
  std::uint16_t type;
  int mutes;     // microphone toggles
  int plays;     // macro playbacks
  int toggles;   // recording toggles
};

class DispatchTest : public MonitorTest, public ::testing::WithParamInterface<DispatchCase> {};

TEST_P(DispatchTest, ActsOnTheSlotsFunctionType) {
  const auto& c = GetParam();
  // Every slot carries the type, so a code that indexed past the table or
  // picked the wrong slot would act.
  for (int i = 0; i < kButtonCount; ++i) SetType(i, c.type);
  // The wheel slots follow the table in memory: code 15 read as a slot lands there.
  for (auto& w : dm->FCurrentProfileInfo.ConfigInfo.VWheelButtonFuncInfo) w.FunctionType = c.type;
  SetMacro0({TMACROKEY{4, 1, 65, 0}});
  Monitor().FormCreate();
  Monitor().HandleMessage(7524, static_cast<std::uintptr_t>(c.code), 1);
  EXPECT_EQ(audio.state.sets, c.mutes);
  EXPECT_EQ(input.events.size(), static_cast<std::size_t>(c.plays));
  EXPECT_EQ(toggled.size(), static_cast<std::size_t>(c.toggles));
  if (c.toggles) {
    EXPECT_EQ(toggled[0], c.code);
  }
  EXPECT_FALSE(ProfileID().has_value());
  EXPECT_TRUE(ToConfig().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Codes, DispatchTest,
    ::testing::Values(DispatchCase{"Code0Mute", 0, 28, 1, 0, 0}, DispatchCase{"Code0Macro29", 0, 29, 0, 0, 0},
                      DispatchCase{"Code0Play", 0, 31, 0, 1, 0}, DispatchCase{"Code0Record", 0, 32, 0, 0, 1},
                      DispatchCase{"Code14Mute", 14, 28, 1, 0, 0}, DispatchCase{"Code14Play", 14, 31, 0, 1, 0},
                      DispatchCase{"Code14Record", 14, 32, 0, 0, 1},
                      DispatchCase{"Code7Type0", 7, 0, 0, 0, 0}, DispatchCase{"Code7Type36", 7, 36, 0, 0, 0},
                      DispatchCase{"Code7Type65535", 7, 65535, 0, 0, 0},
                      DispatchCase{"Code15", 15, 31, 0, 0, 0}, DispatchCase{"Code18", 18, 28, 0, 0, 0},
                      DispatchCase{"Code20", 20, 32, 0, 0, 0}, DispatchCase{"Code23", 23, 31, 0, 0, 0},
                      DispatchCase{"Code24", 24, 31, 0, 0, 0}, DispatchCase{"CodeHuge", 100000, 31, 0, 0, 0}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(MonitorTest, TypeFromTheReportedSlotOnly) {
  SetType(3, 32);
  SetType(4, 28);
  Monitor().FormCreate();
  Report(7, {0x08, 0, 0, 0, 0, 0, 0});  // slot 3
  Pump();
  EXPECT_EQ(toggled, std::vector<std::uint8_t>{3});
  EXPECT_EQ(audio.state.sets, 0);
}

TEST_F(MonitorTest, RecordButtonDrivesTheRecorderAndTheProcessFlag) {
  mon = std::make_unique<TVXMonMain>(*dm, services, kSelf);  // the real recorder
  windows.byClass[u"TVXCfgMain"] = kCfg;
  SetType(7, 32);
  mon->FormCreate();
  mon->HandleMessage(7524, 7, 1);
  EXPECT_TRUE(IsRecordingMacro);
  EXPECT_TRUE(mon->MacroRecorder->IsRecordingMacro());
  mon->HandleMessage(7524, 7, 1);
  EXPECT_FALSE(IsRecordingMacro);
  EXPECT_TRUE(ToConfig().empty());  // nothing recorded: nothing stored or sent
}

TEST_F(MonitorTest, PlayPressWhilePlayingIsDropped) {
  SetType(2, 31);
  SetMacro0({TMACROKEY{4, 1, 65, 0}});
  IsPlayingMacro = true;
  Monitor().HandleMessage(7524, 2, 1);
  EXPECT_TRUE(input.events.empty());
  EXPECT_TRUE(IsPlayingMacro);
}

TEST_F(MonitorTest, PlayPressedTwicePlaysTwiceInTurn) {
  SetType(2, 31);
  SetMacro0({TMACROKEY{4, 1, 65, 0}, TMACROKEY{4, 0, 65, 0}});
  Report(7, {0x04, 0, 0, 0, 0, 0, 0});
  Report(7, {0x04, 0, 0, 0, 0, 0, 0});
  Pump();
  EXPECT_EQ(input.events,
            (std::vector<InputEvent>{Key(65, 0, 0x1E), Key(65, 2, 0x1E), Key(65, 0, 0x1E), Key(65, 2, 0x1E)}));
}

TEST_F(MonitorTest, PlayWhileRecordingStillPlays) {
  SetType(1, 31);
  SetMacro0({TMACROKEY{4, 1, 65, 0}});
  IsRecordingMacro = true;
  Monitor().HandleMessage(7524, 1, 1);
  EXPECT_EQ(input.events.size(), 1u);
}

TEST_F(MonitorTest, PlayMacroCopiesFirstMacroReadsCursorOnceAndFlags) {
  SetMacro0({TMACROKEY{1, 1, 0, 1}, TMACROKEY{6, 1, 5, 0}, TMACROKEY{1, 0, 0, 1}});
  dm->FCurrentProfileInfo.MacroKeyInfoList.MacroInfos[1].MacroListCount = 5;  // not played
  input.cursor = {-300, -40};
  bool flagDuringPlay = false;
  windows.onProcessMessages = [] {};
  struct Probe : ISyntheticInput {
    test::FakeInput& inner;
    bool& flag;
    Probe(test::FakeInput& i, bool& f) : inner(i), flag(f) {}
    bool CursorPos(ScreenPoint& p) override { return inner.CursorPos(p); }
    std::uint16_t ScanCodeOf(std::uint8_t v) override { return inner.ScanCodeOf(v); }
    bool KeybdEvent(std::uint8_t v, std::uint8_t s, std::uint32_t f) override { return inner.KeybdEvent(v, s, f); }
    bool MouseEvent(std::uint32_t f, std::int32_t x, std::int32_t y, std::int32_t d, std::uintptr_t e) override {
      flag = IsPlayingMacro;
      return inner.MouseEvent(f, x, y, d, e);
    }
    bool Foreground(ForegroundProcess& out) override { return inner.Foreground(out); }
    std::uint32_t OwnIntegrity() override { return inner.OwnIntegrity(); }
  } probe(input, flagDuringPlay);
  services.input = &probe;
  Monitor().PlayMacro();
  EXPECT_TRUE(flagDuringPlay);
  EXPECT_FALSE(IsPlayingMacro);
  EXPECT_EQ(input.cursorReads, 1);
  EXPECT_EQ(input.events, (std::vector<InputEvent>{test::Mouse(2, -300, -40), test::Mouse(4, -300, -40)}));
  EXPECT_EQ(debug, std::vector<WStr>{u"play macro"});
}

TEST_F(MonitorTest, AnExceptionOutOfPlaybackLeavesLaterPressesPlaying) {
  SetType(2, 31);
  SetMacro0({TMACROKEY{4, 1, 65, 0}, TMACROKEY{4, 0, 65, 0}});
  input.during = [] { throw std::runtime_error("input failed"); };
  EXPECT_THROW(Monitor().HandleMessage(7524, 2, 1), std::runtime_error);
  EXPECT_FALSE(IsPlayingMacro);
  input.during = nullptr;
  input.events.clear();
  Monitor().HandleMessage(7524, 2, 1);
  EXPECT_EQ(input.events.size(), 2u);
}

TEST_F(MonitorTest, EmptyMacroLeavesFlagFalse) {
  Monitor().PlayMacro();
  EXPECT_FALSE(IsPlayingMacro);
  EXPECT_TRUE(input.events.empty());
}

// ---- Profile switch and the configuration link ---------------------------------

struct SwitchCase {
  const char* name;
  std::uint8_t id;
  std::vector<std::uint8_t> data;
  std::uint32_t profile;
};

class SwitchTest : public MonitorTest, public ::testing::WithParamInterface<SwitchCase> {};

TEST_P(SwitchTest, WritesProfileIDThenTellsTheConfigurationApplication) {
  const auto& c = GetParam();
  reg.CreateKey(HKEY_CURRENT_USER_, kProfileKeyPath);
  windows.byClass[u"TVXCfgMain"] = kCfg;
  for (int i = 0; i < kButtonCount; ++i) SetType(i, 31);
  Monitor().WriteProfileIDToRegistry(7);
  std::optional<std::uint32_t> storedWhenSent;
  windows.onSend = [&](const SentMessage&) { storedWhenSent = ProfileID(); };
  Report(c.id, c.data);
  Pump();
  EXPECT_EQ(storedWhenSent, c.profile) << "the configuration application reads ProfileID when told";
  EXPECT_EQ(ProfileID(), c.profile);
  EXPECT_EQ(ToConfig(), (std::vector<SentMessage>{{kCfg, 7040, c.profile, 0, false}}));
  EXPECT_TRUE(input.events.empty());
}

INSTANTIATE_TEST_SUITE_P(Reports, SwitchTest,
                         ::testing::Values(SwitchCase{"Report8To0", 8, {1, 0, 0, 0, 0, 0, 0}, 0},
                                           SwitchCase{"Report8To1", 8, {1, 1, 0, 0, 0, 0, 0}, 1},
                                           SwitchCase{"MaskBit21", 7, {0, 0, 0x20, 0, 0, 0, 0}, 0},
                                           SwitchCase{"MaskBit22", 7, {0, 0, 0x40, 0, 0, 0, 0}, 1}),
                         [](const auto& p) { return std::string(p.param.name); });

TEST_F(MonitorTest, SwitchWithoutConfigurationWindowWritesOnly) {
  reg.CreateKey(HKEY_CURRENT_USER_, kProfileKeyPath);
  Monitor().HandleMessage(7524, 22, 1);
  EXPECT_EQ(ProfileID(), 1u);
  EXPECT_TRUE(windows.messages.empty());
}

TEST_F(MonitorTest, SwitchWithoutProductKeyLeavesRegistryAlone) {
  windows.byClass[u"TVXCfgMain"] = kCfg;
  Monitor().HandleMessage(7524, 21, 1);
  EXPECT_TRUE(reg.keys.empty());
  EXPECT_EQ(reg.writes, 0);
  EXPECT_EQ(ToConfig().size(), 1u);
}

TEST_F(MonitorTest, WriteProfileIDNeverCreatesTheKey) {
  EXPECT_FALSE(Monitor().WriteProfileIDToRegistry(3));
  EXPECT_TRUE(reg.keys.empty());
  reg.CreateKey(HKEY_CURRENT_USER_, kProfileKeyPath);
  EXPECT_TRUE(Monitor().WriteProfileIDToRegistry(-1));
  EXPECT_EQ(ProfileID(), 0xFFFFFFFFu);
  EXPECT_TRUE(Monitor().WriteProfileIDToRegistry(0x01020304));
  auto v = reg.QueryValue(HKEY_CURRENT_USER_, kProfileKeyPath, u"ProfileID");
  EXPECT_EQ(v->data, (std::vector<std::uint8_t>{4, 3, 2, 1}));
}

TEST_F(MonitorTest, ShowConfigApplicationLaunchesFromTheMonitorsFolder) {
  Monitor().ShowConfigApplication();
  ASSERT_EQ(windows.shell.size(), 1u);
  EXPECT_EQ(windows.shell[0].owner, 0u);
  EXPECT_EQ(windows.shell[0].file, u"C:\\Program Files\\Vantor\\VXCfg.exe");
  EXPECT_EQ(windows.shell[0].parameters, u"");
  EXPECT_EQ(windows.shell[0].directory, u"C:\\Program Files\\Vantor");
  EXPECT_EQ(windows.shell[0].show, 5);
  EXPECT_TRUE(windows.foreground.empty());
}

TEST_F(MonitorTest, ShowConfigApplicationBringsTheRunningOneForward) {
  windows.byCaption[u"VX_CONFIG_EX"] = kCfg;
  Monitor().Config1Click();
  EXPECT_TRUE(windows.shell.empty());
  EXPECT_EQ(windows.shows, (std::vector<std::pair<WindowHandle, int>>{{kCfg, 5}}));
  EXPECT_EQ(windows.foreground, std::vector<WindowHandle>{kCfg});
}

TEST_F(MonitorTest, ExitPostsToTheCaptionedWindowThenEnds) {
  windows.byCaption[u"VX_CONFIG_EX"] = kCfg;
  windows.byClass[u"TVXCfgMain"] = 0x9999;  // found by caption, not class
  Monitor().Exit1Click();
  EXPECT_EQ(windows.messages, (std::vector<SentMessage>{{kCfg, 7036, 0, 0, true}}));
  EXPECT_TRUE(windows.terminated);
}

TEST_F(MonitorTest, ExitWithoutConfigurationApplicationJustEnds) {
  Monitor().Exit1Click();
  EXPECT_TRUE(windows.messages.empty());
  EXPECT_TRUE(windows.terminated);
}

TEST_F(MonitorTest, MacroRecordedIsSentWithTheProfileIndex) {
  windows.byClass[u"TVXCfgMain"] = kCfg;
  dm->FProfileIndex = 4;
  Monitor().NotifyMacroRecorded();
  EXPECT_EQ(ToConfig(), (std::vector<SentMessage>{{kCfg, 7038, 4, 0, false}}));
}

TEST_F(MonitorTest, UnknownMessagesAreNotHandled) {
  EXPECT_FALSE(Monitor().HandleMessage(7036, 0, 0));
  EXPECT_FALSE(Monitor().HandleMessage(7038, 0, 0));
  EXPECT_FALSE(Monitor().HandleMessage(0x0400, 0, 0));
}

// ---- Arrival path ----------------------------------------------------------------

// The reopen timer; the other one checks the input hooks while recording.
test::FakeTimer& OnlyTimer(test::FakeWindowSystem& w) {
  EXPECT_EQ(w.timers.size(), 2u);
  EXPECT_FALSE(w.timers.back()->Enabled());
  return *w.timers.front();
}

TEST_F(MonitorTest, ReopenTimerStartsDisabledWith1500ms) {
  Monitor();
  auto& t = OnlyTimer(windows);
  EXPECT_FALSE(t.Enabled());
  EXPECT_EQ(t.Interval(), 1500u);
}

VirtualDeviceDesc VirtualMouse() {
  VirtualDeviceDesc d;
  d.HardwareIds = {u"HID\\VID_1234&PID_5678&MI_01&Col02"};
  d.Attributes = {};
  VirtualCollection keyboard;
  keyboard.UsagePage = 0x0001;
  keyboard.Usage = 0x0006;
  keyboard.InputReportLength = 8;
  VirtualCollection vendor;
  vendor.UsagePage = 0xFFA0;
  vendor.Usage = 0x0001;
  vendor.InputReportLength = 8;
  vendor.FeatureReportLength = 4096;
  vendor.FeatureReportLengths = FramedFeatureReportLengths();
  d.Collections = {keyboard, vendor};
  return d;
}

TEST_F(MonitorTest, StartUpArrivalThenDebounceOpensTheMouseAndDeliversReports) {
  const int dev = bus.Plug(VirtualMouse());
  reg.CreateKey(HKEY_CURRENT_USER_, kProfileKeyPath);
  Monitor().FormCreate();
  ASSERT_NE(arrivalHost, nullptr);
  EXPECT_EQ(arrivalHost->timerMs, 1500u);  // the notifier's own start-up delay
  EXPECT_EQ(bus.OpenReaders(dev, 1), 0u);  // FormCreate does not open the mouse
  arrivalHost->callbacks.OnTimer();
  auto& t = OnlyTimer(windows);
  EXPECT_TRUE(t.Enabled());
  EXPECT_EQ(bus.OpenReaders(dev, 1), 0u);
  t.Elapse();
  ASSERT_TRUE(bus.WaitForReaders(dev, 1, 1, 5000));
  EXPECT_EQ(bus.OpenReaders(dev, 0), 0u);  // only the vendor collection is read
  const std::uint8_t report[8] = {8, 1, 1, 0, 0, 0, 0, 0};
  bus.QueueInput(dev, 1, report);
  ASSERT_TRUE(mainThread.RunUntil(
      [&] {
        return std::any_of(windows.messages.begin(), windows.messages.end(),
                           [](const SentMessage& m) { return m.msg == WM_VX_BUTTON_EVENT; });
      },
      5000));
  Pump();
  EXPECT_EQ(ProfileID(), 1u);
  Monitor().FormDestroy();
  EXPECT_EQ(Monitor().kwHIDData1->RunningReadThreads(), 0u);
}

// A hook library that Smart App Control or an antivirus blocks.
struct BlockedHookLibrary final : IHookLibraryLoader {
  bool LoadModule() override { return false; }
  void* FindExport(const char*) override { return nullptr; }
  void UnloadModule() override {}
  std::uint32_t LastLoadError() const override { return 1260; }  // ERROR_ACCESS_DISABLED_BY_POLICY
};

TEST_F(MonitorTest, BlockedHookLibraryCostsOnlyRecordingAndItsMessageWaitsForTheMouse) {
  BlockedHookLibrary blocked;
  SetHookLibraryLoader(&blocked);
  struct Restore {
    ~Restore() { SetHookLibraryLoader(nullptr); }
  } restore;
  const int dev = bus.Plug(VirtualMouse());
  SetType(2, 31);
  SetType(3, 28);
  SetMacro0({TMACROKEY{4, 1, 65, 0}});
  mon = std::make_unique<TVXMonMain>(*dm, services, kSelf);
  mon->FormCreate();
  EXPECT_TRUE(boxes.empty());  // nothing holds up the start
  EXPECT_NE(std::find(debug.begin(), debug.end(),
                      u"kwHook.dll not loaded, error 1260: macro recording is unavailable"),
            debug.end());
  mon->ReopenDevice();
  ASSERT_TRUE(bus.WaitForReaders(dev, 1, 1, 5000));
  EXPECT_TRUE(boxes.empty());
  const std::uint8_t play[8] = {7, 4, 0, 0, 0, 0, 0, 0};
  const std::uint8_t mute[8] = {7, 8, 0, 0, 0, 0, 0, 0};
  bus.QueueInput(dev, 1, play);
  bus.QueueInput(dev, 1, mute);
  ASSERT_TRUE(mainThread.RunUntil([&] { return windows.messages.size() >= 3; }, 5000));
  Pump();
  EXPECT_EQ(input.events, (std::vector<InputEvent>{Key(65, 0, 0x1E)}));
  EXPECT_TRUE(audio.state.muted);
  // The message comes once, from the loop, after the mouse was opened.
  EXPECT_EQ(boxes, (std::vector<std::pair<WStr, WStr>>{{u"kwHook.dll can not be found!", u"Error"}}));
  mon->ReopenDevice();
  Pump();
  EXPECT_EQ(boxes.size(), 1u);
  mon.reset();
}

TEST_F(MonitorTest, ProblemReportIsWrittenOffTheMainThreadOneAtATimeAndAFailureIsShownAndLogged) {
  std::promise<void> release;
  std::shared_future<void> gate = release.get_future().share();
  std::thread::id ranOn;
  int calls = 0;
  services.saveReport = [&](std::string&, std::string& why) {
    ++calls;
    ranOn = std::this_thread::get_id();
    gate.wait();
    why = "disk full";
    return false;
  };
  Monitor().SaveReport1Click();
  EXPECT_TRUE(Monitor().SavingReport());  // the click returned while it is written
  Monitor().SaveReport1Click();           // ignored while one is written
  release.set_value();
  while (Monitor().SavingReport()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_EQ(calls, 1);
  EXPECT_NE(ranOn, std::this_thread::get_id());
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].first, u"The problem report could not be saved: disk full");
  EXPECT_NE(std::find(debug.begin(), debug.end(), u"problem report not saved: disk full"), debug.end());
}

TEST_F(MonitorTest, AReadThatKeepsFailingAsksForTheDebouncedReopen) {
  Monitor();
  auto& t = OnlyTimer(windows);
  Monitor().kwHIDData1->OnReadFailed(u"dev", u"path", 31);
  EXPECT_TRUE(t.Enabled());
  EXPECT_EQ(t.Interval(), 1500u);
}

TEST_F(MonitorTest, BurstOfArrivalsGivesOneReopen) {
  Monitor();
  auto& t = OnlyTimer(windows);
  Monitor().kwHIDEvent1DeviceArrival();
  Monitor().kwHIDEvent1DeviceArrival();
  Monitor().kwHIDEvent1DeviceArrival();
  EXPECT_EQ(t.starts, 3);  // each arrival starts a fresh interval
  t.Elapse();
  t.Elapse();  // one-shot: disabled by its own event
  EXPECT_FALSE(t.Enabled());
  EXPECT_EQ(windows.processCalls, 1);
  EXPECT_EQ(windows.sleeps, std::vector<std::uint32_t>{50});
}

TEST_F(MonitorTest, ResumeGivesOneDebouncedReopen) {
  Monitor();
  auto& t = OnlyTimer(windows);
  Monitor().HandleMessage(kWmPowerBroadcast, kPbtApmResumeAutomatic, 0);
  Monitor().HandleMessage(kWmPowerBroadcast, kPbtApmResumeSuspend, 0);
  EXPECT_EQ(t.starts, 2);
  EXPECT_EQ(t.Interval(), 1500u);
  t.Elapse();
  t.Elapse();
  EXPECT_EQ(windows.sleeps, std::vector<std::uint32_t>{50});  // one reopen
}

TEST_F(MonitorTest, SuspendDuringPlaybackReleasesWhatTheMacroPressed) {
  SetType(2, 31);
  // Key A and the left button go down, a pause, the key comes up, a pause,
  // the button would come up: the system suspends in the first pause.
  SetMacro0({TMACROKEY{4, 1, 65, 0}, TMACROKEY{1, 1, 0, 1}, TMACROKEY{4, 1, 66, 0}, TMACROKEY{4, 0, 66, 0},
             TMACROKEY{6, 0, 100, 0}, TMACROKEY{4, 0, 65, 0}, TMACROKEY{6, 0, 100, 0}, TMACROKEY{1, 0, 0, 1}});
  timer.onSleep = [this] { Monitor().SuspendRequested(); };
  Monitor().HandleMessage(7524, 2, 1);
  EXPECT_EQ(input.events, (std::vector<InputEvent>{Key(65, 0, 0x1E), test::Mouse(2, 100, 200), Key(66, 0, 0x30),
                                                   Key(66, 2, 0x30), test::Mouse(4, 100, 200), Key(65, 2, 0x1E)}));
  EXPECT_FALSE(IsPlayingMacro);
  // The next press plays the whole macro again.
  timer.onSleep = nullptr;
  input.events.clear();
  Monitor().HandleMessage(7524, 2, 1);
  EXPECT_EQ(input.events.size(), 6u);
  // A suspend while nothing plays leaves no cancel behind for the first
  // macro after resume.
  Monitor().HandleMessage(kWmPowerBroadcast, kPbtApmSuspend, 0);
  Monitor().HandleMessage(kWmPowerBroadcast, kPbtApmResumeSuspend, 0);
  input.events.clear();
  Monitor().HandleMessage(7524, 2, 1);
  EXPECT_EQ(input.events.size(), 6u);
}

// A macro of a 3 s pause: what arrives during it is handled at once.
TEST_F(MonitorTest, PressesDuringAMacrosPauseAreHandledAtOnce) {
  SetType(2, 31);
  SetType(3, 28);
  SetType(7, 32);
  Monitor().FormCreate();
  SetMacro0({TMACROKEY{4, 1, 65, 0}, TMACROKEY{6, 1, 0xB8, 0x0B}, TMACROKEY{4, 0, 65, 0}});
  const std::int64_t start = timer.now;
  timer.messagesAt = {start + 500000, start + 1000000, start + 1500000, start + 2000000};
  int turn = 0;
  bool mutedInPause = false;
  windows.onProcessMessages = [&] {
    if (timer.now == start) return;  // what waited when the pause began
    switch (turn++) {
      case 1:
        Monitor().HandleMessage(7524, 3, 1);  // mute
        mutedInPause = audio.state.muted;
        Monitor().HandleMessage(7524, 7, 1);  // record toggle
        break;
      case 2:
        // A reload replaces the current profile; the macro playing is a copy.
        SetMacro0({TMACROKEY{4, 1, 66, 0}, TMACROKEY{4, 0, 66, 0}});
        Monitor().HandleMessage(7524, 2, 1);
        break;
      default:
        Monitor().HandleMessage(7524, 2, 1);  // play again
        break;
    }
  };
  debug.clear();
  Monitor().HandleMessage(7524, 2, 1);
  EXPECT_EQ(turn, 4);
  EXPECT_EQ(input.events, (std::vector<InputEvent>{Key(65, 0, 0x1E), Key(65, 2, 0x1E)}));
  EXPECT_TRUE(mutedInPause);
  EXPECT_TRUE(toggled.empty());
  EXPECT_EQ(std::count(debug.begin(), debug.end(), u"play macro ignored: a macro is playing"), 3);
  EXPECT_EQ(std::count(debug.begin(), debug.end(), u"record toggle ignored: a macro is playing"), 1);
  EXPECT_EQ(timer.now, start + 3000000);
  EXPECT_FALSE(IsPlayingMacro);
}

TEST_F(MonitorTest, ExitDuringAMacrosPauseStopsItAndReleasesWhatItPressed) {
  SetType(2, 31);
  SetMacro0({TMACROKEY{4, 1, 65, 0}, TMACROKEY{6, 1, 0xB8, 0x0B}, TMACROKEY{4, 0, 65, 0}, TMACROKEY{4, 1, 66, 0}});
  const std::int64_t start = timer.now;
  timer.messagesAt = {start + 100000};
  windows.onProcessMessages = [&] {
    if (timer.now > start) Monitor().Exit1Click();
  };
  Monitor().HandleMessage(7524, 2, 1);
  EXPECT_TRUE(windows.terminated);
  EXPECT_EQ(timer.now, start + 100000);
  EXPECT_EQ(input.events, (std::vector<InputEvent>{Key(65, 0, 0x1E), Key(65, 2, 0x1E)}));
  EXPECT_FALSE(IsPlayingMacro);
  // Presses read before the loop ends start nothing.
  windows.onProcessMessages = nullptr;
  debug.clear();
  Monitor().HandleMessage(7524, 2, 1);
  EXPECT_EQ(input.events.size(), 2u);
  EXPECT_EQ(debug, std::vector<WStr>{u"play macro ignored: the monitor is ending"});
}

TEST_F(MonitorTest, TheDebouncedReopenWaitsUntilTheMacroHasEnded) {
  SetType(2, 31);
  SetMacro0({TMACROKEY{4, 1, 65, 0}, TMACROKEY{6, 1, 0xB8, 0x0B}, TMACROKEY{4, 0, 65, 0}});
  Monitor();
  auto& t = OnlyTimer(windows);
  const std::int64_t start = timer.now;
  timer.messagesAt = {start + 100000};
  bool arrived = false;
  windows.onProcessMessages = [&] {
    if (timer.now == start || arrived) return;
    arrived = true;
    Monitor().kwHIDEvent1DeviceArrival();
    t.Elapse();  // inside the pause: the stop and its 50 ms would stretch it
  };
  Monitor().HandleMessage(7524, 2, 1);
  EXPECT_TRUE(windows.sleeps.empty());
  EXPECT_EQ(timer.now, start + 3000000);
  EXPECT_TRUE(t.Enabled());  // it tries again
  windows.onProcessMessages = nullptr;
  t.Elapse();
  EXPECT_EQ(windows.sleeps, std::vector<std::uint32_t>{50});
  EXPECT_FALSE(t.Enabled());
}

TEST_F(MonitorTest, ALockDuringAMacrosPauseStopsItWithoutAdministratorAdvice) {
  SetType(2, 31);
  SetMacro0({TMACROKEY{4, 1, 65, 0}, TMACROKEY{6, 1, 0xB8, 0x0B}, TMACROKEY{4, 0, 65, 0}, TMACROKEY{4, 1, 66, 0}});
  std::vector<std::pair<WStr, WStr>> notes;
  Monitor().Extensions.ShowNotification = [&](WView t, WView x) { notes.emplace_back(WStr(t), WStr(x)); };
  const std::int64_t start = timer.now;
  timer.messagesAt = {start + 100000};
  windows.onProcessMessages = [&] {
    if (timer.now == start) return;
    Monitor().HandleMessage(kWmWtsSessionChange, kWtsSessionLock, 1);
    input.refuseFrom = static_cast<int>(input.events.size());  // the secure desktop takes no input
  };
  Monitor().HandleMessage(7524, 2, 1);
  EXPECT_EQ(timer.now, start + 100000);
  EXPECT_EQ(input.events, (std::vector<InputEvent>{Key(65, 0, 0x1E), Key(65, 2, 0x1E)}));
  EXPECT_TRUE(notes.empty());
  EXPECT_EQ(std::count(debug.begin(), debug.end(), u"notice: Macro could not play"), 0);
  EXPECT_FALSE(IsPlayingMacro);
}

// Windows drops input into a program of a higher integrity level.
TEST_F(MonitorTest, AnElevatedForegroundGetsNoInputAndOneNotificationPerProcess) {
  SetType(2, 31);
  SetMacro0({TMACROKEY{4, 1, 65, 0}, TMACROKEY{4, 0, 65, 0}});
  std::vector<std::pair<WStr, WStr>> notes;
  Monitor().Extensions.ShowNotification = [&](WView t, WView x) { notes.emplace_back(WStr(t), WStr(x)); };
  input.foreground = {900, kIntegrityHigh};
  Monitor().HandleMessage(7524, 2, 1);
  Monitor().HandleMessage(7524, 2, 1);
  EXPECT_TRUE(input.events.empty());
  EXPECT_EQ(std::count(debug.begin(), debug.end(),
                       u"play macro refused: the program in front (process 900) runs as administrator; Windows "
                       u"would drop the input"),
            2);
  ASSERT_EQ(notes.size(), 1u);
  // The on-screen notice, unlike the balloon, says so at every press.
  EXPECT_EQ(std::count(debug.begin(), debug.end(), u"notice: Macro could not play"), 2);
  EXPECT_EQ(notes[0].first, u"Macro not played");
  EXPECT_EQ(notes[0].second, WStr(kMacroNotPlayedElevated) + u" " + kMacroNotPlayedAdvice);
  input.foreground = {901, kIntegritySystem};
  Monitor().HandleMessage(7524, 2, 1);
  EXPECT_EQ(notes.size(), 2u);
  input.foreground = {902, kIntegrityMedium};
  Monitor().HandleMessage(7524, 2, 1);
  EXPECT_EQ(input.delivered, (std::vector<InputEvent>{Key(65, 0, 0x1E), Key(65, 2, 0x1E)}));
  // An elevated monitor plays into an elevated game.
  input.events.clear();
  input.own = kIntegrityHigh;
  input.foreground = {900, kIntegrityHigh};
  Monitor().HandleMessage(7524, 2, 1);
  EXPECT_EQ(input.events.size(), 2u);
  EXPECT_FALSE(IsPlayingMacro);
}

// A level that cannot be read is no reason to refuse: the macro plays and
// SendInput's answer decides. Access denied (5) is what Windows gives for a
// process that hardened its handle, elevated or not.
TEST_F(MonitorTest, AnUnreadableIntegrityLevelPlaysAndSaysWhy) {
  SetType(2, 31);
  SetMacro0({TMACROKEY{4, 1, 65, 0}, TMACROKEY{4, 0, 65, 0}});
  std::vector<WStr> notes;
  Monitor().Extensions.ShowNotification = [&](WView, WView x) { notes.emplace_back(x); };
  const struct {
    ForegroundProcess front;
    std::uint32_t own;
    const char16_t* logged;
  } rows[] = {
      {{903, 0, 5}, kIntegrityMedium,
       u"play macro: the integrity level of the program in front (process 903) could not be read (error 5); "
       u"Windows' answer decides"},
      {{904, 0, 87}, kIntegrityMedium,
       u"play macro: the integrity level of the program in front (process 904) could not be read (error 87); "
       u"Windows' answer decides"},
      {{905, kIntegrityHigh, 0}, 0,
       u"play macro: the monitor's own integrity level could not be read; Windows' answer decides"},
  };
  for (const auto& r : rows) {
    input.foreground = r.front;
    input.own = r.own;
    input.events.clear();
    debug.clear();
    Monitor().HandleMessage(7524, 2, 1);
    EXPECT_EQ(input.events.size(), 2u) << ToUtf8(r.logged);
    EXPECT_EQ(std::count(debug.begin(), debug.end(), WStr(r.logged)), 1) << ToUtf8(r.logged);
  }
  EXPECT_TRUE(notes.empty());
}

TEST_F(MonitorTest, ARefusedInjectionStopsTheMacroAndTellsOncePerProcess) {
  SetType(2, 31);
  SetMacro0({TMACROKEY{4, 1, 65, 0}, TMACROKEY{6, 1, 100, 0}, TMACROKEY{4, 0, 65, 0}});
  std::vector<std::pair<WStr, WStr>> notes;
  Monitor().Extensions.ShowNotification = [&](WView t, WView x) { notes.emplace_back(WStr(t), WStr(x)); };
  input.refuseFrom = 0;
  Monitor().HandleMessage(7524, 2, 1);
  Monitor().HandleMessage(7524, 2, 1);
  EXPECT_TRUE(timer.deadlines.empty());
  EXPECT_EQ(std::count(debug.begin(), debug.end(), u"play macro stopped: Windows refused the input of action 1"), 2);
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_EQ(notes[0].second, WStr(kMacroNotPlayedRefused) + u" " + kMacroNotPlayedAdvice);
  EXPECT_FALSE(IsPlayingMacro);
  // An elevated monitor has nothing to restart as: the advice is left out.
  input.own = kIntegrityHigh;
  input.foreground = {906, kIntegrityMedium};
  Monitor().HandleMessage(7524, 2, 1);
  ASSERT_EQ(notes.size(), 2u);
  EXPECT_EQ(notes[1].second, WStr(kMacroNotPlayedRefused));
}

TEST_F(MonitorTest, RestartAsAdministratorStartsThroughThePromptAndEndsLikeExit) {
  windows.byCaption[u"VX_CONFIG_EX"] = kCfg;
  windows.elevatedStartResult = 1223;  // the user said no
  Monitor().RestartAsAdministrator1Click();
  EXPECT_FALSE(windows.terminated);
  EXPECT_EQ(debug, std::vector<WStr>{u"restart as administrator: not started (error 1223); the monitor goes on"});
  windows.elevatedStartResult = 0;
  Monitor().RestartAsAdministrator1Click();
  EXPECT_EQ(windows.elevatedStarts, (std::vector<std::u16string>{u"/after:777", u"/after:777"}));
  EXPECT_TRUE(windows.terminated);
  EXPECT_EQ(ToConfig(), (std::vector<SentMessage>{{kCfg, 7036, 0, 0, true}}));
  // Elevated already: nothing to do.
  input.own = kIntegrityHigh;
  Monitor().RestartAsAdministrator1Click();
  EXPECT_EQ(windows.elevatedStarts.size(), 2u);
}

TEST_F(MonitorTest, LockedSessionIgnoresPlayPressesAndStillMutes) {
  SetType(2, 31);
  SetType(3, 28);
  SetMacro0({TMACROKEY{4, 1, 65, 0}});
  Monitor().FormCreate();
  Monitor().HandleMessage(kWmWtsSessionChange, kWtsSessionLock, 1);
  debug.clear();
  Monitor().HandleMessage(7524, 2, 1);
  EXPECT_TRUE(input.events.empty());
  EXPECT_EQ(debug, std::vector<WStr>{u"play macro ignored: the session is locked or switched away"});
  Monitor().HandleMessage(7524, 3, 1);
  EXPECT_TRUE(audio.state.muted);
  // Switched away while locked: back only when both are undone.
  Monitor().HandleMessage(kWmWtsSessionChange, kWtsConsoleDisconnect, 1);
  Monitor().HandleMessage(kWmWtsSessionChange, kWtsSessionUnlock, 1);
  Monitor().HandleMessage(7524, 2, 1);
  EXPECT_TRUE(input.events.empty());
  Monitor().HandleMessage(kWmWtsSessionChange, kWtsConsoleConnect, 1);
  Monitor().HandleMessage(7524, 2, 1);
  EXPECT_EQ(input.events.size(), 1u);
}

TEST_F(MonitorTest, SessionRegistrationIsRetriedUntilTheServiceTakesIt) {
  test::FakeSessionState session;
  session.failRegistrations = 2;
  session.locked = true;  // started while locked
  services.session = &session;
  Monitor().StartSessionWatch();
  EXPECT_TRUE(Monitor().FSessionLocked);
  test::FakeTimer& retry = *windows.timers.back();
  EXPECT_EQ(retry.Interval(), 1000u);
  retry.Elapse();
  EXPECT_EQ(retry.Interval(), 2000u);
  session.locked = false;  // unlocked while nobody was told
  retry.Elapse();
  EXPECT_EQ(session.registrations, 3);
  EXPECT_FALSE(retry.Enabled());
  EXPECT_FALSE(Monitor().FSessionLocked);
  mon.reset();
  EXPECT_EQ(session.unregistrations, 1);
}

TEST_F(MonitorTest, APlayPressAsksWhetherTheSessionIsLockedNow) {
  test::FakeSessionState session;
  services.session = &session;
  SetType(2, 31);
  SetMacro0({TMACROKEY{4, 1, 65, 0}});
  Monitor().StartSessionWatch();
  // The unlock was never told: the stale flag does not block the press.
  Monitor().HandleMessage(kWmWtsSessionChange, kWtsSessionLock, 1);
  Monitor().HandleMessage(7524, 2, 1);
  EXPECT_EQ(input.events.size(), 1u);
  // Nor the other way round: locked now though the flag says unlocked.
  session.locked = true;
  Monitor().HandleMessage(kWmWtsSessionChange, kWtsSessionUnlock, 1);
  Monitor().HandleMessage(7524, 2, 1);
  EXPECT_EQ(input.events.size(), 1u);
  // The system cannot say: the notifications decide.
  session.locked = std::nullopt;
  Monitor().HandleMessage(7524, 2, 1);
  EXPECT_EQ(input.events.size(), 1u);
  Monitor().HandleMessage(kWmWtsSessionChange, kWtsSessionUnlock, 1);
  Monitor().HandleMessage(7524, 2, 1);
  EXPECT_EQ(input.events.size(), 2u);
  mon.reset();  // before the session it refers to
}

TEST_F(MonitorTest, EndOfSessionEndsLikeExit) {
  windows.byCaption[u"VX_CONFIG_EX"] = kCfg;
  Monitor().HandleMessage(kWmEndSession, 0, 0);  // the logoff was cancelled
  EXPECT_FALSE(windows.terminated);
  Monitor().HandleMessage(kWmEndSession, 1, 0);
  EXPECT_TRUE(windows.terminated);
  EXPECT_EQ(ToConfig(), (std::vector<SentMessage>{{kCfg, 7036, 0, 0, true}}));
}

// Neither a suspend nor the end of the session stores half a recording; the
// end also stops the reads at once, as the teardown may never run.
TEST_F(MonitorTest, SuspendAndSessionEndDropARecordingAndTheEndStopsTheReads) {
  const int dev = bus.Plug(VirtualMouse());
  mon = std::make_unique<TVXMonMain>(*dm, services, kSelf);  // the real recorder
  windows.byClass[u"TVXCfgMain"] = kCfg;
  SetType(7, 32);
  mon->FormCreate();
  for (const bool suspend : {true, false}) {
    SCOPED_TRACE(suspend ? "suspend" : "session end");
    mon->HandleMessage(7524, 7, 1);
    ASSERT_TRUE(IsRecordingMacro);
    EXPECT_TRUE(mon->TimerHookCheck->Enabled());
    debug.clear();
    if (suspend) {
      mon->HandleMessage(kWmPowerBroadcast, kPbtApmSuspend, 0);
    } else {
      mon->ReopenDevice();
      ASSERT_TRUE(bus.WaitForReaders(dev, 1, 1, 5000));
      mon->HandleMessage(kWmEndSession, 1, 0);
      EXPECT_EQ(mon->kwHIDData1->RunningReadThreads(), 0u);
      EXPECT_EQ(bus.OpenReaders(dev, 1), 0u);
    }
    EXPECT_FALSE(IsRecordingMacro);
    EXPECT_FALSE(mon->TimerHookCheck->Enabled());
    EXPECT_EQ(std::count(debug.begin(), debug.end(), u"recording dropped: nothing stored"), 1);
  }
  // Nothing was stored or announced.
  EXPECT_TRUE(std::none_of(windows.messages.begin(), windows.messages.end(),
                           [](const SentMessage& m) { return m.msg == WM_VX_MACRO_RECORDED; }));
}

TEST_F(MonitorTest, MessagesWaitingDuringReopenAreHandledNested) {
  Monitor();
  reg.CreateKey(HKEY_CURRENT_USER_, kProfileKeyPath);
  windows.onProcessMessages = [this] { Pump(); };
  Report(8, {1, 1, 0, 0, 0, 0, 0});
  Monitor().ReopenDevice();
  EXPECT_EQ(ProfileID(), 1u);
}

// ---- Start-up ----------------------------------------------------------------------

TEST_F(MonitorTest, FormCreateResetsFlagsAppliesLanguageAndPreparesAudioOnNT6) {
  IsPlayingMacro = true;
  IsRecordingMacro = true;
  Monitor().FormCreate();
  EXPECT_FALSE(IsPlayingMacro);
  EXPECT_FALSE(IsRecordingMacro);
  EXPECT_EQ(captionUpdates, 1);
  EXPECT_EQ(audio.endpointOpens, 1);
}

TEST_F(MonitorTest, LanguageSwitchWalksTheWindowsComponents) {
  TVXMonMain& m = Monitor();
  const auto forms = LanguageParentForms();
  ASSERT_EQ(std::count(forms.begin(), forms.end(), m.Form.get()), 1);
  std::vector<WStr> met;
  m.kwLanguage1->SetCustomClassList({u"TTrayIcon", u"TTimer", u"TMenuItem"});
  m.kwLanguage1->OnCustomTranslate = [&](IComponent* c, std::vector<WStr>&, std::vector<IComponent*>&, WView,
                                         bool) { met.push_back(c->Name()); };
  m.kwLanguage1->SetLang(u"CH");
  m.kwLanguage1->SetLang(u"en");
  // Menu items belong to the special classes, handled before custom ones.
  EXPECT_EQ(met, (std::vector<WStr>{u"TrayIcon1", u"TimerDeviceArrial", u"TrayIcon1", u"TimerDeviceArrial"}));
}

TEST_F(MonitorTest, FormCreateOnOlderSystemsPreparesNoEndpoint) {
  for (OsVersionInfo v : {OsVersionInfo{2, 5, 1}, OsVersionInfo{1, 10, 0}}) {
    windows.version = v;
    audio.endpointOpens = 0;
    mon.reset();
    Monitor().FormCreate();
    EXPECT_EQ(audio.endpointOpens, 0);
  }
}

// ---- Microphone mute -------------------------------------------------------------

TEST_F(MonitorTest, CoreAudioTwoTogglesRestoreTheFirstState) {
  Monitor().FormCreate();
  audio.state.muted = false;
  Monitor().MicrophoneMute();
  EXPECT_TRUE(audio.state.muted);
  Monitor().MicrophoneMute();
  EXPECT_FALSE(audio.state.muted);
  EXPECT_EQ(Monitor().FVolumeNotifications.load(), 2u);
  EXPECT_FALSE(Monitor().FVolumeUpdating.load());
  EXPECT_EQ(audio.state.opens, 0);  // the mixer is not touched
}

TEST_F(MonitorTest, CoreAudioWithoutEndpointIgnoresThePressWithADebugLine) {
  audio.hasEndpoint = false;
  Monitor().FormCreate();
  debug.clear();
  Monitor().HandleMessage(7524, 0, 1);  // type 0: nothing
  SetType(5, 28);
  Monitor().HandleMessage(7524, 5, 1);
  EXPECT_EQ(audio.state.sets, 0);
  ASSERT_GE(debug.size(), 1u);
  EXPECT_NE(debug[0].find(u"no capture endpoint"), WStr::npos);
  EXPECT_TRUE(boxes.empty());
}

TEST_F(MonitorTest, CoreAudioUnreadableStateIsNotToggled) {
  Monitor().FormCreate();
  audio.state.getFails = true;
  audio.state.muted = true;
  Monitor().MicrophoneMute();
  EXPECT_EQ(audio.state.sets, 0);
  EXPECT_TRUE(audio.state.muted);
}

TEST_F(MonitorTest, NoCaptureDeviceAtStartThenOneAppears) {
  audio.hasEndpoint = false;
  SetType(5, 28);
  Monitor().FormCreate();
  debug.clear();
  Monitor().HandleMessage(7524, 5, 1);
  Monitor().HandleMessage(7524, 5, 1);
  EXPECT_EQ(std::count(debug.begin(), debug.end(), WStr(u"microphone mute ignored: no capture endpoint")), 1);
  // Plugged in without a notification: the next press finds it.
  audio.hasEndpoint = true;
  Monitor().HandleMessage(7524, 5, 1);
  EXPECT_TRUE(audio.state.muted);
}

TEST_F(MonitorTest, MuteFollowsTheDefaultCaptureDeviceToldOnAnotherThread) {
  SetType(5, 28);
  Monitor().FormCreate();
  ASSERT_EQ(audio.liveWatches, 1);
  const int opens = audio.endpointOpens;
  audio.SwitchDefault(1);
  // The audio thread only posted; the endpoint is resolved on this thread.
  EXPECT_EQ(audio.endpointOpens, opens);
  Pump();
  EXPECT_EQ(audio.endpointOpens, opens + 1);
  for (auto id : audio.openThreads) EXPECT_EQ(id, std::this_thread::get_id());
  Monitor().HandleMessage(7524, 5, 1);
  EXPECT_TRUE(audio.secondMuted);
  EXPECT_FALSE(audio.state.muted);
  audio.SwitchDefault(0);
  Pump();
  Monitor().HandleMessage(7524, 5, 1);
  EXPECT_TRUE(audio.state.muted);
  EXPECT_TRUE(audio.secondMuted);
  // The last device goes: a press does nothing until one comes back.
  audio.SwitchDefault(-1);
  Pump();
  Monitor().HandleMessage(7524, 5, 1);
  EXPECT_TRUE(audio.state.muted);
  mon.reset();
  EXPECT_EQ(audio.liveWatches, 0);  // unregistered with the monitor
}

// ---- On-screen notice ------------------------------------------------------------

struct NoticeCase {
  const char* name;
  std::function<void(MonitorTest&, TVXMonMain&)> act;
  std::vector<std::u16string> shown;  // drawn from the loop, none before it
  const char16_t* logged;             // a debug line, whether shown or not
  const char16_t* status = nullptr;   // the tray hint's status line afterwards
};

class NoticeTest : public MonitorTest, public ::testing::WithParamInterface<NoticeCase> {
 public:
  test::FakeNoticeWindow notice;
};

TEST_P(NoticeTest, ShowsWhatTheMouseDidAfterTheAction) {
  const auto& c = GetParam();
  services.notices = &notice;
  std::vector<WStr> statuses;
  Monitor().Extensions.UpdateTrayStatus = [&](WView s) { statuses.emplace_back(s); };
  Monitor().FormCreate();
  c.act(*this, Monitor());
  EXPECT_TRUE(notice.shown.empty()) << "drawn only from the message loop";
  Pump();
  Pump();  // a report's event posts the notice in turn
  EXPECT_EQ(notice.shown, c.shown);
  EXPECT_NE(std::find(debug.begin(), debug.end(), c.logged), debug.end()) << ToUtf8(c.logged);
  if (c.status) {
    ASSERT_FALSE(statuses.empty());
    EXPECT_EQ(statuses.back(), c.status);
  }
}

void MutePress(MonitorTest& t, TVXMonMain& m) {
  m.DM().FCurrentProfileInfo.ConfigInfo.ButtonFuncInfo[5].FunctionType = kFuncMicrophoneMute;
  m.HandleMessage(7524, 5, 1);
  (void)t;
}

INSTANTIATE_TEST_SUITE_P(
    Events, NoticeTest,
    ::testing::Values(
        NoticeCase{"MuteReadBack", MutePress, {u"Microphone muted"}, u"notice: Microphone muted",
                   u"Profile group 1\nMicrophone muted"},
        NoticeCase{"UnmuteReadBack",
                   [](MonitorTest& fx, TVXMonMain& m) {
                     MutePress(fx, m);
                     MutePress(fx, m);
                   },
                   {u"Microphone on"}, u"notice: Microphone on", u"Profile group 1"},
        // A device that stays muted whatever it is asked: the notice says so.
        // The hint follows the device in use: a headset muted by the mouse
        // is unplugged, the built-in microphone is live (or muted).
        NoticeCase{"DefaultChangeToALiveMicrophone",
                   [](MonitorTest& fx, TVXMonMain& m) {
                     MutePress(fx, m);
                     fx.audio.SwitchDefault(1);
                   },
                   {u"Microphone muted"}, u"microphone: the default capture device changed, mute follows it",
                   u"Profile group 1"},
        NoticeCase{"DefaultChangeToAMutedMicrophone",
                   [](MonitorTest& fx, TVXMonMain& m) {
                     (void)m;
                     fx.audio.secondMuted = true;
                     fx.audio.SwitchDefault(1);
                   },
                   {}, u"microphone: the default capture device changed, mute follows it",
                   u"Profile group 1\nMicrophone muted"},
        NoticeCase{"VolumeChangeOfAMutedMicrophoneKeepsMuted",
                   [](MonitorTest& fx, TVXMonMain& m) {
                     MutePress(fx, m);
                     fx.audio.state.notify();  // the volume slider moves
                   },
                   {u"Microphone muted"}, u"notice: Microphone muted", u"Profile group 1\nMicrophone muted"},
        NoticeCase{"DeviceKeepsItsState",
                   [](MonitorTest& fx, TVXMonMain& m) {
                     static_cast<NoticeTest&>(fx).audio.state.setIgnored = true;
                     static_cast<NoticeTest&>(fx).audio.state.muted = true;
                     MutePress(fx, m);
                   },
                   {u"Microphone muted"}, u"notice: Microphone muted"},
        NoticeCase{"NoCaptureDevice",
                   [](MonitorTest& fx, TVXMonMain& m) {
                     fx.audio.hasEndpoint = false;
                     m.FEndpoint.reset();
                     MutePress(fx, m);
                   },
                   {u"No microphone"}, u"notice: No microphone"},
        NoticeCase{"ProfileSwitchShowsTheGroup",
                   [](MonitorTest& fx, TVXMonMain&) { static_cast<NoticeTest&>(fx).Report(8, {1, 1, 0, 0, 0, 0, 0}); },
                   {u"Profile group 2"}, u"notice: Profile group 2", u"Profile group 2"},
        NoticeCase{"ProfileSwitchNamesAFileSlot",
                   [](MonitorTest& fx, TVXMonMain& m) {
                     auto& g = m.DM().FProfileSettingGroup;
                     g.ProfileIndexOfProfileGroup[0] = 3;
                     g.ProfileSettingList[3].StorageType = 1;
                     WriteFixed(g.ProfileSettingList[3].FileName, u"Raid night.pfd");
                     static_cast<NoticeTest&>(fx).Report(8, {1, 0, 0, 0, 0, 0, 0});
                   },
                   {u"Profile group 1: Raid night"}, u"notice: Profile group 1: Raid night",
                   u"Profile group 1: Raid night"},
        NoticeCase{"FullScreenD3DIsLeftAlone",
                   [](MonitorTest& fx, TVXMonMain& m) {
                     static_cast<NoticeTest&>(fx).notice.state = 3;
                     MutePress(fx, m);
                   },
                   {}, u"notice: Microphone muted"},
        NoticeCase{"PresentationModeIsLeftAlone",
                   [](MonitorTest& fx, TVXMonMain& m) {
                     static_cast<NoticeTest&>(fx).notice.state = 4;
                     MutePress(fx, m);
                   },
                   {}, u"notice: Microphone muted"},
        NoticeCase{"BorderlessFullScreenStillShows",
                   [](MonitorTest& fx, TVXMonMain& m) {
                     static_cast<NoticeTest&>(fx).notice.state = 2;  // QUNS_BUSY
                     MutePress(fx, m);
                   },
                   {u"Microphone muted"}, u"notice: Microphone muted"},
        NoticeCase{"TurnedOff",
                   [](MonitorTest& fx, TVXMonMain& m) {
                     m.Notices.SetEnabled(false);
                     MutePress(fx, m);
                     EXPECT_TRUE(static_cast<NoticeTest&>(fx).windows.TakePosted(kSelf).empty()) << "no message";
                   },
                   {}, u"notice: Microphone muted"},
        NoticeCase{"RapidPressesReplaceTheNoticeInOneMessage",
                   [](MonitorTest& fx, TVXMonMain& m) {
                     for (int i = 0; i < 3; ++i) MutePress(fx, m);
                     std::size_t notices = 0;
                     for (const auto& msg : static_cast<NoticeTest&>(fx).windows.messages)
                       notices += msg.msg == WM_VX_SHOW_NOTICE ? 1 : 0;
                     EXPECT_EQ(notices, 1u);
                   },
                   {u"Microphone muted"}, u"notice: Microphone on"},
        // Start-up's first reopen only sets the state; the same mouse reopened says nothing.
        NoticeCase{"MouseAbsentAtStartUp", [](MonitorTest&, TVXMonMain& m) { m.ReopenDevice(); },
                   {}, u"mouse reopened: 0 interface(s) read", u"Profile group 1\nMouse not found"},
        NoticeCase{"SameMouseReopened",
                   [](MonitorTest& fx, TVXMonMain& m) {
                     fx.bus.Plug(VirtualMouse());
                     m.ReopenDevice();
                     m.ReopenDevice();
                   },
                   {}, u"mouse reopened: 1 interface(s) read", u"Profile group 1"},
        NoticeCase{"MouseGoes",
                   [](MonitorTest& fx, TVXMonMain& m) {
                     const int dev = fx.bus.Plug(VirtualMouse());
                     m.ReopenDevice();
                     fx.bus.Unplug(dev);
                     m.ReopenDevice();
                   },
                   {u"Mouse disconnected"}, u"notice: Mouse disconnected", u"Profile group 1\nMouse not found"},
        NoticeCase{"MouseComesBack",
                   [](MonitorTest& fx, TVXMonMain& m) {
                     fx.bus.Unplug(fx.bus.Plug(VirtualMouse()));
                     m.ReopenDevice();
                     fx.bus.Plug(VirtualMouse());
                     m.ReopenDevice();
                   },
                   {u"Mouse connected"}, u"notice: Mouse connected", u"Profile group 1"},
        NoticeCase{"MouseGoesWhileNoticesAreOff",
                   [](MonitorTest& fx, TVXMonMain& m) {
                     m.Notices.SetEnabled(false);
                     const int dev = fx.bus.Plug(VirtualMouse());
                     m.ReopenDevice();
                     fx.bus.Unplug(dev);
                     m.ReopenDevice();
                   },
                   {}, u"notice: Mouse disconnected", u"Profile group 1\nMouse not found"},
        NoticeCase{"RecordingStart",
                   [](MonitorTest&, TVXMonMain& m) { m.MacroRecorder->ToggleMacroRecording(7); },
                   {u"Recording macro"}, u"notice: Recording macro"},
        NoticeCase{"MacroCouldNotPlayFromElsewhere",
                   [](MonitorTest&, TVXMonMain& m) {
                     m.ShowNotice(NoticeKind::MacroNotPlayed, u"Macro could not play: the game runs as administrator");
                   },
                   {u"Macro could not play: the game runs as administrator"},
                   u"notice: Macro could not play: the game runs as administrator"}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(MonitorTest, RestoreFromTheTrayAsksRestoresTheChosenOneAndTellsTheConfigurationApplication) {
  const auto dir = std::filesystem::temp_directory_path() /
                   ("vxmon-restore-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
  std::filesystem::create_directories(dir);
  for (const char* name : {"20261201-100000.vxbak", "20261202-100000.vxbak", "notes.txt"}) {
    std::ofstream(dir / name, std::ios::binary) << "x";
  }
  reg.CreateKey(HKEY_CURRENT_USER_, kProfileKeyPath);
  windows.byClass[u"TVXCfgMain"] = kCfg;
  std::vector<WStr> restored;
  bool fails = false;
  services.backupSnapshot = [](std::string&) { return std::optional<std::vector<std::uint8_t>>(); };
  services.backupFolder = FromUtf8(dir.string());
  services.restoreBackup = [&](WView file, std::string& why) {
    restored.emplace_back(file);
    why = "the disk is full";
    return !fails;
  };
  std::vector<WStr> asked;
  bool answer = false;
  Monitor().Extensions.Confirm = [&](WView q) {
    asked.emplace_back(q);
    return answer;
  };
  Monitor().WriteProfileIDToRegistry(1);
  const auto menu = Monitor().BackupMenu();
  ASSERT_EQ(menu.size(), 2u);
  EXPECT_EQ(menu[0].caption, u"2026-12-02 10:00:00");
  EXPECT_EQ(menu[1].caption, u"2026-12-01 10:00:00");
  EXPECT_EQ(menu[1].file, u"20261201-100000.vxbak");
  EXPECT_FALSE(Monitor().RestoreBackupClick(menu[1].file));  // declined
  EXPECT_TRUE(restored.empty());
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_NE(asked[0].find(u"2026-12-01 10:00:00"), WStr::npos);
  answer = true;
  EXPECT_FALSE(Monitor().RestoreBackupClick(u"20261130-100000.vxbak"));  // gone: nothing asked
  EXPECT_FALSE(Monitor().RestoreBackupClick(u"notes.txt"));
  EXPECT_EQ(asked.size(), 1u);
  // A backup written while the menu is open: the click still names its file.
  std::ofstream(dir / "20261203-100000.vxbak", std::ios::binary) << "x";
  EXPECT_TRUE(Monitor().RestoreBackupClick(menu[1].file));
  ASSERT_EQ(restored.size(), 1u);
  EXPECT_EQ(ExtractFileName(restored[0]), u"20261201-100000.vxbak");
  EXPECT_NE(asked.back().find(u"2026-12-01 10:00:00"), WStr::npos);
  EXPECT_EQ(ToConfig(), (std::vector<SentMessage>{{kCfg, 7035, 0, 1, true}}));
  const auto self = windows.TakePosted(kSelf);  // the monitor reloads too
  EXPECT_EQ(std::count_if(self.begin(), self.end(), [](const auto& p) { return p.msg == 7035 && p.lparam == 1; }), 1);
  fails = true;
  windows.messages.clear();
  EXPECT_FALSE(Monitor().RestoreBackupClick(menu[0].file));
  EXPECT_TRUE(ToConfig().empty()) << "nothing to reload after a failed restore";
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(std::find(debug.begin(), debug.end(), u"restore of " + IncludeTrailingBackslash(services.backupFolder) +
                                                      u"20261202-100000.vxbak failed: the disk is full"),
            debug.end());
  mon.reset();
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
}

// The tray's restore runs on the main thread, the automatic backup on its
// own: a backup due while a restore writes the store waits for it.
TEST_F(MonitorTest, ABackupDueDuringATrayRestoreWaitsForIt) {
  const auto dir = std::filesystem::temp_directory_path() /
                   ("vxmon-restore-gate-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
  std::filesystem::create_directories(dir);
  std::ofstream(dir / "20261201-100000.vxbak", std::ios::binary) << "x";
  reg.CreateKey(HKEY_CURRENT_USER_, kProfileKeyPath);
  std::mutex m;
  std::condition_variable cv;
  bool restoring = false, open = false, read = false, overlap = false;
  services.backupFolder = FromUtf8(dir.string());
  services.backupSnapshot = [&](std::string&) {
    std::lock_guard lock(m);
    overlap = overlap || restoring;
    read = true;
    cv.notify_all();
    return std::optional<std::vector<std::uint8_t>>(std::vector<std::uint8_t>{1});
  };
  services.restoreBackup = [&](WView, std::string&) {
    std::unique_lock lock(m);
    restoring = true;
    cv.notify_all();
    cv.wait(lock, [&] { return open; });
    restoring = false;
    return true;
  };
  Monitor().Extensions.Confirm = [](WView) { return true; };
  std::thread tray([&] { EXPECT_TRUE(Monitor().RestoreBackupClick(u"20261201-100000.vxbak")); });
  {
    std::unique_lock lock(m);
    cv.wait(lock, [&] { return restoring; });
  }
  Monitor().AutoBackup->Changed();  // the first change: a backup now
  {
    // Long enough for a backup that does not wait to read the store.
    std::unique_lock lock(m);
    cv.wait_for(lock, std::chrono::milliseconds(200), [&] { return read; });
    open = true;
    cv.notify_all();
  }
  tray.join();
  Monitor().AutoBackup->WaitIdle();
  EXPECT_TRUE(read);
  EXPECT_FALSE(overlap) << "the backup read the store while the restore wrote it";
  mon.reset();
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
}

TEST_F(MonitorTest, NoticeSettingIsReadFromAndWrittenToConfigIni) {
  const auto dir = std::filesystem::temp_directory_path() / ("vxmon-notice-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
  std::filesystem::create_directories(dir);
  SetExecutableFolderOverride(FromUtf8((dir / "").string()));
  const auto ini = dir / "config.ini";
  std::ofstream(ini, std::ios::binary) << "[OtherConfig]\r\nLog=0\r\nNotice=0\r\n";
  std::vector<bool> checks;
  Monitor().Extensions.NoticeSettingChanged = [&](bool on) { checks.push_back(on); };
  Monitor().FormCreate();
  EXPECT_FALSE(Monitor().NoticeOn());
  Monitor().SetNoticeOn(true);
  EXPECT_EQ(checks, (std::vector<bool>{false, true}));
  {
    std::ifstream in(ini, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "[OtherConfig]\r\nLog=0\r\nNotice=1\r\n");
  }
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
}

struct MixerCase {
  const char* name;
  std::uint32_t count;
  bool openFails, noLine, noControl, detailsFail;
  std::uint32_t valueAfter;  // from 0
  std::vector<const char16_t*> boxes;
  int opens;
};

class MixerTest : public MonitorTest, public ::testing::WithParamInterface<MixerCase> {};

TEST_P(MixerTest, LegacyToggle) {
  const auto& c = GetParam();
  windows.version = {2, 5, 1};
  audio.state.mixerCount = c.count;
  audio.state.openFails = c.openFails;
  audio.state.noMicLine = c.noLine;
  audio.state.noMuteControl = c.noControl;
  audio.state.detailsFail = c.detailsFail;
  // The stored language translates the application title.
  const TLanguageTable table(u"Vantor Gaming Mouse Monitor=Titel\r\n");
  Monitor().Extensions.UpdateLanguageAndCaptions = [&] { ActivateLanguageTable(&table); };
  Monitor().FormCreate();
  ResetLanguageTable();
  Monitor().MicrophoneMute();
  EXPECT_EQ(audio.state.mixerValue, c.valueAfter);
  ASSERT_EQ(boxes.size(), c.boxes.size());
  for (std::size_t i = 0; i < boxes.size(); ++i) {
    EXPECT_EQ(boxes[i].first, c.boxes[i]);
    EXPECT_EQ(boxes[i].second, u"Titel");
  }
  EXPECT_EQ(audio.state.opens, c.opens);
  EXPECT_EQ(audio.state.closes, audio.state.opens);
  EXPECT_EQ(audio.endpointOpens, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, MixerTest,
    ::testing::Values(
        MixerCase{"Toggles", 1, false, false, false, false, 1, {}, 2},
        MixerCase{"NoDevice", 0, false, false, false, false, 0, {}, 0},
        MixerCase{"OpenFails", 1, true, false, false, false, 0, {}, 0},
        MixerCase{"NoMicrophoneLine", 1, false, true, false, false, 0, {}, 2},
        MixerCase{"NoMuteControl", 1, false, false, true, false, 0, {u"GetLineInfo Error", u"GetLineInfo Error"}, 2},
        MixerCase{"DetailsFail", 1, false, false, false, true, 0,
                  {u"SetControlDetails Error", u"SetControlDetails Error"}, 2}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(MonitorTest, LegacyTwoTogglesRestoreTheFirstState) {
  windows.version = {2, 5, 1};
  audio.state.mixerValue = 1;
  Monitor().MicrophoneMute();
  EXPECT_EQ(audio.state.mixerValue, 0u);
  Monitor().MicrophoneMute();
  EXPECT_EQ(audio.state.mixerValue, 1u);
}

}  // namespace
}  // namespace vx

namespace vx {
namespace {

// ---- Reloads requested by the configuration application, over a real store ----

class ReloadTest : public MonitorTest {
 protected:
  void SetUp() override {
    MonitorTest::SetUp();
    docs = std::filesystem::temp_directory_path() /
           ("vxmon-app-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(docs);
    SetDocumentsFolderOverride(FromUtf8(docs.string()));
    ASSERT_TRUE(dm->DataModuleCreate());
  }
  void TearDown() override {
    MonitorTest::TearDown();
    SetDocumentsFolderOverride(u"");
    std::error_code ec;
    std::filesystem::remove_all(docs, ec);
  }
  std::vector<std::uint8_t> Value(WView name) {
    auto v = reg.QueryValue(HKEY_CURRENT_USER_, kProfileKeyPath, name);
    EXPECT_TRUE(v.has_value()) << ToUtf8(name);
    return v ? v->data : std::vector<std::uint8_t>{};
  }
  void Put(WView name, const std::vector<std::uint8_t>& bytes) {
    ASSERT_TRUE(reg.SetValue(HKEY_CURRENT_USER_, kProfileKeyPath, name, RegType::Binary, bytes));
  }
  std::filesystem::path docs;
};

TEST_F(ReloadTest, Message7035ReloadsGroupThenSettingsThenCurrentSlotAndStoresProfileID) {
  // The configuration application selected slot 2 and changed it.
  auto group = Value(kGroupValueName);
  ASSERT_EQ(group.size(), sizeof(TProfileSettingGroup));
  group[offsetof(TProfileSettingGroup, ProfileIndexOfProfileGroup)] = 2;
  Put(kGroupValueName, group);
  auto slot = std::make_unique<TMouseProfileInfo>(dm->FCurrentProfileInfo);
  slot->ConfigInfo.ButtonFuncInfo[9].FunctionType = 28;
  const auto* raw = reinterpret_cast<const std::uint8_t*>(slot.get());
  Put(DefaultSlotValueName(2), std::vector<std::uint8_t>(raw, raw + sizeof(TMouseProfileInfo)));
  auto all = Value(kAllSettingValueName);
  all[offsetof(TALLGAMESINFO, CurrentLanguage)] = 2;
  Put(kAllSettingValueName, all);

  ASSERT_EQ(dm->FCurrentProfileInfo.ConfigInfo.ButtonFuncInfo[9].FunctionType, 0);
  // The mouse reported group 2 before; after the reload the store decides.
  std::vector<WStr> statuses;
  Monitor().Extensions.UpdateTrayStatus = [&](WView st) { statuses.emplace_back(st); };
  Monitor().HandleMessage(7524, kCodeProfile1, 1);
  ASSERT_EQ(statuses.back(), u"Profile group 2");
  EXPECT_TRUE(Monitor().HandleMessage(7035, 0, 3));
  ASSERT_NE(dm->FProfileGroupIndex, 1);
  EXPECT_EQ(statuses.back(), Monitor().ProfileGroupText(dm->FProfileGroupIndex));
  EXPECT_EQ(dm->FProfileIndex, 2);
  EXPECT_EQ(dm->FAllProfileSettingInfo.CurrentLanguage, 2);
  EXPECT_EQ(dm->FCurrentProfileInfo.ConfigInfo.ButtonFuncInfo[9].FunctionType, 28);
  EXPECT_EQ(ProfileID(), 3u);
  EXPECT_EQ(captionUpdates, 0);
}

TEST_F(ReloadTest, RecordingWhoseProfileSaveFailsStillWritesTheMouseKeepsTheMacroAndTells) {
  const int dev = bus.Plug(VirtualMouse());
  windows.byClass[u"TVXCfgMain"] = kCfg;
  const WStr slot = DefaultSlotValueName(dm->FProfileIndex);
  reg.refused.insert(AsciiUpper(slot));
  mon = std::make_unique<TVXMonMain>(*dm, services, kSelf);  // the real recorder
  mon->MacroRecorder->ToggleMacroRecording(7);
  mon->MacroRecorder->kwHook1RecordMouseMacroKey(1, 1, 1, u"Mouse ClickDown");
  mon->MacroRecorder->kwHook1RecordMouseMacroKey(1, 1, 0, u"Mouse ClickUp");
  mon->MacroRecorder->ToggleMacroRecording(7);
  EXPECT_NE(std::find(debug.begin(), debug.end(), u"Failed to set data for '" + slot + u"'"), debug.end());
  EXPECT_FALSE(bus.Sent().empty()) << "the profile went to the mouse";
  EXPECT_EQ(bus.Sent().front().Device, dev);
  const auto recorded = Value(kRecordMacroValueName);
  ASSERT_GE(recorded.size(), sizeof(TMACROKEYINFO));
  EXPECT_EQ(reinterpret_cast<const TMACROKEYINFO*>(recorded.data())->MacroListCount, 2);
  const auto index = static_cast<std::uintptr_t>(dm->FProfileIndex);
  EXPECT_EQ(ToConfig(), (std::vector<SentMessage>{{kCfg, 7038, index, 0, false}}));
}

TEST_F(ReloadTest, Message7037ReloadsSettingsThenAppliesTheLanguage) {
  auto all = Value(kAllSettingValueName);
  all[offsetof(TALLGAMESINFO, CurrentLanguage)] = 1;
  Put(kAllSettingValueName, all);
  int languageSeen = -1;
  Monitor().Extensions.UpdateLanguageAndCaptions = [&] {
    languageSeen = dm->FAllProfileSettingInfo.CurrentLanguage;
  };
  EXPECT_TRUE(Monitor().HandleMessage(7037, 0, 0));
  EXPECT_EQ(languageSeen, 1);
  EXPECT_FALSE(ProfileID().has_value());
}

// Every change of the stored data is backed up: the configuration
// application's profiles and settings, a saved recording; no recording, no
// backup.
TEST_F(ReloadTest, EachChangeOfTheStoredDataLeadsToABackup) {
  struct Row {
    const char* what;
    std::function<void(TVXMonMain&)> act;
    int backups;
  };
  const std::vector<Row> rows = {
      {"profiles (7035)", [](TVXMonMain& m) { m.HandleMessage(7035, 0, 0); }, 1},
      {"settings and language (7037)", [](TVXMonMain& m) { m.HandleMessage(7037, 0, 0); }, 1},
      {"a saved recording",
       [](TVXMonMain& m) {
         m.MacroRecorder->ToggleMacroRecording(7);
         m.MacroRecorder->kwHook1RecordMouseMacroKey(1, 1, 1, u"Mouse ClickDown");
         m.MacroRecorder->kwHook1RecordMouseMacroKey(1, 1, 0, u"Mouse ClickUp");
         m.MacroRecorder->ToggleMacroRecording(7);
       },
       1},
      {"a recording of nothing",
       [](TVXMonMain& m) {
         m.MacroRecorder->ToggleMacroRecording(7);
         m.MacroRecorder->ToggleMacroRecording(7);
       },
       0},
  };
  std::atomic<int> snapshots{0};
  services.backupFolder = FromUtf8((docs / "backups").string());
  services.backupSnapshot = [&](std::string&) {
    ++snapshots;
    return std::optional<std::vector<std::uint8_t>>(std::vector<std::uint8_t>{1});
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    snapshots = 0;
    mon = std::make_unique<TVXMonMain>(*dm, services, kSelf);
    row.act(*mon);
    mon->AutoBackup->WaitIdle();
    EXPECT_EQ(snapshots, row.backups);
    mon.reset();
  }
}

}  // namespace
}  // namespace vx
