#include "platform/DeviceArrival.h"

#include <mutex>

namespace vx {

namespace {
std::mutex g_mutex;
DeviceArrivalHostFactory g_factory;
}  // namespace

std::unique_ptr<IDeviceArrivalHost> CreateDeviceArrivalHost(DeviceArrivalCallbacks callbacks) {
  DeviceArrivalHostFactory factory;
  {
    std::lock_guard lock(g_mutex);
    factory = g_factory;
  }
  return factory ? factory(std::move(callbacks)) : CreatePlatformDeviceArrivalHost(std::move(callbacks));
}

void SetDeviceArrivalHostFactory(DeviceArrivalHostFactory factory) {
  std::lock_guard lock(g_mutex);
  g_factory = std::move(factory);
}

}  // namespace vx
