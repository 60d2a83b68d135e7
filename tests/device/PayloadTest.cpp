// Device payloads: framing, memory map, button table, macro blocks, and what
// happens to data that does not fit the formats.
#include <gtest/gtest.h>

#include <cstring>

#include "DeviceTestSupport.h"
#include "device/DevicePayload.h"
#include "device/kwKeyCode.h"
#include "profiles/DMUnit.h"

namespace vx {
namespace {

using test::Hex;
using test::HexPadded;

TMACROKEY Act(std::uint16_t type, std::uint16_t state, std::uint8_t v1, std::uint8_t v2) {
  return TMACROKEY{type, state, v1, v2};
}

TMACROKEYINFO Macro(std::initializer_list<TMACROKEY> actions, std::uint16_t loop = 0, std::uint16_t index = 0) {
  TMACROKEYINFO m{};
  int i = 0;
  for (const auto& a : actions) m.MacroList[i++] = a;
  m.MacroListCount = i;
  m.nLoopCount = loop;
  m.nMacroIndex = index;
  return m;
}

// Left button down, 25 ms, left button up.
TMACROKEYINFO ClickMacro(std::uint16_t loop = 0, std::uint16_t index = 0) {
  return Macro({Act(kActionMouse, 1, 1, 1), Act(kActionDelay, 0, 25, 0), Act(kActionMouse, 0, 1, 1)}, loop, index);
}

// A key whose HID usage does not fit one byte (a browser or launch key).
std::pair<std::uint8_t, std::uint8_t> WideUsageKey() {
  for (std::uint32_t vk = 0; vk < 255; ++vk) {
    for (std::uint8_t ext : {std::uint8_t{0}, std::uint8_t{1}}) {
      if (VKToHIDCode(vk, ext) > 0xFF) return {static_cast<std::uint8_t>(vk), ext};
    }
  }
  ADD_FAILURE() << "no key with a HID usage above 255";
  return {0, 0};
}

class PayloadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DeviceUsageAndPage = {0x0001, 0xFFA0};
    mouse_ = bus_.Plug(test::MouseDevice());
    hid_ = std::make_unique<TkwHIDData>(&bus_, &main_);
    hid_->FHidDeviceList.clear();
    profile_ = std::make_unique<TMouseProfileInfo>();
    std::memset(profile_.get(), 0, sizeof *profile_);
  }

  std::vector<std::string> SentHex() const {
    std::vector<std::string> out;
    for (const auto& s : bus_.Sent()) {
      EXPECT_EQ(s.What, VirtualSent::Kind::Feature);
      out.push_back(Hex(s.Bytes));
    }
    return out;
  }

  TBUTTONFUNCINFO& Button(int i) { return profile_->ConfigInfo.ButtonFuncInfo[i]; }

  void SetMacroButton(int button, std::uint16_t index, const TMACROKEYINFO& m) {
    Button(button).FunctionClass = 4;
    Button(button).DeviceCode = 17;
    Button(button).MacroInfo = m;
    Button(button).MacroInfo.nMacroIndex = index;
  }

  void AddMacro(const TMACROKEYINFO& m) {
    auto& list = profile_->MacroKeyInfoList;
    list.MacroInfos[list.nMacroInfoCount++] = m;
  }

  std::array<std::uint8_t, 4> Entry(const TDEVICEBUTTONTABLE& t, int i) {
    return {t.Entries[i][0], t.Entries[i][1], t.Entries[i][2], t.Entries[i][3]};
  }

  VirtualHidBus bus_;
  QueuedMainThread main_;
  test::DebugLines debug_;
  int mouse_ = 0;
  std::unique_ptr<TkwHIDData> hid_;
  std::unique_ptr<TMouseProfileInfo> profile_;
};

const std::string kOpenBracket = HexPadded("02 06 00", 16);
const std::string kCloseBracket = HexPadded("02 06 01", 16);

