// The running monitor on the virtual bus: report-to-action latency, start-up
// of the profile manager and monitor, and what an idle monitor costs.
#include <benchmark/benchmark.h>

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
    return std::chrono::duration<double, std::micro>(Clock::now() - t0).count();
  }

 private:
  void Serve() {
    std::unique_lock lock(m_);
    for (;;) {
      cv_.wait(lock, [&] { return stop_ || ping_ != pong_; });
      if (stop_) return;
      pong_ = ping_;
      cv_.notify_all();
    }
  }
  std::mutex m_;
  std::condition_variable cv_;
  long ping_ = 0;
  long pong_ = 0;
  bool stop_ = false;
  std::thread thread_;
};

// A button report read on the read thread, handed to the main thread,
// decoded, posted as message 7524 and handled there: the button's action
// (a microphone toggle) is the end point.
class ButtonLatency {
 public:
  ButtonLatency(const fs::path& dir, benchmark::State& state) : rig_(dir), mon_(rig_.Start()) {
    rig_.dm->FCurrentProfileInfo.ConfigInfo.ButtonFuncInfo[0].FunctionType = kFuncMicrophoneMute;
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
    return latency_;
  }

 private:
  test::MonitorRig rig_;
  TVXMonMain& mon_;
  int dev_ = 0;
  Clock::time_point queuedAt_;
  double latency_ = 0;
  std::atomic<int> sets_{0};
};

void BM_ReportToButtonAction(benchmark::State& state) {
  const auto dir = Scratch("vx-bench-latency");
  std::vector<double> latencies;
  latencies.reserve(50000);
  std::vector<double> floor;
  floor.reserve(50000);
  {
    PingPong pingPong;
    ButtonLatency path(dir, state);
    for (auto _ : state) {
      floor.push_back(pingPong.RoundTrip());
      latencies.push_back(path.Once());
    }
  }
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
    PingPong pingPong;
    ButtonLatency path(dir, state);
    bool logOn = false;
    for (auto _ : state) {
      logOn = !logOn;
      floor.push_back(pingPong.RoundTrip());
      SetLogWriter(logOn ? &log : nullptr);
      (logOn ? on : off).push_back(path.Once());
    }
    SetLogWriter(nullptr);
  }
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
