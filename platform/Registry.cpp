#include "platform/Registry.h"

#include <atomic>

namespace vx {
namespace {
std::atomic<IRegistry*> g_registry{nullptr};
}  // namespace

IRegistry& GetRegistry() {
  IRegistry* r = g_registry.load();
  return r != nullptr ? *r : PlatformRegistry();
}

void SetRegistry(IRegistry* registry) { g_registry.store(registry); }

std::optional<std::vector<RegNamedValue>> IRegistry::EnumValues(RegRoot, WView) { return std::nullopt; }

}  // namespace vx
