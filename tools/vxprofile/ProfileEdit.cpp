#include "tools/vxprofile/ProfileEdit.h"

#include <cstdio>
#include <filesystem>

#include "app/ConfigLink.h"
#include "device/DevicePayload.h"
#include "device/kwHIDData.h"
#include "platform/Files.h"

namespace vx::cli {

namespace {
IWindowSystem* g_windows = nullptr;
bool g_windowsSet = false;

// Restores the registry the command ran with, also when a load throws.
class RegistryView {
 public:
  explicit RegistryView(bool readOnly) : previous_(GetRegistry()), view_(previous_) {
    if (readOnly) SetRegistry(&view_);
  }
  ~RegistryView() { SetRegistry(&previous_); }
  RegistryView(const RegistryView&) = delete;
  RegistryView& operator=(const RegistryView&) = delete;

 private:
  IRegistry& previous_;
  ReadOnlyRegistry view_;
};

const char* CommandText(const TDeviceSent& s) {
  if (s.Command == kCmdBracket) return "bracket";
  if (s.Command == kCmdMemoryWrite) return "memory write";
  return "command";
}
}  // namespace

std::optional<int> ParseIndex(const std::string& text, int lo, int hi) {
  if (text.empty() || text.size() > 6) return std::nullopt;
  int v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + (c - '0');
  }
  if (v < lo || v > hi) return std::nullopt;
  return v;
}

bool TakeChangeOptions(Context& ctx, ChangeOptions& o, bool allowSlot, int& rc) {
  std::vector<std::string> rest;
  for (std::size_t i = 0; i < ctx.args.size(); ++i) {
    const std::string& a = ctx.args[i];
    if (a == "--write") {
      o.write = true;
    } else if (a == "--force") {
      o.force = true;
    } else if (a == "--slot" && allowSlot) {
      if (i + 1 >= ctx.args.size()) {
        rc = Fail("--slot needs a slot number, 0 to 4");
        return false;
      }
      const auto v = ParseIndex(ctx.args[++i], 0, 4);
      if (!v) {
        rc = Fail("--slot takes 0 to 4, not '" + ctx.args[i] + "'");
        return false;
      }
      o.slot = *v;
    } else {
      rest.push_back(a);
    }
  }
  ctx.args = std::move(rest);
  return true;
}

std::unique_ptr<TDM> LoadManager(const Context& ctx, bool readOnly) {
  if (!ctx.storeDir.empty()) {
    // A fresh store has no documents folder yet; the profile folder goes there.
    const std::u8string root(reinterpret_cast<const char8_t*>(ctx.storeDir.data()), ctx.storeDir.size());
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(root) / "Documents", ec);
  }
  RegistryView view(readOnly);
  auto dm = std::make_unique<TDM>();
  dm->RunCreationSequence();
  return dm;
}

IWindowSystem* CliWindows() {
  if (g_windowsSet) return g_windows;
#if defined(_WIN32)
  return &PlatformWindowSystem();
#else
  return nullptr;
#endif
}

void SetCliWindows(IWindowSystem* windows) {
  g_windows = windows;
  g_windowsSet = windows != nullptr;
}

bool CheckChangeAllowed(const ChangeOptions& o, const TMouseProfileInfo* toWrite, int slot, int& rc) {
  IWindowSystem* w = CliWindows();
  const bool configRuns =
      w != nullptr && (w->FindWindowByClass(kConfigWindowClass) != 0 || w->FindWindowByCaption(kConfigWindowCaption) != 0);
  if (configRuns && !o.force) {
    rc = Fail(
        "nothing changed: the configuration application is running and keeps its own copy of the profiles, "
        "which it would write over this change when it next saves; close it first, or add --force");
    return false;
  }
  if (o.write && toWrite != nullptr) {
    if (const char* gap = ProfileWriteGap(*toWrite, slot)) {
      rc = Fail("nothing changed: slot " + std::to_string(slot) + " cannot be written to the mouse: " + gap);
      return false;
    }
    TkwHIDData hid;
    auto probe = std::make_unique<THIDDataParam>();
    probe->UsageAndPage = DeviceUsageAndPage;
    if (!hid.IsDeviceExist(*probe)) {
      rc = Fail("nothing changed: --write needs the mouse, and none is present");
      return false;
    }
  }
  if (configRuns) std::printf("the configuration application is running: its next save may write over this change\n");
  return true;
}

