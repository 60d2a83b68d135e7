#pragma once
// Fake platform services for the monitor's tests: each records what the
// monitor asked of it.
#include <algorithm>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/Notice.h"
#include "platform/AudioEndpoint.h"
#include "platform/PreciseTimer.h"
#include "platform/SessionState.h"
#include "platform/SyntheticInput.h"
#include "platform/WindowSystem.h"

namespace vx::test {

struct InputEvent {
  enum Kind { Key, Mouse } kind;
  std::uint32_t flags;
  std::int32_t a;  // vk, or dx
  std::int32_t b;  // scan, or dy
  std::int32_t data;
  bool operator==(const InputEvent&) const = default;
};

inline InputEvent Key(std::uint8_t vk, std::uint32_t flags, std::int32_t scan = 0) {
  return {InputEvent::Key, flags, vk, scan, 0};
}
inline InputEvent Mouse(std::uint32_t flags, std::int32_t x, std::int32_t y, std::int32_t data = 0) {
  return {InputEvent::Mouse, flags, x, y, data};
}

// Input as Windows documents it: MapVirtualKeyW(MAPVK_VK_TO_VSC_EX) of the
// US layout for the keys the tests use; SendInput reports 0 when refused;
// input into a foreground of a higher integrity level is dropped although
// SendInput reports it inserted.
class FakeInput final : public ISyntheticInput {
 public:
  ScreenPoint cursor{100, 200};
  int cursorReads = 0;
  // What the calls asked for, and what reached the foreground program.
  std::vector<InputEvent> events;
  std::vector<InputEvent> delivered;
  // Microsecond timestamps of each event, when a clock is attached.
  IPreciseTimer* clock = nullptr;
  std::vector<std::int64_t> times;
  // Runs inside each input call, after its time stamp (a slow hook).
  std::function<void()> during;
  // Calls from this one on (0-based) are refused; -1: none.
  int refuseFrom = -1;
  // The foreground window's process; none when hasForeground is false.
  bool hasForeground = true;
  ForegroundProcess foreground{4242, kIntegrityMedium};
  std::uint32_t own = kIntegrityMedium;
  // Scan codes of the keyboard scan code table (E0 prefix in the high byte).
  std::map<std::uint8_t, std::uint16_t> scanCodes{
      {0x41, 0x001E},  // A
      {0x42, 0x0030},  // B
      {0x0D, 0x001C},  // Enter (the keypad's Enter has the same VK, extended)
      {0x11, 0x001D},  // Ctrl: the left-hand code
      {0xA2, 0x001D},  // left Ctrl
      {0xA3, 0xE01D},  // right Ctrl
      {0xA5, 0xE038},  // right Alt
      {0x25, 0xE04B},  // Left Arrow
      {0x27, 0xE04D},  // Right Arrow
      {0x2D, 0xE052},  // Insert
      {0x2E, 0xE053},  // Delete
      {0x66, 0x004D},  // numeric keypad 6
      {0x13, 0xE11D},  // Pause (wine gives 0x0045)
      {0x90, 0xE045},  // Num Lock
      {0x03, 0xE046},  // Ctrl+Break
      {0x2C, 0xE037},  // Print Screen
  };

  bool CursorPos(ScreenPoint& pos) override {
    ++cursorReads;
    pos = cursor;
    return true;
  }
  std::uint16_t ScanCodeOf(std::uint8_t vk) override {
    const auto it = scanCodes.find(vk);
    return it == scanCodes.end() ? 0 : it->second;
  }
  bool KeybdEvent(std::uint8_t vk, std::uint8_t scan, std::uint32_t flags) override {
    return Record({InputEvent::Key, flags, vk, scan, 0});
  }
  bool MouseEvent(std::uint32_t flags, std::int32_t dx, std::int32_t dy, std::int32_t data,
                  std::uintptr_t) override {
    return Record({InputEvent::Mouse, flags, dx, dy, data});
  }
  bool Foreground(ForegroundProcess& out) override {
    if (!hasForeground) return false;
    out = foreground;
    return true;
  }
  std::uint32_t OwnIntegrity() override { return own; }

 private:
  bool Record(const InputEvent& e) {
    const bool refused = refuseFrom >= 0 && static_cast<int>(events.size()) >= refuseFrom;
    events.push_back(e);
    if (!refused && (!hasForeground || foreground.integrity <= own)) delivered.push_back(e);
    Stamp();
    return !refused;
  }
  void Stamp() {
    if (clock) times.push_back(clock->NowMicroseconds());
    if (during) during();
  }
};

// A virtual clock: sleeping moves it to the deadline; `cost` is added by
// every reading, like time spent in the input calls.
class FakePreciseTimer final : public IPreciseTimer {
 public:
  std::int64_t now = 1000000;
  std::int64_t costPerRead = 0;
  std::vector<std::int64_t> deadlines;
  int begins = 0;
  int ends = 0;
  bool preciseHeld = false;
  // Runs at every sleep, like something that happens during a pause.
  std::function<void()> onSleep;