TEST_F(PayloadTest, EmptyFirstMacroSendsOnlyTheBrackets) {
  SetMacroButton(0, 0, ClickMacro());  // a button macro alone does not count
  WriteProfileToDevice(*hid_, *profile_, 0);
  EXPECT_EQ(SentHex(), (std::vector<std::string>{kOpenBracket, kCloseBracket}));
}

TEST_F(PayloadTest, ProfileIndexOutsideTheTwoAreasSendsOnlyTheBrackets) {
  AddMacro(ClickMacro());
  SetMacroButton(0, 0, ClickMacro());
  for (int index : {2, -1, 4}) {
    bus_.ClearSent();
    WriteProfileToDevice(*hid_, *profile_, index);
    EXPECT_EQ(SentHex(), (std::vector<std::string>{kOpenBracket, kCloseBracket})) << "index " << index;
  }
}

TEST_F(PayloadTest, ButtonTableReportForOnboardProfileZero) {
  AddMacro(Macro({Act(kActionMouse, 1, 1, 1)}, 0, 7));  // no button names it: no block
  WriteProfileToDevice(*hid_, *profile_, 0);
  const auto sent = SentHex();
  ASSERT_EQ(sent.size(), 3u);
  // Ten entries, all code 0 but button 9 (always 13).
  const std::string table = "0a" + std::string(9 * 8, '0') + "0d000000" + std::string(6 * 8, '0');
  EXPECT_EQ(sent[1], HexPadded("04 02 90 00 41 00 FA FA" + table, 1024));
  EXPECT_EQ(sent[0], kOpenBracket);
  EXPECT_EQ(sent[2], kCloseBracket);
}

TEST_F(PayloadTest, OnboardProfileOneUsesItsOwnAddresses) {
  AddMacro(ClickMacro());
  SetMacroButton(0, 0, ClickMacro());
  WriteProfileToDevice(*hid_, *profile_, 1);
  const auto sent = SentHex();
  ASSERT_EQ(sent.size(), 4u);
  EXPECT_EQ(sent[1].substr(0, 16), "0402900941" "00fafa");  // 2448 = 0x990
  EXPECT_EQ(sent[2].substr(0, 16), "0302d10909" "00fafa");  // 2513 = 0x9D1, 9 bytes
}

TEST_F(PayloadTest, ClickMacroBlockAndItsButtonEntry) {
  AddMacro(ClickMacro());
  SetMacroButton(0, 0, ClickMacro());
  WriteProfileToDevice(*hid_, *profile_, 0);
  const auto sent = SentHex();
  ASSERT_EQ(sent.size(), 4u);
  EXPECT_EQ(sent[2], HexPadded("03 02 D1 00 09 00 FA FA 81 01 01 06 02 00 01 01 01", 64));
  // Entry 0: code 17, slot 0, length 9.
  EXPECT_EQ(sent[1].substr(16, 10), "0a11000900");
}

TEST_F(PayloadTest, LoopCountAddsTheMarkerAndCountsInTheButtonLength) {
  AddMacro(ClickMacro(3));
  SetMacroButton(0, 0, ClickMacro(3));
  WriteProfileToDevice(*hid_, *profile_, 0);
  const auto sent = SentHex();
  ASSERT_EQ(sent.size(), 4u);
  EXPECT_EQ(sent[2], HexPadded("03 02 D1 00 0C 00 FA FA 81 01 01 06 02 00 01 01 01 07 03 00", 64));
  EXPECT_EQ(sent[1].substr(16, 10), "0a11000c00");
}

