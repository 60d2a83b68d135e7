// vxprofile report [PATH]: the problem report as one zip.
#include <cstdio>

#include "platform/DoctorProbe.h"
#include "platform/Files.h"
#include "profiles/BackupSchedule.h"
#include "tools/vxprofile/Commands.h"
#include "tools/vxprofile/Doctor.h"
#include "tools/vxprofile/ProblemReport.h"

namespace vx::cli {
namespace {

constexpr const char* kUsage = "report [PATH]         save a problem report (zip); by default on the Desktop";

int RunReport(Context& ctx) {
  if (ctx.args.size() > 1) return Fail("usage: report [PATH]");
  IDoctorProbe& probe = DoctorProbeOverride() ? *DoctorProbeOverride() : PlatformDoctorProbe();
  std::string file;
  if (!ctx.args.empty()) {
    file = ctx.args[0];
  } else {
#if defined(_WIN32)
    const std::string desktop = probe.DesktopFolder();
#else
    const std::string desktop = ctx.storeDir.empty() ? probe.DesktopFolder() : ctx.storeDir + "/Desktop";
#endif
    if (desktop.empty()) return Fail("report: there is no Desktop folder; give a PATH");
    file = desktop + (desktop.back() == '\\' || desktop.back() == '/' ? "" : "\\") +
           ToUtf8(ReportFileName(LocalSecondsNow()));
  }
  std::vector<std::string> names;
  std::string why;
  if (!WriteProblemReport(ctx, FromNativePath(file), names, why)) return Fail("report: " + why);
  std::printf("%s\n", NativePath(FromNativePath(file)).c_str());
  for (const auto& n : names) std::printf("  %s\n", n.c_str());
  if (ctx.args.empty()) probe.SelectInExplorer(file);
  return 0;
}

}  // namespace

VX_COMMAND("report", kUsage, RunReport);

}  // namespace vx::cli
