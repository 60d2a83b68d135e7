#include "device/kwHIDData.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <shared_mutex>
#include <thread>
#include <utility>

#include "platform/Debug.h"
#include "platform/DeviceArrival.h"
#include "platform/Shell.h"
#include "profiles/IniFile.h"

namespace vx {

namespace {
constexpr std::size_t kMaxUsages = 100;
// A read that fails for a reason other than the device going away is
// retried; the pause keeps a persistent failure from spinning a core.
constexpr std::uint32_t kReadRetryPauseMs = 10;
// The same failure this many times in a row (half a second) ends the read,
// which asks its owner for a reopen.
constexpr int kMaxSameReadErrors = 50;
// How long HidStopRead waits for stopped threads to release their handles.
constexpr auto kStopGrace = std::chrono::milliseconds(20);
// How often the destructor handles the main thread's calls while a
// device-not-connected handler waits for them.
constexpr auto kEndPoll = std::chrono::milliseconds(10);
constexpr int kMaxIncludeEntries = 101;

// Set while this thread runs a FastOnData handler, so that a HidStopRead
// from inside it does not wait for itself.
thread_local bool t_inFastDelivery = false;
}  // namespace

// One HidFindAndReadDevice generation: its threads share the stop signal,
// which stays set once given, so a thread that was busy when the stop came
// still sees it afterwards.
struct THidReadSession {
  StopSignal Stop;
  // Held shared while a handler runs on a read thread; HidStopRead takes it
  // exclusively to wait out a delivery already under way.
  std::shared_mutex Delivering;
};

struct TkwHIDData::Match {
  const HidInterfaceInfo& Info;
  std::unique_ptr<IHidDevice>& Device;
  const HidCaps& Caps;
  std::uint32_t Number;  // 1-based position in the enumeration
};

class TkwHidDeviceReadThread {
 public:
  TkwHidDeviceReadThread(TkwHIDData& owner, WStr deviceId, WStr devicePath, std::unique_ptr<IHidDevice> device,
                         std::int32_t inputReportLength, std::shared_ptr<THidReadSession> session)
      : FHIDData(owner),
        FDeviceID(std::move(deviceId)),
        FDevicePath(std::move(devicePath)),
        FDevice(std::move(device)),
        FInputReportLength(inputReportLength),
        FReport(static_cast<std::size_t>(inputReportLength), 0),
        session_(std::move(session)),
        fast_(owner.FastOnData),
        onData_(owner.OnData),
        onParsedData_(owner.OnParsedData),
        onDeviceNotConnected_(owner.OnDeviceNotConnected),
        nativeHandle_(FDevice->NativeHandle()),
        unregister_(owner.UnregisterHandle) {
    if (owner.RegisterHandle) registration_ = owner.RegisterHandle(nativeHandle_);
    thread_ = std::thread([this] { Execute(); });
  }

  ~TkwHidDeviceReadThread() {
    if (thread_.joinable()) thread_.join();
  }

  bool Ended() const { return ended_.load(); }
  const WStr& DevicePath() const { return FDevicePath; }
  std::intptr_t NativeHandle() const { return nativeHandle_; }
  std::intptr_t Registration() const { return registration_; }
  // Closed for a removal: the registration stays, to hear whether it failed.
  void KeepRegistration() { keepRegistration_.store(true); }
  bool InNotConnectedHandler() const { return inNotConnected_.load(); }
  const THidReadSession* Session() const { return session_.get(); }

 private:
  enum class Delivery { Handled, Stopped, Dropped };