TEST_F(PayloadTest, DefaultProfileAssignments) {
  TDM dm;
  TkwStream stream;
  dm.kwProfileGame1RestoreToDefault(stream);
  ASSERT_GE(stream.Size(), sizeof(TMouseProfileInfo));
  std::memcpy(profile_.get(), stream.Memory(), sizeof *profile_);
  WriteProfileToDevice(*hid_, *profile_, 0);
  const auto sent = SentHex();
  ASSERT_GE(sent.size(), 3u);
  const std::string& t = sent[1];
  ASSERT_EQ(t.substr(0, 16), "04029000410" "0fafa");
  const auto entry = [&](int i) { return t.substr(18 + 8 * static_cast<std::size_t>(i), 8); };
  EXPECT_EQ(t.substr(16, 2), "0a");
  EXPECT_EQ(entry(0), "01000000");
  EXPECT_EQ(entry(1), "02000000");
  EXPECT_EQ(entry(2), "03000000");
  EXPECT_EQ(entry(3), "1000e000");  // left Ctrl as a single key
  EXPECT_EQ(entry(9), "0d000000");
}

TEST_F(PayloadTest, RecordToggleOnSlotSevenLandsInEntryEight) {
  AddMacro(ClickMacro());
  Button(7).DeviceCode = 19;
  Button(7).ReportMask[0] = 0x80;
  WriteProfileToDevice(*hid_, *profile_, 0);
  const auto sent = SentHex();
  ASSERT_GE(sent.size(), 2u);
  EXPECT_EQ(sent[1].substr(18 + 8 * 8, 8), "13800000");
  EXPECT_EQ(sent[1].substr(18 + 7 * 8, 8), "00000000");
}

// The mouse orders buttons 4/5 and 7/8 the other way round from the profile.
TEST_F(PayloadTest, ButtonsFourFiveAndSevenEightChangePlaces) {
  const std::pair<int, int> moves[] = {{4, 5}, {5, 4}, {7, 8}, {8, 7}, {3, 3}, {6, 6}};
  for (auto [slot, entry] : moves) {
    std::memset(profile_.get(), 0, sizeof *profile_);
    bus_.ClearSent();
    AddMacro(ClickMacro());
    Button(slot).DeviceCode = 12;
    Button(slot).DeviceParam = 0x42;
    WriteProfileToDevice(*hid_, *profile_, 0);
    const auto sent = SentHex();
    ASSERT_GE(sent.size(), 2u);
    for (int i = 0; i < 9; ++i) {
      EXPECT_EQ(sent[1].substr(18 + 8 * static_cast<std::size_t>(i), 8), i == entry ? "0c420000" : "00000000")
          << "slot " << slot << ", entry " << i;
    }
  }
}

// Button 9 is no macro button on the mouse: its macro is not sent.
TEST_F(PayloadTest, ButtonNineCarriesNoMacro) {
  AddMacro(ClickMacro());
  SetMacroButton(9, 0, ClickMacro());
  WriteProfileToDevice(*hid_, *profile_, 0);
  const auto sent = SentHex();
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(sent[1].substr(18 + 9 * 8, 8), "0d000000");
}

TEST_F(PayloadTest, WriteLeavesTheProfileUnchanged) {
  AddMacro(ClickMacro());
  SetMacroButton(4, 0, ClickMacro());
  Button(7).DeviceCode = 19;
  profile_->ConfigInfo.ButtonCount = 7;
  auto before = std::make_unique<TMouseProfileInfo>(*profile_);
  WriteProfileToDevice(*hid_, *profile_, 0);
  EXPECT_EQ(std::memcmp(before.get(), profile_.get(), sizeof *profile_), 0);
}

struct EntryCase {
  const char* name;
  std::function<void(TBUTTONFUNCINFO&)> set;
  std::array<std::uint8_t, 4> expected;
};

