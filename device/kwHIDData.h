#pragma once
// The HID transport: finds the mouse among the present HID interfaces,
// reads each matching interface on its own thread and hands every input
// report to the main thread, and sends feature and output reports.
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/HidBus.h"
#include "platform/MainThread.h"
#include "platform/Text.h"
#include "profiles/pubunit_lumari.h"

namespace vx {

#pragma pack(push, 1)
// A report as one byte run: the ID, then the bytes after it.
struct THidReallyData {
  std::uint8_t ReportID;
  std::uint8_t DATAReally[65535];
  // Report length in bytes; whether the ID byte counts depends on the
  // operation (see TkwHIDData).
  std::uint32_t DATASIZE;

  std::uint8_t* Bytes() { return &ReportID; }
  const std::uint8_t* Bytes() const { return &ReportID; }
};
#pragma pack(pop)
static_assert(offsetof(THidReallyData, DATAReally) == 1 && offsetof(THidReallyData, DATASIZE) == 65536);
inline constexpr std::uint32_t kMaxHidReportBytes = 65536;  // ID + 65535
// A mouse answers a report in milliseconds; one that does not within this
// must not hold the main thread.
inline constexpr std::uint32_t kHidWriteTimeoutMs = 1000;

struct THIDDataParam {
  USAGE_AND_PAGE UsageAndPage{};  // the collection to address
  WStr DeviceID;
  THidReallyData Data{};
  // Set by HidFindAndSetFeatureReport to the number (1-based, enumeration
  // order) of the interface it sent through last; callers set it to 0.
  std::uint32_t DeviceHandle = 0;
};

// "HID\VID_046D&PID_C08B": the hardware identifier that names a vendor and product.
WStr HardwareIdOf(const HidVidPid& ids);

class TkwHidDeviceReadThread;
struct THidReadSession;

class TkwHIDData {
 public:
  // Raw report: Data points at the bytes after the report ID.
  using TkwHIDDataReceived = std::function<void(const WStr& ADeviceID, const WStr& ADevicePath,
                                                std::uint8_t ReportID, const std::uint8_t* Data,
                                                std::uint16_t Size)>;
  // ButtonData: a released button usage in the low half, else a pressed one
  // in the high half, 0 when no button changed.
  using TkwHIDParsedDataReceived = std::function<void(const WStr& ADeviceID, const WStr& ADevicePath,
                                                      std::uint8_t ReportID, std::uint32_t ButtonData)>;
  using TkwHIDDeviceNotConnected = std::function<void(const WStr& ADeviceID, const WStr& ADevicePath)>;

  // Create: binds the bus and the main-thread dispatcher (the process's when
  // null) and loads the include list from "config.ini".
  explicit TkwHIDData(IHidBus* bus = nullptr, IMainThreadDispatcher* dispatcher = nullptr);
  // Destroy: stops reads still running and waits for their threads. On the
  // main thread it handles the main thread's waiting calls meanwhile if an
  // OnDeviceNotConnected handler is still running (it may wait for them).
  ~TkwHIDData();
  TkwHIDData(const TkwHIDData&) = delete;
  TkwHIDData& operator=(const TkwHIDData&) = delete;

  // Starts a read thread on every present interface that passes the include
  // list and whose top-level collection is UsageAndPage. HIDID is not
  // consulted. Main thread.
  void HidFindAndReadDevice(USAGE_AND_PAGE UsageAndPage, WView HIDID);
  // Stops every read started so far: once it returns, none of those threads
  // delivers another report, also one that was waiting for the main thread
  // to handle its report. Main thread, or a FastOnData handler: there it
  // does not wait for handlers running on other read threads.
  void HidStopRead();

