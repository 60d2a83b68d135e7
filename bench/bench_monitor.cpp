// The running monitor on the virtual bus: report-to-action latency, start-up
// of the profile manager and monitor, and what an idle monitor costs.
#include <benchmark/benchmark.h>

#include <pthread.h>
#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/Files.h"
#include "platform/Log.h"
#include "reliability/MonitorRig.h"

namespace vx {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Percentile(std::vector<double> v, double q) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[static_cast<std::size_t>(q * static_cast<double>(v.size() - 1))];
}

fs::path Scratch(const char* name) {
  auto p = fs::temp_directory_path() / (std::string(name) + "-" + std::to_string(::getpid()));
  fs::remove_all(p);
  fs::create_directories(p);
  return p;
}

// Pins the calling thread to one processor; threads it starts afterwards
// inherit that. The floor's partner thread and the monitor's threads start
// on one processor, the benchmark's thread then moves to another, so every
// wake in floor and path crosses the same two processors and a compile
// running beside them costs both alike.
bool PinTo(int cpu) {
  if (cpu >= CPU_SETSIZE || cpu >= static_cast<int>(std::thread::hardware_concurrency())) return false;
  cpu_set_t set;
  CPU_ZERO(&set);
  CPU_SET(cpu, &set);
  return ::pthread_setaffinity_np(::pthread_self(), sizeof set, &set) == 0;
}

void Unpin() {
  cpu_set_t set;
  CPU_ZERO(&set);
  for (unsigned i = 0; i < std::thread::hardware_concurrency() && i < CPU_SETSIZE; ++i) CPU_SET(i, &set);
  ::pthread_setaffinity_np(::pthread_self(), sizeof set, &set);
}

// The floor of a report's path: one thread wakes another, which wakes the
// first again (condition-variable ping-pong). The path below has the same
// two wake-ups (read thread, then main thread), so what the machine's
// scheduler costs shows here as well as there.
class PingPong {
 public:
  PingPong() : thread_([this] { Serve(); }) {}
  ~PingPong() {
    {
      std::lock_guard lock(m_);
      stop_ = true;
    }
    cv_.notify_all();
    thread_.join();
  }
  // One round trip, in microseconds.
  double RoundTrip() {
    const auto t0 = Clock::now();
    std::unique_lock lock(m_);
    ++ping_;
    cv_.notify_all();
    cv_.wait(lock, [&] { return pong_ == ping_; });
    const auto t1 = Clock::now();
    firstWake_ = std::chrono::duration<double, std::micro>(servedAt_ - t0).count();
    return std::chrono::duration<double, std::micro>(t1 - t0).count();
  }
  // Of the last round trip: until the partner woke.
  double FirstWake() const { return firstWake_; }

 private:
  void Serve() {
    std::unique_lock lock(m_);
    for (;;) {
      cv_.wait(lock, [&] { return stop_ || ping_ != pong_; });
      if (stop_) return;
      servedAt_ = Clock::now();
      pong_ = ping_;
      cv_.notify_all();
    }
  }
  std::mutex m_;
  std::condition_variable cv_;
  long ping_ = 0;
  long pong_ = 0;
  Clock::time_point servedAt_;
  double firstWake_ = 0;
  bool stop_ = false;
  std::thread thread_;
};

// The virtual bus, with the moment each read returned on the read thread.
class StampingBus final : public IHidBus {
 public:
  explicit StampingBus(IHidBus& bus) : bus_(bus) {}
  Guid HidGuid() override { return bus_.HidGuid(); }
  std::optional<std::vector<HidInterfaceInfo>> Enumerate(const Guid& c) override { return bus_.Enumerate(c); }
  std::unique_ptr<IHidDevice> Open(WView path, bool forReading, std::uint32_t* error) override {
    auto d = bus_.Open(path, forReading, error);
    return d ? std::make_unique<Device>(std::move(d), readAt) : nullptr;
  }
  std::unique_ptr<IHidDevice> Probe(WView path) override { return bus_.Probe(path); }
  std::atomic<Clock::time_point> readAt{};

