#include "platform/VirtualHidBus.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <deque>

namespace vx {

struct VirtualHidBus::Handle {
  int Device = 0;
  std::size_t Collection = 0;
  bool ForReading = false;
  bool Probe = false;  // no access rights: attributes and caps only
  bool Closed = false;
  // Reports in arrival order; a read error takes its turn among them.
  struct Pending {
    std::uint32_t Error = 0;
    std::vector<std::uint8_t> Bytes;
  };
  std::deque<Pending> Queue;
  std::condition_variable Ready;
};

class VirtualHidDevice final : public IHidDevice {
 public:
  VirtualHidDevice(VirtualHidBus& bus, std::shared_ptr<VirtualHidBus::Handle> h) : bus_(bus), h_(std::move(h)) {}
  ~VirtualHidDevice() override {
    std::lock_guard lock(bus_.mutex_);
    h_->Closed = true;
    h_->Ready.notify_all();
    auto& hs = bus_.handles_;
    hs.erase(std::remove(hs.begin(), hs.end(), h_), hs.end());
    bus_.changed_.notify_all();
  }

  std::intptr_t NativeHandle() const override { return reinterpret_cast<std::intptr_t>(h_.get()); }

  bool GetAttributes(HidAttributes& out) override {
    std::lock_guard lock(bus_.mutex_);
    const auto* d = Plugged();
    if (!d || d->Desc.FailAttributes) return false;
    out = d->Desc.Attributes;
    return true;
  }

  bool GetCaps(HidCaps& out) override {
    std::lock_guard lock(bus_.mutex_);
    const auto* d = Plugged();
    if (!d || d->Desc.FailCaps) return false;
    const auto& c = d->Desc.Collections[h_->Collection];
    out = HidCaps{c.Usage, c.UsagePage, c.InputReportLength, c.OutputReportLength, c.FeatureReportLength};
    return true;
  }

  std::uint32_t SetFeature(std::span<const std::uint8_t> report, std::uint32_t timeoutMs) override {
    return Record(VirtualSent::Kind::Feature, report, timeoutMs);
  }

  std::uint32_t WriteOutput(std::span<const std::uint8_t> report, std::uint32_t timeoutMs) override {
    return Record(VirtualSent::Kind::Output, report, timeoutMs);
  }

  std::uint32_t GetFeature(std::span<std::uint8_t> report, std::uint32_t) override {
    std::lock_guard lock(bus_.mutex_);
    const auto* d = Plugged();
    if (!d) return kErrDeviceNotConnected;
    if (h_->Probe) return kErrAccessDenied;
    const auto& c = d->Desc.Collections[h_->Collection];
    // The class driver takes no buffer shorter than the collection's length.
    if (report.empty() || report.size() < c.FeatureReportLength) return kErrInvalidParameter;
    const std::uint8_t id = report[0];
    std::fill(report.begin() + 1, report.end(), std::uint8_t{0});
    auto it = bus_.featureResponses_.find({h_->Device, h_->Collection, id});
    if (it != bus_.featureResponses_.end()) {
      const auto n = std::min(report.size(), it->second.size());
      std::copy_n(it->second.begin(), n, report.begin());
      report[0] = id;
    }
    return kErrSuccess;
  }

  HidReadResult Read(std::span<std::uint8_t> buffer, const StopSignal& stop) override {
    StopSignal::Registration wake(stop, [this] {
      std::lock_guard lock(bus_.mutex_);
      h_->Ready.notify_all();
    });
    std::unique_lock lock(bus_.mutex_);
    if (!h_->ForReading) return {false, kErrInvalidHandle, 0};
    for (;;) {
      if (stop.IsSet()) return {true, 0, 0};
      if (!Plugged()) return {false, kErrDeviceNotConnected, 0};
      if (!h_->Queue.empty()) break;
      h_->Ready.wait(lock);
    }
    const auto& c = bus_.devices_.at(h_->Device).Desc.Collections[h_->Collection];
    if (buffer.size() < c.InputReportLength) return {false, kErrInvalidParameter, 0};
    VirtualHidBus::Handle::Pending next = std::move(h_->Queue.front());
    h_->Queue.pop_front();
    if (next.Error != kErrSuccess) return {false, next.Error, 0};
    const std::vector<std::uint8_t>& report = next.Bytes;
    std::fill(buffer.begin(), buffer.end(), std::uint8_t{0});
    std::copy_n(report.begin(), std::min(report.size(), buffer.size()), buffer.begin());
    return {false, kErrSuccess, c.InputReportLength};
  }

