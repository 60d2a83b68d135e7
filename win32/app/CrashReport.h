#pragma once
// A crash is not silent: an unhandled exception or a fatal runtime error
// writes a minidump and one line to the crash folder (the last five kept),
// starts a new monitor (rate-limited), then ends the process, whose
// single-instance mutex goes with it.
#include <windows.h>

#include "platform/Text.h"

namespace vx::win {

// At start-up: resolves the dump function, prepares the paths and starts the
// thread that writes the report.
void InstallCrashReport();
// The user's log, which gets the crash line too ("" : none).
void SetCrashReportLog(WView userLogPath);
// Whether a crash starts a new monitor: on while the monitor runs, off once
// it is ending.
void SetCrashRestart(bool enabled);

}  // namespace vx::win
