#pragma once
// Device-interface arrival seam: a hidden window that receives the system's
// device-change messages, and a one-shot timer, both on the main thread.
// Win32DeviceArrival implements it with a message-only window,
// RegisterDeviceNotificationW and SetTimer; tests use a fake host.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>

namespace vx {

inline constexpr std::uint32_t kWmDeviceChange = 537;
inline constexpr std::uint32_t kDbtDeviceArrival = 0x8000;
inline constexpr std::uint32_t kDbtDeviceRemoveComplete = 0x8004;
inline constexpr std::uint32_t kDbtDevNodesChanged = 7;
inline constexpr std::uint32_t kDbtDevTypDeviceInterface = 5;
inline constexpr std::uint32_t kDbtDevTypHandle = 6;
inline constexpr std::uint32_t kDbtDeviceQueryRemove = 0x8001;
inline constexpr std::uint32_t kDbtDeviceQueryRemoveFailed = 0x8002;
inline constexpr std::uint32_t kDbtDeviceRemovePending = 0x8003;

// DEV_BROADCAST_HANDLE up to the fields read here (same layout on both hosts).
struct DevBroadcastHandleHead {
  std::uint32_t Size;
  std::uint32_t DeviceType;  // kDbtDevTypHandle
  std::uint32_t Reserved;
  void* Handle;              // the handle registered
  void* Notification;        // its registration
};

struct DeviceArrivalCallbacks {
  // A device-change message: its code (wParam) and parameter (lParam; for
  // arrivals and removals the address of a DEV_BROADCAST_HDR).
  std::function<void(std::uint32_t code, std::intptr_t param)> OnDeviceChange;
  // The timer started with StartTimer has elapsed.
  std::function<void()> OnTimer;
};

class IDeviceArrivalHost {
 public:
  virtual ~IDeviceArrivalHost() = default;
  // Registers the window for the notifications that the 32-byte
  // DEV_BROADCAST_DEVICEINTERFACE filter names; false when refused.
  virtual bool RegisterNotification(const std::array<std::uint8_t, 32>& filter) = 0;
  // Registers an open device handle (DBT_DEVTYP_HANDLE), so that a removal
  // of its device asks first; 0 when refused. Unregistered before the
  // handle closes, from any thread.
  virtual std::intptr_t RegisterHandle(std::intptr_t) { return 0; }
  virtual void UnregisterHandle(std::intptr_t) {}
  // Posts the window a device-change message (handled later by the loop).
  virtual void PostDeviceChange(std::uint32_t code, std::intptr_t param) = 0;
  virtual void StartTimer(std::uint32_t intervalMs) = 0;
  virtual void StopTimer() = 0;
};

using DeviceArrivalHostFactory = std::function<std::unique_ptr<IDeviceArrivalHost>(DeviceArrivalCallbacks)>;
// Creates a host with the factory set (tests), else the platform's.
std::unique_ptr<IDeviceArrivalHost> CreateDeviceArrivalHost(DeviceArrivalCallbacks callbacks);
void SetDeviceArrivalHostFactory(DeviceArrivalHostFactory factory);  // empty restores
std::unique_ptr<IDeviceArrivalHost> CreatePlatformDeviceArrivalHost(DeviceArrivalCallbacks callbacks);

}  // namespace vx
