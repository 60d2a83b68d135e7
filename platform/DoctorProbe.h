#pragma once
// What `vxprofile doctor` asks of Windows that no other seam tells: the
// system, the session, the displays, the monitor's window and process, the
// program in front, the microphone, the Run value. Each fact says when it
// could not be read; the checks decide what that means.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vx {

class IHookLibraryLoader;

struct DoctorFacts {
  // The program.
  std::string programFolder;
  bool installed = false;  // an uninstall entry names the folder
  std::optional<std::string> runValue;  // HKCU\...\Run "VXMon"
  bool startupDisabled = false;         // StartupApproved\Run says off
  // Windows (RtlGetVersion, not the shimmed GetVersionEx).
  std::uint32_t major = 0, minor = 0, build = 0;
  bool remoteSession = false;
  std::vector<int> displayScales;  // percent, one per display
  // The monitor.
  std::uint32_t monitorPid = 0;  // 0: not running
  bool monitorAnswers = false;   // WM_NULL answered within 1 s
  std::uint32_t monitorIntegrity = 0;
  std::uint32_t foregroundPid = 0;
  std::uint32_t foregroundIntegrity = 0;
  std::string foregroundName;
  // The default capture device.
  std::optional<std::string> microphone;
  bool microphoneMuted = false;
  // The configuration application's window.
  bool configAppRunning = false;
};

class IDoctorProbe {
 public:
  virtual ~IDoctorProbe() = default;
  virtual DoctorFacts Gather() = 0;
  // The hook library file in the program folder.
  virtual bool HookLibraryPresent() = 0;
  // A loader of the doctor's own: loading and unloading it never touches the
  // library the monitor's hook engine holds in the same process.
  virtual IHookLibraryLoader& HookLoader() = 0;
  // The user's Desktop (FOLDERID_Desktop); empty when there is none.
  virtual std::string DesktopFolder() = 0;
  // Opens the file's folder in Explorer with the file selected.
  virtual bool SelectInExplorer(const std::string& file) = 0;
};

IDoctorProbe& PlatformDoctorProbe();

}  // namespace vx