  // DATASIZE counts the report ID. Sends to every matching interface whose
  // feature report length is at least DATASIZE, in a zero-filled buffer of
  // that length (the class driver refuses a shorter one); 0 when the last
  // send succeeded, else its error code (1167 when no interface matched,
  // 1460 when the mouse did not answer within WriteTimeoutMs).
  std::uint32_t HidFindAndSetFeatureReport(THIDDataParam& ReportData);
  // Reads the collection's feature report length and copies back DATASIZE
  // bytes (ID included) over ReportData.Data; same result rule.
  std::uint32_t HidFindAndGetFeatureReport(THIDDataParam& ReportData);
  // Output report of DATASIZE + 1 bytes (DATASIZE without the ID).
  bool HidFindAndWriteDevice(const THIDDataParam& ReportData);
  // Output report of DATASIZE bytes (ID included); no include-list test, but
  // a DeviceID other than "" and "*" limits it to interfaces with that
  // hardware identifier.
  bool HidFindAndWriteDeviceBYHID(const THIDDataParam& ReportData);
  bool IsDeviceExist(const THIDDataParam& ReportData);
  // Whether the interface at `path` may be the mouse: one being read, or
  // one whose vendor and product pass the include list (an empty list: an
  // arriving collection that is `usage`, probed). True when it cannot be told.
  bool ConcernsDevice(WView path, bool arrived, const USAGE_AND_PAGE& usage);

  // Reads the include list ("config.ini" beside the executable, section
  // "IncludeHIDDeviceList", keys id1..id101 up to the first missing or empty).
  void LoadIncludeDeviceList();
  // Empty list: everything passes; else one entry must equal one of the
  // identifiers as a whole, case ignored.
  bool PassesIncludeList(const std::vector<WStr>& hardwareIds) const;

  IMainThreadDispatcher& Dispatcher() { return dispatcher_; }
  IHidBus& Bus() { return bus_; }
  // Read threads that have not ended yet (for tests and diagnostics).
  std::size_t RunningReadThreads();

  // Published properties. OnData and OnParsedData run on the main thread
  // (on the read thread with FastOnData); OnDeviceNotConnected always runs on
  // the read thread. Assign them before HidFindAndReadDevice: a thread takes
  // its own copy of the handlers it runs on the read thread. A FastOnData
  // handler must not wait for the main thread: HidStopRead waits for it.
  bool FastOnData = false;
  // Registers a read handle for removal requests (a registration or 0) and
  // undoes it before the handle closes (on the read thread). Set before
  // HidFindAndReadDevice.
  std::function<std::intptr_t(std::intptr_t nativeHandle)> RegisterHandle;
  std::function<void(std::intptr_t registration)> UnregisterHandle;
  // Whether a running read holds that handle.
  bool ReadsHandle(std::intptr_t nativeHandle);
  // A removal event of a read handle's device. DBT_DEVICEQUERYREMOVE: the
  // reads stop and close their handles, the asked one keeping its
  // registration; a refused removal or a completed one then unregisters it
  // and answers true: open the mouse again. Main thread.
  bool DeviceRemovalEvent(std::uint32_t code, std::intptr_t nativeHandle, std::intptr_t registration);
  // Time limit of each device request; a request past it is cancelled.
  std::uint32_t WriteTimeoutMs = kHidWriteTimeoutMs;
  TkwHIDDataReceived OnData;
  TkwHIDParsedDataReceived OnParsedData;
  TkwHIDDeviceNotConnected OnDeviceNotConnected;
  // A read ended after the same unexpected error many times in a row (the
  // error code in place of a report); on the main thread, like OnData.
  std::function<void(const WStr& ADeviceID, const WStr& ADevicePath, std::uint32_t Error)> OnReadFailed;

  Guid FHidGuid;
  std::vector<WStr> FHidDeviceList;

 private:
  friend class TkwHidDeviceReadThread;
  struct Match;
  // The device walk shared by every find-and-act operation.
  // probeOnly: the act needs no access to the device (the probe is passed).
  void Walk(const USAGE_AND_PAGE& usage, bool includeList, bool forReading,
            const std::function<void(Match&)>& act, bool probeOnly = false);
  void Reap();
  void ThreadEnded();

  IHidBus& bus_;
  IMainThreadDispatcher& dispatcher_;
  std::vector<std::intptr_t> removalPending_;  // registrations of handles closed for a removal
  // Guards session_ and threads_: HidStopRead may run on a read thread.
  std::mutex threadsMutex_;
  std::shared_ptr<THidReadSession> session_;
  std::vector<std::unique_ptr<TkwHidDeviceReadThread>> threads_;
  std::condition_variable ended_;
};

}  // namespace vx
