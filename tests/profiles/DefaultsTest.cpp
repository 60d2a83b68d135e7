// Bytes of every default, built here from the stored layout's offsets.
#include <gtest/gtest.h>

#include <memory>

#include "platform/Files.h"
#include "profiles/DMUnit.h"
#include "StoreFixture.h"

namespace vx {
namespace {

using test::Put16;
using test::Put32;
using test::PutText;

constexpr std::size_t kCfg = 872;
constexpr std::size_t Btn(int i) { return kCfg + 3772 * static_cast<std::size_t>(i); }
constexpr std::size_t kMacros = 86592;

void PutDouble(std::vector<std::uint8_t>& v, std::size_t off, double d) {
  std::memcpy(v.data() + off, &d, 8);
}

// The default macro as its 892 bytes.
std::vector<std::uint8_t> DefaultMacro(std::u16string_view name) {
  std::vector<std::uint8_t> m(892, 0);
  const std::uint8_t actions[7][6] = {{1, 0, 1, 0, 1, 1}, {6, 0, 0, 0, 6, 0},  {1, 0, 0, 0, 1, 1},
                                      {6, 0, 0, 0, 15, 0}, {1, 0, 1, 0, 1, 1}, {6, 0, 0, 0, 6, 0},
                                      {1, 0, 0, 0, 1, 1}};
  for (int j = 0; j < 7; ++j) std::memcpy(m.data() + 6 * j, actions[j], 6);
  Put32(m, 768, 7);
  Put16(m, 772, 1);
  PutText(m, 780, name);
  return m;
}

void PutButton(std::vector<std::uint8_t>& v, int i, int type, int cls, int code, int id) {
  Put16(v, Btn(i) + 3752, static_cast<std::uint16_t>(i));
  Put16(v, Btn(i) + 3754, static_cast<std::uint16_t>(type));
  v[Btn(i) + 3756] = static_cast<std::uint8_t>(cls);
  Put32(v, Btn(i) + 3760, static_cast<std::uint32_t>(code));
  Put32(v, Btn(i) + 3764, static_cast<std::uint32_t>(id));
}

void PutConfigDefaults(std::vector<std::uint8_t>& v) {
  Put16(v, kCfg + 71672, 3);
  Put16(v, kCfg + 71676, 550);
  Put16(v, kCfg + 71678, 10);
  Put16(v, kCfg + 71680, 0);
  Put16(v, kCfg + 71684, 125);
  Put32(v, kCfg + 71688, 1);
  for (int i = 0; i < 4; ++i) Put16(v, kCfg + 71700 + 2 * static_cast<std::size_t>(i), 1);
  const std::uint16_t levels[4] = {1000, 2000, 4000, 8200};
  for (int i = 0; i < 10; ++i) {
    const std::size_t o = kCfg + 71724 + 6 * static_cast<std::size_t>(i);
    Put16(v, o, i < 4 ? levels[i] : 0);
    Put16(v, o + 2, i < 4 ? levels[i] : 0);
    Put16(v, o + 4, i < 4 ? 1 : 0);
  }
  Put16(v, kCfg + 71790, 4);
  v[kCfg + 82054] = 255;
  v[kCfg + 82055] = 0;
  v[kCfg + 82056] = 0;
  v[kCfg + 82057] = 2;
  v[kCfg + 82058] = 2;
}

std::vector<std::uint8_t> ExpectedProfileDefault(std::u16string_view name) {
  std::vector<std::uint8_t> v(109816, 0);
  Put32(v, 0, 259);
  PutDouble(v, 64, test::kFixedNow);
  Put32(v, kCfg + 82064, 7);
  const auto macro = DefaultMacro(name);
  std::copy(macro.begin(), macro.end(), v.begin() + kMacros);
  Put16(v, kMacros + 18732, 1);
  const int rows[9][4] = {{0, 1, 1, 1},  {1, 1, 2, 2},    {2, 1, 3, 3},   {5, 8, 16, 6}, {5, 8, 16, 6},
                          {5, 8, 16, 6}, {31, 4, 17, 13}, {32, 11, 19, 14}, {30, 0, 8, 12}};
  for (int i = 0; i < 9; ++i) PutButton(v, i, rows[i][0], rows[i][1], rows[i][2], rows[i][3]);
  Put16(v, Btn(3) + 2, 162);
  Put16(v, Btn(4) + 2, 160);
  Put16(v, Btn(5) + 2, 164);
  std::copy(macro.begin(), macro.end(), v.begin() + Btn(6) + 24);
  v[Btn(7) + 3748] = 0x80;
  PutConfigDefaults(v);
  return v;
}

class DefaultsTest : public test::StoreTest {
 protected:
  void SetUp() override {
    StoreTest::SetUp();
    dm = std::make_unique<TDM>();
  }
  void TearDown() override {
    SetProfileTextTranslator(nullptr);
    StoreTest::TearDown();
  }
  std::unique_ptr<TDM> dm;
};

TEST_F(DefaultsTest, ProfileDefaultOnAllZeroImage) {
  TkwStream s;
  s.SetSize(109816);
  dm->kwProfileGame1RestoreToDefault(s);
  const auto expected = ExpectedProfileDefault(u"User Recorded");
  EXPECT_EQ(test::FirstDiff(s.Bytes, expected), std::string::npos);
}

TEST_F(DefaultsTest, DefaultMacroNameIsTranslatedAndCut) {
  SetProfileTextTranslator([](WView t) {
    WStr r(u"[");
    r.append(t);
    r.push_back(u']');
    return r;
  });
  TkwStream s;
  s.SetSize(109816);
  dm->kwProfileGame1RestoreToDefault(s);
  EXPECT_EQ(test::FirstDiff(s.Bytes, ExpectedProfileDefault(u"[User Recorded]")), std::string::npos);

  // A translation longer than the field keeps 49 units and the terminator.
  SetProfileTextTranslator([](WView) { return WStr(60, u'x'); });
  s.SetSize(0);
  s.SetSize(109816);
  dm->kwProfileGame1RestoreToDefault(s);
  EXPECT_EQ(test::FirstDiff(s.Bytes, ExpectedProfileDefault(WStr(49, u'x'))), std::string::npos);
}

TEST_F(DefaultsTest, ProfileDefaultKeepsWhatItDoesNotOwn) {
  std::vector<std::uint8_t> loaded(109816);
  for (std::size_t i = 0; i < loaded.size(); ++i) loaded[i] = static_cast<std::uint8_t>(i * 31 + 7);
  TkwStream s;
  s.Bytes = loaded;
  dm->kwProfileGame1RestoreToDefault(s);
  const auto& out = s.Bytes;
  auto same = [&](std::size_t from, std::size_t to) {
    return std::equal(out.begin() + static_cast<std::ptrdiff_t>(from), out.begin() + static_cast<std::ptrdiff_t>(to),
                      loaded.begin() + static_cast<std::ptrdiff_t>(from));
  };
  EXPECT_TRUE(same(Btn(10), Btn(15))) << "buttons 10..14";
  EXPECT_TRUE(same(Btn(15), kCfg + 71668)) << "wheel assignments";
  EXPECT_TRUE(same(72, 872)) << "function list";
  EXPECT_TRUE(same(84992, 86592)) << "wheel function lists";
  EXPECT_TRUE(same(kMacros + 892, kMacros + 18732)) << "macros 1..20";
  EXPECT_TRUE(same(105328, 109816)) << "device macros and OtherConfig";
  EXPECT_TRUE(same(4, 64)) << "other header fields";
  EXPECT_EQ(test::U16At(out.data(), kMacros + 18732), 1);
  // Button 9: first 3752 bytes cleared, the rest as loaded.
  EXPECT_TRUE(std::all_of(out.begin() + Btn(9), out.begin() + Btn(9) + 3752, [](auto b) { return b == 0; }));
  EXPECT_TRUE(same(Btn(9) + 3752, Btn(10)));
  // Untouched spare CPI level and flags.
  EXPECT_TRUE(same(kCfg + 71724 + 60, kCfg + 71790));
  EXPECT_TRUE(same(kCfg + 71700 + 8, kCfg + 71722));
  EXPECT_EQ(out[kCfg + 82059], loaded[kCfg + 82059]);  // BREATH_SECOND
  // Button 8's own fields are the default's.
  EXPECT_EQ(test::U16At(out.data(), Btn(8) + 3754), 30);
}

TEST_F(DefaultsTest, TwoSlotsDifferOnlyInCreationTime) {
  TkwStream a, b;
  a.SetSize(109816);
  b.SetSize(109816);
  dm->kwProfileGame1RestoreToDefault(a);
  SetNowSource([] { return 46001.25; });
  dm->kwProfileGame1RestoreToDefault(b);
  EXPECT_NE(a.Bytes, b.Bytes);
  std::fill(a.Bytes.begin() + 64, a.Bytes.begin() + 72, 0);
  std::fill(b.Bytes.begin() + 64, b.Bytes.begin() + 72, 0);
  EXPECT_EQ(a.Bytes, b.Bytes);
}

TEST_F(DefaultsTest, ShortStreamsAreGrownBeforeTheHandlersWrite) {
  TkwStream s;
  s.Bytes.assign(100, 0);
  dm->kwProfileGame1RestoreToDefault(s);
  EXPECT_EQ(s.Size(), 109816u);
  EXPECT_EQ(test::FirstDiff(s.Bytes, ExpectedProfileDefault(u"User Recorded")), std::string::npos);
  TkwStream g;
  dm->kwProfileAllSettingInfoRestoreToDefault(g);
  EXPECT_EQ(g.Size(), 30954u);
}

TEST_F(DefaultsTest, TestDefault) {
  TkwStream s;
  s.Bytes.assign(109816, 0x5A);
  dm->kwProfileTestRestoreToDefault(s);
  std::vector<std::uint8_t> v(109816, 0);
  Put32(v, 0, 259);
  PutDouble(v, 64, test::kFixedNow);
  Put32(v, kCfg + 82064, 10);
  const int codes[5] = {1, 2, 3, 5, 4};
  for (int i = 0; i < 5; ++i) PutButton(v, i, i, 1, codes[i], 0);
  const std::uint32_t masks[5] = {0x20, 0x40, 0x80, 0x100, 0x200};
  for (int i = 5; i < 10; ++i) {
    PutButton(v, i, 14, 11, 19, 0);
    const std::uint32_t m = masks[i - 5];
    v[Btn(i) + 3748] = static_cast<std::uint8_t>(m);
    v[Btn(i) + 3749] = static_cast<std::uint8_t>(m >> 8);
    v[Btn(i) + 3750] = static_cast<std::uint8_t>(m >> 16);
  }
  PutConfigDefaults(v);
  EXPECT_EQ(test::FirstDiff(s.Bytes, v), std::string::npos);

  TkwStream empty;
  dm->kwProfileTestRestoreToDefault(empty);
  EXPECT_EQ(empty.Size(), 0u);
}

TEST_F(DefaultsTest, GroupDefaultNamesSlotsAndCreatesFolders) {
  TkwStream s;
  s.Bytes.assign(30964, 0);
  dm->kwProfileSettingGroupRestoreToDefault(s);
  const WStr folder = test::W(dir.path() / "Documents") + u"\\Gaming Mouse Vantor";
  std::vector<std::uint8_t> v(30964, 0);
  Put32(v, 8, 1);  // ProfileIndexOfProfileGroup = [0, 1]
  for (int i = 0; i < 5; ++i) {
    const std::size_t d = 12 + 6190 * static_cast<std::size_t>(i);
    const WStr n = IntToWStr(i + 1);
    PutText(v, d + 2, folder);
    PutText(v, d + 2050, u"software\\Vantorgmmouse");
    PutText(v, d + 4098, u"QZ3Profile" + n + u".pfd");
    PutText(v, d + 4140, folder + u"\\QZ3Profile" + n + u"_Macros");
    EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "Documents" / "Gaming Mouse Vantor" /
                                              ("QZ3Profile" + std::to_string(i + 1) + "_Macros")));
  }
  EXPECT_EQ(test::FirstDiff(s.Bytes, v), std::string::npos);
}

