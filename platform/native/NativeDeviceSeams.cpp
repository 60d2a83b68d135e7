// Device seams on the Linux host: no HID bus of its own (an empty virtual
// bus), a queued main thread, no OS events, no device notifications.
#include "platform/DeviceArrival.h"
#include "platform/HidBus.h"
#include "platform/MainThread.h"
#include "platform/StopSignal.h"
#include "platform/VirtualHidBus.h"

namespace vx {

IHidBus& PlatformHidBus() {
  static VirtualHidBus bus;
  return bus;
}

std::unique_ptr<IMainThreadDispatcher> CreatePlatformMainThreadDispatcher() {
  return std::make_unique<QueuedMainThread>();
}

namespace {
// The Linux host has no window messages: nothing registers, nothing fires.
class NullArrivalHost final : public IDeviceArrivalHost {
 public:
  bool RegisterNotification(const std::array<std::uint8_t, 32>&) override { return false; }
  void PostDeviceChange(std::uint32_t, std::intptr_t) override {}
  void StartTimer(std::uint32_t) override {}
  void StopTimer() override {}
};
}  // namespace

std::unique_ptr<IDeviceArrivalHost> CreatePlatformDeviceArrivalHost(DeviceArrivalCallbacks) {
  return std::make_unique<NullArrivalHost>();
}

namespace detail {
void* CreateStopEvent() { return nullptr; }
void SetStopEvent(void*) {}
void CloseStopEvent(void*) {}
}  // namespace detail

}  // namespace vx
