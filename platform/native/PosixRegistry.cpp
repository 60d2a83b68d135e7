// On the Linux host the platform registry is a folder in the user's data.
#include "platform/Registry.h"
#include "platform/SeamsInternal.h"

namespace vx {

IRegistry& PlatformRegistry() {
  static DirRegistry registry(detail::PosixDataFolder() + "/registry");
  return registry;
}

}  // namespace vx
