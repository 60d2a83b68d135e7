// "config.ini" of any content: the INI reader, the include list of the HID
// transport and the monitor's other options read from it. The include list
// holds at most 101 non-empty entries, each one the file's own text.
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <span>

#include "FuzzSupport.h"
#include "device/kwHIDData.h"
#include "platform/MainThread.h"
#include "platform/Shell.h"
#include "platform/VirtualHidBus.h"
#include "profiles/DMUnit.h"
#include "profiles/IniFile.h"

namespace {
constexpr const char* kName = "fuzz_config_ini";
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const auto& scratch = vx::fuzz::ScratchFolder(kName);
  static vx::VirtualHidBus bus;
  static vx::QueuedMainThread main;
  static const bool ready = [] {
    vx::fuzz::Quiet();
    vx::SetExecutableFolderOverride(vx::fuzz::AsWinFolder(scratch));
    return true;
  }();
  (void)ready;

  const vx::IniFile ini = vx::IniFile::Parse(std::span<const std::uint8_t>(data, size));
  std::size_t keys = 0;
  for (const auto& section : {u"IncludeHIDDeviceList", u"OtherConfig", u"HelpFiles"}) {
    for (const auto& key : ini.SectionKeys(section)) {
      ++keys;
      if (!ini.Find(section, key)) vx::fuzz::Fault(kName, "a listed key cannot be found");
    }
    if (!ini.SectionKeys(section).empty() && !ini.HasSection(section)) vx::fuzz::Fault(kName, "keys without a section");
  }
  (void)ini.ReadInteger(u"OtherConfig", u"NoLogo", 0);
  (void)keys;

  {
    std::ofstream out(scratch / "config.ini", std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  vx::TkwHIDData hid(&bus, &main);
  if (hid.FHidDeviceList.size() > 101) vx::fuzz::Fault(kName, "include list longer than 101 entries");
  for (std::size_t i = 0; i < hid.FHidDeviceList.size(); ++i) {
    const auto& entry = hid.FHidDeviceList[i];
    if (entry.empty()) vx::fuzz::Fault(kName, "empty include entry");
    const auto expected = ini.Find(u"IncludeHIDDeviceList", u"id" + vx::IntToWStr(static_cast<int>(i + 1)));
    if (!expected || *expected != entry) vx::fuzz::Fault(kName, "include entry differs from the file");
  }
  (void)hid.PassesIncludeList({u"HID\\VID_1234&PID_5678"});

  vx::TDM dm;
  (void)dm.LoadOtherConfig();
  for (const auto& [key, value] : dm.HelpFiles) {
    if (value.empty()) vx::fuzz::Fault(kName, "help file entry without a file");
  }
  return 0;
}
