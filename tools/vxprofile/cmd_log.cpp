// vxprofile log [--lines N]: where the monitor's log is, and its last lines.
#include <cstdio>
#include <string>

#include "platform/Files.h"
#include "platform/Log.h"
#include "tools/vxprofile/Commands.h"

namespace vx::cli {
namespace {

constexpr const char* kUsage = "log [--lines N]       path of the monitor's log and its last N lines (20)";

int RunLog(Context& ctx) {
  std::size_t lines = 20;
  for (std::size_t i = 0; i < ctx.args.size(); ++i) {
    if (ctx.args[i] == "--lines" && i + 1 < ctx.args.size()) {
      try {
        lines = static_cast<std::size_t>(std::stoul(ctx.args[++i]));
      } catch (const std::exception&) {
        return Fail("log: --lines wants a number");
      }
    } else {
      return Fail("usage: log [--lines N]");
    }
  }
#if defined(_WIN32)
  const WStr path = LogFilePath();
#else
  // The Linux host keeps it with the rest of the store.
  const WStr path = FromNativePath(ctx.storeDir + "/VXMon.log");
#endif
  std::printf("%s\n", ToUtf8(path).c_str());
  if (!FileExists(path)) {
    std::printf("(no log yet)\n");
    return 0;
  }
  for (const std::string& line : LastLinesOfFile(path, lines)) std::printf("%s\n", line.c_str());
  return 0;
}

}  // namespace

VX_COMMAND("log", kUsage, RunLog);

}  // namespace vx::cli