 private:
  class Device final : public IHidDevice {
   public:
    Device(std::unique_ptr<IHidDevice> d, std::atomic<Clock::time_point>& at) : d_(std::move(d)), at_(at) {}
    bool GetAttributes(HidAttributes& out) override { return d_->GetAttributes(out); }
    bool GetCaps(HidCaps& out) override { return d_->GetCaps(out); }
    std::uint32_t SetFeature(std::span<const std::uint8_t> r, std::uint32_t ms) override { return d_->SetFeature(r, ms); }
    std::uint32_t GetFeature(std::span<std::uint8_t> r, std::uint32_t ms) override { return d_->GetFeature(r, ms); }
    std::uint32_t WriteOutput(std::span<const std::uint8_t> r, std::uint32_t ms) override {
      return d_->WriteOutput(r, ms);
    }
    HidReadResult Read(std::span<std::uint8_t> buffer, const StopSignal& stop) override {
      auto r = d_->Read(buffer, stop);
      at_.store(Clock::now());
      return r;
    }
    std::uint32_t MaxInputUsageListLength() override { return d_->MaxInputUsageListLength(); }
    bool GetInputButtonUsages(std::span<const std::uint8_t> r, std::vector<HidUsageAndPage>& out) override {
      return d_->GetInputButtonUsages(r, out);
    }

   private:
    std::unique_ptr<IHidDevice> d_;
    std::atomic<Clock::time_point>& at_;
  };
  IHidBus& bus_;
};

// A button report read on the read thread, handed to the main thread,
// decoded, posted as message 7524 and handled there: the button's action
// (a microphone toggle) is the end point.
class ButtonLatency {
 public:
  ButtonLatency(const fs::path& dir, benchmark::State& state)
      : rig_(dir), stamps_(rig_.bus), mon_((rig_.busInUse = &stamps_, rig_.Start())) {
    rig_.dm->FCurrentProfileInfo.ConfigInfo.ButtonFuncInfo[0].FunctionType = kFuncMicrophoneMute;
    // Stamps the moment the main thread takes the report: the path's two
    // wakes lie before it, decoding and dispatch after it.
    auto onData = mon_.kwHIDData1->OnData;
    mon_.kwHIDData1->OnData = [this, onData](const WStr& id, const WStr& path, std::uint8_t reportId,
                                             const std::uint8_t* data, std::uint16_t size) {
      takenAt_ = Clock::now();
      onData(id, path, reportId, data, size);
    };
    dev_ = rig_.bus.Plug(test::RigMouse());
    rig_.Arrival();
    rig_.windows.Advance(1500);
    if (!rig_.bus.WaitForReaders(dev_, 0, 1, 5000)) state.SkipWithError("the mouse was not opened");
    rig_.audio.state.notify = [this] {
      latency_ = std::chrono::duration<double, std::micro>(Clock::now() - queuedAt_).count();
      sets_.fetch_add(1);
    };
  }
  ~ButtonLatency() { mon_.kwHIDData1->HidStopRead(); }

  // One report through the whole path; its latency in microseconds.
  double Once() {
    const auto& entry = ButtonReportTable[0];
    const std::uint8_t report[8] = {7, entry[1], entry[2], entry[3], 0, 0, 0, 0};
    const int want = sets_.load() + 1;
    queuedAt_ = Clock::now();
    rig_.bus.QueueInput(dev_, 0, report);
    // The main thread's loop: handed-over reports, then posted messages.
    while (sets_.load() < want) {
      rig_.main.RunUntil([&] { return !rig_.windows.posted.empty(); }, 1000);
      rig_.Pump();
    }
    const auto readAt = stamps_.readAt.load();
    toRead_ = std::chrono::duration<double, std::micro>(readAt - queuedAt_).count();
    toMain_ = std::chrono::duration<double, std::micro>(takenAt_ - readAt).count();
    return latency_;
  }
  // Of the last report: queued to read on the read thread (the first wake),
  // read to taken on the main thread (the read thread's work, the second wake).
  double ToRead() const { return toRead_; }
  double ToMain() const { return toMain_; }

