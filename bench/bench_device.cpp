// Device link: how long a report takes from the HID driver to its handler
// on the main thread, and what encoding a full profile costs.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <vector>

#include "device/DevicePayload.h"
#include "device/kwHIDData.h"
#include "platform/Debug.h"
#include "platform/MainThread.h"
#include "platform/VirtualHidBus.h"
#include "profiles/DMUnit.h"

namespace vx {
namespace {

using Clock = std::chrono::steady_clock;

double Percentile(std::vector<double> v, double q) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const auto i = static_cast<std::size_t>(q * static_cast<double>(v.size() - 1));
  return v[i];
}

// One report queued on the virtual mouse, read by the read thread, handed to
// the main thread (this thread), handled. Latency = queue to handler start.
void BM_ReadThreadToMainThread(benchmark::State& state) {
  VirtualHidBus bus;
  VirtualDeviceDesc d;
  d.HardwareIds = {u"HID\\VID_1234&PID_5678"};
  VirtualCollection c;
  c.UsagePage = 0xFFA0;
  c.Usage = 1;
  c.InputReportLength = 8;
  d.Collections = {c};
  const int mouse = bus.Plug(d);
  QueuedMainThread main;
  TkwHIDData hid(&bus, &main);
  hid.FHidDeviceList.clear();
  std::atomic<bool> handled{false};
  Clock::time_point queuedAt;
  std::vector<double> latencies;
  latencies.reserve(100000);
  hid.OnData = [&](const WStr&, const WStr&, std::uint8_t, const std::uint8_t*, std::uint16_t) {
    latencies.push_back(std::chrono::duration<double, std::micro>(Clock::now() - queuedAt).count());
    handled = true;
  };
  hid.HidFindAndReadDevice({1, 0xFFA0}, u"*");
  bus.WaitForReaders(mouse, 0, 1, 5000);
  const std::uint8_t report[8] = {7, 1};
  for (auto _ : state) {
    handled = false;
    queuedAt = Clock::now();
    bus.QueueInput(mouse, 0, report);
    main.RunUntil([&] { return handled.load(); }, 5000);
  }
  hid.HidStopRead();
  state.counters["median_us"] = Percentile(latencies, 0.5);
  state.counters["p99_us"] = Percentile(latencies, 0.99);
  state.counters["max_us"] = Percentile(latencies, 1.0);
}
BENCHMARK(BM_ReadThreadToMainThread)->Iterations(20000)->Unit(benchmark::kMicrosecond);

// Five class-4 buttons, each with its own macro of 127 actions and a loop
// count: every block full (128 entries).
std::unique_ptr<TMouseProfileInfo> FullProfile() {
  auto p = std::make_unique<TMouseProfileInfo>();
  std::memset(p.get(), 0, sizeof *p);
  p->ConfigInfo.ButtonCount = 10;
  for (int s = 0; s < 5; ++s) {
    TMACROKEYINFO& m = p->MacroKeyInfoList.MacroInfos[s];
    for (int k = 0; k < 127; ++k) {
      switch (k % 4) {
        case 0: m.MacroList[k] = TMACROKEY{kActionKey, 1, 0x41, 0}; break;
        case 1: m.MacroList[k] = TMACROKEY{kActionDelay, 0, 25, 0}; break;
        case 2: m.MacroList[k] = TMACROKEY{kActionKey, 0, 0x41, 0}; break;
        default: m.MacroList[k] = TMACROKEY{kActionMouse, 1, 1, 1}; break;
      }
    }
    m.MacroListCount = 127;
    m.nLoopCount = 3;
    m.nMacroIndex = static_cast<std::uint16_t>(s);
    TBUTTONFUNCINFO& b = p->ConfigInfo.ButtonFuncInfo[s];
    b.FunctionClass = 4;
    b.DeviceCode = 17;
    b.MacroInfo = m;
  }
  p->MacroKeyInfoList.nMacroInfoCount = 5;
  return p;
}

void BM_EncodeFullProfile(benchmark::State& state) {
  const auto p = FullProfile();
  TDEVICEBUTTONTABLE table;
  auto macros = std::make_unique<TDEVICEMACROBUFFER>();
  for (auto _ : state) {
    EncodeMacroBlocks(*p, *macros);
    EncodeButtonTable(*p, table);
    benchmark::DoNotOptimize(table);
    benchmark::DoNotOptimize(macros->Lengths[4]);
  }
  if (macros->Lengths[4] != 384) state.SkipWithError("blocks not full");
}
BENCHMARK(BM_EncodeFullProfile)->Unit(benchmark::kMicrosecond);

// The whole write with every report framed and handed to a (virtual) mouse;
// feature_reports counts the reports one write sends.
void WriteProfile(benchmark::State& state, const TMouseProfileInfo& p) {
  VirtualHidBus bus;
  VirtualDeviceDesc d;
  VirtualCollection c;
  c.UsagePage = 0xFFA0;
  c.Usage = 1;
  c.FeatureReportLength = 4096;
  c.FeatureReportLengths = FramedFeatureReportLengths();
  d.Collections = {c};
  bus.Plug(d);
  QueuedMainThread main;
  TkwHIDData hid(&bus, &main);
  hid.FHidDeviceList.clear();
  DeviceUsageAndPage = {1, 0xFFA0};
  std::size_t reports = 0;
  for (auto _ : state) {
    WriteProfileToDevice(hid, p, 0);
    state.PauseTiming();
    reports = bus.Sent().size();
    bus.ClearSent();
    state.ResumeTiming();
  }
  state.counters["feature_reports"] = static_cast<double>(reports);
}

void BM_WriteFullProfile(benchmark::State& state) { WriteProfile(state, *FullProfile()); }
BENCHMARK(BM_WriteFullProfile)->Unit(benchmark::kMicrosecond);

// The default profile of a first run.
void BM_WriteDefaultProfile(benchmark::State& state) {
  auto p = std::make_unique<TMouseProfileInfo>();
  TDM dm;
  TkwStream stream;
  dm.kwProfileGame1RestoreToDefault(stream);
  std::memcpy(p.get(), stream.Memory(), sizeof *p);
  WriteProfile(state, *p);
}
BENCHMARK(BM_WriteDefaultProfile)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace vx

BENCHMARK_MAIN();
