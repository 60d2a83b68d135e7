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
