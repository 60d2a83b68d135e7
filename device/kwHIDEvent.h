#pragma once
// Tells its owner when a HID device interface arrives or goes away, and
// raises one arrival about 1500 ms after creation so that the owner opens
// the mouse at start-up. Interfaces that are not the mouse raise nothing.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <set>

#include "platform/DeviceArrival.h"
#include "platform/HidBus.h"
#include "platform/Text.h"

namespace vx {

inline constexpr char16_t kHidInterfaceClassText[] = u"{4d1e55b2-f16f-11cf-88cb-001111000030}";
inline constexpr std::uint32_t kStartMonitorDelayMs = 1500;

class TkwHIDEvent {
 public:
  using TNotifyEvent = std::function<void(TkwHIDEvent& Sender)>;

  // Create: the hidden window, the registration for device-interface
  // notifications of usbGuid (the HID class when empty), the posted
  // DBT_DEVNODES_CHANGED and the start-up timer. Main thread.
  explicit TkwHIDEvent(WView usbGuid = {});
  // Destroy: releases the window and undoes the registration.
  ~TkwHIDEvent();
  TkwHIDEvent(const TkwHIDEvent&) = delete;
  TkwHIDEvent& operator=(const TkwHIDEvent&) = delete;

  void RegisterNotification();
  // Start-up timer: disables itself, then raises OnDeviceArrival (once).
  void TimerToStartMonitorTimer();
  // WM_DEVICECHANGE with its code and parameter (for arrivals and removals
  // the address of a DEV_BROADCAST_HDR; its second 32-bit field is the
  // device type). Handler exceptions are reported and swallowed.
  void WMDeviceChange(std::uint32_t code, std::intptr_t param);

  bool StartTimerEnabled() const { return timerEnabled_; }
  bool Registered() const { return registered_; }

  // DEV_BROADCAST_DEVICEINTERFACE for the class: size 32, type 5, the GUID
  // at offset 12, zeros elsewhere.
  static std::array<std::uint8_t, 32> BuildNotificationFilter(const Guid& interfaceClass);

  // Whether an arriving (removed) interface may be the mouse; one that is
  // not raises nothing and is logged once. Unset: every interface raises.
  std::function<bool(WView path, bool arrived)> ConcernsDevice;
  // A removal event of a registered handle's device: the code
  // (DBT_DEVICEQUERYREMOVE to DBT_DEVICEREMOVECOMPLETE), the handle and its
  // registration.
  std::function<void(std::uint32_t code, std::intptr_t handle, std::intptr_t registration)> OnHandleChange;
  std::intptr_t RegisterHandle(std::intptr_t handle) { return FWindowHandle->RegisterHandle(handle); }
  void UnregisterHandle(std::intptr_t registration) { FWindowHandle->UnregisterHandle(registration); }
  TNotifyEvent OnDeviceArrival;
  TNotifyEvent OnDeviceRemove;
  TNotifyEvent OnDeviceChange;
  WStr FUsbGuid;

 private:
  void Raise(const TNotifyEvent& event, const char16_t* name);
  bool Concerns(std::intptr_t param, bool arrived);
  void RaiseHandleChange(std::uint32_t code, std::intptr_t param);
  std::set<WStr> othersLogged_;

  std::unique_ptr<IDeviceArrivalHost> FWindowHandle;
  bool timerEnabled_ = false;
  bool registered_ = false;
};

}  // namespace vx
