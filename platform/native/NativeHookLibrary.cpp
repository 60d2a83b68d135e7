// There is no system-wide hook library on the Linux host: the hook engine
// finds none and stays inert, as it does on Windows when the DLL is missing.
#include "platform/HookLibrary.h"

namespace vx {
namespace {
class NoHookLibrary final : public IHookLibraryLoader {
 public:
  bool LoadModule() override { return false; }
  void* FindExport(const char*) override { return nullptr; }
  void UnloadModule() override {}
};
}  // namespace

IHookLibraryLoader& PlatformHookLibraryLoader() {
  static NoHookLibrary loader;
  return loader;
}

std::int16_t PlatformKeyState(std::int32_t) { return 0; }

InputActivity PlatformInputActivity() { return {}; }

}  // namespace vx
