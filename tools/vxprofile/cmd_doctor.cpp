// vxprofile doctor [--json]: what the monitor depends on, checked.
#include <cstdio>

#include "VXVersion.h"
#include "app/AutoBackup.h"
#include "platform/Files.h"
#include "platform/HidBus.h"
#include "platform/HookLibrary.h"
#include "platform/Log.h"
#include "platform/Shell.h"
#include "tools/vxprofile/Commands.h"
#include "tools/vxprofile/Doctor.h"
#include "tools/vxprofile/ProfileEdit.h"

namespace vx::cli {

IDoctorProbe*& DoctorProbeOverride() {
  static IDoctorProbe* probe = nullptr;
  return probe;
}

doctor::Inputs DoctorInputs(const Context& ctx) {
  doctor::Inputs in;
  in.probe = DoctorProbeOverride() ? DoctorProbeOverride() : &PlatformDoctorProbe();
  in.bus = &GetHidBus();
  in.hook = &in.probe->HookLoader();
  in.version = VX_VERSION_TEXT;
  in.configIni = ExecutableFolder() + u"config.ini";
#if defined(_WIN32)
  in.logPath = LogFilePath();
  in.oldLogPath = OldLogFilePath();
  in.crashFolder = CrashFolder();
#else
  // The Linux host keeps them with the rest of the store.
  in.logPath = FromNativePath(ctx.storeDir + "/VXMon.log");
  in.oldLogPath = FromNativePath(ctx.storeDir + "/VXMon.old.log");
  in.crashFolder = FromNativePath(ctx.storeDir + "/crash");
#endif
  in.backupFolder = CliBackupFolder(ctx);
  return in;
}

namespace {

constexpr const char* kUsage = "doctor [--json]       check the mouse, the monitor and what they need (exit 0 OK, 1 warnings, 2 failure)";

int RunDoctor(Context& ctx) {
  bool json = false;
  for (const auto& a : ctx.args) {
    if (a == "--json") {
      json = true;
    } else {
      return Fail("usage: doctor [--json]");
    }
  }
  const doctor::Report r = doctor::Run(DoctorInputs(ctx));
  const std::string out = json ? r.Json() : r.Text();
  std::fwrite(out.data(), 1, out.size(), stdout);
  std::fflush(stdout);
  return r.ExitCode();
}

}  // namespace

VX_COMMAND("doctor", kUsage, RunDoctor);

}  // namespace vx::cli