  void Execute() {
    const StopSignal& stop = session_->Stop;
    std::uint32_t lastError = kErrSuccess;
    int sameErrors = 0;
    while (!stop.IsSet()) {
      std::fill(FReport.begin(), FReport.end(), std::uint8_t{0});
      const HidReadResult r = FDevice->Read(FReport, stop);
      if (r.Stopped) break;
      if (r.Error == kErrInvalidHandle) break;
      // Whether the read failed at once or on completion: the device is gone.
      if (r.Error == kErrOperationAborted || r.Error == kErrDeviceNotConnected) {
        DebugOutput(u"ERROR_DEVICE_NOT_CONNECTED++++++++++++++++");
        RaiseDeviceNotConnected();
        break;
      }
      if (r.Error != kErrSuccess) {
        sameErrors = r.Error == lastError ? sameErrors + 1 : 1;
        lastError = r.Error;
        if (sameErrors >= kMaxSameReadErrors) {
          DebugOutput(u"HID read ended: error " + IntToWStr(static_cast<long long>(r.Error)) + u" " +
                      IntToWStr(sameErrors) + u" times in a row on " + FDevicePath);
          RaiseReadFailed(r.Error);
          break;
        }
        if (stop.WaitFor(kReadRetryPauseMs)) break;
        continue;
      }
      sameErrors = 0;
      lastError = kErrSuccess;
      NumBytesRead = std::min<std::uint32_t>(r.BytesRead, static_cast<std::uint32_t>(FReport.size()));
      if (NumBytesRead == 0) continue;
      try {
        if (Deliver() == Delivery::Stopped) break;
      } catch (...) {
        DebugOutput(u"HID read ended: a report handler raised an exception");
        break;
      }
    }
    // Unregistered first: the registration must not outlive the handle.
    if (registration_ != 0 && unregister_ && !keepRegistration_.load()) unregister_(registration_);
    FDevice.reset();  // closes the handle and frees the parsed descriptor
    ended_.store(true);
    FHIDData.ThreadEnded();
  }

  Delivery Deliver() {
    if (fast_) {
      std::shared_lock lock(session_->Delivering);
      if (session_->Stop.IsSet()) return Delivery::Stopped;
      t_inFastDelivery = true;
      struct Reset {
        ~Reset() { t_inFastDelivery = false; }
      } reset;
      DoDataReceived(onData_, onParsedData_);
      return Delivery::Handled;
    }
    // On the main thread the component's current handlers apply.
    const DispatchResult r = FHIDData.dispatcher_.Invoke(
        [this] { DoDataReceived(FHIDData.OnData, FHIDData.OnParsedData); }, session_->Stop);
    if (r == DispatchResult::Refused) {
      // One lost report is better than a mouse that is dead until it is replugged.
      DebugOutput(u"HID report dropped: the main thread did not take it");
      return Delivery::Dropped;
    }
    return r == DispatchResult::Handled ? Delivery::Handled : Delivery::Stopped;
  }

  void DoDataReceived(const TkwHIDData::TkwHIDDataReceived& onData,
                      const TkwHIDData::TkwHIDParsedDataReceived& onParsedData) {
    const std::uint8_t reportId = FReport[0];
    if (onData) {
      onData(FDeviceID, FDevicePath, reportId, FReport.data() + 1, static_cast<std::uint16_t>(NumBytesRead - 1));
    }
    if (onParsedData) onParsedData(FDeviceID, FDevicePath, reportId, GetButtonUsageChange());
  }

  // Not a report: raised without holding up HidStopRead, so the handler may
  // wait for the main thread. A stopped read raises nothing.
  void RaiseDeviceNotConnected() {
    if (!onDeviceNotConnected_ || session_->Stop.IsSet()) return;
    inNotConnected_.store(true);
    try {
      onDeviceNotConnected_(FDeviceID, FDevicePath);
    } catch (...) {
      DebugOutput(u"HID read ended: the device-not-connected handler raised an exception");
    }
    inNotConnected_.store(false);
  }

  // Handed to the main thread like a report; a stopped read raises nothing.
  void RaiseReadFailed(std::uint32_t error) {
    try {
      FHIDData.dispatcher_.Invoke(
          [this, error] {
            if (FHIDData.OnReadFailed) FHIDData.OnReadFailed(FDeviceID, FDevicePath, error);
          },
          session_->Stop);
    } catch (...) {
      DebugOutput(u"HID read ended: the read-failed handler raised an exception");
    }
  }

