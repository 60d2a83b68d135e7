#pragma once
// A HID bus of plugged virtual devices. Tests and the monitor's end-to-end
// build use it in place of the real bus: each device has hardware
// identifiers, attributes and top-level collections; each collection keeps a
// queue of input reports per open handle (like the HID driver's ring) and
// records every feature report and output write it receives. Thread-safe.
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <tuple>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/HidBus.h"

namespace vx {

struct VirtualCollection {
  // The collection's own device node identifiers; empty: the device's.
  std::vector<WStr> HardwareIds;
  std::uint16_t UsagePage = 0;
  std::uint16_t Usage = 0;
  std::uint16_t InputReportLength = 0;  // report ID byte included
  std::uint16_t OutputReportLength = 0;
  std::uint16_t FeatureReportLength = 0;
  // Each report ID's own length (ID included), as the descriptor gives it:
  // the class driver sends only those bytes of the longer buffer it takes.
  // Empty: one report of the collection's length; else an ID not listed is
  // refused (87).
  std::map<std::uint8_t, std::uint16_t> FeatureReportLengths;
  std::map<std::uint8_t, std::uint16_t> OutputReportLengths;
  // Button usages (for the parsed-data path): `ButtonCount` bits starting at
  // byte `ButtonByteOffset` of reports with ID `ButtonReportId`, usages
  // ButtonUsageMin.. of ButtonUsagePage.
  std::uint8_t ButtonReportId = 0;
  std::uint16_t ButtonByteOffset = 1;
  std::uint16_t ButtonCount = 0;
  std::uint16_t ButtonUsagePage = 9;
  std::uint16_t ButtonUsageMin = 1;
};

struct VirtualDeviceDesc {
  std::vector<WStr> HardwareIds;
  HidAttributes Attributes;
  std::vector<VirtualCollection> Collections;
  bool FailAttributes = false;  // HidD_GetAttributes fails
  bool FailCaps = false;        // the parsed descriptor cannot be read
  bool FailOpen = false;        // another program holds it: opening for access fails (32), a probe works
};

// What a collection received.
struct VirtualSent {
  enum class Kind { Feature, Output };
  int Device = 0;
  std::size_t Collection = 0;
  Kind What = Kind::Feature;
  std::vector<std::uint8_t> Bytes;
};

// The report lengths of the vendor framing (IDs 2 to 6: 16 to 4096 bytes)
// up to `collectionLength`.
std::map<std::uint8_t, std::uint16_t> FramedFeatureReportLengths(std::uint16_t collectionLength = 4096);

class VirtualHidBus final : public IHidBus {
 public:
  VirtualHidBus();
  ~VirtualHidBus() override;

  // Plugs a device in; returns its number. Interface paths are
  // "\\?\hid#virtual_<device>&col<NN>#..." in plug order.
  int Plug(const VirtualDeviceDesc& desc);
  // Unplugs: pending and later reads of its handles fail with 1167, every
  // other call with 1167 too; it leaves the enumeration.
  void Unplug(int device);
  bool IsPlugged(int device) const;
  WStr PathOf(int device, std::size_t collection) const;

  // Queues an input report (report ID first) on every handle open for
  // reading on the collection; a report shorter than the collection's input
  // length is padded with zeros. Returns the number of handles reached.
  std::size_t QueueInput(int device, std::size_t collection, std::span<const std::uint8_t> report);
  // The next read of every handle open for reading on the collection, in
  // turn with the queued reports, fails with this system error code.
  std::size_t QueueReadError(int device, std::size_t collection, std::uint32_t error);
  // Handles currently open for reading on the collection.
  std::size_t OpenReaders(int device, std::size_t collection) const;
  // Blocks until that many readers are open or the timeout passes.
  bool WaitForReaders(int device, std::size_t collection, std::size_t count, std::uint32_t timeoutMs) const;

  std::vector<VirtualSent> Sent() const;
  void ClearSent();
  // The next sends (feature or output) fail with this code (0 = succeed).
  void SetSendError(std::uint32_t code);
  // The next `count` sends never complete: each is held until its time
  // limit passes and the caller cancels it.
  void SetSendHang(std::size_t count);
  std::size_t CancelledSends() const;
  // What GetFeature returns for a report ID (zeros when not set).
  void SetFeatureResponse(int device, std::size_t collection, std::vector<std::uint8_t> report);
  // Input ring per handle; the oldest report is dropped when it is full.
  void SetInputRingSize(std::size_t size);
  // Called after Plug / Unplug with the device number and the number of its
  // collections (one device-interface arrival or removal per collection).
  void SetChangeListener(std::function<void(bool arrived, int device, std::size_t interfaces)> listener);

  Guid HidGuid() override { return kHidInterfaceClassGuid; }
  std::optional<std::vector<HidInterfaceInfo>> Enumerate(const Guid& interfaceClass) override;
  std::unique_ptr<IHidDevice> Open(WView path, bool forReading, std::uint32_t* error = nullptr) override;
  std::unique_ptr<IHidDevice> Probe(WView path) override;
  // Opens with access rights so far (probes not counted), per collection.
  std::size_t AccessOpens(int device, std::size_t collection) const;

  struct Handle;  // shared with the device objects handed out

 private:
  friend class VirtualHidDevice;
  struct Device {
    VirtualDeviceDesc Desc;
    bool Plugged = true;
    std::vector<std::size_t> AccessOpens;  // per collection
  };
  const VirtualCollection* CollectionOf(int device, std::size_t collection) const;
  // Under mutex_; returns the handles to wake once it is released.
  std::vector<std::shared_ptr<Handle>> QueuePending(int device, std::size_t collection, std::uint32_t error,
                                                    std::vector<std::uint8_t> bytes);
  static std::size_t Wake(const std::vector<std::shared_ptr<Handle>>& woken);

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::map<int, Device> devices_;
  int next_ = 1;
  std::vector<std::shared_ptr<Handle>> handles_;
  std::vector<VirtualSent> sent_;
  std::uint32_t sendError_ = 0;
  std::size_t sendHang_ = 0;
  std::size_t cancelledSends_ = 0;
  std::size_t ringSize_ = 512;
  std::map<std::tuple<int, std::size_t, std::uint8_t>, std::vector<std::uint8_t>> featureResponses_;
  std::unique_ptr<IHidDevice> OpenHandle(WView path, bool forReading, bool probe, std::uint32_t* error);
  std::function<void(bool, int, std::size_t)> listener_;
};

}  // namespace vx
