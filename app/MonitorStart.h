#pragma once
// What a starting monitor reads from its command line.
#include <cstdint>
#include <optional>

#include "platform/Text.h"

namespace vx {

// "/after:<pid>": the monitor that started this one (a crash restart, a
// restart as administrator) is still ending; wait for it before taking the
// single-instance mutex, at most this long.
inline constexpr std::uint32_t kAfterProcessWaitMs = 15000;

// The process id of the first well-formed "/after:<decimal pid>" argument
// (case-insensitive, quoted or not); nullopt when there is none. The
// command line is the whole one, program name first.
std::optional<std::uint32_t> AfterProcessId(WView commandLine);

}  // namespace vx

namespace vx {

// A crashed monitor starts a new one itself, but not in a loop: none within
// kCrashRestartQuietSeconds of the last crash restart, at most
// kCrashRestartsPerHour in an hour. The crash restarts are kept as a text
// file of times in seconds, one a line.
inline constexpr std::int64_t kCrashRestartQuietSeconds = 60;
inline constexpr std::size_t kCrashRestartsPerHour = 3;
inline constexpr std::size_t kCrashRestartsKept = 8;

enum class CrashRestart { Start, TooSoon, TooMany };
struct CrashRestartVerdict {
  CrashRestart what = CrashRestart::Start;
  std::int64_t secondsSinceLast = -1;  // -1: no crash restart in the last hour
};

// Nothing here allocates: it runs while the process is crashing.
CrashRestartVerdict DecideCrashRestart(const std::int64_t* earlier, std::size_t count, std::int64_t now);
// Reads up to `max` times from the file's text; the number read.
std::size_t ParseCrashRestarts(const char* text, std::size_t size, std::int64_t* out, std::size_t max);
// The file's new text after a crash restart at `now`: the times of the last
// hour and `now`; the number of bytes written to `out` (0: does not fit).
std::size_t FormatCrashRestarts(const std::int64_t* earlier, std::size_t count, std::int64_t now, char* out,
                                std::size_t capacity);

}  // namespace vx
