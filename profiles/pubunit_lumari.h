#pragma once
// The profile records. Each struct is the byte image that the registry
// values, profile files and macro files hold and that the configuration
// application reads: every size and offset below is an external format.
#include <array>
#include <cstddef>
#include <cstdint>

namespace vx {

#pragma pack(push, 1)

// One macro action. Bytes 4 and 5 carry different views per kind.
struct TMACROKEY {
  std::uint16_t nKeyType;
  std::uint16_t nKeyState;
  std::uint8_t VALUE1;
  std::uint8_t VALUE2;

  // Named views of bytes 4 and 5 (first name = byte 4, second = byte 5).
  std::uint8_t& MouseKeyValue() { return VALUE1; }
  std::uint8_t& MouseKey_Index() { return VALUE2; }
  std::uint8_t& MOUSE_X() { return VALUE1; }
  std::uint8_t& MOUSE_Y() { return VALUE2; }
  std::uint8_t& WHEEL_VALUE() { return VALUE1; }
  std::uint8_t& WHEEL_Index() { return VALUE2; }
  std::uint8_t& nKeyValue() { return VALUE1; }
  std::uint8_t& nKeyExtended() { return VALUE2; }
  std::uint8_t& MediaKey_L() { return VALUE1; }
  std::uint8_t& MediaKey_H() { return VALUE2; }
  std::uint8_t& DELAY_L() { return VALUE1; }
  std::uint8_t& DELAY_H() { return VALUE2; }
  std::uint8_t& LOOP_L() { return VALUE1; }
  std::uint8_t& LOOP_H() { return VALUE2; }
  std::uint16_t Code() const { return static_cast<std::uint16_t>(VALUE2 * 256 + VALUE1); }
  std::uint16_t Delay() const { return Code(); }
};

// Action kinds (nKeyType).
enum : std::uint16_t {
  kActionMouse = 1,
  kActionWheel = 3,
  kActionKey = 4,
  kActionPressCode = 5,
  kActionDelay = 6,
  kActionLoop = 7,
};

inline constexpr int kMaxMacroActions = 128;
inline constexpr int kMaxMacros = 21;
inline constexpr int kMacroNameLen = 50;

struct TMACROKEYINFO {
  TMACROKEY MacroList[kMaxMacroActions];
  std::int32_t MacroListCount;
  std::uint16_t nAutoAddDelay;
  std::uint16_t nLoopCount;
  std::uint16_t nMacroIndex;
  std::uint8_t MacroUse;
  std::uint8_t pad0;
  char16_t szMacroName[kMacroNameLen];
  std::uint32_t Version;
  std::int32_t HaveErrors;
  std::int32_t ErrorCount;
};

struct TMACROKEYINFOLIST {
  TMACROKEYINFO MacroInfos[kMaxMacros];
  std::uint16_t nMacroInfoCount;
  std::uint8_t pad0[2];
};

struct TMACROINFOLIST_TO_DEVICE {
  TMACROKEYINFO MacroInfos[5];
  std::uint16_t nMacroInfoCount;
  std::uint8_t pad0[2];
};

struct TCOMBOKEYINFO {
  std::uint16_t nKeyValue1;
  std::uint16_t nKey1Extended;
  std::uint16_t nKeyValue2;
  std::uint16_t nKey2Extended;
  std::uint16_t nModifier;
};

struct TBUTTONFUNCINFO {
  std::uint16_t unused0;
  std::uint16_t SingleKey;
  std::uint16_t SingleKeyExtended;
  TCOMBOKEYINFO ComboKey;
  std::uint16_t DeviceValue1;
  std::uint16_t DeviceValue2;
  std::uint8_t unused20[4];
  TMACROKEYINFO MacroInfo;
  std::uint16_t DeviceWord1;
  std::uint16_t DeviceWord2;
  std::uint8_t unused920[4];
  std::int32_t DeviceParam;
  std::uint8_t unused928[2820];
  std::uint8_t ReportMask[3];
  std::uint8_t pad3751;
  std::uint16_t ButtonIndex;
  std::uint16_t FunctionType;
  std::uint8_t FunctionClass;
  std::uint8_t pad3757[3];
  std::int32_t DeviceCode;
  std::int32_t FunctionID;
  std::int32_t unused3768;
};

struct TCPILEVELINFO {
  std::uint16_t CPIX;
  std::uint16_t CPIY;
  std::uint16_t LevelFlag;
};

struct TLEDCONFIG {
  std::uint8_t R;
  std::uint8_t G;
  std::uint8_t B;
  std::uint8_t BRIGHT_LEVEL;
  std::uint8_t BREATH_SPEED;
  std::uint8_t BREATH_SECOND;
};

struct TSENSORLIFT {
  std::uint8_t SensorLift;
};

struct TPROFILE_MACRO_PATH {
  char16_t FilePath[513];
};

inline constexpr int kButtonCount = 15;

struct TMOUSECONFIGINFO {
  TBUTTONFUNCINFO ButtonFuncInfo[kButtonCount];
  TBUTTONFUNCINFO VWheelButtonFuncInfo[2];
  TBUTTONFUNCINFO HWheelButtonFuncInfo[2];
  std::uint16_t VWheelType;
  std::uint16_t HWheelType;
  std::uint16_t VWheelSpeed;
  std::uint16_t HWheelSpeed;
  std::uint16_t DoubleClickSpeed;
  std::uint16_t PointerSpeed;
  std::uint16_t PointerAcceleration;
  std::uint16_t UseSystemPointerSpeedSetting;
  std::uint16_t ReportRate;
  std::uint8_t pad71686[2];
  std::int32_t CurrentCPIIndex;
  std::uint16_t CurrentCPIX;
  std::uint16_t CurrentCPIY;
  std::uint16_t MinCPI;
  std::uint16_t MaxCPI;
  std::uint16_t UseDiffentXY[11];
  std::uint16_t UseCPIOnScreenFlyShow;
  TCPILEVELINFO CPIState[11];
  std::uint16_t CPILevel;
  std::uint16_t AutoSwitchProfileWhenAppRun;
  std::uint8_t ApplicationList[10260];
  TLEDCONFIG LEDConfig;
  TSENSORLIFT Sensorlift;
  std::uint8_t pad82061[3];
  std::int32_t ButtonCount;
  TPROFILE_MACRO_PATH ProfilePath;
  TPROFILE_MACRO_PATH MacroPath;
};

struct TFUNCTIONLIST {
  std::uint8_t FunctionInfo[800];
};

// The stored HelpFile bytes carry no meaning; the help-file list lives
// outside the record (TDM::HelpFiles).
struct TOtherConfig {
  std::int32_t ShowNumLock;
  std::int32_t ShowCapsLock;
  std::int32_t ShowScrollLock;
  std::int32_t ShowLockStatePop;
  std::uint8_t HelpFile[4];
  std::int32_t Nologo;
};

union TProfileUIDData {
  std::uint8_t RawData[8];
  double DataTime;
  double DoubleData;
};

struct TProfileHeader {
  std::int32_t FFileVersion;
  std::uint8_t FFileType[8];
  std::uint8_t FFileName[44];
  std::uint32_t FProfileSize;
  std::uint8_t pad60[4];
  TProfileUIDData FProfileUID;
};

struct TMouseProfileInfo {
  TProfileHeader ProfileHeader;
  TFUNCTIONLIST FunctionList;
  TMOUSECONFIGINFO ConfigInfo;
  TFUNCTIONLIST HWheelFunctionList;
  TFUNCTIONLIST VWheelFunctionList;
  TMACROKEYINFOLIST MacroKeyInfoList;
  TMACROINFOLIST_TO_DEVICE MacroInfoToDevice;
  TOtherConfig OtherConfig;
};

struct TPROFILESTOREINFO {
  std::uint16_t StatusFlag;
  char16_t FilePath[1024];
  char16_t KeyPath[1024];
  char16_t FileName[21];
  char16_t MacroPath[1024];
  std::uint8_t StorageType;
  std::uint8_t pad6189;
};

inline constexpr int kProfileSlots = 5;
inline constexpr int kProfileGroups = 2;

struct TALLGAMESINFO {
  TPROFILESTOREINFO Allgameset[kProfileSlots];
  std::uint16_t CurrentGame;
  std::uint8_t CurrentLanguage;
  std::uint8_t pad30953;
};

struct TProfileSettingGroup {
  std::int32_t CurrentProfileGroup;
  std::int32_t ProfileIndexOfProfileGroup[kProfileGroups];
  TPROFILESTOREINFO ProfileSettingList[kProfileSlots];
  std::uint8_t pad30962[2];
};

struct USAGE_AND_PAGE {
  std::uint16_t Usage;
  std::uint16_t UsagePage;
};

#pragma pack(pop)

// FunctionType, DeviceCode, FunctionID, indexed by FunctionType 0..36.
struct TButtonFunctionRow {
  std::int32_t FunctionType;
  std::int32_t DeviceCode;
  std::int32_t FunctionID;
};
inline constexpr int kFunctionTypeCount = 37;
extern const std::array<TButtonFunctionRow, kFunctionTypeCount> ButtonFunctionTable;

// Function types the host itself acts on.
enum : std::uint16_t {
  kFuncMicrophoneMute = 28,
  kFuncMacroByIndex = 29,
  kFuncPlayMacro = 31,
  kFuncRecordToggle = 32,
};

// Report 7 entries: report ID then the 24-bit one-hot mask, low byte first.
extern const std::array<std::array<std::uint8_t, 4>, 24> ButtonReportTable;

// The collection that identifies the mouse; set when TDM is created.
extern USAGE_AND_PAGE DeviceUsageAndPage;

inline constexpr std::uint32_t kProfileFileVersion = 259;

// Every size and offset of the stored formats.
static_assert(sizeof(TMACROKEY) == 6);
static_assert(offsetof(TMACROKEY, nKeyState) == 2 && offsetof(TMACROKEY, VALUE1) == 4 &&
              offsetof(TMACROKEY, VALUE2) == 5);
static_assert(sizeof(TMACROKEYINFO) == 892);
static_assert(offsetof(TMACROKEYINFO, MacroListCount) == 768);
static_assert(offsetof(TMACROKEYINFO, nAutoAddDelay) == 772);
static_assert(offsetof(TMACROKEYINFO, nLoopCount) == 774);
static_assert(offsetof(TMACROKEYINFO, nMacroIndex) == 776);
static_assert(offsetof(TMACROKEYINFO, MacroUse) == 778);
static_assert(offsetof(TMACROKEYINFO, szMacroName) == 780);
static_assert(offsetof(TMACROKEYINFO, Version) == 880);
static_assert(offsetof(TMACROKEYINFO, HaveErrors) == 884);
static_assert(offsetof(TMACROKEYINFO, ErrorCount) == 888);
static_assert(sizeof(TMACROKEYINFOLIST) == 18736);
static_assert(offsetof(TMACROKEYINFOLIST, nMacroInfoCount) == 18732);
static_assert(sizeof(TMACROINFOLIST_TO_DEVICE) == 4464);
static_assert(offsetof(TMACROINFOLIST_TO_DEVICE, nMacroInfoCount) == 4460);
static_assert(sizeof(TCOMBOKEYINFO) == 10);
static_assert(offsetof(TCOMBOKEYINFO, nKey1Extended) == 2 && offsetof(TCOMBOKEYINFO, nKeyValue2) == 4 &&
              offsetof(TCOMBOKEYINFO, nKey2Extended) == 6 && offsetof(TCOMBOKEYINFO, nModifier) == 8);
static_assert(sizeof(TBUTTONFUNCINFO) == 3772);
static_assert(offsetof(TBUTTONFUNCINFO, SingleKey) == 2);
static_assert(offsetof(TBUTTONFUNCINFO, SingleKeyExtended) == 4);
static_assert(offsetof(TBUTTONFUNCINFO, ComboKey) == 6);
static_assert(offsetof(TBUTTONFUNCINFO, DeviceValue1) == 16);
static_assert(offsetof(TBUTTONFUNCINFO, DeviceValue2) == 18);
static_assert(offsetof(TBUTTONFUNCINFO, MacroInfo) == 24);
static_assert(offsetof(TBUTTONFUNCINFO, MacroInfo) + offsetof(TMACROKEYINFO, nMacroIndex) == 800);
static_assert(offsetof(TBUTTONFUNCINFO, DeviceWord1) == 916);
static_assert(offsetof(TBUTTONFUNCINFO, DeviceWord2) == 918);
static_assert(offsetof(TBUTTONFUNCINFO, DeviceParam) == 924);
static_assert(offsetof(TBUTTONFUNCINFO, unused928) == 928);
static_assert(offsetof(TBUTTONFUNCINFO, ReportMask) == 3748);
static_assert(offsetof(TBUTTONFUNCINFO, ButtonIndex) == 3752);
static_assert(offsetof(TBUTTONFUNCINFO, FunctionType) == 3754);
static_assert(offsetof(TBUTTONFUNCINFO, FunctionClass) == 3756);
static_assert(offsetof(TBUTTONFUNCINFO, DeviceCode) == 3760);
static_assert(offsetof(TBUTTONFUNCINFO, FunctionID) == 3764);
static_assert(sizeof(TCPILEVELINFO) == 6 && sizeof(TLEDCONFIG) == 6 && sizeof(TSENSORLIFT) == 1);
static_assert(sizeof(TPROFILE_MACRO_PATH) == 1026);
static_assert(sizeof(TMOUSECONFIGINFO) == 84120);
static_assert(offsetof(TMOUSECONFIGINFO, VWheelButtonFuncInfo) == 56580);
static_assert(offsetof(TMOUSECONFIGINFO, HWheelButtonFuncInfo) == 64124);
static_assert(offsetof(TMOUSECONFIGINFO, VWheelType) == 71668);
static_assert(offsetof(TMOUSECONFIGINFO, HWheelType) == 71670);
static_assert(offsetof(TMOUSECONFIGINFO, VWheelSpeed) == 71672);
static_assert(offsetof(TMOUSECONFIGINFO, HWheelSpeed) == 71674);
static_assert(offsetof(TMOUSECONFIGINFO, DoubleClickSpeed) == 71676);
static_assert(offsetof(TMOUSECONFIGINFO, PointerSpeed) == 71678);
static_assert(offsetof(TMOUSECONFIGINFO, PointerAcceleration) == 71680);
static_assert(offsetof(TMOUSECONFIGINFO, UseSystemPointerSpeedSetting) == 71682);
static_assert(offsetof(TMOUSECONFIGINFO, ReportRate) == 71684);
static_assert(offsetof(TMOUSECONFIGINFO, CurrentCPIIndex) == 71688);
static_assert(offsetof(TMOUSECONFIGINFO, CurrentCPIX) == 71692);
static_assert(offsetof(TMOUSECONFIGINFO, CurrentCPIY) == 71694);
static_assert(offsetof(TMOUSECONFIGINFO, MinCPI) == 71696);
static_assert(offsetof(TMOUSECONFIGINFO, MaxCPI) == 71698);
static_assert(offsetof(TMOUSECONFIGINFO, UseDiffentXY) == 71700);
static_assert(offsetof(TMOUSECONFIGINFO, UseCPIOnScreenFlyShow) == 71722);
static_assert(offsetof(TMOUSECONFIGINFO, CPIState) == 71724);
static_assert(offsetof(TMOUSECONFIGINFO, CPILevel) == 71790);
static_assert(offsetof(TMOUSECONFIGINFO, AutoSwitchProfileWhenAppRun) == 71792);
static_assert(offsetof(TMOUSECONFIGINFO, ApplicationList) == 71794);
static_assert(offsetof(TMOUSECONFIGINFO, LEDConfig) == 82054);
static_assert(offsetof(TMOUSECONFIGINFO, Sensorlift) == 82060);
static_assert(offsetof(TMOUSECONFIGINFO, ButtonCount) == 82064);
static_assert(offsetof(TMOUSECONFIGINFO, ProfilePath) == 82068);
static_assert(offsetof(TMOUSECONFIGINFO, MacroPath) == 83094);
static_assert(sizeof(TFUNCTIONLIST) == 800);
static_assert(sizeof(TOtherConfig) == 24);
static_assert(offsetof(TOtherConfig, HelpFile) == 16 && offsetof(TOtherConfig, Nologo) == 20);
static_assert(sizeof(TProfileUIDData) == 8);
static_assert(sizeof(TProfileHeader) == 72);
static_assert(offsetof(TProfileHeader, FFileType) == 4);
static_assert(offsetof(TProfileHeader, FFileName) == 12);
static_assert(offsetof(TProfileHeader, FProfileSize) == 56);
static_assert(offsetof(TProfileHeader, FProfileUID) == 64);
static_assert(sizeof(TMouseProfileInfo) == 109816);
static_assert(offsetof(TMouseProfileInfo, FunctionList) == 72);
static_assert(offsetof(TMouseProfileInfo, ConfigInfo) == 872);
static_assert(offsetof(TMouseProfileInfo, HWheelFunctionList) == 84992);
static_assert(offsetof(TMouseProfileInfo, VWheelFunctionList) == 85792);
static_assert(offsetof(TMouseProfileInfo, MacroKeyInfoList) == 86592);
static_assert(offsetof(TMouseProfileInfo, MacroInfoToDevice) == 105328);
static_assert(offsetof(TMouseProfileInfo, OtherConfig) == 109792);
// Absolute offsets that other parts of the system use.
constexpr std::size_t ButtonFunctionTypeOffset(int i) {
  return offsetof(TMouseProfileInfo, ConfigInfo) + offsetof(TMOUSECONFIGINFO, ButtonFuncInfo) +
         sizeof(TBUTTONFUNCINFO) * static_cast<std::size_t>(i) + offsetof(TBUTTONFUNCINFO, FunctionType);
}
constexpr std::size_t ButtonMacroInfoOffset(int i) {
  return offsetof(TMouseProfileInfo, ConfigInfo) + sizeof(TBUTTONFUNCINFO) * static_cast<std::size_t>(i) +
         offsetof(TBUTTONFUNCINFO, MacroInfo);
}
static_assert(ButtonFunctionTypeOffset(0) == 4626 && ButtonFunctionTypeOffset(14) == 4626 + 3772 * 14);
static_assert(ButtonMacroInfoOffset(0) == 896 && ButtonMacroInfoOffset(9) == 896 + 3772 * 9);
static_assert(offsetof(TMouseProfileInfo, MacroKeyInfoList) + offsetof(TMACROKEYINFOLIST, MacroInfos) == 86592);
static_assert(sizeof(TPROFILESTOREINFO) == 6190);
static_assert(offsetof(TPROFILESTOREINFO, FilePath) == 2);
static_assert(offsetof(TPROFILESTOREINFO, KeyPath) == 2050);
static_assert(offsetof(TPROFILESTOREINFO, FileName) == 4098);
static_assert(offsetof(TPROFILESTOREINFO, MacroPath) == 4140);
static_assert(offsetof(TPROFILESTOREINFO, StorageType) == 6188);
static_assert(sizeof(TALLGAMESINFO) == 30954);
static_assert(offsetof(TALLGAMESINFO, CurrentGame) == 30950);
static_assert(offsetof(TALLGAMESINFO, CurrentLanguage) == 30952);
static_assert(sizeof(TProfileSettingGroup) == 30964);
static_assert(offsetof(TProfileSettingGroup, ProfileIndexOfProfileGroup) == 4);
static_assert(offsetof(TProfileSettingGroup, ProfileSettingList) == 12);
static_assert(sizeof(USAGE_AND_PAGE) == 4);

}  // namespace vx