  // Button-usage change against this interface's previous report.
  std::uint32_t GetButtonUsageChange() {
    const std::uint32_t n = std::min<std::uint32_t>(FDevice->MaxInputUsageListLength(), kMaxUsages);
    if (n == 0) return 0;
    std::vector<HidUsageAndPage> on;
    const auto report = std::span<const std::uint8_t>(FReport.data(), static_cast<std::size_t>(FInputReportLength));
    if (!FDevice->GetInputButtonUsages(report, on)) return 0;
    std::vector<std::uint16_t> current;
    for (const auto& u : on) {
      if (current.size() >= n) break;
      if (u.Usage != 0) current.push_back(u.Usage);  // usage 0 ends a usage list
    }
    const auto contains = [](const std::vector<std::uint16_t>& list, std::uint16_t u) {
      return std::find(list.begin(), list.end(), u) != list.end();
    };
    std::uint32_t released = 0;
    std::uint32_t pressed = 0;
    for (auto u : previous_) {
      if (!contains(current, u)) {
        released = u;
        break;
      }
    }
    for (auto u : current) {
      if (!contains(previous_, u)) {
        pressed = u;
        break;
      }
    }
    previous_ = std::move(current);
    if (released != 0) return released;
    return pressed << 16;
  }

  TkwHIDData& FHIDData;
  const WStr FDeviceID;
  const WStr FDevicePath;
  std::unique_ptr<IHidDevice> FDevice;
  const std::int32_t FInputReportLength;
  std::vector<std::uint8_t> FReport;
  std::uint32_t NumBytesRead = 0;
  std::shared_ptr<THidReadSession> session_;
  // Per interface: a shared list would mix the buttons of two collections.
  std::vector<std::uint16_t> previous_;
  const bool fast_;
  const TkwHIDData::TkwHIDDataReceived onData_;
  const TkwHIDData::TkwHIDParsedDataReceived onParsedData_;
  const TkwHIDData::TkwHIDDeviceNotConnected onDeviceNotConnected_;
  const std::intptr_t nativeHandle_;
  const std::function<void(std::intptr_t)> unregister_;
  std::intptr_t registration_ = 0;
  std::atomic<bool> keepRegistration_{false};
  std::atomic<bool> ended_{false};
  std::atomic<bool> inNotConnected_{false};
  std::thread thread_;  // last: starts after every other member is ready
};

TkwHIDData::TkwHIDData(IHidBus* bus, IMainThreadDispatcher* dispatcher)
    : bus_(bus ? *bus : GetHidBus()),
      dispatcher_(dispatcher ? *dispatcher : GetMainThreadDispatcher()),
      session_(std::make_shared<THidReadSession>()) {
  FHidGuid = bus_.HidGuid();
  LoadIncludeDeviceList();
  FastOnData = false;
}

TkwHIDData::~TkwHIDData() {
  // The threads refer to this component: none may outlive it. Earlier
  // sessions are stopped already.
  std::shared_ptr<THidReadSession> session;
  {
    std::lock_guard lock(threadsMutex_);
    session = session_;
  }
  session->Stop.Set();
  { std::unique_lock lock(session->Delivering); }
  std::unique_lock lock(threadsMutex_);
  for (;;) {
    const bool allEnded = std::all_of(threads_.begin(), threads_.end(), [](const auto& t) { return t->Ended(); });
    if (allEnded) break;
    const bool handlerWaits = std::any_of(threads_.begin(), threads_.end(),
                                          [](const auto& t) { return t->InNotConnectedHandler(); });
    if (handlerWaits && dispatcher_.IsMainThread()) {
      // It may wait for the main thread, which is here.
      lock.unlock();
      dispatcher_.ProcessPending();
      lock.lock();
    }
    ended_.wait_for(lock, kEndPoll);
  }
  auto threads = std::move(threads_);
  lock.unlock();
  threads.clear();  // joins
  for (const std::intptr_t r : removalPending_) {
    if (UnregisterHandle) UnregisterHandle(r);
  }
}

void TkwHIDData::LoadIncludeDeviceList() {
  FHidDeviceList.clear();
  const IniFile ini = IniFile::Load(ExecutableFolder() + u"config.ini");
  for (int i = 1; i <= kMaxIncludeEntries; ++i) {
    const auto value = ini.Find(u"IncludeHIDDeviceList", u"id" + IntToWStr(i));
    if (!value || value->empty()) break;
    FHidDeviceList.push_back(*value);
  }
}

bool TkwHIDData::PassesIncludeList(const std::vector<WStr>& hardwareIds) const {
  if (FHidDeviceList.empty()) return true;
  for (const auto& entry : FHidDeviceList) {
    for (const auto& id : hardwareIds) {
      if (SameTextIgnoreCase(entry, id)) return true;
    }
  }
  return false;
}

WStr HardwareIdOf(const HidVidPid& ids) {
  static constexpr char16_t kHex[] = u"0123456789ABCDEF";
  WStr out = u"HID\\VID_";
  for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(ids.VendorID >> shift) & 0xF];
  out += u"&PID_";
  for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(ids.ProductID >> shift) & 0xF];
  return out;
}