TEST_F(PayloadTest, ButtonEntryParametersByDeviceCode) {
  const std::vector<EntryCase> cases = {
      {"plain code", [](auto& b) { b.DeviceCode = 1; }, {1, 0, 0, 0}},
      {"code 11", [](auto& b) { b.DeviceCode = 11; b.DeviceParam = 200; }, {11, 200, 0, 0}},
      {"code 12", [](auto& b) { b.DeviceCode = 12; b.DeviceParam = 3; }, {12, 3, 0, 0}},
      {"code 14", [](auto& b) { b.DeviceCode = 14; b.DeviceValue1 = 5; b.DeviceValue2 = 255; }, {14, 0, 5, 255}},
      {"Ctrl+C", [](auto& b) { b.DeviceCode = 15; b.ComboKey.nModifier = 2; b.ComboKey.nKeyValue1 = 0x43; },
       {0x0F, 0x01, 0x06, 0x00}},
      {"Alt+Shift+A,B",
       [](auto& b) {
         b.DeviceCode = 15;
         b.ComboKey.nModifier = 1 | 4;
         b.ComboKey.nKeyValue1 = 0x41;
         b.ComboKey.nKeyValue2 = 0x42;
       },
       {0x0F, 0x06, 0x04, 0x05}},
      {"left Ctrl key", [](auto& b) { b.DeviceCode = 16; b.SingleKey = 0xA2; }, {0x10, 0x00, 0xE0, 0x00}},
      {"code 18", [](auto& b) { b.DeviceCode = 18; b.DeviceWord1 = 7; b.DeviceWord2 = 0x1234; }, {18, 7, 0x34, 0x12}},
      {"code 19",
       [](auto& b) {
         b.DeviceCode = 19;
         b.ReportMask[0] = 1;
         b.ReportMask[1] = 2;
         b.ReportMask[2] = 4;
       },
       {19, 1, 2, 4}},
      {"other code ignores fields", [](auto& b) { b.DeviceCode = 13; b.DeviceParam = 9; b.DeviceValue1 = 9; }, {13, 0, 0, 0}},
      {"code 17 of a button that is not class 4", [](auto& b) { b.DeviceCode = 17; b.MacroInfo = ClickMacro(); },
       {17, 0, 9, 0}},
  };
  for (const auto& c : cases) {
    std::memset(profile_.get(), 0, sizeof *profile_);
    profile_->ConfigInfo.ButtonCount = 1;
    c.set(Button(0));
    TDEVICEBUTTONTABLE t;
    EncodeButtonTable(*profile_, t);
    EXPECT_EQ(t.ButtonCount, 1) << c.name;
    EXPECT_EQ(Entry(t, 0), c.expected) << c.name;
  }
}

TEST_F(PayloadTest, DelayRounding) {
  const std::pair<std::uint16_t, std::uint16_t> cases[] = {{0, 1},   {4, 1},   {5, 1},     {6, 1},   {14, 1},
                                                           {15, 2},  {25, 2},  {35, 4},    {45, 4},  {1000, 100},
                                                           {1005, 100}, {1015, 102}, {65535, 6554}};
  for (auto [ms, units] : cases) {
    EXPECT_EQ(DelayToDeviceUnits(ms), units) << ms << " ms";
    const auto bytes = EncodeMacroAction(kActionDelay, 0, static_cast<std::uint8_t>(ms & 0xFF),
                                         static_cast<std::uint8_t>(ms >> 8));
    EXPECT_EQ(bytes, (std::array<std::uint8_t, 3>{6, static_cast<std::uint8_t>(units & 0xFF),
                                                  static_cast<std::uint8_t>(units >> 8)}))
        << ms << " ms";
  }
}

