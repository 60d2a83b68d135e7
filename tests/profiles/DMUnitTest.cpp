#include "profiles/DMUnit.h"

#include <gtest/gtest.h>

#include <fstream>
#include <memory>

#include "platform/Files.h"
#include "StoreFixture.h"

namespace vx {
namespace {

using test::W;

class DMTest : public test::StoreTest {
 protected:
  std::unique_ptr<TDM> Create() {
    auto dm = std::make_unique<TDM>();
    EXPECT_TRUE(dm->DataModuleCreate());
    return dm;
  }
  // A group record as the configuration application could store it.
  std::unique_ptr<TProfileSettingGroup> Group() {
    auto g = std::make_unique<TProfileSettingGroup>();
    std::memset(g.get(), 0, sizeof *g);
    for (int i = 0; i < 5; ++i) {
      WriteFixed(g->ProfileSettingList[i].FileName, DefaultSlotValueName(i));
      WriteFixed(g->ProfileSettingList[i].FilePath, W(dir.path() / "Documents"));
    }
    g->ProfileIndexOfProfileGroup[1] = 1;
    return g;
  }
  std::unique_ptr<TMouseProfileInfo> Profile(std::uint8_t fill) {
    auto p = std::make_unique<TMouseProfileInfo>();
    std::memset(p.get(), fill, sizeof *p);
    return p;
  }
};

TEST_F(DMTest, FirstStartWritesGroupAndGlobalDefaultsOnly) {
  auto dm = Create();
  ASSERT_TRUE(Stored(kGroupValueName));
  EXPECT_EQ(Stored(kGroupValueName)->data.size(), 30964u);
  ASSERT_TRUE(Stored(kAllSettingValueName));
  EXPECT_EQ(Stored(kAllSettingValueName)->data.size(), 30954u);
  for (int i = 0; i < 5; ++i) EXPECT_FALSE(Stored(DefaultSlotValueName(i))) << i;
  EXPECT_FALSE(Stored(kRecordMacroValueName));
  const auto folder = dir.path() / "Documents" / "Gaming Mouse Vantor";
  for (int i = 1; i <= 5; ++i) {
    EXPECT_TRUE(std::filesystem::is_directory(folder / ("QZ3Profile" + std::to_string(i) + "_Macros")));
  }
  EXPECT_EQ(dm->FProfileGroupIndex, 0);
  EXPECT_EQ(dm->FProfileIndex, 0);
  EXPECT_EQ(dm->FCurrentProfileInfo.ProfileHeader.FFileVersion, 259);
  EXPECT_EQ(dm->FCurrentProfileInfo.ConfigInfo.ButtonCount, 7);
  EXPECT_EQ(dm->FProfileSettingGroup.ProfileIndexOfProfileGroup[1], 1);
  EXPECT_EQ(dm->FAllProfileSettingInfo.Allgameset[0].StatusFlag, 1);
  EXPECT_EQ(DeviceUsageAndPage.Usage, 1);
  EXPECT_EQ(DeviceUsageAndPage.UsagePage, 0xFFA0);
  EXPECT_TRUE(boxes.empty());
  ASSERT_EQ(dm->LoadReport.size(), 7u);
  EXPECT_EQ(dm->LoadReport[0].Origin, TDM::TStoreOrigin::DefaultSaved);
  EXPECT_EQ(dm->LoadReport[3].Origin, TDM::TStoreOrigin::DefaultInMemory);

  // A second start finds everything stored and writes nothing.
  const auto group = Stored(kGroupValueName)->data;
  auto again = Create();
  EXPECT_EQ(again->LoadReport[0].Origin, TDM::TStoreOrigin::Stored);
  EXPECT_EQ(again->LoadReport[1].Origin, TDM::TStoreOrigin::Stored);
  EXPECT_EQ(Stored(kGroupValueName)->data, group);
}

TEST_F(DMTest, StoredSlotsAreLoadedAndGroupsSelectSlots) {
  auto g = Group();
  StoreRecord(kGroupValueName, *g);
  for (int i = 0; i < 5; ++i) StoreRecord(DefaultSlotValueName(i), *Profile(static_cast<std::uint8_t>(0x10 + i)));
  auto dm = Create();
  EXPECT_EQ(dm->FCurrentProfileInfo.ConfigInfo.ButtonCount, 0x10101010);
  EXPECT_TRUE(dm->SwitchToProfileGroup(1));
  EXPECT_EQ(dm->FProfileIndex, 1);
  EXPECT_EQ(dm->FCurrentProfileInfo.ConfigInfo.ButtonCount, 0x11111111);
  EXPECT_FALSE(dm->SwitchToProfileGroup(2));
  EXPECT_FALSE(dm->SwitchToProfile(5));
  EXPECT_FALSE(dm->SwitchToProfile(-1));
  EXPECT_EQ(dm->FProfileIndex, 1);
  EXPECT_TRUE(dm->SwitchToProfile(4));
  EXPECT_EQ(dm->FAllProfileSettingInfo.CurrentGame, 4);
  EXPECT_EQ(dm->FCurrentProfileInfo.ConfigInfo.ButtonCount, 0x14141414);
  // In memory only.
  EXPECT_EQ(test::U16At(Stored(kAllSettingValueName)->data.data(), 30950), 0);
}

TEST_F(DMTest, OutOfRangeGroupAndSlotFallBackToSlotZero) {
  struct Case {
    std::int32_t group, slot0, slot1;
    int expectGroup, expectSlot;
  };
  const Case cases[] = {{7, 3, 2, 0, 3}, {-1, 2, 2, 0, 2}, {1, 0, 9, 1, 0}, {0, -4, 1, 0, 0}, {1, 0, 1, 1, 1}};
  for (const auto& c : cases) {
    auto g = Group();
    g->CurrentProfileGroup = c.group;
    g->ProfileIndexOfProfileGroup[0] = c.slot0;
    g->ProfileIndexOfProfileGroup[1] = c.slot1;
    StoreRecord(kGroupValueName, *g);
    auto dm = Create();
    EXPECT_EQ(dm->FProfileGroupIndex, c.expectGroup) << c.group;
    EXPECT_EQ(dm->FProfileIndex, c.expectSlot) << c.group << " " << c.slot0 << " " << c.slot1;
    // Current-slot operations stay in range.
    dm->FProfileIndex = 12;
    EXPECT_TRUE(dm->ReadCurrentProfileInfo());
    dm->SaveBackToCurrentProfileInfo();
    dm->RestoreCurrentProfileInfoToDefault();
    EXPECT_EQ(dm->CurrentSlot(), 0);
    dm->LoadProfileGroupSettingInfoFromRegistry();
    EXPECT_EQ(dm->FProfileIndex, c.expectSlot);
  }
}

TEST_F(DMTest, FileStoredSlotMissingGetsADefaultFile) {
  auto g = Group();
  g->ProfileSettingList[2].StorageType = 1;
  WriteFixed(g->ProfileSettingList[2].FilePath, W(dir.path() / "profiles"));  // created one level deep
  StoreRecord(kGroupValueName, *g);
  auto dm = Create();
  const auto file = dir.path() / "profiles" / "QZ3Profile3.pfd";
  ASSERT_TRUE(std::filesystem::exists(file));
  EXPECT_EQ(std::filesystem::file_size(file), 109816u);
  EXPECT_FALSE(Stored(u"QZ3Profile3.pfd"));
  auto pp = Profile(0);
  TMouseProfileInfo& p = *pp;
  ASSERT_TRUE(dm->ReadProfileInfo(p, 2));
  EXPECT_EQ(p.ConfigInfo.ButtonCount, 7);
  EXPECT_EQ(*ReadWholeFile(W(file)), test::Bytes(p));
  EXPECT_EQ(dm->LoadReport[4].Origin, TDM::TStoreOrigin::DefaultSaved);
}

TEST_F(DMTest, FileStoredSlotIsReadFromItsFile) {
  auto g = Group();
  g->ProfileSettingList[0].StorageType = 1;
  StoreRecord(kGroupValueName, *g);
  auto profile = Profile(0x21);
  const auto bytes = test::Bytes(*profile);
  ASSERT_TRUE(WriteFileAtomic(W(dir.path() / "Documents") + u"\\QZ3Profile1.pfd", bytes));
  auto dm = Create();
  EXPECT_EQ(test::Bytes(dm->FCurrentProfileInfo), bytes);

  // No registry value for a file-stored slot: the stream's content stays.
  EXPECT_FALSE(dm->LoadCurrentProfileInfoFromRegistry());
  EXPECT_EQ(test::Bytes(dm->FCurrentProfileInfo), bytes);

  // Saving to a file without a copy-back writes the old content.
  dm->FCurrentProfileInfo.ConfigInfo.ButtonCount = 3;
  const WStr out = W(dir.path()) + u"\\copy.pfd";
  dm->SaveCurrentProfileInfoToFile(out);
  EXPECT_EQ(*ReadWholeFile(out), bytes);
  dm->SaveCurrentProfileInfoToRegistry();
  EXPECT_EQ(test::U32At(Stored(u"QZ3Profile1.pfd")->data.data(), 872 + 82064), 3u);
}

TEST_F(DMTest, StorageTypeTwoKeepsAnAllZeroProfile) {
  auto g = Group();
  g->ProfileSettingList[0].StorageType = 2;
  StoreRecord(kGroupValueName, *g);
  StoreRecord(u"QZ3Profile1.pfd", *Profile(0x66));
  auto dm = Create();
  const auto bytes = test::Bytes(dm->FCurrentProfileInfo);
  EXPECT_TRUE(std::all_of(bytes.begin(), bytes.end(), [](auto b) { return b == 0; }));
}

TEST_F(DMTest, StoredValuesOfAnySizeLoadSafely) {
  struct Case {
    std::size_t size;
    std::size_t expectStream;
  };
  for (const Case c : {Case{0, 0}, Case{100, 100}, Case{109816, 109816}, Case{200000, 200000}}) {
    std::vector<std::uint8_t> v(c.size);
    for (std::size_t i = 0; i < v.size(); ++i) v[i] = static_cast<std::uint8_t>(0x30 + i % 7);
    Store(u"QZ3Profile1.pfd", v);
    StoreRecord(kGroupValueName, *Group());
    Store(kAllSettingValueName, v);
    auto dm = std::make_unique<TDM>();
    dm->DataModuleCreate();
    EXPECT_EQ(dm->kwProfileGame1.Stream().Size(), c.expectStream) << c.size;
    const auto cur = test::Bytes(dm->FCurrentProfileInfo);
    const std::size_t n = std::min(c.size, cur.size());
    EXPECT_TRUE(std::equal(cur.begin(), cur.begin() + static_cast<std::ptrdiff_t>(n), v.begin())) << c.size;
    // Defaults on a short stream grow it to the record first.
    dm->RestoreCurrentProfileInfoToDefault();
    EXPECT_EQ(dm->FCurrentProfileInfo.ProfileHeader.FFileVersion, 259);
    EXPECT_GE(dm->kwProfileGame1.Stream().Size(), 109816u);
  }
  // A truncated or empty group record leaves every index in range.
  for (std::size_t n : {0u, 6u, 12u}) {
    std::vector<std::uint8_t> v(n, 0x7F);
    Store(kGroupValueName, v);
    auto dm = std::make_unique<TDM>();
    EXPECT_TRUE(dm->DataModuleCreate());
    EXPECT_EQ(dm->FProfileGroupIndex, 0);
    EXPECT_EQ(dm->FProfileIndex, 0);
  }
}

TEST_F(DMTest, CreationErrorIsShownAndStartUpGoesOn) {
  SetDocumentsFolderOverride(test::W(dir.path() / "no" / "such"));
  DeviceUsageAndPage = {0, 0};
  auto dm = std::make_unique<TDM>();
  EXPECT_FALSE(dm->DataModuleCreate());
  EXPECT_EQ(DeviceUsageAndPage.UsagePage, 0xFFA0);  // the mouse can still be found
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_NE(boxes[0].first.find(u"Gaming Mouse Vantor"), WStr::npos);
  EXPECT_EQ(boxes[0].second, u"VXMon");
  EXPECT_FALSE(Stored(kGroupValueName));  // the sequence ended in the group default
  EXPECT_THROW(std::make_unique<TDM>()->RunCreationSequence(), VXError);
}

TEST_F(DMTest, RegistryTypeErrorPropagatesOutOfTheSequence) {
  Store(kAllSettingValueName, {'a', 0}, RegType::String);
  auto dm = std::make_unique<TDM>();
  EXPECT_FALSE(dm->DataModuleCreate());
  EXPECT_EQ(boxes.size(), 1u);
  EXPECT_TRUE(Stored(kGroupValueName));  // loaded before the error
}

TEST_F(DMTest, SlotOperationsCheckTheirIndex) {
  auto dm = Create();
  auto p = Profile(0x42);
  EXPECT_FALSE(dm->SaveBackToProfileInfo(*p, 5));
  EXPECT_FALSE(dm->ReadProfileInfo(*p, -1));
  EXPECT_FALSE(dm->SaveProfileInfoToRegistry(5));
  EXPECT_FALSE(dm->RestoreProfileInfoToDefault(5));
  EXPECT_FALSE(dm->RestoreProfileGroupToDefault(2));
  EXPECT_FALSE(dm->LoadProfileInfoFromRegistry(9));
  EXPECT_TRUE(dm->SaveBackToProfileInfo(*p, 3));
  EXPECT_FALSE(Stored(u"QZ3Profile4.pfd"));
  EXPECT_TRUE(dm->SaveProfileInfoToRegistry(3));
  EXPECT_EQ(Stored(u"QZ3Profile4.pfd")->data, test::Bytes(*p));
  auto back = Profile(0);
  EXPECT_TRUE(dm->ReadProfileInfo(*back, 3));
  EXPECT_EQ(test::Bytes(*back), test::Bytes(*p));
  EXPECT_TRUE(dm->RestoreProfileInfoToDefault(3));
  EXPECT_TRUE(dm->ReadProfileInfo(*back, 3));
  EXPECT_EQ(back->ConfigInfo.ButtonCount, 7);
  EXPECT_TRUE(dm->LoadProfileInfoFromRegistry(3));
  EXPECT_TRUE(dm->ReadProfileInfo(*back, 3));
  EXPECT_EQ(test::Bytes(*back), test::Bytes(*p));
  dm->SaveBackAllProfileInfoToRegistry();
  for (int i = 0; i < 5; ++i) EXPECT_TRUE(Stored(DefaultSlotValueName(i))) << i;
}

// Takes nothing: every save must say so.
class RefusingRegistry final : public IRegistry {
 public:
  explicit RefusingRegistry(IRegistry& inner) : inner_(inner) {}
  bool CreateKey(RegRoot r, WView p) override { return inner_.CreateKey(r, p); }
  bool KeyExists(RegRoot r, WView p) override { return inner_.KeyExists(r, p); }
  std::optional<RegValue> QueryValue(RegRoot r, WView p, WView n) override { return inner_.QueryValue(r, p, n); }
  bool SetValue(RegRoot, WView, WView, RegType, std::span<const std::uint8_t>) override { return false; }
  bool DeleteValue(RegRoot, WView, WView) override { return false; }

