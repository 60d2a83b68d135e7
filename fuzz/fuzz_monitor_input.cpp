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
#include "app/AppFakes.h"
#include "app/MemRegistry.h"
#include "app/MouseMonitor.h"
#include "platform/Files.h"
#include "platform/MainThread.h"
#include "platform/Registry.h"
#include "platform/Shell.h"
#include "platform/VirtualHidBus.h"
#include "profiles/DMUnit.h"

namespace {

constexpr const char* kName = "fuzz_monitor_input";
constexpr vx::WindowHandle kSelf = 0x4242;

struct World {
  vx::test::MemRegistry reg;
  vx::test::FakeWindowSystem windows;
  vx::test::FakeInput input;
  vx::test::FakePreciseTimer timer;
  vx::test::FakeAudioSystem audio;
  vx::VirtualHidBus bus;
  vx::QueuedMainThread main;
  std::unique_ptr<vx::TDM> dm;
  std::unique_ptr<vx::TVXMonMain> mon;
  std::map<std::pair<vx::WStr, vx::WStr>, vx::RegValue> stored;
  int toggles = 0;

  World() {
    vx::fuzz::Quiet();
    const auto& scratch = vx::fuzz::ScratchFolder(kName);
    vx::SetDocumentsFolderOverride(vx::ExcludeTrailingBackslash(vx::fuzz::AsWinFolder(scratch)));
    vx::SetExecutableFolderOverride(vx::fuzz::AsWinFolder(scratch));
    vx::SetRegistry(&reg);
    dm = std::make_unique<vx::TDM>();
    dm->DataModuleCreate();
    vx::MonitorServices s;
    s.windows = &windows;
    s.input = &input;
    s.timer = &timer;
    s.audio = &audio;
    s.hidBus = &bus;
    s.dispatcher = &main;
    mon = std::make_unique<vx::TVXMonMain>(*dm, s, kSelf);
    mon->Extensions.ToggleMacroRecording = [this](std::uint8_t) { ++toggles; };
    mon->FormCreate();
    windows.byClass[vx::WStr(vx::kConfigWindowClass)] = 0x7777;
    stored = reg.values;
  }

  void Pump() {
    for (const auto& m : windows.TakePosted(kSelf)) {
      if (m.msg == vx::WM_VX_BUTTON_EVENT && m.wparam >= vx::ButtonReportTable.size()) {
        vx::fuzz::Fault(kName, "posted an event code the monitor does not know");
      }
      mon->HandleMessage(m.msg, m.wparam, m.lparam);
    }
    windows.messages.clear();
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
        w.mon->kwHIDData1Data(u"dev", u"path", id, bytes.data(), static_cast<std::uint16_t>(bytes.size()));
        w.Pump();
        break;
      }
      case 1: {
        std::uint32_t lp = 0;
        for (int i = 0; i < 4; ++i) lp |= static_cast<std::uint32_t>(next()) << (8 * i);
        w.mon->HandleMessage(vx::WM_VX_RELOAD_PROFILES, next(), static_cast<std::int32_t>(lp));
        break;
      }
      case 2:
        w.mon->HandleMessage(vx::WM_VX_RELOAD_SETTINGS, next(), next());
        break;
      default: {
        const std::uint8_t slot = next() % vx::kButtonCount;
        const std::uint16_t type = static_cast<std::uint16_t>(next() | next() << 8);
        w.dm->FCurrentProfileInfo.ConfigInfo.ButtonFuncInfo[slot].FunctionType = type;
        break;
      }
    }
    if (vx::IsPlayingMacro) vx::fuzz::Fault(kName, "playing flag left set");
  }
  for (const auto& [key, value] : w.reg.values) {
    if (key.second == u"PROFILEID") continue;
    auto it = w.stored.find(key);
    if (it == w.stored.end() || it->second.data != value.data || it->second.type != value.type) {
      vx::fuzz::Fault(kName, "a stored value changed");
    }
  }
  if (w.reg.values.size() > w.stored.size() + 1) vx::fuzz::Fault(kName, "new stored values appeared");
  return 0;
}