  std::uint32_t MaxInputUsageListLength() override {
    std::lock_guard lock(bus_.mutex_);
    const auto* d = Plugged();
    return d ? d->Desc.Collections[h_->Collection].ButtonCount : 0;
  }

  bool GetInputButtonUsages(std::span<const std::uint8_t> report, std::vector<HidUsageAndPage>& out) override {
    std::lock_guard lock(bus_.mutex_);
    out.clear();
    const auto* d = Plugged();
    if (!d || report.empty()) return false;
    const auto& c = d->Desc.Collections[h_->Collection];
    if (report[0] != c.ButtonReportId) return false;  // no buttons in this report
    for (std::uint16_t i = 0; i < c.ButtonCount; ++i) {
      const std::size_t byte = c.ButtonByteOffset + i / 8u;
      if (byte >= report.size()) break;
      if (report[byte] & (1u << (i % 8u))) {
        out.push_back({static_cast<std::uint16_t>(c.ButtonUsageMin + i), c.ButtonUsagePage});
      }
    }
    return true;
  }

 private:
  const VirtualHidBus::Device* Plugged() const {
    auto it = bus_.devices_.find(h_->Device);
    return it != bus_.devices_.end() && it->second.Plugged ? &it->second : nullptr;
  }

  std::uint32_t Record(VirtualSent::Kind kind, std::span<const std::uint8_t> report, std::uint32_t timeoutMs) {
    std::unique_lock lock(bus_.mutex_);
    const auto* d = Plugged();
    if (!d) return kErrDeviceNotConnected;
    if (h_->Probe) return kErrAccessDenied;
    const auto& c = d->Desc.Collections[h_->Collection];
    const bool feature = kind == VirtualSent::Kind::Feature;
    const std::uint16_t length = feature ? c.FeatureReportLength : c.OutputReportLength;
    if (report.empty() || length == 0 || report.size() < length) return kErrInvalidParameter;
    const auto& lengths = feature ? c.FeatureReportLengths : c.OutputReportLengths;
    std::size_t own = length;
    if (!lengths.empty()) {
      auto it = lengths.find(report[0]);
      if (it == lengths.end()) return kErrInvalidParameter;
      own = std::min<std::size_t>(it->second, report.size());
    }
    if (bus_.sendHang_ > 0) {
      // A request the mouse never answers: held until the caller gives up.
      --bus_.sendHang_;
      bus_.changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [] { return false; });
      ++bus_.cancelledSends_;
      return kErrTimeout;
    }
    if (bus_.sendError_ != 0) return bus_.sendError_;
    bus_.sent_.push_back({h_->Device, h_->Collection, kind, {report.begin(), report.begin() + own}});
    return kErrSuccess;
  }

  VirtualHidBus& bus_;
  std::shared_ptr<VirtualHidBus::Handle> h_;
};

VirtualHidBus::VirtualHidBus() = default;
VirtualHidBus::~VirtualHidBus() = default;

int VirtualHidBus::Plug(const VirtualDeviceDesc& desc) {
  std::function<void(bool, int, std::size_t)> listener;
  int id = 0;
  {
    std::lock_guard lock(mutex_);
    id = next_++;
    devices_[id] = Device{desc, true};
    listener = listener_;
  }
  if (listener) listener(true, id, desc.Collections.size());
  return id;
}

