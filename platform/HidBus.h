#pragma once
// HID bus seam: what the HID transport asks of the platform. Win32HidBus
// (SetupAPI + hid.dll) and VirtualHidBus (plugged virtual devices) implement it.
// Results that can fail carry Windows system error codes.
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "platform/StopSignal.h"
#include "platform/Text.h"

namespace vx {

// Windows system error codes the transport tells apart.
inline constexpr std::uint32_t kErrSuccess = 0;
inline constexpr std::uint32_t kErrAccessDenied = 5;
inline constexpr std::uint32_t kErrInvalidHandle = 6;
inline constexpr std::uint32_t kErrGenFailure = 31;
inline constexpr std::uint32_t kErrSharingViolation = 32;
inline constexpr std::uint32_t kErrInvalidParameter = 87;
inline constexpr std::uint32_t kErrInsufficientBuffer = 122;
inline constexpr std::uint32_t kErrOperationAborted = 995;
inline constexpr std::uint32_t kErrIoPending = 997;
inline constexpr std::uint32_t kErrTimeout = 1460;
inline constexpr std::uint32_t kErrDeviceNotConnected = 1167;

struct Guid {
  std::uint32_t Data1 = 0;
  std::uint16_t Data2 = 0;
  std::uint16_t Data3 = 0;
  std::array<std::uint8_t, 8> Data4{};
  bool operator==(const Guid&) const = default;
};
// "{4d1e55b2-f16f-11cf-88cb-001111000030}" (braces optional, any case).
std::optional<Guid> ParseGuid(WView text);
WStr GuidToString(const Guid& g);  // lowercase, with braces
// The HID device-interface class.
inline constexpr Guid kHidInterfaceClassGuid{0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

struct HidVidPid {
  std::uint16_t VendorID = 0;
  std::uint16_t ProductID = 0;
  bool operator==(const HidVidPid&) const = default;
};
// Vendor and product from an interface path ("...vid_046d&pid_c08b..."),
// letter case ignored; nullopt when the path does not name them.
std::optional<HidVidPid> ParseHidPathIds(WView path);

struct HidAttributes {
  std::uint16_t VendorID = 0;
  std::uint16_t ProductID = 0;
  std::uint16_t VersionNumber = 0;
};

// Top-level collection and its report lengths, report ID byte included.
struct HidCaps {
  std::uint16_t Usage = 0;
  std::uint16_t UsagePage = 0;
  std::uint16_t InputReportByteLength = 0;
  std::uint16_t OutputReportByteLength = 0;
  std::uint16_t FeatureReportByteLength = 0;
};

struct HidUsageAndPage {
  std::uint16_t Usage = 0;
  std::uint16_t UsagePage = 0;
};

// One present HID interface: the path that opens it and its device node's
// hardware identifiers (first one = the device identifier).
struct HidInterfaceInfo {
  WStr Path;
  std::vector<WStr> HardwareIds;
};

struct HidReadResult {
  bool Stopped = false;          // the stop signal ended the wait
  std::uint32_t Error = 0;       // system error code when not stopped
  std::uint32_t BytesRead = 0;   // on success
};

// One opened HID collection. Not shared between threads, except that Read
// may block on one thread while the stop signal is set from another.
class IHidDevice {
 public:
  virtual ~IHidDevice() = default;
  virtual bool GetAttributes(HidAttributes& out) = 0;
  // The system's handle (for device notifications); 0 when there is none.
  virtual std::intptr_t NativeHandle() const { return 0; }
  // Parsed descriptor + capabilities; false when either cannot be read.
  virtual bool GetCaps(HidCaps& out) = 0;
  // As the HID class driver takes them: the bytes start with the report ID
  // and span the collection's feature (output) report length; a shorter
  // buffer is refused (87). A request that has not completed after
  // timeoutMs is cancelled and waited for, and answers kErrTimeout.
  // 0 or the system error code.
  virtual std::uint32_t SetFeature(std::span<const std::uint8_t> report, std::uint32_t timeoutMs) = 0;
  virtual std::uint32_t GetFeature(std::span<std::uint8_t> report, std::uint32_t timeoutMs) = 0;
  virtual std::uint32_t WriteOutput(std::span<const std::uint8_t> report, std::uint32_t timeoutMs) = 0;
  // Blocks until an input report has been read into `buffer`, the read
  // failed, or `stop` is set. Only for devices opened for reading.
  virtual HidReadResult Read(std::span<std::uint8_t> buffer, const StopSignal& stop) = 0;
  // Largest number of button usages an input report can carry (0: none).
  virtual std::uint32_t MaxInputUsageListLength() = 0;
  // The button usages that are on in an input report (link collection 0).
  // false when the report cannot be parsed.
  virtual bool GetInputButtonUsages(std::span<const std::uint8_t> report, std::vector<HidUsageAndPage>& out) = 0;
};

class IHidBus {
 public:
  virtual ~IHidBus() = default;
  // The HID device-interface class of this bus.
  virtual Guid HidGuid() = 0;
  // The present interfaces of the class, in enumeration order; nullopt when
  // the set of interfaces cannot be had at all.
  virtual std::optional<std::vector<HidInterfaceInfo>> Enumerate(const Guid& interfaceClass) = 0;
  // nullptr when the open fails, with the system error code in *error.
  // forReading: overlapped, with a larger input ring, so reports are kept
  // while the main thread is busy.
  virtual std::unique_ptr<IHidDevice> Open(WView path, bool forReading, std::uint32_t* error = nullptr) = 0;
  // Opened with no access rights: attributes and capabilities only. Works
  // while another program holds the collection, and touches no device that
  // is not the mouse.
  virtual std::unique_ptr<IHidDevice> Probe(WView path) = 0;
};

// The process-wide bus: the one set, or the platform's (Win32HidBus on
// Windows; an empty VirtualHidBus on the Linux host).
IHidBus& GetHidBus();
void SetHidBus(IHidBus* bus);  // nullptr returns to the platform's; not owned
IHidBus& PlatformHidBus();

}  // namespace vx