TEST_F(DefaultsTest, GroupDefaultKeepsUnitsAfterTerminators) {
  TkwStream s;
  s.Bytes.assign(30964, 0x77);
  dm->kwProfileSettingGroupRestoreToDefault(s);
  const std::size_t name = 12 + 4098;
  EXPECT_EQ(test::U16At(s.Bytes.data(), name + 2 * 15), 0);  // after "QZ3Profile1.pfd"
  EXPECT_EQ(s.Bytes[name + 2 * 16], 0x77);
  EXPECT_EQ(s.Bytes[12 + 6189], 0x77);  // pad
  EXPECT_EQ(s.Bytes[12 + 6188], 0);     // StorageType
}

TEST_F(DefaultsTest, GroupDefaultWithoutDocumentsFolderRaises) {
  SetDocumentsFolderOverride(test::W(dir.path() / "gone" / "deeper"));
  TkwStream s;
  s.Bytes.assign(30964, 0);
  EXPECT_THROW(dm->kwProfileSettingGroupRestoreToDefault(s), VXError);
}

TEST_F(DefaultsTest, GlobalDefaultAndLanguageIndex) {
  struct Case {
    std::uint16_t lang;
    std::uint8_t index;
  };
  for (const Case c : {Case{0x0804, 1}, Case{0x0404, 2}, Case{0x0409, 0}, Case{0x0C04, 0}, Case{0x0004, 0}}) {
    SetSystemDefaultLangIDSource([c] { return c.lang; });
    TkwStream s;
    s.Bytes.assign(30954, 0x33);
    dm->kwProfileAllSettingInfoRestoreToDefault(s);
    std::vector<std::uint8_t> v(30954, 0x33);
    for (int i = 0; i < 5; ++i) {
      const std::size_t d = 6190 * static_cast<std::size_t>(i);
      Put16(v, d, i == 0 ? 1 : 0);
      Put16(v, d + 2, 0);
      v[d + 6188] = 0;
    }
    Put16(v, 30950, 0);
    v[30952] = c.index;
    EXPECT_EQ(test::FirstDiff(s.Bytes, v), std::string::npos) << std::hex << c.lang;
  }
}

