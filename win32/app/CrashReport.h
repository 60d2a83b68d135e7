#pragma once
// A crash is not silent: an unhandled exception or a fatal runtime error
// writes a minidump and one line to the crash folder (the last five kept),
// then ends the process, whose single-instance mutex goes with it.
#include <windows.h>

namespace vx::win {

void InstallCrashReport();
// Writes the dump and the line for an exception (nullptr: the current state);
// returns false when nothing could be written. Exposed for the test build.
bool WriteCrashReport(EXCEPTION_POINTERS* exception, const char* what);

}  // namespace vx::win