 private:
  IRegistry& inner_;
};

TEST_F(DMTest, EverySaveSaysWhenTheRegistryRefusesIt) {
  auto dm = Create();
  RefusingRegistry refusing(*registry);
  const TMACROKEYINFO macro{};
  for (const bool takes : {false, true}) {
    SCOPED_TRACE(takes ? "taken" : "refused");
    SetRegistry(takes ? static_cast<IRegistry*>(registry.get()) : &refusing);
    EXPECT_EQ(dm->SaveProfileInfoToRegistry(3), takes);
    EXPECT_EQ(dm->SaveCurrentProfileInfoToRegistry(), takes);
    EXPECT_EQ(dm->SaveBackAllProfileInfo(), takes);
    EXPECT_EQ(dm->SaveBackAllProfileInfoToRegistry(), takes);
    EXPECT_EQ(dm->SaveBackAllProfileSettingInfo(), takes);
    EXPECT_EQ(dm->SaveProfileGroupSettingInfoToRegistry(), takes);
    EXPECT_EQ(dm->RestoreProfileSettingGroupToDefault(), takes);
    EXPECT_EQ(dm->SaveBackRecordMacroInfoToRegistry(macro), takes);
  }
}

TEST_F(DMTest, RestoreGroupDefaultsTheSlotItSelects) {
  auto dm = Create();
  dm->FCurrentProfileInfo.ConfigInfo.ButtonCount = 99;
  dm->SaveBackToCurrentProfileInfo();
  auto p = Profile(0x11);
  dm->SaveBackToProfileInfo(*p, 1);
  EXPECT_TRUE(dm->RestoreProfileGroupToDefault(1));  // slot 1, not current
  EXPECT_EQ(dm->FCurrentProfileInfo.ConfigInfo.ButtonCount, 99);
  EXPECT_TRUE(dm->ReadProfileInfo(*p, 1));
  EXPECT_EQ(p->ConfigInfo.ButtonCount, 7);
  EXPECT_TRUE(dm->RestoreProfileGroupToDefault(0));  // the current slot: re-read
  EXPECT_EQ(dm->FCurrentProfileInfo.ConfigInfo.ButtonCount, 7);
}

TEST_F(DMTest, SettingRecordsAreSavedOnRequest) {
  auto dm = Create();
  dm->SwitchToProfile(3);
  dm->SaveBackAllProfileSettingInfo();
  EXPECT_EQ(test::U16At(Stored(kAllSettingValueName)->data.data(), 30950), 3);
  dm->FProfileSettingGroup.CurrentProfileGroup = 1;
  dm->SaveBackToProfileGroupSettingInfo();
  EXPECT_EQ(test::U32At(Stored(kGroupValueName)->data.data(), 0), 0u);
  dm->SaveProfileGroupSettingInfoToRegistry();
  EXPECT_EQ(test::U32At(Stored(kGroupValueName)->data.data(), 0), 1u);
  dm->LoadProfileGroupSettingInfoFromRegistry();
  EXPECT_EQ(dm->FProfileGroupIndex, 1);
  EXPECT_EQ(dm->FProfileIndex, 1);
  dm->RestoreProfileSettingGroupToDefault();
  EXPECT_EQ(test::U32At(Stored(kGroupValueName)->data.data(), 0), 0u);
  EXPECT_EQ(dm->FProfileSettingGroup.CurrentProfileGroup, 1);  // not reread
  // A reload of a missing global record stores its default.
  registry->DeleteValue(HKEY_CURRENT_USER_, kProfileKeyPath, kAllSettingValueName);
  dm->LoadAllProfileInfoFromRegistry();
  EXPECT_TRUE(Stored(kAllSettingValueName));
}

TEST_F(DMTest, RecordMacroRoundTrip) {
  auto dm = Create();
  TMACROKEYINFO m{};
  m.MacroListCount = 2;
  m.MacroList[0] = {4, 1, 0x41, 0};
  WriteFixed(m.szMacroName, u"rec");
  dm->SaveBackRecordMacroInfoToRegistry(m);
  EXPECT_EQ(Stored(kRecordMacroValueName)->data, test::Bytes(m));
  EXPECT_EQ(dm->FRecordMacroInfo.MacroListCount, 0);
  dm->LoadRecordMacroInfoFromRegistry();
  EXPECT_EQ(test::Bytes(dm->FRecordMacroInfo), test::Bytes(m));
}

TEST_F(DMTest, ChangeCurrentProfileFileNameAndPath) {
  auto dm = Create();
  const WStr folder = W(dir.path() / "Documents");
  EXPECT_TRUE(dm->ChangeCurrentProfileFileNameAndPath(folder + u"\\Mine.pfd"));
  EXPECT_EQ(dm->kwProfileGame1.FileName(), u"Mine.pfd");
  EXPECT_EQ(dm->kwProfileGame1.FilePath(), folder + u"\\");
  EXPECT_EQ(ReadFixed(dm->FProfileSettingGroup.ProfileSettingList[0].FileName), u"Mine.pfd");
  EXPECT_EQ(ReadFixed(dm->FProfileSettingGroup.ProfileSettingList[0].FilePath), folder + u"\\");
  // A name longer than 20 characters is cut in the descriptor.
  EXPECT_FALSE(dm->ChangeCurrentProfileFileNameAndPath(folder + u"\\abcdefghijklmnopqrstuvwxyz.pfd"));
  EXPECT_EQ(ReadFixed(dm->FProfileSettingGroup.ProfileSettingList[0].FileName), u"abcdefghijklmnopqrst");
  dm->SaveCurrentProfileInfoToFile();
  EXPECT_TRUE(std::filesystem::exists(dir.path() / "Documents" / "abcdefghijklmnopqrstuvwxyz.pfd"));
}

TEST_F(DMTest, InitTestDefaultValueFillsBothSpareProfiles) {
  auto dm = std::make_unique<TDM>();
  dm->InitTestDefaultValue();
  EXPECT_EQ(dm->FTestProfileInfo.ConfigInfo.ButtonCount, 10);
  EXPECT_EQ(dm->FDefaultProfileInfo.ConfigInfo.ButtonCount, 7);
  EXPECT_EQ(dm->kwProfileTest.FileName(), u"M6400ProfileTest.pfd");
  EXPECT_FALSE(Stored(u"M6400ProfileTest.pfd"));
}

TEST_F(DMTest, OtherConfigFromIni) {
  std::ofstream(dir.path() / "bin" / "config.ini")
      << "[otherconfig]\r\nnologo = 1\r\nNoLogo=0\r\n[HelpFiles]\r\nEnglish=help_en.chm\r\nEmpty=\r\n"
         "Chinese = \"help cn.chm\"\r\nenglish=other.chm\r\n";
  auto dm = std::make_unique<TDM>();
  const TOtherConfig cfg = dm->LoadOtherConfig();
  EXPECT_EQ(cfg.Nologo, 1);
  const THelpFileList expected = {{u"English", u"help_en.chm"}, {u"Chinese", u"help cn.chm"}};
  EXPECT_EQ(dm->HelpFiles, expected);
  EXPECT_EQ(std::vector<std::uint8_t>(cfg.HelpFile, cfg.HelpFile + 4), std::vector<std::uint8_t>(4, 0));

  const std::pair<const char*, std::int32_t> values[] = {
      {"2147483647", 2147483647}, {"-2147483648", -2147483647 - 1}, {"2147483648", 0}, {"4294967297", 0},
      {"-2147483649", 0}, {"$7FFFFFFF", 2147483647}, {"1x", 0}};
  for (auto [text, nologo] : values) {
    std::ofstream(dir.path() / "bin" / "config.ini") << "[OtherConfig]\r\nNoLogo=" << text << "\r\n";
    EXPECT_EQ(dm->LoadOtherConfig().Nologo, nologo) << text;
  }

  std::filesystem::remove(dir.path() / "bin" / "config.ini");
  EXPECT_EQ(dm->LoadOtherConfig().Nologo, 0);
  EXPECT_TRUE(dm->HelpFiles.empty());
}

}  // namespace
}  // namespace vx