TEST_F(DefaultsTest, CpiAndLightResetsOnTheCurrentProfile) {
  std::memset(&dm->FCurrentProfileInfo, 0x44, sizeof dm->FCurrentProfileInfo);
  const auto before = test::Bytes(dm->FCurrentProfileInfo);
  dm->RestoreToDefaultCPISetting();
  const auto& c = dm->FCurrentProfileInfo.ConfigInfo;
  EXPECT_EQ(c.UseDiffentXY[0], 0);
  EXPECT_EQ(c.UseDiffentXY[3], 0);
  EXPECT_EQ(c.UseDiffentXY[4], 0x4444);
  EXPECT_EQ(c.CPIState[3].CPIX, 8200);
  EXPECT_EQ(c.CPIState[9].LevelFlag, 0);
  EXPECT_EQ(c.CPIState[10].CPIX, 0x4444);
  EXPECT_EQ(c.CurrentCPIIndex, 1);
  EXPECT_EQ(c.CPILevel, 0x4444);  // not part of this reset
  dm->RestoreToDefaultLightAndReportAdvancedSetting();
  EXPECT_EQ(c.ReportRate, 125);
  EXPECT_EQ(c.LEDConfig.R, 255);
  EXPECT_EQ(c.LEDConfig.G, 0);
  EXPECT_EQ(c.LEDConfig.B, 0);
  EXPECT_EQ(c.LEDConfig.BRIGHT_LEVEL, 2);
  EXPECT_EQ(c.LEDConfig.BREATH_SPEED, 2);
  EXPECT_EQ(c.LEDConfig.BREATH_SECOND, 0x44);
  // Only the config block changed.
  const auto after = test::Bytes(dm->FCurrentProfileInfo);
  EXPECT_TRUE(std::equal(after.begin(), after.begin() + kCfg + 71684, before.begin()));
  EXPECT_TRUE(std::equal(after.begin() + kCfg + 82064, after.end(), before.begin() + kCfg + 82064));
}

TEST_F(DefaultsTest, ProfileFolderIsCreatedOnce) {
  const WStr f = TDM::GetProfileFolder();
  EXPECT_EQ(f, test::W(dir.path() / "Documents") + u"\\Gaming Mouse Vantor");
  EXPECT_TRUE(DirectoryExists(f));
  EXPECT_EQ(TDM::GetProfileFolder(), f);
}

}  // namespace
}  // namespace vx
