#pragma once
// The monitor on a virtual bus with a virtual millisecond clock: timers fire
// when the clock passes their deadline, so debounce timing is exact and
// tests do not sleep.
#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "app/AppFakes.h"
#include "app/MemRegistry.h"
#include "app/MouseMonitor.h"
#include "platform/Debug.h"
#include "platform/DeviceArrival.h"
#include "platform/MainThread.h"
#include "platform/MessageBox.h"
#include "platform/Registry.h"
#include "platform/Shell.h"
#include "platform/VirtualHidBus.h"
#include "profiles/DMUnit.h"

namespace vx::test {

class ClockWindows final : public IWindowSystem {
 public:
  class Timer;
  std::uint64_t now = 0;
  // Clock readings at each ProcessMessages (the reopen path pumps once).
  std::vector<std::uint64_t> pumps;
  std::vector<SentMessage> posted;
  std::function<void()> onProcessMessages;

  WindowHandle FindWindowByClass(WView) override { return 0; }
  WindowHandle FindWindowByCaption(WView) override { return 0; }
  std::intptr_t SendMessageTo(WindowHandle, std::uint32_t, std::uintptr_t, std::intptr_t) override { return 0; }
  bool PostMessageTo(WindowHandle w, std::uint32_t m, std::uintptr_t wp, std::intptr_t lp) override {
    posted.push_back({w, m, wp, lp, true});
    return true;
  }
  void ShowWindowCmd(WindowHandle, int) override {}
  void BringToForeground(WindowHandle) override {}
  bool ShellOpen(WindowHandle, WView, WView, WView, int) override { return true; }
  std::uint32_t StartSelfElevated(WView) override { return 1223; }
  std::uint32_t CurrentProcessId() override { return 1; }
  void ProcessMessages() override {
    pumps.push_back(now);
    if (onProcessMessages) onProcessMessages();
  }
  void SleepMs(std::uint32_t ms) override { now += ms; }
  void Terminate() override {}
  std::unique_ptr<ITimer> CreateTimer(std::function<void()> onTimer) override;
  OsVersionInfo OsVersion() override { return {2, 10, 0}; }

  // Moves the clock forward one millisecond at a time, firing due timers.
  void Advance(std::uint64_t ms);

 private:
  std::vector<Timer*> timers_;
};

class ClockWindows::Timer final : public ITimer {
 public:
  Timer(ClockWindows& owner, std::function<void()> fn) : owner_(owner), fn_(std::move(fn)) {
    owner_.timers_.push_back(this);
  }
  ~Timer() override { std::erase(owner_.timers_, this); }
  void SetInterval(std::uint32_t ms) override {
    interval_ = ms;
    due_ = owner_.now + ms;
  }
  std::uint32_t Interval() const override { return interval_; }
  void SetEnabled(bool e) override {
    enabled_ = e;
    if (e) due_ = owner_.now + interval_;
  }
  bool Enabled() const override { return enabled_; }
  void Tick() {
    if (!enabled_ || owner_.now < due_) return;
    due_ = owner_.now + interval_;
    fn_();
  }