void VirtualHidBus::Unplug(int device) {
  std::function<void(bool, int, std::size_t)> listener;
  std::size_t n = 0;
  {
    std::lock_guard lock(mutex_);
    auto it = devices_.find(device);
    if (it == devices_.end() || !it->second.Plugged) return;
    it->second.Plugged = false;
    n = it->second.Desc.Collections.size();
    for (auto& h : handles_) {
      if (h->Device == device) h->Ready.notify_all();
    }
    listener = listener_;
  }
  if (listener) listener(false, device, n);
}

bool VirtualHidBus::IsPlugged(int device) const {
  std::lock_guard lock(mutex_);
  auto it = devices_.find(device);
  return it != devices_.end() && it->second.Plugged;
}

WStr VirtualHidBus::PathOf(int device, std::size_t collection) const {
  char buf[160];
  std::snprintf(buf, sizeof buf, "\\\\?\\hid#virtual_%d&col%02zu#1&%04x&0#{4d1e55b2-f16f-11cf-88cb-001111000030}",
                device, collection + 1, static_cast<unsigned>(device));
  return FromUtf8(buf);
}

const VirtualCollection* VirtualHidBus::CollectionOf(int device, std::size_t collection) const {
  auto it = devices_.find(device);
  if (it == devices_.end() || !it->second.Plugged || collection >= it->second.Desc.Collections.size()) return nullptr;
  return &it->second.Desc.Collections[collection];
}

std::size_t VirtualHidBus::QueueInput(int device, std::size_t collection, std::span<const std::uint8_t> report) {
  std::vector<std::shared_ptr<Handle>> woken;
  {
    std::lock_guard lock(mutex_);
    const auto* c = CollectionOf(device, collection);
    if (!c) return 0;
    std::vector<std::uint8_t> bytes(report.begin(), report.end());
    bytes.resize(c->InputReportLength, 0);
    woken = QueuePending(device, collection, kErrSuccess, std::move(bytes));
  }
  return Wake(woken);
}

std::size_t VirtualHidBus::QueueReadError(int device, std::size_t collection, std::uint32_t error) {
  std::vector<std::shared_ptr<Handle>> woken;
  {
    std::lock_guard lock(mutex_);
    if (!CollectionOf(device, collection)) return 0;
    woken = QueuePending(device, collection, error, {});
  }
  return Wake(woken);
}

std::vector<std::shared_ptr<VirtualHidBus::Handle>> VirtualHidBus::QueuePending(
    int device, std::size_t collection, std::uint32_t error, std::vector<std::uint8_t> bytes) {
  std::vector<std::shared_ptr<Handle>> reached;
  for (auto& h : handles_) {
    if (h->Device != device || h->Collection != collection || !h->ForReading) continue;
    if (h->Queue.size() >= ringSize_) h->Queue.pop_front();
    h->Queue.push_back({error, bytes});
    reached.push_back(h);
  }
  return reached;
}

// Woken after the lock is free, so a reader does not wake only to wait for it.
std::size_t VirtualHidBus::Wake(const std::vector<std::shared_ptr<Handle>>& woken) {
  for (auto& h : woken) h->Ready.notify_all();
  return woken.size();
}

std::size_t VirtualHidBus::OpenReaders(int device, std::size_t collection) const {
  std::lock_guard lock(mutex_);
  return static_cast<std::size_t>(std::count_if(handles_.begin(), handles_.end(), [&](const auto& h) {
    return h->Device == device && h->Collection == collection && h->ForReading;
  }));
}

bool VirtualHidBus::WaitForReaders(int device, std::size_t collection, std::size_t count,
                                   std::uint32_t timeoutMs) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
    return static_cast<std::size_t>(std::count_if(handles_.begin(), handles_.end(), [&](const auto& h) {
             return h->Device == device && h->Collection == collection && h->ForReading;
           })) == count;
  });
}

std::vector<VirtualSent> VirtualHidBus::Sent() const {
  std::lock_guard lock(mutex_);
  return sent_;
}

void VirtualHidBus::ClearSent() {
  std::lock_guard lock(mutex_);
  sent_.clear();
}

