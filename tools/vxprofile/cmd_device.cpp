// vxprofile payload [--slot N] | write [--slot N]: the feature reports that
// writing a profile into the mouse sends, printed or sent.
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "device/DevicePayload.h"
#include "device/kwHIDData.h"
#include "platform/MainThread.h"
#include "platform/VirtualHidBus.h"
#include "profiles/DMUnit.h"
#include "tools/vxprofile/Commands.h"
#include "tools/vxprofile/ProfileEdit.h"

namespace vx::cli {
namespace {

// Parses [--slot N]; -1 when absent. Returns false (after Fail) on bad input.
bool ParseSlot(const Context& ctx, const char* command, int& slot, int& rc) {
  slot = -1;
  for (std::size_t i = 0; i < ctx.args.size(); ++i) {
    if (ctx.args[i] == "--slot") {
      if (i + 1 >= ctx.args.size()) {
        rc = Fail("--slot needs a slot number, 0 to 4");
        return false;
      }
      const std::string& v = ctx.args[++i];
      if (v.size() != 1 || v[0] < '0' || v[0] > '4') {
        rc = Fail("--slot takes 0 to 4, not '" + v + "'");
        return false;
      }
      slot = v[0] - '0';
    } else {
      rc = Fail(std::string(command) + ": unexpected argument '" + ctx.args[i] + "'");
      return false;
    }
  }
  return true;
}

// The profile manager as the monitor creates it, with slot N current.
std::unique_ptr<TDM> LoadWithSlot(const Context& ctx, int& slot) {
  if (!ctx.storeDir.empty()) {
    const std::u8string root(reinterpret_cast<const char8_t*>(ctx.storeDir.data()), ctx.storeDir.size());
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(root) / "Documents", ec);
  }
  auto dm = std::make_unique<TDM>();
  dm->RunCreationSequence();
  if (slot < 0) slot = dm->CurrentSlot();
  dm->SwitchToProfile(slot);
  return dm;
}

std::string HexLine(const std::vector<std::uint8_t>& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string s;
  s.reserve(bytes.size() * 2);
  for (auto b : bytes) {
    s += digits[b >> 4];
    s += digits[b & 15];
  }
  return s;
}

int Payload(Context& ctx) {
  int slot = -1;
  int rc = 0;
  if (!ParseSlot(ctx, "payload", slot, rc)) return rc;
  auto dm = LoadWithSlot(ctx, slot);
  // A stand-in mouse that takes every report and keeps it.
  VirtualHidBus bus;
  VirtualDeviceDesc mouse;
  mouse.HardwareIds = {u"HID\\VXPROFILE_PAYLOAD"};
  VirtualCollection c;
  c.UsagePage = DeviceUsageAndPage.UsagePage;
  c.Usage = DeviceUsageAndPage.Usage;
  c.FeatureReportLength = 4096;
  c.FeatureReportLengths = FramedFeatureReportLengths();
  mouse.Collections = {c};
  bus.Plug(mouse);
  QueuedMainThread main;
  TkwHIDData hid(&bus, &main);
  hid.FHidDeviceList.clear();
  WriteProfileToDevice(hid, *dm, slot);
  for (const auto& sent : bus.Sent()) std::printf("%s\n", HexLine(sent.Bytes).c_str());
  return 0;
}

int Write(Context& ctx) {
  int slot = -1;
  int rc = 0;
  if (!ParseSlot(ctx, "write", slot, rc)) return rc;
  auto dm = LoadWithSlot(ctx, slot);
  return WriteToMouse(dm->FCurrentProfileInfo, slot);
}

}  // namespace

VX_COMMAND("payload", "payload [--slot 0-4] print the feature reports a profile write sends", Payload);
VX_COMMAND("write", "write [--slot 0-4]   write the profile's buttons and macros into the mouse", Write);

}  // namespace vx::cli
