#pragma once
// `vxprofile doctor`: what the monitor depends on, one check per line. The
// checks read the seams (HID bus, hook library loader, registry, files) and
// the facts of IDoctorProbe, so a test gives them fakes.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/DoctorProbe.h"
#include "platform/Text.h"

namespace vx {
class IHidBus;
class IHookLibraryLoader;
}

namespace vx::doctor {

enum class Status { Ok, Warn, Fail };

struct Check {
  std::string name;    // "mouse", "hook library", ...
  Status status = Status::Ok;
  std::string detail;  // what was found
  std::string advice;  // one sentence, for WARN and FAIL
  std::vector<std::string> lines;  // further facts (interfaces, log lines)
};

struct Inputs {
  IDoctorProbe* probe = nullptr;
  IHidBus* bus = nullptr;
  IHookLibraryLoader* hook = nullptr;
  std::string version;
  WStr configIni;      // config.ini beside the program
  WStr logPath, oldLogPath, crashFolder, backupFolder;
};

struct Report {
  std::vector<Check> checks;
  // 0 all OK, 1 warnings, 2 a failure.
  int ExitCode() const;
  std::string Text() const;
  std::string Json() const;
};

Report Run(const Inputs& in);
// "held by another program" for 32, ... ; empty for codes it does not know.
std::string ErrorMeaning(std::uint32_t code);
std::string JsonQuote(const std::string& s);

}  // namespace vx::doctor

namespace vx::cli {
struct Context;
// The doctor's inputs as vxprofile gathers them; the probe is the
// platform's unless a test set one.
doctor::Inputs DoctorInputs(const Context& ctx);
IDoctorProbe*& DoctorProbeOverride();
}  // namespace vx::cli