void VirtualHidBus::SetSendError(std::uint32_t code) {
  std::lock_guard lock(mutex_);
  sendError_ = code;
}

void VirtualHidBus::SetSendHang(std::size_t count) {
  std::lock_guard lock(mutex_);
  sendHang_ = count;
}

std::size_t VirtualHidBus::CancelledSends() const {
  std::lock_guard lock(mutex_);
  return cancelledSends_;
}

std::map<std::uint8_t, std::uint16_t> FramedFeatureReportLengths(std::uint16_t collectionLength) {
  std::map<std::uint8_t, std::uint16_t> lengths;
  const std::pair<std::uint8_t, std::uint16_t> framing[] = {{2, 16}, {3, 64}, {4, 1024}, {5, 2048}, {6, 4096}};
  for (const auto& [id, length] : framing) {
    if (length <= collectionLength) lengths[id] = length;
  }
  return lengths;
}

void VirtualHidBus::SetFeatureResponse(int device, std::size_t collection, std::vector<std::uint8_t> report) {
  if (report.empty()) return;
  std::lock_guard lock(mutex_);
  const std::uint8_t id = report[0];
  featureResponses_[{device, collection, id}] = std::move(report);
}

void VirtualHidBus::SetInputRingSize(std::size_t size) {
  std::lock_guard lock(mutex_);
  ringSize_ = size == 0 ? 1 : size;
}

void VirtualHidBus::SetChangeListener(std::function<void(bool, int, std::size_t)> listener) {
  std::lock_guard lock(mutex_);
  listener_ = std::move(listener);
}

std::optional<std::vector<HidInterfaceInfo>> VirtualHidBus::Enumerate(const Guid& interfaceClass) {
  std::vector<HidInterfaceInfo> out;
  if (!(interfaceClass == kHidInterfaceClassGuid)) return out;
  std::lock_guard lock(mutex_);
  for (const auto& [id, d] : devices_) {
    if (!d.Plugged) continue;
    for (std::size_t c = 0; c < d.Desc.Collections.size(); ++c) {
      const auto& own = d.Desc.Collections[c].HardwareIds;
      out.push_back({PathOf(id, c), own.empty() ? d.Desc.HardwareIds : own});
    }
  }
  return out;
}

std::unique_ptr<IHidDevice> VirtualHidBus::Open(WView path, bool forReading, std::uint32_t* error) {
  return OpenHandle(path, forReading, false, error);
}

std::unique_ptr<IHidDevice> VirtualHidBus::Probe(WView path) { return OpenHandle(path, false, true, nullptr); }

std::size_t VirtualHidBus::AccessOpens(int device, std::size_t collection) const {
  std::lock_guard lock(mutex_);
  auto it = devices_.find(device);
  if (it == devices_.end() || collection >= it->second.AccessOpens.size()) return 0;
  return it->second.AccessOpens[collection];
}

std::unique_ptr<IHidDevice> VirtualHidBus::OpenHandle(WView path, bool forReading, bool probe,
                                                      std::uint32_t* error) {
  std::lock_guard lock(mutex_);
  for (const auto& [id, d] : devices_) {
    if (!d.Plugged) continue;
    for (std::size_t c = 0; c < d.Desc.Collections.size(); ++c) {
      if (!SameTextIgnoreCase(PathOf(id, c), path)) continue;
      if (d.Desc.FailOpen && !probe) {
        if (error) *error = kErrSharingViolation;
        return nullptr;
      }
      if (!probe) {
        auto& opens = devices_.at(id).AccessOpens;
        if (opens.size() <= c) opens.resize(c + 1);
        ++opens[c];
      }
      auto h = std::make_shared<Handle>();
      h->Device = id;
      h->Collection = c;
      h->ForReading = forReading;
      h->Probe = probe;
      handles_.push_back(h);
      changed_.notify_all();
      return std::make_unique<VirtualHidDevice>(*this, h);
    }
  }
  if (error) *error = 2;  // ERROR_FILE_NOT_FOUND
  return nullptr;
}

}  // namespace vx
