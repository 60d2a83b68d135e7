// On the Linux host the platform registry is a folder in the user's data.
#include <cstdlib>
#include <string>

#include "platform/Registry.h"

namespace vx {

IRegistry& PlatformRegistry() {
  static DirRegistry registry([] {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    std::string base;
    if (xdg != nullptr && *xdg != 0) {
      base = xdg;
    } else {
      const char* home = std::getenv("HOME");
      base = std::string(home != nullptr ? home : "/tmp") + "/.local/share";
    }
    return base + "/vxmon/registry";
  }());
  return registry;
}

}  // namespace vx
