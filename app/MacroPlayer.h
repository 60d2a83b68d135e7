#pragma once
// Plays a recorded macro as synthetic input.
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>

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

// The synthetic input of one playback. It remembers what it pressed, so that
// a key goes up with the scan code and flags it went down with, and so that
// a stopped playback can release what it left down.
class MacroOutput {
 public:
  MacroOutput(ISyntheticInput& input, ScreenPoint at) : input_(input), at_(at) {}
  // Performs one action. A delay action returns its length in milliseconds
  // (the caller waits); every other action 0. `refused` is set when the
  // system did not take an event.
  std::uint32_t Perform(const TMACROKEY& action, bool& refused);
  // Releases every key and button pressed and not released yet.
  void ReleaseAll();

 private:
  struct KeyDown {
    bool down = false;
    std::uint8_t scan = 0;
    std::uint32_t flags = 0;
  };
  bool Key(std::uint8_t vk, bool extended, bool press);
  bool MouseButton(const TMACROKEY& a);

  ISyntheticInput& input_;
  ScreenPoint at_;
  std::array<KeyDown, 256> keys_{};
  std::array<bool, 3> buttons_{};  // left, right, middle
};

// One action on its own (no earlier press to match): see MacroOutput.
std::uint32_t PerformMacroAction(const TMACROKEY& action, ScreenPoint at, ISyntheticInput& input);

// Lateness up to which the schedule stays where it was.
inline constexpr std::int64_t kMacroLatenessToleranceMicroseconds = 2000;

struct PlaybackControl {
  // Set elsewhere (a suspend from the system's thread, or Exit, suspend and
  // session end handled during a pause): playback stops at its next step
  // and releases what it pressed.
  const std::atomic<bool>* cancel = nullptr;
  // Handles the window messages and reports that arrive during a pause; the
  // pause then goes on to the same deadline. Without it pauses block.
  std::function<void()> handleMessages;
  // Results: the system refused an event (playback stopped there), or the
  // cancel stopped it.
  bool refused = false;
  bool cancelled = false;
};

// Plays at most 128 actions of the macro once, in order. Each pause ends at
// an absolute deadline counted from the start, so the time taken by the
// input calls and by late wake-ups does not add up over a long macro. When
// an action ends more than the tolerance late, the rest of the schedule
// moves by that lateness: no pause is shortened by more than the tolerance.
// Returns the number of actions looked at.
int PlayMacroActions(const TMACROKEYINFO& macro, ScreenPoint at, ISyntheticInput& input, IPreciseTimer& timer,
                     PlaybackControl& control);
int PlayMacroActions(const TMACROKEYINFO& macro, ScreenPoint at, ISyntheticInput& input, IPreciseTimer& timer,
                     const std::atomic<bool>* cancel = nullptr);

}  // namespace vx
