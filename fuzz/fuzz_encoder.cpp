// Arbitrary profile images through the whole device write: every report
// must be framed at its ID's length, every memory write must stay inside
// the button table or one macro block of onboard profile 0 or 1.
#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "device/DevicePayload.h"
#include "device/kwHIDData.h"
#include "platform/Debug.h"
#include "platform/MainThread.h"
#include "platform/VirtualHidBus.h"
#include "profiles/DMUnit.h"

namespace {

[[noreturn]] void Fault(const char* what) {
  std::fprintf(stderr, "fuzz_encoder: %s\n", what);
  std::abort();
}

std::uint16_t LengthOfId(std::uint8_t id) {
  switch (id) {
    case 2: return 16;
    case 3: return 64;
    case 4: return 1024;
    case 5: return 2048;
    case 6: return 4096;
    default: return 0;
  }
}

bool InsideOneRegion(std::uint32_t address, std::uint32_t length) {
  for (int profile = 0; profile < 2; ++profile) {
    const std::uint32_t table = vx::kButtonTableAddress[profile];
    if (address == table && length <= sizeof(vx::TDEVICEBUTTONTABLE)) return true;
    for (int s = 0; s < vx::kDeviceMacroSlots; ++s) {
      if (address == vx::MacroBlockAddress(profile, s) && length <= vx::kDeviceMacroBlockBytes) return true;
    }
  }
  return false;
}

struct World {
  vx::TMouseProfileInfo base{};
  vx::VirtualHidBus bus;
  vx::QueuedMainThread main;
  std::unique_ptr<vx::TkwHIDData> hid;
  World() {
    vx::SetDebugSink([](vx::WView) {});
    vx::TDM dm;
    vx::TkwStream stream;
    dm.kwProfileGame1RestoreToDefault(stream);
    std::memcpy(&base, stream.Memory(), sizeof base);
    vx::VirtualDeviceDesc d;
    vx::VirtualCollection c;
    c.UsagePage = 0xFFA0;
    c.Usage = 1;
    c.FeatureReportLength = 4096;
    c.FeatureReportLengths = vx::FramedFeatureReportLengths();
    d.Collections = {c};
    bus.Plug(d);
    hid = std::make_unique<vx::TkwHIDData>(&bus, &main);
    hid->FHidDeviceList.clear();
    vx::DeviceUsageAndPage = {1, 0xFFA0};
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static World world;
  if (size < 1) return 0;
  // Byte 0 picks the onboard profile (mostly 0 or 1). The rest patches the
  // default profile image: (offset: 4 bytes, length: 1 byte, bytes) runs, so
  // short inputs reach every field of the 109816-byte record.
  const std::int32_t index = data[0] % 4;
  auto profile = std::make_unique<vx::TMouseProfileInfo>(world.base);
  auto* image = reinterpret_cast<std::uint8_t*>(profile.get());
  for (std::size_t at = 1; at + 5 <= size;) {
    std::uint32_t offset = 0;
    std::memcpy(&offset, data + at, 4);
    offset %= sizeof(vx::TMouseProfileInfo);
    std::size_t len = data[at + 4];
    at += 5;
    len = std::min({len, size - at, sizeof(vx::TMouseProfileInfo) - offset});
    std::memcpy(image + offset, data + at, len);
    at += len;
  }

  vx::TDEVICEBUTTONTABLE table;
  vx::EncodeButtonTable(*profile, table);
  if (table.ButtonCount > vx::kDeviceButtonEntries) Fault("button count above 16");
  auto blocks = std::make_unique<vx::TDEVICEMACROBUFFER>();
  vx::EncodeMacroBlocks(*profile, *blocks);
  for (auto len : blocks->Lengths) {
    if (len > vx::kDeviceMacroBlockBytes || len % 3 != 0) Fault("macro block length out of range");
  }

  world.bus.ClearSent();
  vx::WriteProfileToDevice(*world.hid, *profile, index);
  const auto sent = world.bus.Sent();
  if (sent.size() < 2 || sent.size() > 8) Fault("unexpected number of reports");
  for (const auto& s : sent) {
    const auto& r = s.Bytes;
    if (r.empty() || LengthOfId(r[0]) == 0 || r.size() != LengthOfId(r[0])) Fault("report length does not match its ID");
    if (r[1] == vx::kCmdBracket) continue;
    if (r[1] != vx::kCmdMemoryWrite) Fault("unexpected command");
    const std::uint32_t address = r[2] | (r[3] << 8);
    const std::uint32_t length = r[4] | (r[5] << 8);
    if (length + 8 > r.size()) Fault("payload longer than its report");
    if (index != 0 && index != 1) Fault("write for an index outside 0..1");
    if (!InsideOneRegion(address, length)) Fault("memory write outside the map");
  }
  return 0;
}
