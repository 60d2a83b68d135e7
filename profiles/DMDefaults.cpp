// Default content of every stored record: what a fresh installation looks
// like to the configuration application and to the mouse.
#include <cstdio>
#include <cstring>

#include "platform/Clock.h"
#include "platform/Errors.h"
#include "platform/Files.h"
#include "platform/Locale.h"
#include "platform/Shell.h"
#include "profiles/DMUnit.h"
#include "profiles/kwMacroClassUnit.h"

namespace vx {
namespace {

// The handlers work in place on the stream's memory. Streams loaded from a
// short stored value are grown (with zeros) so the record always fits.
template <typename T>
T& RecordIn(TkwStream& s) {
  if (s.Bytes.size() < sizeof(T)) s.Bytes.resize(sizeof(T));
  return *reinterpret_cast<T*>(s.Bytes.data());
}

void SetActions(TMACROKEYINFO& m) {
  struct A {
    std::uint16_t type, state;
    std::uint8_t v1, v2;
  };
  // A double click of the left button.
  static constexpr A kActions[] = {{kActionMouse, 1, 1, 1}, {kActionDelay, 0, 6, 0},  {kActionMouse, 0, 1, 1},
                                   {kActionDelay, 0, 15, 0}, {kActionMouse, 1, 1, 1}, {kActionDelay, 0, 6, 0},
                                   {kActionMouse, 0, 1, 1}};
  int i = 0;
  for (const A& a : kActions) {
    m.MacroList[i] = TMACROKEY{a.type, a.state, a.v1, a.v2};
    ++i;
  }
  m.MacroListCount = i;
}

// Levels 0..3 of the default set, levels 4..9 unset, level 10 untouched.
void ResetCpiLevels(TMOUSECONFIGINFO& c) {
  for (int i = 0; i < 10; ++i) c.CPIState[i] = TCPILEVELINFO{0, 0, 0};
  const std::uint16_t levels[4] = {1000, 2000, 4000, 8200};
  for (int i = 0; i < 4; ++i) c.CPIState[i] = TCPILEVELINFO{levels[i], levels[i], 1};
  c.CurrentCPIIndex = 1;
}

void ResetLightAndReportRate(TMOUSECONFIGINFO& c) {
  c.ReportRate = 125;
  c.LEDConfig.BRIGHT_LEVEL = 2;
  c.LEDConfig.BREATH_SPEED = 2;
  c.LEDConfig.R = 255;
  c.LEDConfig.G = 0;
  c.LEDConfig.B = 0;
}

void ConfigDefaults(TMOUSECONFIGINFO& c) {
  c.VWheelSpeed = 3;
  c.DoubleClickSpeed = 550;
  c.PointerSpeed = 10;
  c.PointerAcceleration = 0;
  c.CPILevel = 4;
  ResetLightAndReportRate(c);
  ResetCpiLevels(c);
  for (int i = 0; i < 4; ++i) c.UseDiffentXY[i] = 1;
}

void SetReportMask(TBUTTONFUNCINFO& b, int button) {
  for (int k = 0; k < 3; ++k) b.ReportMask[k] = ButtonReportTable[static_cast<std::size_t>(button)][1 + k];
}

void StampHeader(TMouseProfileInfo& p, std::int32_t buttonCount) {
  p.ProfileHeader.FProfileUID.DataTime = NowAsOleDate();
  p.ProfileHeader.FFileVersion = static_cast<std::int32_t>(kProfileFileVersion);
  p.ConfigInfo.ButtonCount = buttonCount;
}

}  // namespace

void TDM::kwProfileGame1RestoreToDefault(TkwStream& AStream) {
  TMouseProfileInfo& p = RecordIn<TMouseProfileInfo>(AStream);
  StampHeader(p, 7);
  p.MacroKeyInfoList.nMacroInfoCount = 0;

  TMACROKEYINFO macro{};
  {
    TkwMacroClass model(p.MacroKeyInfoList);
    model.CreateNewMacro(TranslateProfileText(u"User Recorded"));
    model.SetMacroListIndex(0);
    macro = model.GetCurrentMacroKeyItem();
    SetActions(macro);
    macro.nAutoAddDelay = 1;
    macro.nLoopCount = 0;
    macro.nMacroIndex = 0;
    macro.Version = 0;
    macro.HaveErrors = 0;
    macro.ErrorCount = 0;
    macro.MacroUse = 0;
    model.SaveBackCurrentMacroKeyInfo(macro);
    model.GetMacroKeyInfoList(p.MacroKeyInfoList);
  }

  TBUTTONFUNCINFO* buttons = p.ConfigInfo.ButtonFuncInfo;
  for (int i = 0; i < 10; ++i) std::memset(&buttons[i], 0, offsetof(TBUTTONFUNCINFO, ButtonIndex));

  struct Row {
    std::uint16_t type;
    std::uint8_t cls;
  };
  static constexpr Row kRows[9] = {{0, 1}, {1, 1}, {2, 1}, {5, 8}, {5, 8}, {5, 8}, {31, 4}, {32, 11}, {30, 0}};
  for (int i = 0; i < 9; ++i) {
    TBUTTONFUNCINFO& b = buttons[i];
    const auto& row = ButtonFunctionTable[kRows[i].type];
    b.ButtonIndex = static_cast<std::uint16_t>(i);
    b.FunctionType = kRows[i].type;
    b.FunctionClass = kRows[i].cls;
    b.DeviceCode = row.DeviceCode;
    b.FunctionID = row.FunctionID;
  }
  buttons[3].SingleKey = 162;  // left Ctrl
  buttons[4].SingleKey = 160;  // left Shift
  buttons[5].SingleKey = 164;  // left Alt
  buttons[6].MacroInfo = macro;
  buttons[6].MacroInfo.nMacroIndex = 0;
  SetReportMask(buttons[7], 7);

  ConfigDefaults(p.ConfigInfo);
}

void TDM::kwProfileTestRestoreToDefault(TkwStream& AStream) {
  if (AStream.Size() == 0) return;
  TMouseProfileInfo& p = RecordIn<TMouseProfileInfo>(AStream);
  std::memset(&p, 0, sizeof p);
  StampHeader(p, 10);
  TBUTTONFUNCINFO* buttons = p.ConfigInfo.ButtonFuncInfo;
  for (int i = 0; i < 5; ++i) {
    buttons[i].ButtonIndex = static_cast<std::uint16_t>(i);
    buttons[i].FunctionClass = 1;
    buttons[i].FunctionType = static_cast<std::uint16_t>(i);
    buttons[i].DeviceCode = ButtonFunctionTable[static_cast<std::size_t>(i)].DeviceCode;
    buttons[i].FunctionID = 0;
  }
  for (int i = 5; i < 10; ++i) {
    buttons[i].ButtonIndex = static_cast<std::uint16_t>(i);
    buttons[i].FunctionClass = 11;
    buttons[i].FunctionType = 14;
    buttons[i].DeviceCode = 19;
    SetReportMask(buttons[i], i);
  }
  ConfigDefaults(p.ConfigInfo);
  p.MacroKeyInfoList.nMacroInfoCount = 0;
}

void TDM::kwProfileSettingGroupRestoreToDefault(TkwStream& AStream) {
  TProfileSettingGroup& g = RecordIn<TProfileSettingGroup>(AStream);
  for (int i = 0; i < kProfileSlots; ++i) {
    TPROFILESTOREINFO& d = g.ProfileSettingList[i];
    d.StatusFlag = 0;
    d.StorageType = 0;
    WriteFixed(d.FileName, DefaultSlotValueName(i));
    WriteFixed(d.KeyPath, kProfileKeyPath);
    const WStr folder = GetProfileFolder();
    WriteFixed(d.FilePath, folder);
    const WStr macros = folder + u"\\QZ3Profile" + IntToWStr(i + 1) + u"_Macros";
    WriteFixed(d.MacroPath, macros);
    for (const WStr& dir : {folder, macros}) {
      if (!DirectoryExists(dir) && !CreateDirectoryOneLevel(dir)) {
        throw VXError(VXError::Kind::FolderCreate, "Unable to create directory " + ToUtf8(dir));
      }
    }
  }
  g.CurrentProfileGroup = 0;
  g.ProfileIndexOfProfileGroup[0] = 0;
  g.ProfileIndexOfProfileGroup[1] = 1;
}

void TDM::kwProfileAllSettingInfoRestoreToDefault(TkwStream& AStream) {
  TALLGAMESINFO& a = RecordIn<TALLGAMESINFO>(AStream);
  for (auto& d : a.Allgameset) {
    d.StatusFlag = 0;
    d.StorageType = 0;
    d.FilePath[0] = 0;
  }
  a.CurrentGame = 0;
  a.Allgameset[0].StatusFlag = 1;
  char hex[8];
  std::snprintf(hex, sizeof hex, "%04X", static_cast<unsigned>(SystemDefaultLangID()));
  const std::string id(hex);
  a.CurrentLanguage = id == "0804" ? 1 : id == "0404" ? 2 : 0;
}

void TDM::RestoreToDefaultCPISetting() {
  TMOUSECONFIGINFO& c = FCurrentProfileInfo.ConfigInfo;
  ResetCpiLevels(c);
  // Unlike the profile default, this reset turns the separate X/Y flags off.
  for (int i = 0; i < 4; ++i) c.UseDiffentXY[i] = 0;
}

void TDM::RestoreToDefaultLightAndReportAdvancedSetting() { ResetLightAndReportRate(FCurrentProfileInfo.ConfigInfo); }

WStr TDM::GetProfileFolder() {
  const WStr docs = DocumentsFolder();
  if (docs.empty()) {
    throw VXError(VXError::Kind::FolderCreate, "The documents folder cannot be found");
  }
  const WStr folder = IncludeTrailingBackslash(docs) + kProfileFolderName;
  if (!DirectoryExists(folder) && !CreateDirectoryOneLevel(folder)) {
    throw VXError(VXError::Kind::FolderCreate, "Unable to create directory " + ToUtf8(folder));
  }
  return ExcludeTrailingBackslash(folder);
}

}  // namespace vx