TEST_F(PayloadTest, MacroActionBytes) {
  struct Case {
    std::uint16_t kind, state;
    std::uint8_t v1, v2;
    std::array<std::uint8_t, 3> expected;
  };
  const Case cases[] = {
      {kActionMouse, 1, 1, 1, {0x81, 1, 1}},    {kActionMouse, 0, 2, 2, {0x01, 2, 2}},
      {kActionWheel, 1, 0x88, 0, {0x83, 0x88, 0}}, {kActionPressCode, 0, 9, 8, {0x05, 9, 8}},
      {kActionKey, 1, 0x43, 0, {0x84, 0x06, 0}},  {kActionKey, 0, 0xA2, 0, {0x04, 0xE0, 0}},
      {kActionMouse, 2, 1, 1, {0, 0, 0}},       {kActionDelay, 3, 25, 0, {0, 0, 0}},
      {kActionDelay, 1, 25, 0, {6, 2, 0}},      {127, 1, 1, 2, {0xFF, 1, 2}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(EncodeMacroAction(c.kind, c.state, c.v1, c.v2), c.expected) << c.kind << "/" << c.state;
  }
}

TEST_F(PayloadTest, StateTwoActionEncodesAsZerosButCounts) {
  AddMacro(Macro({Act(kActionMouse, 1, 1, 1), Act(kActionMouse, 2, 1, 1), Act(kActionMouse, 0, 1, 1)}));
  SetMacroButton(0, 0, profile_->MacroKeyInfoList.MacroInfos[0]);
  profile_->ConfigInfo.ButtonCount = 10;
  TDEVICEMACROBUFFER m;
  EncodeMacroBlocks(*profile_, m);
  EXPECT_EQ(m.Lengths[0], 9u);
  EXPECT_EQ(Hex({m.Blocks[0], m.Blocks[0] + 9}), "810101000000010101");
}

TEST_F(PayloadTest, MacroSlotsFollowButtonOrder) {
  AddMacro(Macro({Act(kActionMouse, 1, 1, 1)}, 0, 0));
  AddMacro(Macro({Act(kActionMouse, 1, 2, 2)}, 0, 3));
  SetMacroButton(1, 3, profile_->MacroKeyInfoList.MacroInfos[1]);
  SetMacroButton(2, 0, profile_->MacroKeyInfoList.MacroInfos[0]);
  SetMacroButton(3, 3, profile_->MacroKeyInfoList.MacroInfos[1]);  // already has a slot
  EXPECT_EQ(BuildMacroSlotList(*profile_, 10), (std::vector<std::uint16_t>{3, 0}));
  WriteProfileToDevice(*hid_, *profile_, 0);
  const auto sent = SentHex();
  ASSERT_EQ(sent.size(), 5u);
  EXPECT_EQ(sent[2], HexPadded("02 02 D1 00 03 00 FA FA 81 02 02", 16));  // macro 3 in slot 0
  EXPECT_EQ(sent[3], HexPadded("02 02 51 02 03 00 FA FA 81 01 01", 16));  // macro 0 in slot 1 (0x251)
  EXPECT_EQ(sent[1].substr(26, 24), "110003001101030011000300");
}

TEST_F(PayloadTest, DuplicateMacroIndexesTakeTheLastOnesLength) {
  AddMacro(Macro({Act(kActionMouse, 1, 1, 1), Act(kActionMouse, 0, 1, 1)}, 0, 2));
  AddMacro(Macro({Act(kActionMouse, 1, 3, 3)}, 0, 2));
  SetMacroButton(0, 2, profile_->MacroKeyInfoList.MacroInfos[1]);
  TDEVICEMACROBUFFER m;
  EncodeMacroBlocks(*profile_, m);
  EXPECT_EQ(m.Lengths[0], 3u);
  EXPECT_EQ(Hex({m.Blocks[0], m.Blocks[0] + 3}), "810303");
}

TEST_F(PayloadTest, ReportSizeTable) {
  const std::pair<std::uint32_t, TReportFrame> cases[] = {
      {8, {2, 16}},      {16, {2, 16}},     {17, {3, 64}},     {64, {3, 64}},  {65, {4, 1024}},
      {1024, {4, 1024}}, {1025, {5, 2048}}, {2048, {5, 2048}}, {2049, {6, 4096}}, {4096, {6, 4096}}};
  for (auto [size, frame] : cases) {
    const auto f = ReportFrameForSize(size);
    EXPECT_EQ(f.ReportID, frame.ReportID) << size;
    EXPECT_EQ(f.Length, frame.Length) << size;
  }
  EXPECT_EQ(ReportFrameForSize(4097).Length, 0);
}

TEST_F(PayloadTest, CommandPayloadLengthRules) {
  TDeviceCommand c;
  c.P = {1, 2, 3, 4, 5, 6};
  c.Command = 2;
  EXPECT_EQ(CommandPayloadLength(c), 0x0403u);
  c.Command = 3;
  EXPECT_EQ(CommandPayloadLength(c), 0x0403u);
  c.Command = 0;
  EXPECT_EQ(CommandPayloadLength(c), 2u);
  c.Command = 6;
  EXPECT_EQ(CommandPayloadLength(c), 0u);
  // A payload shorter than declared is padded, never read past.
  c.Command = 0;
  c.P[1] = 20;
  c.Payload = {0xAA};
  EXPECT_EQ(Hex(FrameDeviceCommand(c)), HexPadded("03 00 01 14 03 04 05 06 AA", 64));
}

// ---- data that does not fit the formats: left out, with a debug line ----

TEST_F(PayloadTest, ButtonEntriesThatDoNotFitAreLeftOut) {
  const std::pair<const char*, std::function<void(TBUTTONFUNCINFO&)>> cases[] = {
      {"device code", [](auto& b) { b.DeviceCode = 300; }},
      {"device code", [](auto& b) { b.DeviceCode = -1; }},
      {"DeviceParam", [](auto& b) { b.DeviceCode = 11; b.DeviceParam = 256; }},
      {"DeviceParam", [](auto& b) { b.DeviceCode = 12; b.DeviceParam = -5; }},
      {"DeviceValue1", [](auto& b) { b.DeviceCode = 14; b.DeviceValue1 = 256; }},
      {"DeviceValue2", [](auto& b) { b.DeviceCode = 14; b.DeviceValue2 = 1000; }},
      {"DeviceWord1", [](auto& b) { b.DeviceCode = 18; b.DeviceWord1 = 256; }},
      {"HID usage of the key",
       [](auto& b) {
         b.DeviceCode = 16;
         std::tie(b.SingleKey, b.SingleKeyExtended) = WideUsageKey();
       }},
      {"HID usage of key 2",
       [](auto& b) {
         b.DeviceCode = 15;
         b.ComboKey.nKeyValue1 = 0x43;
         std::tie(b.ComboKey.nKeyValue2, b.ComboKey.nKey2Extended) = WideUsageKey();
       }},
  };
  for (const auto& [field, set] : cases) {
    test::DebugLines debug;
    std::memset(profile_.get(), 0, sizeof *profile_);
    profile_->ConfigInfo.ButtonCount = 2;
    Button(0).DeviceCode = 1;
    set(Button(1));
    TDEVICEBUTTONTABLE t;
    EncodeButtonTable(*profile_, t);
    EXPECT_EQ(Entry(t, 0), (std::array<std::uint8_t, 4>{1, 0, 0, 0})) << field;
    EXPECT_EQ(Entry(t, 1), (std::array<std::uint8_t, 4>{0, 0, 0, 0})) << field;
    EXPECT_TRUE(debug.Contains("button 1 (" + std::string(field))) << field << "\n" << debug.All();
    EXPECT_TRUE(debug.Contains("left out")) << field;
  }
}

TEST_F(PayloadTest, ButtonCountAboveTheRecordsIsCut) {
  profile_->ConfigInfo.ButtonCount = 40;
  for (int i = 0; i < kButtonCount; ++i) Button(i).DeviceCode = i + 1;
  TDEVICEBUTTONTABLE t;
  EncodeButtonTable(*profile_, t);
  EXPECT_EQ(t.ButtonCount, 15);
  EXPECT_EQ(Entry(t, 14)[0], 15);
  EXPECT_EQ(Entry(t, 15), (std::array<std::uint8_t, 4>{0, 0, 0, 0}));
  EXPECT_TRUE(debug_.Contains("buttons 15 to 39 left out")) << debug_.All();

  profile_->ConfigInfo.ButtonCount = -3;
  EncodeButtonTable(*profile_, t);
  EXPECT_EQ(t.ButtonCount, 0);
}

TEST_F(PayloadTest, SixthMacroIndexGetsNoSlot) {
  for (int i = 0; i < 6; ++i) {
    AddMacro(Macro({Act(kActionMouse, 1, static_cast<std::uint8_t>(i), 0)}, 0, static_cast<std::uint16_t>(10 + i)));
    SetMacroButton(i, static_cast<std::uint16_t>(10 + i), profile_->MacroKeyInfoList.MacroInfos[i]);
  }
  profile_->ConfigInfo.ButtonCount = 10;
  TDEVICEBUTTONTABLE t;
  EncodeButtonTable(*profile_, t);
  TDEVICEMACROBUFFER m;
  EncodeMacroBlocks(*profile_, m);
  for (int s = 0; s < 5; ++s) {
    EXPECT_EQ(Entry(t, s), (std::array<std::uint8_t, 4>{17, static_cast<std::uint8_t>(s), 3, 0}));
    EXPECT_EQ(m.Lengths[s], 3u);
    EXPECT_EQ(m.Blocks[s][1], s);
  }
  EXPECT_EQ(Entry(t, 5), (std::array<std::uint8_t, 4>{0, 0, 0, 0}));
  EXPECT_TRUE(debug_.Contains("macro 15 of button 5 left out: the mouse holds five macros")) << debug_.All();
  EXPECT_TRUE(debug_.Contains("button 5 (macro 15) left out")) << debug_.All();
}

TEST_F(PayloadTest, FullMacroKeepsItsActionsAndLeavesOutTheLoopMarker) {
  TMACROKEYINFO m{};
  for (int k = 0; k < kMaxMacroActions; ++k) m.MacroList[k] = Act(kActionMouse, k % 2 ? 0 : 1, 1, 1);
  m.MacroListCount = kMaxMacroActions;
  m.nLoopCount = 5;
  AddMacro(m);
  SetMacroButton(0, 0, m);
  TDEVICEMACROBUFFER b;
  EncodeMacroBlocks(*profile_, b);
  EXPECT_EQ(b.Lengths[0], 384u);
  EXPECT_EQ(b.Blocks[0][383 - 2], 0x01);  // the last action, not a marker
  TDEVICEBUTTONTABLE t;
  profile_->ConfigInfo.ButtonCount = 1;
  EncodeButtonTable(*profile_, t);
  EXPECT_EQ(Entry(t, 0), (std::array<std::uint8_t, 4>{17, 0, 0x80, 0x01}));  // 384 bytes
  EXPECT_TRUE(debug_.Contains("macro 0 loop count 5 left out")) << debug_.All();
}

TEST_F(PayloadTest, ActionsThatDoNotFitAreLeftOutOfTheBlock) {
  const auto [vk, ext] = WideUsageKey();
  AddMacro(Macro({Act(kActionMouse, 1, 1, 1), Act(200, 1, 1, 1), Act(kActionKey, 1, vk, ext), Act(300, 0, 0, 0),
                  Act(kActionMouse, 0, 1, 1)}));
  SetMacroButton(0, 0, profile_->MacroKeyInfoList.MacroInfos[0]);
  profile_->ConfigInfo.ButtonCount = 1;
  TDEVICEMACROBUFFER b;
  EncodeMacroBlocks(*profile_, b);
  EXPECT_EQ(b.Lengths[0], 6u);
  EXPECT_EQ(Hex({b.Blocks[0], b.Blocks[0] + 6}), "810101010101");
  TDEVICEBUTTONTABLE t;
  EncodeButtonTable(*profile_, t);
  EXPECT_EQ(Entry(t, 0), (std::array<std::uint8_t, 4>{17, 0, 6, 0}));  // agrees with the block
  EXPECT_TRUE(debug_.Contains("macro 0 action 1 (kind 200 pressed) left out")) << debug_.All();
  EXPECT_TRUE(debug_.Contains("macro 0 action 2 (key")) << debug_.All();
  EXPECT_TRUE(debug_.Contains("macro 0 action 3 (kind 300)")) << debug_.All();
}

TEST_F(PayloadTest, ActionCountOutsideTheRecordIsBounded) {
  TMACROKEYINFO m = ClickMacro();
  m.MacroListCount = 100000;
  AddMacro(m);
  SetMacroButton(0, 0, m);
  TDEVICEMACROBUFFER b;
  EncodeMacroBlocks(*profile_, b);
  EXPECT_EQ(b.Lengths[0], 384u);
  EXPECT_TRUE(debug_.Contains("actions 129 to 100000 left out")) << debug_.All();

  m.MacroListCount = -4;
  profile_->MacroKeyInfoList.MacroInfos[0] = m;
  EncodeMacroBlocks(*profile_, b);
  EXPECT_EQ(b.Lengths[0], 0u);
}

TEST_F(PayloadTest, MacroCountAboveTheListIsCut) {
  for (int i = 0; i < kMaxMacros; ++i) AddMacro(Macro({Act(kActionMouse, 1, 1, 1)}, 0, static_cast<std::uint16_t>(i)));
  profile_->MacroKeyInfoList.nMacroInfoCount = 500;
  SetMacroButton(0, 20, profile_->MacroKeyInfoList.MacroInfos[20]);
  TDEVICEMACROBUFFER b;
  EncodeMacroBlocks(*profile_, b);
  EXPECT_EQ(b.Lengths[0], 3u);
  EXPECT_TRUE(debug_.Contains("macros 21 to 499 left out")) << debug_.All();
}

TEST_F(PayloadTest, OversizedMemoryWritesAreNotSent) {
  std::vector<std::uint8_t> data(4000, 0x55);
  WriteDeviceMemory(*hid_, data.data(), 2049, 0);
  WriteDeviceMemory(*hid_, data.data(), 0, 0);
  EXPECT_TRUE(bus_.Sent().empty());
  EXPECT_TRUE(debug_.Contains("memory write of 2049 bytes at 0 left out")) << debug_.All();
  WriteDeviceMemory(*hid_, data.data(), 2048, 0x10);
  ASSERT_EQ(bus_.Sent().size(), 1u);
  EXPECT_EQ(bus_.Sent()[0].Bytes.size(), 4096u);  // 2048 + 8 bytes travel in report 6

  TDeviceCommand big;
  big.Command = 2;
  big.P = {0, 0, 0xFF, 0xFF, 0xFA, 0xFA};
  EXPECT_EQ(SendDeviceCommand(*hid_, big), kErrInvalidParameter);
  EXPECT_EQ(bus_.Sent().size(), 1u);
}

TEST_F(PayloadTest, WriteWithoutAMouseCompletesSilently) {
  bus_.Unplug(mouse_);
  AddMacro(ClickMacro());
  SetMacroButton(0, 0, ClickMacro());
  WriteProfileToDevice(*hid_, *profile_, 0);
  EXPECT_TRUE(bus_.Sent().empty());
}

TEST_F(PayloadTest, MainThreadWorkRunsBetweenTheWrites) {
  AddMacro(ClickMacro());
  SetMacroButton(0, 0, ClickMacro());
  // A call queued for the main thread is handled in the middle of the write.
  StopSignal never;
  std::size_t sentWhenHandled = 0;
  std::thread worker([&] { main_.Invoke([&] { sentWhenHandled = bus_.Sent().size(); }, never); });
  while (main_.Pending() == 0) std::this_thread::yield();
  WriteProfileToDevice(*hid_, *profile_, 0);
  worker.join();
  EXPECT_EQ(sentWhenHandled, 2u);  // after the bracket and the button table
}

}  // namespace
}  // namespace vx