 private:
  ClockWindows& owner_;
  std::function<void()> fn_;
  std::uint32_t interval_ = 1000;
  std::uint64_t due_ = 1000;
  bool enabled_ = true;
};

inline std::unique_ptr<ITimer> ClockWindows::CreateTimer(std::function<void()> onTimer) {
  return std::make_unique<Timer>(*this, std::move(onTimer));
}

inline void ClockWindows::Advance(std::uint64_t ms) {
  for (std::uint64_t i = 0; i < ms; ++i) {
    ++now;
    const auto snapshot = timers_;
    for (Timer* t : snapshot) t->Tick();
  }
}

// The arrival notifier's host: keeps the callbacks so tests can deliver
// device-change messages.
struct RigArrivalHost final : IDeviceArrivalHost {
  RigArrivalHost(DeviceArrivalCallbacks c, RigArrivalHost** self) : callbacks(std::move(c)) { *self = this; }
  ~RigArrivalHost() override = default;
  bool RegisterNotification(const std::array<std::uint8_t, 32>&) override { return true; }
  void PostDeviceChange(std::uint32_t, std::intptr_t) override {}
  void StartTimer(std::uint32_t) override {}
  void StopTimer() override {}
  DeviceArrivalCallbacks callbacks;
};

inline VirtualDeviceDesc RigMouse() {
  VirtualDeviceDesc d;
  d.HardwareIds = {u"HID\\VID_1234&PID_5678&MI_01&Col02"};
  VirtualCollection vendor;
  vendor.UsagePage = 0xFFA0;
  vendor.Usage = 0x0001;
  vendor.InputReportLength = 8;
  vendor.FeatureReportLength = 4096;
  vendor.FeatureReportLengths = FramedFeatureReportLengths();
  d.Collections = {vendor};
  return d;
}

constexpr WindowHandle kRigWindow = 0x4242;

// Registry, folders, profile manager and monitor, created in that order.
class MonitorRig {
 public:
  explicit MonitorRig(const std::filesystem::path& folder) {
    SetDebugSink([](WView) {});
    SetMessageBoxSink([this](WView t, WView) { boxes.emplace_back(t); });
    SetRegistry(&reg);
    std::filesystem::create_directories(folder / "Documents");
    SetDocumentsFolderOverride(FromUtf8((folder / "Documents").string()));
    SetExecutableFolderOverride(FromUtf8(folder.string() + "/"));
    SetDeviceArrivalHostFactory([this](DeviceArrivalCallbacks c) -> std::unique_ptr<IDeviceArrivalHost> {
      return std::make_unique<RigArrivalHost>(std::move(c), &arrival);
    });
    IsPlayingMacro = false;
    IsRecordingMacro = false;
  }
  ~MonitorRig() {
    mon.reset();
    dm.reset();
    SetDeviceArrivalHostFactory(nullptr);
    SetRegistry(nullptr);
    SetDocumentsFolderOverride(u"");
    SetExecutableFolderOverride(u"");
    SetMessageBoxSink(nullptr);
    SetDebugSink(nullptr);
  }

  // Loads the stores (writing the defaults) and creates the monitor.
  TVXMonMain& Start() {
    dm = std::make_unique<TDM>();
    dm->DataModuleCreate();
    MonitorServices s;
    s.windows = &windows;
    s.input = &input;
    s.timer = &timer;
    s.audio = &audio;
    s.hidBus = busInUse ? busInUse : &bus;
    s.dispatcher = &main;
    mon = std::make_unique<TVXMonMain>(*dm, s, kRigWindow);
    mon->Extensions.ToggleMacroRecording = [this](std::uint8_t i) { toggles.push_back(i); };
    mon->FormCreate();
    return *mon;
  }

  // A device-interface arrival as the system reports it.
  void Arrival() {
    std::array<std::uint32_t, 8> header{32, kDbtDevTypDeviceInterface};
    arrival->callbacks.OnDeviceChange(kDbtDeviceArrival, reinterpret_cast<std::intptr_t>(header.data()));
  }

  // Runs the main thread until pred holds; pred is checked every
  // millisecond too, for conditions no queued call announces.
  bool RunUntil(const std::function<bool()>& pred, std::uint32_t timeoutMs = 5000) {
    for (std::uint32_t waited = 0; waited < timeoutMs; ++waited) {
      if (main.RunUntil(pred, 1)) return true;
    }
    return pred();
  }

  // A button event is waiting (the monitor posts itself other messages too).
  bool ButtonPosted() const {
    for (const auto& m : windows.posted)
      if (m.msg == WM_VX_BUTTON_EVENT) return true;
    return false;
  }

  // Hands every posted message to the monitor.
  void Pump() {
    auto list = std::move(windows.posted);
    windows.posted.clear();
    for (const auto& m : list) {
      if (m.window == kRigWindow) mon->HandleMessage(m.msg, m.wparam, m.lparam);
    }
    main.ReleaseHeld();
  }

  // The bus the monitor reads, when not `bus` itself (a benchmark's wrapper
  // of it); set before Start.
  IHidBus* busInUse = nullptr;
  MemRegistry reg;
  ClockWindows windows;
  FakeInput input;
  FakePreciseTimer timer;
  FakeAudioSystem audio;
  VirtualHidBus bus;
  // Workers wake after the posted messages their reports caused (Pump), as
  // on Windows.
  QueuedMainThread main{true};
  RigArrivalHost* arrival = nullptr;
  std::unique_ptr<TDM> dm;
  std::unique_ptr<TVXMonMain> mon;
  std::vector<WStr> boxes;
  std::vector<std::uint8_t> toggles;
};

}  // namespace vx::test