void TkwHIDData::Walk(const USAGE_AND_PAGE& usage, bool includeList, bool forReading,
                      const std::function<void(Match&)>& act, bool probeOnly) {
  const auto interfaces = bus_.Enumerate(FHidGuid);
  if (!interfaces) return;
  std::uint32_t number = 0;
  for (const auto& listed : *interfaces) {
    ++number;
    HidInterfaceInfo info = listed;
    const std::optional<HidVidPid> pathIds = ParseHidPathIds(info.Path);
    // No identifiers from the device node: the path still names the hardware.
    if (info.HardwareIds.empty() && pathIds) info.HardwareIds = {HardwareIdOf(*pathIds)};
    if (includeList && !PassesIncludeList(info.HardwareIds)) continue;
    // Attributes and collection are read without access rights: no other
    // device is opened for reading or writing.
    std::unique_ptr<IHidDevice> probe = bus_.Probe(info.Path);
    if (!probe) continue;
    HidAttributes attributes;
    if (!probe->GetAttributes(attributes)) continue;
    // Another device now behind an enumerated path.
    if (pathIds && (pathIds->VendorID != attributes.VendorID || pathIds->ProductID != attributes.ProductID)) continue;
    HidCaps caps;
    if (!probe->GetCaps(caps)) continue;
    if (caps.UsagePage != usage.UsagePage || caps.Usage != usage.Usage) continue;
    if (probeOnly) {
      Match m{info, probe, caps, number};
      act(m);
      continue;
    }
    probe.reset();
    std::uint32_t error = kErrSuccess;
    std::unique_ptr<IHidDevice> device = bus_.Open(info.Path, forReading, &error);
    if (!device) {
      // Typically another program holds the collection (32) or access is denied (5).
      DebugOutput(u"HID open failed, error " + IntToWStr(static_cast<long long>(error)) + u": " + info.Path);
      continue;
    }
    Match m{info, device, caps, number};
    act(m);
  }
}

void TkwHIDData::HidFindAndReadDevice(USAGE_AND_PAGE UsageAndPage, WView /*HIDID*/) {
  Reap();
  Walk(UsageAndPage, true, true, [this](Match& m) {
    if (m.Caps.InputReportByteLength == 0) {
      DebugOutput(u"HID interface without input reports not read: " + m.Info.Path);
      return;
    }
    WStr deviceId = m.Info.HardwareIds.empty() ? WStr() : m.Info.HardwareIds.front();
    std::lock_guard lock(threadsMutex_);
    // The probe handle was opened for reading: the thread keeps it.
    threads_.push_back(std::make_unique<TkwHidDeviceReadThread>(
        *this, std::move(deviceId), m.Info.Path, std::move(m.Device), m.Caps.InputReportByteLength, session_));
  });
}

void TkwHIDData::HidStopRead() {
  std::shared_ptr<THidReadSession> stopped;
  {
    std::lock_guard lock(threadsMutex_);
    stopped = std::exchange(session_, std::make_shared<THidReadSession>());
  }
  stopped->Stop.Set();
  if (!t_inFastDelivery) {
    // Wait out a FastOnData delivery already under way.
    std::unique_lock lock(stopped->Delivering);
  }
  // Give the stopped threads a moment to close their handles; one blocked
  // in a handler that called us cannot end now and is reaped later.
  {
    std::unique_lock lock(threadsMutex_);
    ended_.wait_for(lock, kStopGrace, [this] {
      return std::all_of(threads_.begin(), threads_.end(),
                         [this](const auto& t) { return t->Ended() || t->Session() == session_.get(); });
    });
  }
  Reap();
}

