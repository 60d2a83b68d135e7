#pragma once
// The profile manager: every profile record of the running system, their
// ten stores, and the defaults written where nothing is stored yet.
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "platform/Text.h"
#include "profiles/kwProfile.h"
#include "profiles/pubunit_lumari.h"

namespace vx {

inline constexpr char16_t kProfileKeyPath[] = u"software\\Vantorgmmouse";
inline constexpr char16_t kGroupValueName[] = u"QZ3ProfileSettingGroup.pfd";
inline constexpr char16_t kAllSettingValueName[] = u"QZ3PROFILE.pfd";
inline constexpr char16_t kRecordMacroValueName[] = u"RecordRPROFILE.pfd";
inline constexpr char16_t kDefaultGameValueName[] = u"M6400ProfileDef.pfd";
inline constexpr char16_t kTestValueName[] = u"M6400ProfileTest.pfd";
// The profile the configuration application last chose (REG_DWORD).
inline constexpr char16_t kProfileIDValueName[] = u"ProfileID";
inline constexpr char16_t kProfileFolderName[] = u"Gaming Mouse Vantor";

// The default macro's name is translated into the current language. The
// localization layer installs the real function; until then the identity.
void SetProfileTextTranslator(std::function<WStr(WView)> fn);
WStr TranslateProfileText(WView text);

// "QZ3Profile" + (slot + 1) + ".pfd"
WStr DefaultSlotValueName(int slot);

// Help files of config.ini, in file order. Kept outside the record: the
// stored HelpFile bytes of TOtherConfig carry no meaning.
using THelpFileList = std::vector<std::pair<WStr, WStr>>;

// Holds about half a megabyte of records: create it on the heap.
class TDM {
 public:
  // All records zero; the stores get their default handlers but no names.
  TDM();
  ~TDM();
  TDM(const TDM&) = delete;
  TDM& operator=(const TDM&) = delete;

  // The creation sequence. A store or folder error ends it where it was
  // raised; the error text is shown in a message box (caption below) and the
  // module keeps what was loaded so far. Returns false in that case.
  bool DataModuleCreate();
  // The same sequence, letting the error propagate.
  void RunCreationSequence();
  void DataModuleDestroy() {}

  static bool IsProfileIndexInRange(int AProfileIndex) { return AProfileIndex >= 0 && AProfileIndex <= 4; }
  static bool IsProfileGroupIndexInRange(int AProfileGroupIndex) {
    return AProfileGroupIndex >= 0 && AProfileGroupIndex <= 1;
  }

  bool SwitchToProfile(int AProfileIndex);
  bool SwitchToProfileGroup(int AProfileGroupIndex);

  void LoadAllProfileInfoFromRegistry();
  void LoadProfileGroupSettingInfoFromRegistry();
  bool LoadCurrentProfileInfoFromRegistry();
  bool LoadCurrentProfileInfoFromFile(WView AFile);
  bool LoadProfileInfoFromRegistry(int AProfileIndex);
  bool ReadProfileInfo(TMouseProfileInfo& AProfileInfo, int AProfileIndex);
  bool ReadCurrentProfileInfo();
  bool SaveBackToProfileInfo(const TMouseProfileInfo& AProfileInfo, int AProfileIndex);
  void SaveBackToCurrentProfileInfo();
  // The saves return false when a value or file could not be written (the
  // store writes a debug line naming it); the record in memory stays.
  bool SaveProfileInfoToRegistry(int AProfileIndex);
  bool SaveCurrentProfileInfoToRegistry();
  bool SaveCurrentProfileInfoToFile(WView AFile);
  bool SaveCurrentProfileInfoToFile();
  bool SaveBackAllProfileInfo();
  bool SaveBackAllProfileInfoToRegistry();
  bool SaveBackAllProfileInfoToFile();
  bool SaveBackAllProfileSettingInfo();
  void SaveBackToProfileGroupSettingInfo();
  bool SaveProfileGroupSettingInfoToRegistry();
  void RestoreCurrentProfileInfoToDefault();
  bool RestoreProfileInfoToDefault(int AProfileIndex);
  bool RestoreProfileGroupToDefault(int AProfileGroupIndex);
  bool RestoreProfileSettingGroupToDefault();
  bool ChangeCurrentProfileFileNameAndPath(WView AProfileFilePath);
  void RestoreToDefaultCPISetting();
  void RestoreToDefaultLightAndReportAdvancedSetting();
  bool SaveBackRecordMacroInfoToRegistry(const TMACROKEYINFO& ARecordMacroInfo);
  void LoadRecordMacroInfoFromRegistry();
  void InitTestDefaultValue();

  // Default handlers, bound to the stores' OnRestoreToDefault. A stream
  // shorter than the record is first grown to the record size (zeros).
  void kwProfileAllSettingInfoRestoreToDefault(TkwStream& AStream);
  void kwProfileGame1RestoreToDefault(TkwStream& AStream);
  void kwProfileSettingGroupRestoreToDefault(TkwStream& AStream);
  void kwProfileTestRestoreToDefault(TkwStream& AStream);

  // "<documents>\Gaming Mouse Vantor", created when missing (VXError when
  // that fails); no trailing backslash.
  static WStr GetProfileFolder();
  // config.ini beside the executable: NoLogo and the help-file list.
  TOtherConfig LoadOtherConfig();

  // The slot that the current index names; slot 0 when FProfileIndex is
  // outside 0..4 (a damaged group record must never index out of range).
  int CurrentSlot() const { return IsProfileIndexInRange(FProfileIndex) ? FProfileIndex : 0; }
  // The slot a group selects, with the same fallback.
  int SlotOfGroup(int group) const;

  // How each store got its content during the creation sequence.
  enum class TStoreOrigin { Stored, DefaultSaved, DefaultInMemory, Empty };
  struct TStoreReport {
    WStr Name;  // value name, or the file for a file-stored slot
    TStoreOrigin Origin;
    std::size_t Size;
  };
  std::vector<TStoreReport> LoadReport;

  // Caption of the creation sequence's error box.
  WStr ErrorCaption = u"VXMon";

  // The ten stores.
  TkwProfile kwProfileAllSettingInfo;
  TkwProfile kwProfileGame1;
  TkwProfile kwProfileGame2;
  TkwProfile kwProfileGame3;
  TkwProfile kwProfileGame4;
  TkwProfile kwProfileGame5;
  TkwProfile kwProfileSettingGroup;
  TkwProfile kwProfileDefaultGame;
  TkwProfile kwProfileTest;
  TkwProfile kwProfileRecordMacroInfo;

  // State, read and changed in place by the rest of the system.
  TALLGAMESINFO FAllProfileSettingInfo{};
  TkwProfile* FProfileGroup[kProfileSlots]{};
  TProfileSettingGroup FProfileSettingGroup{};
  std::int32_t FProfileGroupIndex = 0;
  std::int32_t FProfileIndex = 0;
  TMouseProfileInfo FCurrentProfileInfo{};
  TOtherConfig FOtherConfig{};
  TMouseProfileInfo FDefaultProfileInfo{};
  TMouseProfileInfo FTestProfileInfo{};
  TMACROKEYINFO FRecordMacroInfo{};
  THelpFileList HelpFiles;

 private:
  void ConfigureStore(TkwProfile& store, WView name);
  void LoadOrDefault(TkwProfile& store, bool saveDefaults);
  void LoadSlot(int i);
  TkwProfile& SlotStore(int i) { return *FProfileGroup[IsProfileIndexInRange(i) ? i : 0]; }
};

}  // namespace vx
