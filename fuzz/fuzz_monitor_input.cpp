// What reaches the running monitor from outside: input reports of any ID
// and length from the mouse, messages 7035 and 7037 with any parameters,
// and the function types that decide what a button does. The monitor must
// keep running, post only event codes it knows, and leave every stored
// value except ProfileID as it found it.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "FuzzSupport.h"
#include "reliability/MonitorRig.h"

namespace {

constexpr const char* kName = "fuzz_monitor_input";

struct World {
  vx::test::MonitorRig rig{vx::fuzz::ScratchFolder(kName)};
  std::map<std::pair<vx::WStr, vx::WStr>, vx::RegValue> stored;

  World() {
    rig.Start();
    vx::fuzz::Quiet();
    stored = rig.reg.values;
  }

  void Pump() {
    for (const auto& m : rig.windows.posted) {
      if (m.msg == vx::WM_VX_BUTTON_EVENT && m.wparam >= vx::ButtonReportTable.size()) {
        vx::fuzz::Fault(kName, "posted an event code the monitor does not know");
      }
    }
    rig.Pump();
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static World w;
  std::size_t at = 0;
  auto next = [&]() -> std::uint8_t { return at < size ? data[at++] : 0; };
  while (at < size) {
    const std::uint8_t tag = next();
    switch (tag % 4) {
      case 0: {
        const std::uint8_t id = next();
        const std::size_t len = std::min<std::size_t>(next(), size - at);
        std::vector<std::uint8_t> bytes(data + at, data + at + len);
        at += len;
        w.rig.mon->kwHIDData1Data(u"dev", u"path", id, bytes.data(), static_cast<std::uint16_t>(bytes.size()));
        w.Pump();
        break;
      }
      case 1: {
        std::uint32_t lp = 0;
        for (int i = 0; i < 4; ++i) lp |= static_cast<std::uint32_t>(next()) << (8 * i);
        w.rig.mon->HandleMessage(vx::WM_VX_RELOAD_PROFILES, next(), static_cast<std::int32_t>(lp));
        break;
      }
      case 2:
        w.rig.mon->HandleMessage(vx::WM_VX_RELOAD_SETTINGS, next(), next());
        break;
      default: {
        const std::uint8_t slot = next() % vx::kButtonCount;
        const std::uint16_t type = static_cast<std::uint16_t>(next() | next() << 8);
        w.rig.dm->FCurrentProfileInfo.ConfigInfo.ButtonFuncInfo[slot].FunctionType = type;
        break;
      }
    }
    if (vx::IsPlayingMacro) vx::fuzz::Fault(kName, "playing flag left set");
  }
  for (const auto& [key, value] : w.rig.reg.values) {
    if (key.second == u"PROFILEID") continue;
    auto it = w.stored.find(key);
    if (it == w.stored.end() || it->second.data != value.data || it->second.type != value.type) {
      vx::fuzz::Fault(kName, "a stored value changed");
    }
  }
  if (w.rig.reg.values.size() > w.stored.size() + 1) vx::fuzz::Fault(kName, "new stored values appeared");
  return 0;
}