void TkwHIDData::ThreadEnded() {
  std::lock_guard lock(threadsMutex_);
  ended_.notify_all();
}

void TkwHIDData::Reap() {
  std::vector<std::unique_ptr<TkwHidDeviceReadThread>> ended;
  {
    std::lock_guard lock(threadsMutex_);
    for (auto& t : threads_) {
      if (t->Ended()) ended.push_back(std::move(t));
    }
    std::erase(threads_, nullptr);
  }
  // Joined without the lock: an ending thread takes it to say so.
}

std::size_t TkwHIDData::RunningReadThreads() {
  Reap();
  std::lock_guard lock(threadsMutex_);
  return threads_.size();
}

namespace {
// The report's bytes first, zeros up to the collection's length.
std::vector<std::uint8_t> Padded(const std::uint8_t* bytes, std::uint32_t size, std::uint32_t length) {
  std::vector<std::uint8_t> buffer(std::max(size, length), 0);
  std::memcpy(buffer.data(), bytes, size);
  return buffer;
}

void LogRefused(const char* kind, std::uint8_t id, std::uint32_t size, std::uint32_t error, const WStr& path) {
  DebugOutput(WStr(FromUtf8(kind)) + u" report " + IntToWStr(id) + u" (" + IntToWStr(size) +
              u" bytes) not written to the mouse, error " + IntToWStr(error) +
              (error == kErrTimeout ? u" (no answer in time)" : u"") + u": " + path);
}
}  // namespace

std::uint32_t TkwHIDData::HidFindAndSetFeatureReport(THIDDataParam& ReportData) {
  const std::uint32_t size = ReportData.Data.DATASIZE;
  if (size == 0 || size > kMaxHidReportBytes) {
    DebugOutput(u"Feature report not sent: length " + IntToWStr(size) + u" out of range");
    return kErrInvalidParameter;
  }
  std::uint32_t result = kErrDeviceNotConnected;
  Walk(ReportData.UsageAndPage, true, false, [&](Match& m) {
    if (m.Caps.FeatureReportByteLength < size) return;
    ReportData.DeviceHandle = m.Number;
    const auto buffer = Padded(ReportData.Data.Bytes(), size, m.Caps.FeatureReportByteLength);
    result = m.Device->SetFeature(buffer, WriteTimeoutMs);
    if (result != kErrSuccess) LogRefused("Feature", ReportData.Data.ReportID, size, result, m.Info.Path);
  });
  return result;
}

std::uint32_t TkwHIDData::HidFindAndGetFeatureReport(THIDDataParam& ReportData) {
  const std::uint32_t size = ReportData.Data.DATASIZE;
  if (size == 0 || size > kMaxHidReportBytes) return kErrInvalidParameter;
  std::uint32_t result = kErrDeviceNotConnected;
  Walk(ReportData.UsageAndPage, true, false, [&](Match& m) {
    if (m.Caps.FeatureReportByteLength < size) return;
    std::vector<std::uint8_t> buffer(m.Caps.FeatureReportByteLength, 0);
    buffer[0] = ReportData.Data.ReportID;
    result = m.Device->GetFeature(buffer, WriteTimeoutMs);
    // Only the requested bytes: the caller's buffer may be no longer.
    if (result == kErrSuccess) std::memcpy(ReportData.Data.Bytes(), buffer.data(), size);
  });
  return result;
}

bool TkwHIDData::HidFindAndWriteDevice(const THIDDataParam& ReportData) {
  const std::uint32_t size = ReportData.Data.DATASIZE;
  if (size + 1 > kMaxHidReportBytes) return false;
  bool written = false;
  Walk(ReportData.UsageAndPage, true, false, [&](Match& m) {
    if (m.Caps.OutputReportByteLength < size) return;
    const auto buffer = Padded(ReportData.Data.Bytes(), size + 1, m.Caps.OutputReportByteLength);
    const std::uint32_t rc = m.Device->WriteOutput(buffer, WriteTimeoutMs);
    if (rc == kErrSuccess) {
      written = true;
    } else {
      LogRefused("Output", ReportData.Data.ReportID, size + 1, rc, m.Info.Path);
    }
  });
  return written;
}

