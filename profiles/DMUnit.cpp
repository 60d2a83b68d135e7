#include "profiles/DMUnit.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <mutex>

#include "platform/Errors.h"
#include "platform/Files.h"
#include "platform/MessageBox.h"
#include "platform/Shell.h"
#include "profiles/IniFile.h"

namespace vx {
namespace {

std::mutex g_translatorMutex;
std::function<WStr(WView)> g_translator;

// Copies a record out of a store, never past either end.
template <typename T>
void ReadRecord(TkwProfile& store, T& record) {
  store.Read(&record, static_cast<std::int32_t>(sizeof(T)));
}

template <typename T>
void WriteRecord(TkwProfile& store, const T& record) {
  store.Write(&record, static_cast<std::int32_t>(sizeof(T)));
}

}  // namespace

void SetProfileTextTranslator(std::function<WStr(WView)> fn) {
  std::lock_guard lock(g_translatorMutex);
  g_translator = std::move(fn);
}

WStr TranslateProfileText(WView text) {
  std::function<WStr(WView)> fn;
  {
    std::lock_guard lock(g_translatorMutex);
    fn = g_translator;
  }
  return fn ? fn(text) : WStr(text);
}

WStr DefaultSlotValueName(int slot) { return u"QZ3Profile" + IntToWStr(slot + 1) + u".pfd"; }

TDM::TDM() {
  TkwProfile* slots[kProfileSlots] = {&kwProfileGame1, &kwProfileGame2, &kwProfileGame3, &kwProfileGame4,
                                      &kwProfileGame5};
  for (int i = 0; i < kProfileSlots; ++i) {
    FProfileGroup[i] = slots[i];
    slots[i]->OnRestoreToDefault = [this](TkwStream& s) { kwProfileGame1RestoreToDefault(s); };
  }
  kwProfileAllSettingInfo.OnRestoreToDefault = [this](TkwStream& s) { kwProfileAllSettingInfoRestoreToDefault(s); };
  kwProfileSettingGroup.OnRestoreToDefault = [this](TkwStream& s) { kwProfileSettingGroupRestoreToDefault(s); };
  kwProfileDefaultGame.OnRestoreToDefault = [this](TkwStream& s) { kwProfileGame1RestoreToDefault(s); };
  kwProfileTest.OnRestoreToDefault = [this](TkwStream& s) { kwProfileTestRestoreToDefault(s); };
}

TDM::~TDM() = default;

void TDM::ConfigureStore(TkwProfile& store, WView name) {
  store.SetRootKey(HKEY_CURRENT_USER_);
  store.SetKeyPath(kProfileKeyPath);
  store.SetFileName(name);
}

void TDM::LoadOrDefault(TkwProfile& store, bool saveDefaults) {
  TStoreOrigin origin = TStoreOrigin::Stored;
  if (!store.LoadStreamFromRegistry()) {
    store.RestoreToDefault();
    origin = TStoreOrigin::DefaultInMemory;
    if (saveDefaults && store.SaveStreamToRegistry()) origin = TStoreOrigin::DefaultSaved;
  }
  LoadReport.push_back({store.FileName(), origin, store.Stream().Size()});
}

int TDM::SlotOfGroup(int group) const {
  if (!IsProfileGroupIndexInRange(group)) group = 0;
  const int slot = FProfileSettingGroup.ProfileIndexOfProfileGroup[group];
  return IsProfileIndexInRange(slot) ? slot : 0;
}

bool TDM::DataModuleCreate() {
  try {
    RunCreationSequence();
    return true;
  } catch (const VXError& e) {
    ShowMessageBox(FromUtf8(e.what()), ErrorCaption, MessageBoxIcon::Error);
    return false;
  }
}

void TDM::RunCreationSequence() {
  LoadReport.clear();
  // Set first as well: a store error that ends the sequence early must not
  // leave the monitor unable to find the mouse.
  DeviceUsageAndPage = {0x0001, 0xFFA0};
  FProfileGroupIndex = 0;

  ConfigureStore(kwProfileSettingGroup, kGroupValueName);
  const TProfileSettingGroup zeroGroup{};
  WriteRecord(kwProfileSettingGroup, zeroGroup);
  LoadOrDefault(kwProfileSettingGroup, true);
  ReadRecord(kwProfileSettingGroup, FProfileSettingGroup);
  // A damaged group record falls back to group 0 / slot 0.
  FProfileGroupIndex = IsProfileGroupIndexInRange(FProfileSettingGroup.CurrentProfileGroup)
                           ? FProfileSettingGroup.CurrentProfileGroup
                           : 0;
  FProfileIndex = SlotOfGroup(FProfileGroupIndex);

  ConfigureStore(kwProfileAllSettingInfo, kAllSettingValueName);
  WriteRecord(kwProfileAllSettingInfo, FAllProfileSettingInfo);
  LoadOrDefault(kwProfileAllSettingInfo, true);
  ReadRecord(kwProfileAllSettingInfo, FAllProfileSettingInfo);

  ConfigureStore(kwProfileRecordMacroInfo, kRecordMacroValueName);
  WriteRecord(kwProfileRecordMacroInfo, FRecordMacroInfo);

  for (int i = 0; i < kProfileSlots; ++i) LoadSlot(i);

  SwitchToProfileGroup(FProfileGroupIndex);
  DeviceUsageAndPage = {0x0001, 0xFFA0};
  FOtherConfig = LoadOtherConfig();
}

void TDM::LoadSlot(int i) {
  const TPROFILESTOREINFO& desc = FProfileSettingGroup.ProfileSettingList[i];
  TkwProfile& store = *FProfileGroup[i];
  store.SetRootKey(HKEY_CURRENT_USER_);
  store.SetFileName(ReadFixed(desc.FileName));
  store.SetFilePath(ReadFixed(desc.FilePath));
  store.SetKeyPath(kProfileKeyPath);
  static const TMouseProfileInfo kZeroProfile{};
  WriteRecord(store, kZeroProfile);

  if (desc.StorageType == 0) {
    LoadOrDefault(store, false);
  } else if (desc.StorageType == 1) {
    const WStr file = IncludeTrailingBackslash(ReadFixed(desc.FilePath)) + ReadFixed(desc.FileName);
    TStoreOrigin origin = TStoreOrigin::Stored;
    if (!FileExists(file)) {
      store.RestoreToDefault();
      origin = store.SaveStreamToFile(file) ? TStoreOrigin::DefaultSaved : TStoreOrigin::DefaultInMemory;
    } else if (!store.LoadStreamFromFile(file)) {
      store.RestoreToDefault();
      origin = store.SaveStreamToFile() ? TStoreOrigin::DefaultSaved : TStoreOrigin::DefaultInMemory;
    }
    LoadReport.push_back({file, origin, store.Stream().Size()});
  } else {
    LoadReport.push_back({store.FileName(), TStoreOrigin::Empty, store.Stream().Size()});
  }
}

bool TDM::SwitchToProfile(int AProfileIndex) {
  if (!IsProfileIndexInRange(AProfileIndex)) return false;
  FProfileIndex = AProfileIndex;
  ReadRecord(SlotStore(AProfileIndex), FCurrentProfileInfo);
  FAllProfileSettingInfo.CurrentGame = static_cast<std::uint16_t>(AProfileIndex);
  return true;
}

bool TDM::SwitchToProfileGroup(int AProfileGroupIndex) {
  if (!IsProfileGroupIndexInRange(AProfileGroupIndex)) return false;
  FProfileSettingGroup.CurrentProfileGroup = AProfileGroupIndex;
  FProfileGroupIndex = AProfileGroupIndex;
  FProfileIndex = SlotOfGroup(AProfileGroupIndex);
  SwitchToProfile(FProfileIndex);
  return true;
}

void TDM::LoadAllProfileInfoFromRegistry() {
  if (!kwProfileAllSettingInfo.LoadStreamFromRegistry()) {
    kwProfileAllSettingInfo.RestoreToDefault();
    kwProfileAllSettingInfo.SaveStreamToRegistry();
  }
  ReadRecord(kwProfileAllSettingInfo, FAllProfileSettingInfo);
}

void TDM::LoadProfileGroupSettingInfoFromRegistry() {
  if (!kwProfileSettingGroup.LoadStreamFromRegistry()) {
    kwProfileSettingGroup.RestoreToDefault();
    kwProfileSettingGroup.SaveStreamToRegistry();
  }
  ReadRecord(kwProfileSettingGroup, FProfileSettingGroup);
  FProfileGroupIndex = IsProfileGroupIndexInRange(FProfileSettingGroup.CurrentProfileGroup)
                           ? FProfileSettingGroup.CurrentProfileGroup
                           : 0;
  FProfileIndex = SlotOfGroup(FProfileGroupIndex);
}

bool TDM::LoadCurrentProfileInfoFromRegistry() {
  TkwProfile& store = SlotStore(CurrentSlot());
  const bool ok = store.LoadStreamFromRegistry();
  ReadRecord(store, FCurrentProfileInfo);
  return ok;
}

bool TDM::LoadCurrentProfileInfoFromFile(WView AFile) {
  TkwProfile& store = SlotStore(CurrentSlot());
  const bool ok = store.LoadStreamFromFile(AFile);
  ReadRecord(store, FCurrentProfileInfo);
  return ok;
}

bool TDM::LoadProfileInfoFromRegistry(int AProfileIndex) {
  if (!IsProfileIndexInRange(AProfileIndex)) return false;
  return SlotStore(AProfileIndex).LoadStreamFromRegistry();
}

bool TDM::ReadProfileInfo(TMouseProfileInfo& AProfileInfo, int AProfileIndex) {
  if (!IsProfileIndexInRange(AProfileIndex)) return false;
  ReadRecord(SlotStore(AProfileIndex), AProfileInfo);
  return true;
}

bool TDM::ReadCurrentProfileInfo() {
  ReadRecord(SlotStore(CurrentSlot()), FCurrentProfileInfo);
  return true;
}

bool TDM::SaveBackToProfileInfo(const TMouseProfileInfo& AProfileInfo, int AProfileIndex) {
  if (!IsProfileIndexInRange(AProfileIndex)) return false;
  WriteRecord(SlotStore(AProfileIndex), AProfileInfo);
  return true;
}

void TDM::SaveBackToCurrentProfileInfo() { WriteRecord(SlotStore(CurrentSlot()), FCurrentProfileInfo); }

bool TDM::SaveProfileInfoToRegistry(int AProfileIndex) {
  if (!IsProfileIndexInRange(AProfileIndex)) return false;
  return SlotStore(AProfileIndex).SaveStreamToRegistry();
}

bool TDM::SaveCurrentProfileInfoToRegistry() {
  SaveBackToCurrentProfileInfo();
  return SlotStore(CurrentSlot()).SaveStreamToRegistry();
}

bool TDM::SaveCurrentProfileInfoToFile(WView AFile) { return SlotStore(CurrentSlot()).SaveStreamToFile(AFile); }

bool TDM::SaveCurrentProfileInfoToFile() { return SlotStore(CurrentSlot()).SaveStreamToFile(); }

bool TDM::SaveBackAllProfileInfo() {
  // Every store is tried, also after one fails.
  bool ok = true;
  for (auto* store : FProfileGroup) ok = store->SaveStreamToRegistry() && ok;
  return ok;
}

bool TDM::SaveBackAllProfileInfoToRegistry() { return SaveBackAllProfileInfo(); }

bool TDM::SaveBackAllProfileInfoToFile() {
  bool ok = true;
  for (auto* store : FProfileGroup) ok = store->SaveStreamToFile() && ok;
  return ok;
}

bool TDM::SaveBackAllProfileSettingInfo() {
  FAllProfileSettingInfo.CurrentGame = static_cast<std::uint16_t>(FProfileIndex);
  WriteRecord(kwProfileAllSettingInfo, FAllProfileSettingInfo);
  return kwProfileAllSettingInfo.SaveStreamToRegistry();
}

void TDM::SaveBackToProfileGroupSettingInfo() { WriteRecord(kwProfileSettingGroup, FProfileSettingGroup); }

bool TDM::SaveProfileGroupSettingInfoToRegistry() {
  WriteRecord(kwProfileSettingGroup, FProfileSettingGroup);
  return kwProfileSettingGroup.SaveStreamToRegistry();
}

void TDM::RestoreCurrentProfileInfoToDefault() {
  TkwProfile& store = SlotStore(CurrentSlot());
  store.RestoreToDefault();
  ReadRecord(store, FCurrentProfileInfo);
}

bool TDM::RestoreProfileInfoToDefault(int AProfileIndex) {
  if (!IsProfileIndexInRange(AProfileIndex)) return false;
  SlotStore(AProfileIndex).RestoreToDefault();
  return true;
}

bool TDM::RestoreProfileGroupToDefault(int AProfileGroupIndex) {
  if (!IsProfileGroupIndexInRange(AProfileGroupIndex)) return false;
  const int slot = FProfileSettingGroup.ProfileIndexOfProfileGroup[AProfileGroupIndex];
  if (slot == FProfileIndex) {
    RestoreCurrentProfileInfoToDefault();
  } else if (IsProfileIndexInRange(slot)) {
    SlotStore(slot).RestoreToDefault();
  }
  return true;
}

bool TDM::RestoreProfileSettingGroupToDefault() {
  kwProfileSettingGroup.RestoreToDefault();
  return kwProfileSettingGroup.SaveStreamToRegistry();
}

bool TDM::ChangeCurrentProfileFileNameAndPath(WView AProfileFilePath) {
  const int slot = CurrentSlot();
  const WStr folder = ExtractFilePath(AProfileFilePath);
  const WStr name = ExtractFileName(AProfileFilePath);
  TkwProfile& store = SlotStore(slot);
  store.SetFilePath(folder);
  store.SetFileName(name);
  TPROFILESTOREINFO& desc = FProfileSettingGroup.ProfileSettingList[slot];
  WriteFixed(desc.FilePath, folder);
  // The descriptor holds 20 characters; a longer name is cut there.
  const bool fits = WriteFixed(desc.FileName, name);
  return fits && SameTextIgnoreCase(store.FilePath(), IncludeTrailingBackslash(folder));
}

bool TDM::SaveBackRecordMacroInfoToRegistry(const TMACROKEYINFO& ARecordMacroInfo) {
  WriteRecord(kwProfileRecordMacroInfo, ARecordMacroInfo);
  return kwProfileRecordMacroInfo.SaveStreamToRegistry();
}

void TDM::LoadRecordMacroInfoFromRegistry() {
  kwProfileRecordMacroInfo.LoadStreamFromRegistry();
  ReadRecord(kwProfileRecordMacroInfo, FRecordMacroInfo);
}

void TDM::InitTestDefaultValue() {
  ConfigureStore(kwProfileTest, kTestValueName);
  ConfigureStore(kwProfileDefaultGame, kDefaultGameValueName);
  WriteRecord(kwProfileTest, FTestProfileInfo);
  WriteRecord(kwProfileDefaultGame, FDefaultProfileInfo);
  kwProfileTest.RestoreToDefault();
  kwProfileDefaultGame.RestoreToDefault();
  ReadRecord(kwProfileTest, FTestProfileInfo);
  ReadRecord(kwProfileDefaultGame, FDefaultProfileInfo);
}

TOtherConfig TDM::LoadOtherConfig() {
  TOtherConfig cfg{};
  const IniFile ini = IniFile::Load(ExecutableFolder() + u"config.ini");
  const long long nologo = ini.ReadInteger(u"OtherConfig", u"NoLogo", 0);
  // A value the record cannot hold is no number it knows.
  const bool fits = nologo >= std::numeric_limits<std::int32_t>::min() &&
                    nologo <= std::numeric_limits<std::int32_t>::max();
  cfg.Nologo = fits ? static_cast<std::int32_t>(nologo) : 0;
  HelpFiles.clear();
  for (const WStr& key : ini.SectionKeys(u"HelpFiles")) {
    const WStr value = ini.ReadString(u"HelpFiles", key);
    auto it = std::find_if(HelpFiles.begin(), HelpFiles.end(),
                           [&](const auto& e) { return SameTextIgnoreCase(e.first, key); });
    if (value.empty()) {
      if (it != HelpFiles.end()) HelpFiles.erase(it);
    } else if (it != HelpFiles.end()) {
      it->second = value;
    } else {
      HelpFiles.emplace_back(key, value);
    }
  }
  return cfg;
}

}  // namespace vx
