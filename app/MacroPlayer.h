#pragma once
// Plays a recorded macro as synthetic input.
#include <atomic>
#include <cstdint>

#include "platform/PreciseTimer.h"
#include "platform/SyntheticInput.h"
#include "profiles/pubunit_lumari.h"

namespace vx {

// Selectors of mouse-button and wheel actions.
enum : std::uint8_t {
  kMouseIndexLeft = 1,
  kMouseIndexRight = 2,
  kMouseIndexMiddle = 3,
  kMouseIndexBack = 4,
  kMouseIndexForward = 5,
  kWheelIndexTowardUser = 6,
  kWheelIndexAwayFromUser = 7,
};
inline constexpr std::uint8_t kVkBrowserBack = 166;
inline constexpr std::uint8_t kVkBrowserForward = 167;

// Performs one action at the cursor position `at`. A delay action returns
// its length in milliseconds (the caller waits); every other action 0.
std::uint32_t PerformMacroAction(const TMACROKEY& action, ScreenPoint at, ISyntheticInput& input);

// Lateness up to which the schedule stays where it was.
inline constexpr std::int64_t kMacroLatenessToleranceMicroseconds = 2000;

// Plays at most 128 actions of the macro once, in order. Each pause ends at
// an absolute deadline counted from the start, so the time taken by the
// input calls and by late wake-ups does not add up over a long macro. When
// an action ends more than the tolerance late, the rest of the schedule
// moves by that lateness: no pause is shortened by more than the tolerance.
// Returns the number of actions looked at. When `cancel` becomes true (the
// system suspends), playback stops after the current action and releases the
// keys and buttons it pressed and had not released.
int PlayMacroActions(const TMACROKEYINFO& macro, ScreenPoint at, ISyntheticInput& input,
                     IPreciseTimer& timer, const std::atomic<bool>* cancel = nullptr);

}  // namespace vx