bool TkwHIDData::HidFindAndWriteDeviceBYHID(const THIDDataParam& ReportData) {
  const std::uint32_t size = ReportData.Data.DATASIZE;
  if (size == 0 || size > kMaxHidReportBytes) return false;
  const WStr& wanted = ReportData.DeviceID;
  const bool anyDevice = wanted.empty() || wanted == u"*";
  bool written = false;
  Walk(ReportData.UsageAndPage, false, false, [&](Match& m) {
    if (m.Caps.OutputReportByteLength < size) return;
    if (!anyDevice && std::none_of(m.Info.HardwareIds.begin(), m.Info.HardwareIds.end(),
                                   [&](const WStr& id) { return SameTextIgnoreCase(id, wanted); })) {
      return;
    }
    const auto buffer = Padded(ReportData.Data.Bytes(), size, m.Caps.OutputReportByteLength);
    const std::uint32_t rc = m.Device->WriteOutput(buffer, WriteTimeoutMs);
    if (rc == kErrSuccess) {
      written = true;
    } else {
      LogRefused("Output", ReportData.Data.ReportID, size, rc, m.Info.Path);
    }
  });
  return written;
}

bool TkwHIDData::ReadsHandle(std::intptr_t nativeHandle) {
  std::lock_guard lock(threadsMutex_);
  return nativeHandle != 0 && std::any_of(threads_.begin(), threads_.end(), [&](const auto& t) {
           return !t->Ended() && t->NativeHandle() == nativeHandle;
         });
}

bool TkwHIDData::DeviceRemovalEvent(std::uint32_t code, std::intptr_t nativeHandle, std::intptr_t registration) {
  if (code == kDbtDeviceQueryRemove) {
    bool ours = false;
    {
      std::lock_guard lock(threadsMutex_);
      for (const auto& t : threads_) {
        if (t->Ended() || nativeHandle == 0 || t->NativeHandle() != nativeHandle) continue;
        t->KeepRegistration();
        if (t->Registration() != 0) removalPending_.push_back(t->Registration());
        ours = true;
      }
    }
    if (!ours) return false;
    DebugOutput(u"mouse removal requested: its handles are closed");
    HidStopRead();
    return false;
  }
  const auto it = std::find(removalPending_.begin(), removalPending_.end(), registration);
  if (it == removalPending_.end()) return false;
  removalPending_.erase(it);
  if (UnregisterHandle) UnregisterHandle(registration);
  DebugOutput(code == kDbtDeviceQueryRemoveFailed ? u"mouse removal refused: opening it again"
                                                  : u"mouse removed: opening the other interfaces again");
  return true;
}

bool TkwHIDData::ConcernsDevice(WView path, bool arrived, const USAGE_AND_PAGE& usage) {
  {
    std::lock_guard lock(threadsMutex_);
    for (const auto& t : threads_) {
      if (!t->Ended() && SameTextIgnoreCase(t->DevicePath(), path)) return true;
    }
  }
  const auto ids = ParseHidPathIds(path);
  if (!FHidDeviceList.empty()) {
    if (!ids) return true;
    for (const WStr& entry : FHidDeviceList) {
      const auto wanted = ParseHidPathIds(entry);
      if (!wanted || *wanted == *ids) return true;  // an entry without IDs: cannot tell
    }
    return false;
  }
  if (!arrived) return false;  // not read: its removal changes nothing
  std::unique_ptr<IHidDevice> probe = bus_.Probe(path);
  HidCaps caps;
  if (!probe || !probe->GetCaps(caps)) return true;
  return caps.UsagePage == usage.UsagePage && caps.Usage == usage.Usage;
}

bool TkwHIDData::IsDeviceExist(const THIDDataParam& ReportData) {
  bool found = false;
  Walk(ReportData.UsageAndPage, true, false, [&](Match&) { found = true; }, true);
  return found;
}

}  // namespace vx
