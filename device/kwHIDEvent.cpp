#include "device/kwHIDEvent.h"

#include <cstring>
#include <exception>

#include "platform/Debug.h"

namespace vx {

TkwHIDEvent::TkwHIDEvent(WView usbGuid) : FUsbGuid(usbGuid) {
  DeviceArrivalCallbacks callbacks;
  callbacks.OnDeviceChange = [this](std::uint32_t code, std::intptr_t param) { WMDeviceChange(code, param); };
  callbacks.OnTimer = [this] { TimerToStartMonitorTimer(); };
  FWindowHandle = CreateDeviceArrivalHost(std::move(callbacks));
  if (FUsbGuid.empty()) FUsbGuid = kHidInterfaceClassText;
  RegisterNotification();
  timerEnabled_ = true;
  FWindowHandle->StartTimer(kStartMonitorDelayMs);
}

TkwHIDEvent::~TkwHIDEvent() {
  // The host goes first: no callback may reach a half-destroyed component.
  FWindowHandle.reset();
}

std::array<std::uint8_t, 32> TkwHIDEvent::BuildNotificationFilter(const Guid& interfaceClass) {
  std::array<std::uint8_t, 32> f{};
  const auto put32 = [&](std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) f[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
  };
  put32(0, 32);
  put32(4, kDbtDevTypDeviceInterface);
  put32(12, interfaceClass.Data1);
  f[16] = static_cast<std::uint8_t>(interfaceClass.Data2);
  f[17] = static_cast<std::uint8_t>(interfaceClass.Data2 >> 8);
  f[18] = static_cast<std::uint8_t>(interfaceClass.Data3);
  f[19] = static_cast<std::uint8_t>(interfaceClass.Data3 >> 8);
  std::memcpy(&f[20], interfaceClass.Data4.data(), 8);
  return f;
}

void TkwHIDEvent::RegisterNotification() {
  const auto guid = ParseGuid(FUsbGuid);
  if (guid) {
    registered_ = FWindowHandle->RegisterNotification(BuildNotificationFilter(*guid));
  } else {
    DebugOutput(u"Device notifications not registered: bad interface class " + FUsbGuid);
  }
  FWindowHandle->PostDeviceChange(kDbtDevNodesChanged, -1);
}

void TkwHIDEvent::TimerToStartMonitorTimer() {
  timerEnabled_ = false;
  FWindowHandle->StopTimer();
  Raise(OnDeviceArrival, u"OnDeviceArrival");
}

void TkwHIDEvent::WMDeviceChange(std::uint32_t code, std::intptr_t param) {
  const auto deviceType = [param]() -> std::uint32_t {
    if (param == 0 || param == -1) return 0;
    std::uint32_t type = 0;
    std::memcpy(&type, reinterpret_cast<const std::uint8_t*>(param) + 4, sizeof type);
    return type;
  };
  switch (code) {
    case kDbtDeviceArrival:
      if (deviceType() == kDbtDevTypDeviceInterface && Concerns(param, true)) {
        Raise(OnDeviceArrival, u"OnDeviceArrival");
      }
      break;
    case kDbtDeviceRemoveComplete:
      if (deviceType() == kDbtDevTypHandle) RaiseHandleChange(code, param);
      if (deviceType() == kDbtDevTypDeviceInterface && Concerns(param, false)) {
        Raise(OnDeviceRemove, u"OnDeviceRemove");
      }
      break;
    case kDbtDeviceQueryRemove:
    case kDbtDeviceRemovePending:
    case kDbtDeviceQueryRemoveFailed:
      if (deviceType() == kDbtDevTypHandle) RaiseHandleChange(code, param);
      break;
    case kDbtDevNodesChanged:
      Raise(OnDeviceChange, u"OnDeviceChange");
      break;
    default:
      break;
  }
}

void TkwHIDEvent::RaiseHandleChange(std::uint32_t code, std::intptr_t param) {
  if (!OnHandleChange) return;
  DevBroadcastHandleHead head;
  std::memcpy(&head, reinterpret_cast<const void*>(param), sizeof head);
  try {
    OnHandleChange(code, reinterpret_cast<std::intptr_t>(head.Handle), reinterpret_cast<std::intptr_t>(head.Notification));
  } catch (...) {
    DebugOutput(u"device removal event: the handler raised an exception");
  }
}

// DEV_BROADCAST_DEVICEINTERFACE_W: dbcc_size, then the name from byte 28.
bool TkwHIDEvent::Concerns(std::intptr_t param, bool arrived) {
  if (!ConcernsDevice) return true;
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(param);
  std::uint32_t size = 0;
  std::memcpy(&size, bytes, sizeof size);
  WStr path;
  for (std::uint32_t at = 28; at + 2 <= size; at += 2) {
    char16_t c;
    std::memcpy(&c, bytes + at, 2);
    if (c == 0) break;
    path.push_back(c);
  }
  if (path.empty()) return true;  // cannot tell
  bool concerns = true;
  try {
    concerns = ConcernsDevice(path, arrived);
  } catch (...) {
    return true;
  }
  if (!concerns && othersLogged_.insert(path).second) {
    DebugOutput(WStr(arrived ? u"another device arrived, the mouse stays open: "
                             : u"another device went away, the mouse stays open: ") +
                path);
  }
  return concerns;
}

void TkwHIDEvent::Raise(const TNotifyEvent& event, const char16_t* name) {
  if (!event) return;
  try {
    event(*this);
  } catch (const std::exception& e) {
    DebugOutput(WStr(name) + u": " + FromUtf8(e.what()));
  } catch (...) {
    DebugOutput(WStr(name) + u": unknown exception");
  }
}

}  // namespace vx