  std::int64_t NowMicroseconds() override {
    now += costPerRead;
    return now;
  }
  void SleepUntil(std::int64_t deadline) override {
    deadlines.push_back(deadline);
    if (deadline > now) now = deadline;
    if (onSleep) onSleep();
  }
  // Times at which messages arrive for the sleeping thread, in order; a
  // wait returns at the first one before its deadline.
  std::deque<std::int64_t> messagesAt;
  bool SleepUntilOrMessage(std::int64_t deadline) override {
    if (!messagesAt.empty() && messagesAt.front() < deadline) {
      now = std::max(now, messagesAt.front());
      messagesAt.pop_front();
      return true;
    }
    SleepUntil(deadline);
    return false;
  }
  void BeginPrecise() override {
    ++begins;
    preciseHeld = true;
  }
  void EndPrecise() override {
    ++ends;
    preciseHeld = false;
  }
};

class FakeTimer;

struct SentMessage {
  WindowHandle window;
  std::uint32_t msg;
  std::uintptr_t wparam;
  std::intptr_t lparam;
  bool posted;
  bool operator==(const SentMessage&) const = default;
};

struct ShellCall {
  WindowHandle owner;
  std::u16string file, parameters, directory;
  int show;
};

class FakeWindowSystem final : public IWindowSystem {
 public:
  std::map<std::u16string, WindowHandle> byClass, byCaption;
  std::vector<SentMessage> messages;
  std::vector<ShellCall> shell;
  std::vector<std::pair<WindowHandle, int>> shows;
  std::vector<WindowHandle> foreground;
  std::vector<std::uint32_t> sleeps;
  int processCalls = 0;
  std::function<void()> onProcessMessages;
  std::function<void(const SentMessage&)> onSend;  // while the sender waits
  bool terminated = false;
  OsVersionInfo version{2, 10, 0};
  std::vector<FakeTimer*> timers;

  WindowHandle FindWindowByClass(WView c) override { return Find(byClass, c); }
  WindowHandle FindWindowByCaption(WView c) override { return Find(byCaption, c); }
  std::intptr_t SendMessageTo(WindowHandle w, std::uint32_t m, std::uintptr_t wp, std::intptr_t lp) override {
    messages.push_back({w, m, wp, lp, false});
    if (onSend) onSend(messages.back());
    return 0;
  }
  bool PostMessageTo(WindowHandle w, std::uint32_t m, std::uintptr_t wp, std::intptr_t lp) override {
    messages.push_back({w, m, wp, lp, true});
    return true;
  }
  void ShowWindowCmd(WindowHandle w, int cmd) override { shows.emplace_back(w, cmd); }
  void BringToForeground(WindowHandle w) override { foreground.push_back(w); }
  bool ShellOpen(WindowHandle owner, WView file, WView params, WView dir, int show) override {
    shell.push_back({owner, std::u16string(file), std::u16string(params), std::u16string(dir), show});
    return true;
  }
  // Parameters of each elevated start; its result (1223: the user declined).
  std::vector<std::u16string> elevatedStarts;
  std::uint32_t elevatedStartResult = 0;
  std::uint32_t StartSelfElevated(WView params) override {
    elevatedStarts.emplace_back(params);
    return elevatedStartResult;
  }
  std::uint32_t CurrentProcessId() override { return 777; }
  void ProcessMessages() override {
    ++processCalls;
    if (onProcessMessages) onProcessMessages();
  }
  void SleepMs(std::uint32_t ms) override { sleeps.push_back(ms); }
  void Terminate() override { terminated = true; }
  std::unique_ptr<ITimer> CreateTimer(std::function<void()> onTimer) override;
  OsVersionInfo OsVersion() override { return version; }

  // Messages posted to `window`, taken off the list.
  std::vector<SentMessage> TakePosted(WindowHandle window) {
    std::vector<SentMessage> out, keep;
    for (auto& m : messages) (m.posted && m.window == window ? out : keep).push_back(m);
    messages = keep;
    return out;
  }

 private:
  static WindowHandle Find(const std::map<std::u16string, WindowHandle>& m, WView key) {
    auto it = m.find(std::u16string(key));
    return it == m.end() ? 0 : it->second;
  }
};

class FakeTimer final : public ITimer {
 public:
  FakeTimer(FakeWindowSystem& owner, std::function<void()> fn) : owner_(owner), fn_(std::move(fn)) {
    owner_.timers.push_back(this);
  }
  ~FakeTimer() override { std::erase(owner_.timers, this); }
  void SetInterval(std::uint32_t ms) override { interval_ = ms; }
  std::uint32_t Interval() const override { return interval_; }
  void SetEnabled(bool e) override {
    if (e) ++starts;
    enabled_ = e;
  }
  bool Enabled() const override { return enabled_; }
  // The interval elapsed: fires when enabled.
  void Elapse() {
    if (enabled_) fn_();
  }
  int starts = 0;