bool StoreSlot(TDM& dm, const TMouseProfileInfo& profile, int slot, std::string& error) {
  // A first change on a fresh store also keeps the defaults its slot
  // descriptors came from, as the monitor's first start would.
  IRegistry& reg = GetRegistry();
  const auto unsaved = [&](WView value) {
    error = "slot " + std::to_string(slot) + " was not saved: " + UnsavedValue(value);
    return false;
  };
  if (!reg.QueryValue(HKEY_CURRENT_USER_, kProfileKeyPath, kGroupValueName) &&
      !dm.SaveProfileGroupSettingInfoToRegistry()) {
    return unsaved(kGroupValueName);
  }
  if (!reg.QueryValue(HKEY_CURRENT_USER_, kProfileKeyPath, kAllSettingValueName) &&
      !dm.kwProfileAllSettingInfo.SaveStreamToRegistry()) {
    return unsaved(kAllSettingValueName);
  }
  if (!dm.SaveBackToProfileInfo(profile, slot)) {
    error = "cannot store slot " + std::to_string(slot);
    return false;
  }
  if (!dm.SaveProfileInfoToRegistry(slot)) return unsaved(dm.FProfileGroup[slot]->FileName());
  const TPROFILESTOREINFO& d = dm.FProfileSettingGroup.ProfileSettingList[slot];
  if (d.StorageType == 1) {
    const WStr file = IncludeTrailingBackslash(ReadFixed(d.FilePath)) + ReadFixed(d.FileName);
    if (!dm.FProfileGroup[slot]->SaveStreamToFile(file)) {
      error = "cannot write the profile file " + NativePath(file);
      return false;
    }
  }
  // The current slot's working copy follows, as after the monitor's reload.
  if (slot == dm.CurrentSlot()) dm.ReadCurrentProfileInfo();
  return true;
}

std::string UnsavedValue(WView value) {
  return "the registry value \"" + ToUtf8(value) +
         "\" could not be written; nothing was sent to the monitor or the mouse";
}

bool NotifyMonitor(const TDM& dm) {
  IWindowSystem* w = CliWindows();
  if (w == nullptr) return false;
  const WindowHandle monitor = w->FindWindowByClass(kMonitorWindowClass);
  if (monitor == 0) return false;
  // The monitor stores lparam as ProfileID: pass the stored one so it stays.
  std::int32_t profileId = dm.FProfileGroupIndex;
  auto v = GetRegistry().QueryValue(HKEY_CURRENT_USER_, kProfileKeyPath, kProfileIDValueName);
  if (v && v->type == RegType::DWord && v->data.size() == 4) {
    profileId = static_cast<std::int32_t>(v->data[0] | (v->data[1] << 8) | (v->data[2] << 16) |
                                          (static_cast<std::uint32_t>(v->data[3]) << 24));
  }
  if (!w->PostMessageTo(monitor, WM_VX_RELOAD_PROFILES, 0, profileId)) return false;
  std::printf("the monitor reloads the profiles (ProfileID stays %d)\n", profileId);
  return true;
}

int FinishChange(const TDM& dm, const ChangeOptions& o, const TMouseProfileInfo& profile, int slot,
                 const std::string& done) {
  std::printf("%s\n", done.c_str());
  NotifyMonitor(dm);
  return o.write ? WriteToMouse(profile, slot) : 0;
}

int WriteToMouse(const TMouseProfileInfo& profile, int slot) {
  if (const char* gap = ProfileWriteGap(profile, slot)) {
    return Fail("nothing sent: slot " + std::to_string(slot) + " cannot be written to the mouse: " + gap);
  }
  TkwHIDData hid;
  auto probe = std::make_unique<THIDDataParam>();
  probe->UsageAndPage = DeviceUsageAndPage;
  if (!hid.IsDeviceExist(*probe)) {
    char buf[128];
    std::snprintf(buf, sizeof buf, "nothing sent: no mouse with the HID collection 0x%04X/0x%04X is present",
                  DeviceUsageAndPage.UsagePage, DeviceUsageAndPage.Usage);
    return Fail(buf);
  }
  const TDeviceWriteResult result = WriteProfileToDevice(hid, profile, slot);
  std::size_t bytes = 0, failed = 0;
  for (std::size_t i = 0; i < result.Sent.size(); ++i) {
    const TDeviceSent& s = result.Sent[i];
    bytes += s.ReportBytes;
    char line[160];
    int n = std::snprintf(line, sizeof line, "  report %zu: %s", i + 1, CommandText(s));
    if (s.Command == kCmdMemoryWrite) {
      n += std::snprintf(line + n, sizeof line - static_cast<std::size_t>(n), " of %u bytes at 0x%04X",
                         s.PayloadLength, s.Address);
    }
    std::snprintf(line + n, sizeof line - static_cast<std::size_t>(n), ", %u-byte report: %s", s.ReportBytes,
                  s.Result == 0 ? "sent" : ("failed, error " + std::to_string(s.Result)).c_str());
    std::printf("%s\n", line);
    if (s.Result != 0) ++failed;
  }
  if (failed != 0) {
    return Fail("the write to the mouse failed: " + std::to_string(failed) + " of " +
                std::to_string(result.Sent.size()) + " reports were not taken");
  }
  std::printf("slot %d written into the mouse's onboard profile %d: %zu reports, %zu bytes\n", slot, slot,
              result.Sent.size(), bytes);
  return 0;
}

}  // namespace vx::cli