 private:
  test::MonitorRig rig_;
  StampingBus stamps_;
  TVXMonMain& mon_;
  int dev_ = 0;
  Clock::time_point queuedAt_;
  Clock::time_point takenAt_;
  double latency_ = 0;
  double toRead_ = 0;
  double toMain_ = 0;
  std::atomic<int> sets_{0};
};

void BM_ReportToButtonAction(benchmark::State& state) {
  const auto dir = Scratch("vx-bench-latency");
  std::vector<double> latencies;
  latencies.reserve(50000);
  std::vector<double> floor;
  floor.reserve(50000);
  std::vector<double> toRead, toMain, work, floorFirst;
  floorFirst.reserve(50000);
  toRead.reserve(50000);
  toMain.reserve(50000);
  work.reserve(50000);
  {
    const bool pinned = PinTo(1);
    PingPong pingPong;
    ButtonLatency path(dir, state);
    if (pinned) PinTo(0);
    for (auto _ : state) {
      floor.push_back(pingPong.RoundTrip());
      floorFirst.push_back(pingPong.FirstWake());
      latencies.push_back(path.Once());
      toRead.push_back(path.ToRead());
      toMain.push_back(path.ToMain());
      work.push_back(latencies.back() - path.ToRead() - path.ToMain());
    }
    state.counters["pinned"] = pinned ? 1 : 0;
  }
  Unpin();
  const double median = Percentile(latencies, 0.5);
  const double p99 = Percentile(latencies, 0.99);
  const double floorMedian = Percentile(floor, 0.5);
  const double floorP99 = Percentile(floor, 0.99);
  state.counters["median_us"] = median;
  state.counters["p99_us"] = p99;
  state.counters["max_us"] = Percentile(latencies, 1.0);
  state.counters["floor_median_us"] = floorMedian;
  state.counters["floor_p99_us"] = floorP99;
  state.counters["floor_max_us"] = Percentile(floor, 1.0);
  // Target: at most 1.2 each.
  state.counters["ratio_median"] = floorMedian > 0 ? median / floorMedian : 0;
  state.counters["ratio_p99"] = floorP99 > 0 ? p99 / floorP99 : 0;
  // Where the time goes: queued to read (first wake), read to taken on the
  // main thread (read thread's work, second wake), then decoding, message
  // 7524 and the handler.
  state.counters["floor_first_wake_median_us"] = Percentile(floorFirst, 0.5);
  state.counters["to_read_median_us"] = Percentile(toRead, 0.5);
  state.counters["to_read_p99_us"] = Percentile(toRead, 0.99);
  state.counters["to_main_median_us"] = Percentile(toMain, 0.5);
  state.counters["to_main_p99_us"] = Percentile(toMain, 0.99);
  state.counters["work_median_us"] = Percentile(work, 0.5);
  state.counters["work_p99_us"] = Percentile(work, 0.99);
  fs::remove_all(dir);
}
BENCHMARK(BM_ReportToButtonAction)->Iterations(20000)->Unit(benchmark::kMicrosecond)->UseRealTime();

