// The Linux host has no Windows to ask: the program folder and the hook
// library file only.
#include <cstdlib>

#include "platform/DoctorProbe.h"
#include "platform/Files.h"
#include "platform/HookLibrary.h"
#include "platform/Shell.h"

namespace vx {
namespace {
class NativeDoctorProbe final : public IDoctorProbe {
 public:
  DoctorFacts Gather() override {
    DoctorFacts f;
    f.programFolder = ToUtf8(ExecutableFolder());
    return f;
  }
  bool HookLibraryPresent() override { return FileExists(ExecutableFolder() + u"kwHook.dll"); }
  std::string DesktopFolder() override {
    const char* home = std::getenv("HOME");
    return home ? std::string(home) + "/Desktop" : std::string();
  }
  bool SelectInExplorer(const std::string&) override { return false; }
  IHookLibraryLoader& HookLoader() override { return PlatformHookLibraryLoader(); }
};
}  // namespace

IDoctorProbe& PlatformDoctorProbe() {
  static NativeDoctorProbe probe;
  return probe;
}

}  // namespace vx
