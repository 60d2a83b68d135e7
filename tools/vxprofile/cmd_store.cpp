// vxprofile init | show [--slot N] | export NAME FILE | import NAME FILE
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "platform/Files.h"
#include "platform/Registry.h"
#include "platform/Shell.h"
#include "profiles/DMUnit.h"
#include "tools/vxprofile/Commands.h"
#include "tools/vxprofile/ProfileEdit.h"

namespace vx::cli {
namespace {

const char* OriginText(TDM::TStoreOrigin o) {
  switch (o) {
    case TDM::TStoreOrigin::Stored:
      return "stored";
    case TDM::TStoreOrigin::DefaultSaved:
      return "default saved";
    case TDM::TStoreOrigin::DefaultInMemory:
      return "default in memory";
    case TDM::TStoreOrigin::Empty:
      return "not loaded (storage type)";
  }
  return "?";
}

// The manager, created as the monitor creates it; errors propagate.
std::unique_ptr<TDM> CreateManager() {
  auto dm = std::make_unique<TDM>();
  dm->RunCreationSequence();
  return dm;
}

int Init(Context& ctx) {
  if (!ctx.args.empty()) return Fail("init takes no arguments");
  if (!ctx.storeDir.empty()) {
    // A fresh store has no documents folder yet; the profile folder goes there.
    const std::u8string root(reinterpret_cast<const char8_t*>(ctx.storeDir.data()), ctx.storeDir.size());
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(root) / "Documents", ec);
    if (ec) return Fail("cannot create " + ctx.storeDir + "/Documents: " + ec.message());
  }
  auto dm = CreateManager();
  for (const auto& r : dm->LoadReport) {
    std::printf("%-32s %-26s %zu bytes\n", ToUtf8(r.Name).c_str(), OriginText(r.Origin), r.Size);
  }
  auto macro = GetRegistry().QueryValue(HKEY_CURRENT_USER_, kProfileKeyPath, kRecordMacroValueName);
  std::printf("%-32s %-26s %zu bytes\n", ToUtf8(kRecordMacroValueName).c_str(), macro ? "stored" : "not stored",
              macro ? macro->data.size() : std::size_t{0});
  std::printf("profile folder: %s\n", NativePath(TDM::GetProfileFolder()).c_str());
  return 0;
}

// ---- show

const char* MouseButtonName(int index) {
  static const char* const names[] = {"?", "left", "right", "middle", "backward", "forward"};
  return index >= 1 && index <= 5 ? names[index] : "button ?";
}

std::string ActionText(const TMACROKEY& a) {
  char buf[96];
  const char* updown = a.nKeyState == 1 ? "down" : "up";
  switch (a.nKeyType) {
    case kActionMouse:
      std::snprintf(buf, sizeof buf, "%s button %s", MouseButtonName(a.VALUE2), updown);
      break;
    case kActionWheel:
      std::snprintf(buf, sizeof buf, "wheel %s", a.VALUE2 == 6 ? "down" : a.VALUE2 == 7 ? "up" : "?");
      break;
    case kActionKey:
      std::snprintf(buf, sizeof buf, "key 0x%02X%s %s", a.VALUE1, a.VALUE2 ? " (extended)" : "", updown);
      break;
    case kActionPressCode:
      std::snprintf(buf, sizeof buf, "code 0x%04X %s", a.Code(), updown);
      break;
    case kActionDelay:
      std::snprintf(buf, sizeof buf, "pause %u ms", a.Delay());
      break;
    case kActionLoop:
      std::snprintf(buf, sizeof buf, "loop %u", a.Code());
      break;
    default:
      std::snprintf(buf, sizeof buf, "kind %u (0x%02X 0x%02X)", a.nKeyType, a.VALUE1, a.VALUE2);
  }
  return buf;
}

std::string MacroName(const TMACROKEYINFO& m) { return ToUtf8(ReadFixed(m.szMacroName)); }

std::string ButtonText(const TBUTTONFUNCINFO& b, const TMouseProfileInfo& p) {
  char buf[160];
  const std::uint32_t mask = b.ReportMask[0] | (b.ReportMask[1] << 8) | (b.ReportMask[2] << 16);
  switch (b.FunctionType) {
    case kFuncMicrophoneMute:
      std::snprintf(buf, sizeof buf, "microphone mute on the host (mask 0x%06X)", mask);
      return buf;
    case kFuncRecordToggle:
      std::snprintf(buf, sizeof buf, "start/stop macro recording on the host (mask 0x%06X)", mask);
      return buf;
    case kFuncPlayMacro: {
      const auto& list = p.MacroKeyInfoList;
      const std::string name = list.nMacroInfoCount > 0 ? MacroName(list.MacroInfos[0]) : std::string("(none)");
      return "plays macro 0 on the host: \"" + name + "\"";
    }
    default:
      break;
  }
  switch (b.DeviceCode) {
    case 11:
    case 12:
      std::snprintf(buf, sizeof buf, "device function %d, parameter %d", b.DeviceCode, b.DeviceParam);
      break;
    case 14:
      std::snprintf(buf, sizeof buf, "device values %u, %u", b.DeviceValue1, b.DeviceValue2);
      break;
    case 15:
      std::snprintf(buf, sizeof buf, "key combination 0x%02X + 0x%02X, modifiers 0x%04X", b.ComboKey.nKeyValue1,
                    b.ComboKey.nKeyValue2, b.ComboKey.nModifier);
      break;
    case 16:
      std::snprintf(buf, sizeof buf, "single key 0x%02X%s", b.SingleKey, b.SingleKeyExtended ? " (extended)" : "");
      break;
    case 17: {
      const unsigned idx = b.MacroInfo.nMacroIndex;
      const auto& list = p.MacroKeyInfoList;
      const std::string name =
          idx < list.nMacroInfoCount && idx < kMaxMacros ? MacroName(list.MacroInfos[idx]) : std::string("(missing)");
      std::snprintf(buf, sizeof buf, "macro %u on the device: \"%s\"", idx, name.c_str());
      break;
    }
    case 18:
      std::snprintf(buf, sizeof buf, "device words %u, %u", b.DeviceWord1, b.DeviceWord2);
      break;
    case 19:
      std::snprintf(buf, sizeof buf, "reported as button mask 0x%06X", mask);
      break;
    default:
      std::snprintf(buf, sizeof buf, "device function %d", b.DeviceCode);
  }
  return buf;
}

void ShowProfile(const TDM& dm, const TMouseProfileInfo& p, int slot) {
  const TPROFILESTOREINFO& d = dm.FProfileSettingGroup.ProfileSettingList[slot];
  const char* where = d.StorageType == 0 ? "registry" : d.StorageType == 1 ? "file" : "not stored";
  std::printf("slot %d: %s (%s)%s\n", slot, ToUtf8(ReadFixed(d.FileName)).c_str(), where,
              slot == dm.FProfileIndex ? ", current" : "");
  std::printf("version %d, created %.6f (OLE date)\n", p.ProfileHeader.FFileVersion,
              std::isfinite(p.ProfileHeader.FProfileUID.DataTime) ? p.ProfileHeader.FProfileUID.DataTime : 0.0);
  const TMOUSECONFIGINFO& c = p.ConfigInfo;
  std::printf("buttons (%d sent to the mouse):\n", c.ButtonCount);
  for (int i = 0; i < kButtonCount; ++i) {
    const TBUTTONFUNCINFO& b = c.ButtonFuncInfo[i];
    std::printf("  %2d: type %2u class %2u code %2d id %4d  %s\n", i, b.FunctionType, b.FunctionClass, b.DeviceCode,
                b.FunctionID, ButtonText(b, p).c_str());
  }
  const int count = std::min<int>(p.MacroKeyInfoList.nMacroInfoCount, kMaxMacros);
  std::printf("macros (%d):\n", count);
  for (int i = 0; i < count; ++i) {
    const TMACROKEYINFO& m = p.MacroKeyInfoList.MacroInfos[i];
    const int actions = std::clamp<int>(m.MacroListCount, 0, kMaxMacroActions);
    std::printf("  %d \"%s\": %d actions, loop %u%s\n", i, MacroName(m).c_str(), actions, m.nLoopCount,
                m.HaveErrors ? ", has errors" : "");
    for (int j = 0; j < actions; ++j) std::printf("      %s\n", ActionText(m.MacroList[j]).c_str());
  }
  std::printf("resolution: %u levels, current %d\n", c.CPILevel, c.CurrentCPIIndex);
  for (int i = 0; i < 11; ++i) {
    const TCPILEVELINFO& l = c.CPIState[i];
    if (l.CPIX == 0 && l.CPIY == 0 && l.LevelFlag == 0) continue;
    std::printf("  level %d: %u x %u%s\n", i, l.CPIX, l.CPIY, i == c.CurrentCPIIndex ? " (current)" : "");
  }
  std::printf("lighting: R %u G %u B %u, brightness %u, breath speed %u, breath seconds %u\n", c.LEDConfig.R,
              c.LEDConfig.G, c.LEDConfig.B, c.LEDConfig.BRIGHT_LEVEL, c.LEDConfig.BREATH_SPEED,
              c.LEDConfig.BREATH_SECOND);
  std::printf("report rate: %u per second\n", c.ReportRate);
  std::printf("language index: %u\n", dm.FAllProfileSettingInfo.CurrentLanguage);
}

int Show(Context& ctx) {
  int slot = -1;
  for (std::size_t i = 0; i < ctx.args.size(); ++i) {
    if (ctx.args[i] == "--slot") {
      if (i + 1 >= ctx.args.size()) return Fail("--slot needs a slot number, 0 to 4");
      const std::string& v = ctx.args[++i];
      if (v.size() != 1 || v[0] < '0' || v[0] > '4') return Fail("--slot takes 0 to 4, not '" + v + "'");
      slot = v[0] - '0';
    } else {
      return Fail("show: unexpected argument '" + ctx.args[i] + "'");
    }
  }
  auto dm = LoadManager(ctx, true);
  if (slot < 0) slot = dm->CurrentSlot();
  auto p = std::make_unique<TMouseProfileInfo>();
  dm->ReadProfileInfo(*p, slot);
  ShowProfile(*dm, *p, slot);
  return 0;
}

// ---- export / import

int Export(Context& ctx) {
  if (ctx.args.size() != 2) return Fail("usage: export NAME FILE");
  const WStr name = FromUtf8(ctx.args[0]);
  auto value = GetRegistry().QueryValue(HKEY_CURRENT_USER_, kProfileKeyPath, name);
  if (!value) return Fail("no stored value '" + ctx.args[0] + "'");
  if (!WriteFileAtomic(FromNativePath(ctx.args[1]), value->data)) return Fail("cannot write " + ctx.args[1]);
  std::printf("exported %s: %zu bytes to %s\n", ctx.args[0].c_str(), value->data.size(), ctx.args[1].c_str());
  return 0;
}

int Import(Context& ctx) {
  if (ctx.args.size() != 2) return Fail("usage: import NAME FILE");
  const WStr name = FromUtf8(ctx.args[0]);
  const WStr file = FromNativePath(ctx.args[1]);
  if (!FileExists(file)) return Fail("cannot read " + ctx.args[1]);
  auto data = ReadWholeFile(file);
  if (!data) return Fail("cannot read " + ctx.args[1]);
  const std::size_t expected = KnownRecordSize(name);
  // A backup of another record would be taken for this one: refuse it.
  if (expected != 0 && data->size() != expected) {
    return Fail(ctx.args[1] + " holds " + std::to_string(data->size()) + " bytes; " + ctx.args[0] + " needs " +
                std::to_string(expected));
  }
  IRegistry& reg = GetRegistry();
  if (!reg.CreateKey(HKEY_CURRENT_USER_, kProfileKeyPath) ||
      !reg.SetValue(HKEY_CURRENT_USER_, kProfileKeyPath, name, RegType::Binary, *data)) {
    return Fail("cannot store " + ctx.args[0]);
  }
  std::printf("imported %s: %zu bytes from %s\n", ctx.args[0].c_str(), data->size(), ctx.args[1].c_str());
  return 0;
}

}  // namespace

VX_COMMAND("init", "init                 load or create every profile record, as the monitor does at start-up",
           Init);
VX_COMMAND("show", "show [--slot 0-4]    summary of a profile slot (default: the current one)", Show);
VX_COMMAND("export", "export NAME FILE     copy a stored value's bytes to FILE", Export);
VX_COMMAND("import", "import NAME FILE     store FILE's bytes as the value NAME", Import);

}  // namespace vx::cli