// The same path with the log on: every report writes its "KeyIndex" line,
// queued for the log's own thread. Iterations alternate log on and off, each
// after a bare round trip, so all three figures come from the same machine
// state; the ratios to the floor are what count.
void BM_ReportToButtonActionLogOn(benchmark::State& state) {
  const auto dir = Scratch("vx-bench-latency-log");
  std::vector<double> on, off, floor;
  {
    FileLogWriter log(FromNativePath((dir / "VXMon.log").string()));
    const bool pinned = PinTo(1);
    PingPong pingPong;
    ButtonLatency path(dir, state);
    if (pinned) PinTo(0);
    bool logOn = false;
    for (auto _ : state) {
      logOn = !logOn;
      floor.push_back(pingPong.RoundTrip());
      SetLogWriter(logOn ? &log : nullptr);
      (logOn ? on : off).push_back(path.Once());
    }
    SetLogWriter(nullptr);
  }
  Unpin();
  const double onMedian = Percentile(on, 0.5), onP99 = Percentile(on, 0.99);
  const double offMedian = Percentile(off, 0.5), offP99 = Percentile(off, 0.99);
  const double floorMedian = Percentile(floor, 0.5), floorP99 = Percentile(floor, 0.99);
  state.counters["log_on_median_us"] = onMedian;
  state.counters["log_on_p99_us"] = onP99;
  state.counters["log_off_median_us"] = offMedian;
  state.counters["log_off_p99_us"] = offP99;
  state.counters["floor_median_us"] = floorMedian;
  state.counters["floor_p99_us"] = floorP99;
  // Target: log on within 1.2 of the floor.
  state.counters["on_floor_ratio_median"] = onMedian / std::max(floorMedian, 1e-9);
  state.counters["on_floor_ratio_p99"] = onP99 / std::max(floorP99, 1e-9);
  state.counters["on_off_ratio_median"] = onMedian / std::max(offMedian, 1e-9);
  state.counters["on_off_ratio_p99"] = onP99 / std::max(offP99, 1e-9);
  state.counters["log_kb"] = static_cast<double>(fs::file_size(dir / "VXMon.log")) / 1024.0;
  fs::remove_all(dir);
}
BENCHMARK(BM_ReportToButtonActionLogOn)->Iterations(40000)->Unit(benchmark::kMicrosecond)->UseRealTime();

// Context switches of every thread but this one.
std::map<std::string, long> Switches() {
  std::map<std::string, long> out;
  const std::string self = std::to_string(::gettid());
  for (const auto& t : fs::directory_iterator("/proc/self/task")) {
    const std::string tid = t.path().filename().string();
    if (tid == self) continue;
    std::ifstream in(t.path() / "status");
    std::string line;
    long n = 0;
    while (std::getline(in, line)) {
      if (line.rfind("voluntary_ctxt_switches:", 0) == 0 || line.rfind("nonvoluntary_ctxt_switches:", 0) == 0) {
        n += std::stol(line.substr(line.find(':') + 1));
      }
    }
    out[tid] = n;
  }
  return out;
}

long StatusKb(const char* field) {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind(field, 0) == 0) return std::stol(line.substr(line.find(':') + 1));
  }
  return -1;
}

// The mouse open, no input: how often the read thread wakes, and the
// process's private (anonymous) memory with the monitor running.
void BM_IdleWithMouseOpen(benchmark::State& state) {
  const auto dir = Scratch("vx-bench-idle");
  // With the log on, as the monitor runs by default: its thread must sleep
  // too.
  FileLogWriter log(FromNativePath((dir / "VXMon.log").string()));
  SetLogWriter(&log);
  test::MonitorRig rig(dir);
  rig.Start();
  const int dev = rig.bus.Plug(test::RigMouse());
  rig.Arrival();
  rig.windows.Advance(1500);
  if (!rig.bus.WaitForReaders(dev, 0, 1, 5000)) state.SkipWithError("the mouse was not opened");
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  double seconds = 0;
  long wakeups = 0;
  for (auto _ : state) {
    const auto before = Switches();
    const auto t0 = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(3));
    seconds += std::chrono::duration<double>(Clock::now() - t0).count();
    for (const auto& [tid, n] : Switches()) {
      auto it = before.find(tid);
      wakeups += n - (it == before.end() ? 0 : it->second);
    }
  }
  state.counters["read_thread_wakeups_per_s"] = static_cast<double>(wakeups) / seconds;
  state.counters["threads"] = static_cast<double>(Switches().size() + 1);
  state.counters["private_kb"] = static_cast<double>(StatusKb("RssAnon:"));
  SetLogWriter(nullptr);
  fs::remove_all(dir);
}
BENCHMARK(BM_IdleWithMouseOpen)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
}  // namespace vx

BENCHMARK_MAIN();