 private:
  FakeWindowSystem& owner_;
  std::function<void()> fn_;
  std::uint32_t interval_ = 1000;
  bool enabled_ = true;
};

inline std::unique_ptr<ITimer> FakeWindowSystem::CreateTimer(std::function<void()> onTimer) {
  return std::make_unique<FakeTimer>(*this, std::move(onTimer));
}

// The notice window: what it showed; the foreground's notification state.
struct FakeNoticeWindow final : INoticeWindow {
  void Show(WView text) override { shown.emplace_back(text); }
  int UserNotificationState() override { return state; }
  std::vector<std::u16string> shown;
  int state = 5;  // QUNS_ACCEPTS_NOTIFICATIONS
};

struct FakeAudioState {
  bool muted = false;
  bool getFails = false;
  // The device keeps its state whatever it is asked (a hardware switch).
  bool setIgnored = false;
  int sets = 0;
  // Mixer.
  std::uint32_t mixerCount = 1;
  bool openFails = false;
  bool noMicLine = false;
  bool noMuteControl = false;
  bool detailsFail = false;
  std::uint32_t mixerValue = 0;
  int opens = 0;
  int closes = 0;
  EndpointNotify notify;
};

class FakeEndpoint final : public ICaptureEndpoint {
 public:
  FakeEndpoint(FakeAudioState& s, bool& muted) : s_(s), muted_(muted) {}
  bool GetMute(bool& m) override {
    if (s_.getFails) return false;
    m = muted_;
    return true;
  }
  bool SetMute(bool m) override {
    ++s_.sets;
    if (!s_.setIgnored) muted_ = m;
    if (s_.notify) s_.notify();
    return true;
  }

 private:
  FakeAudioState& s_;
  bool& muted_;
};

class FakeMixer final : public IMixerDevice {
 public:
  explicit FakeMixer(FakeAudioState& s) : s_(s) { ++s_.opens; }
  ~FakeMixer() override { ++s_.closes; }
  bool FindMicrophoneLine() override { return !s_.noMicLine; }
  bool FindMuteControl() override { return !s_.noMuteControl; }
  bool GetMuteValue(std::uint32_t& v) override {
    if (s_.detailsFail) return false;
    v = s_.mixerValue;
    return true;
  }
  bool SetMuteValue(std::uint32_t v) override {
    if (s_.detailsFail) return false;
    s_.mixerValue = v;
    return true;
  }

 private:
  FakeAudioState& s_;
};

struct FakeAudioWatch final : IAudioWatch {
  explicit FakeAudioWatch(int& live) : live_(live) { ++live_; }
  ~FakeAudioWatch() override { --live_; }
  int& live_;
};

// Two capture devices: 0 (its mute is state.muted) and 1. Like Core Audio,
// a change of the default is told on a thread of the audio system's.
class FakeAudioSystem final : public IAudioSystem {
 public:
  FakeAudioState state;
  bool hasEndpoint = true;  // a default capture device exists
  int defaultDevice = 0;
  bool secondMuted = false;
  int endpointOpens = 0;
  std::vector<int> openedDevices;
  std::vector<std::thread::id> openThreads;
  std::function<void()> onDefaultChange;
  int liveWatches = 0;

  std::unique_ptr<ICaptureEndpoint> OpenDefaultCaptureEndpoint(EndpointNotify onNotify) override {
    ++endpointOpens;
    openThreads.push_back(std::this_thread::get_id());
    if (!hasEndpoint) return nullptr;
    openedDevices.push_back(defaultDevice);
    state.notify = std::move(onNotify);
    return std::make_unique<FakeEndpoint>(state, defaultDevice == 0 ? state.muted : secondMuted);
  }
  std::unique_ptr<IAudioWatch> WatchDefaultCaptureEndpoint(std::function<void()> onChange) override {
    onDefaultChange = std::move(onChange);
    return std::make_unique<FakeAudioWatch>(liveWatches);
  }
  // The user picks another default (or unplugs the last one: -1).
  void SwitchDefault(int device) {
    hasEndpoint = device >= 0;
    if (device >= 0) defaultDevice = device;
    std::thread notifier([this] {
      if (onDefaultChange) onDefaultChange();
    });
    notifier.join();
  }
  std::uint32_t MixerDeviceCount() override { return state.mixerCount; }
  std::unique_ptr<IMixerDevice> OpenMixer(std::uint32_t) override {
    if (state.openFails) return nullptr;
    return std::make_unique<FakeMixer>(state);
  }
};

// The terminal service refuses the first `failRegistrations` registrations,
// as early at logon.
class FakeSessionState final : public ISessionState {
 public:
  int failRegistrations = 0;
  int registrations = 0;
  int unregistrations = 0;
  std::optional<bool> locked = false;
  bool RegisterNotification() override { return ++registrations > failRegistrations; }
  void UnregisterNotification() override { ++unregistrations; }
  std::optional<bool> LockedNow() override { return locked; }
};

}  // namespace vx::test
