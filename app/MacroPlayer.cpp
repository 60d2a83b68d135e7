#include "app/MacroPlayer.h"

#include <algorithm>
#include <bitset>

namespace vx {
namespace {

void MouseButton(const TMACROKEY& a, ScreenPoint at, ISyntheticInput& input) {
  std::uint32_t down = 0;
  std::uint32_t up = 0;
  switch (a.VALUE2) {  // MouseKey_Index
    case kMouseIndexLeft:
      down = kMouseEventLeftDown;
      up = kMouseEventLeftUp;
      break;
    case kMouseIndexRight:
      down = kMouseEventRightDown;
      up = kMouseEventRightUp;
      break;
    case kMouseIndexMiddle:
      down = kMouseEventMiddleDown;
      up = kMouseEventMiddleUp;
      break;
    case kMouseIndexBack:
    case kMouseIndexForward: {
      // The side buttons are played as the browser keys, not as X buttons.
      const std::uint8_t vk = a.VALUE2 == kMouseIndexBack ? kVkBrowserBack : kVkBrowserForward;
      if (a.nKeyState == 1) {
        input.KeybdEvent(vk, 0, kKeyEventExtendedKey);
      } else if (a.nKeyState == 0) {
        input.KeybdEvent(vk, 0, kKeyEventExtendedKey | kKeyEventKeyUp);
      }
      return;
    }
    default:
      return;
  }
  if (a.nKeyState == 1) {
    input.MouseEvent(down, at.x, at.y, 0, 0);
  } else if (a.nKeyState == 0) {
    input.MouseEvent(up, at.x, at.y, 0, 0);
  }
}

// What a macro holds down: virtual keys (the side buttons as their browser
// keys) and the three mouse buttons.
struct HeldInput {
  std::bitset<256> keys;
  std::bitset<3> buttons;  // left, right, middle

  void Track(const TMACROKEY& a) {
    if (a.nKeyState > 1) return;
    const bool down = a.nKeyState == 1;
    if (a.nKeyType == kActionKey) {
      keys[a.VALUE1] = down;
    } else if (a.nKeyType == kActionMouse && a.VALUE2 >= kMouseIndexLeft && a.VALUE2 <= kMouseIndexMiddle) {
      buttons[a.VALUE2 - kMouseIndexLeft] = down;
    } else if (a.nKeyType == kActionMouse && (a.VALUE2 == kMouseIndexBack || a.VALUE2 == kMouseIndexForward)) {
      keys[a.VALUE2 == kMouseIndexBack ? kVkBrowserBack : kVkBrowserForward] = down;
    }
  }

  void ReleaseAll(ScreenPoint at, ISyntheticInput& input) const {
    constexpr std::uint32_t kUp[3] = {kMouseEventLeftUp, kMouseEventRightUp, kMouseEventMiddleUp};
    for (std::size_t b = 0; b < buttons.size(); ++b) {
      if (buttons[b]) input.MouseEvent(kUp[b], at.x, at.y, 0, 0);
    }
    for (std::size_t vk = 0; vk < keys.size(); ++vk) {
      if (!keys[vk]) continue;
      const bool browser = vk == kVkBrowserBack || vk == kVkBrowserForward;
      input.KeybdEvent(static_cast<std::uint8_t>(vk), 0, kKeyEventKeyUp | (browser ? kKeyEventExtendedKey : 0));
    }
  }
};

}  // namespace

std::uint32_t PerformMacroAction(const TMACROKEY& action, ScreenPoint at, ISyntheticInput& input) {
  switch (action.nKeyType) {
    case kActionDelay:
      return action.Delay();
    case kActionKey:
      if (action.nKeyState == 1) {
        input.KeybdEvent(action.VALUE1, 0, 0);
      } else if (action.nKeyState == 0) {
        input.KeybdEvent(action.VALUE1, 0, kKeyEventKeyUp);
      }
      return 0;
    case kActionMouse:
      MouseButton(action, at, input);
      return 0;
    case kActionWheel:
      // The notch direction comes from the index alone, whatever the state.
      if (action.VALUE2 == kWheelIndexTowardUser) {
        input.MouseEvent(kMouseEventWheel, at.x, at.y, -kWheelDelta, 0);
      } else if (action.VALUE2 == kWheelIndexAwayFromUser) {
        input.MouseEvent(kMouseEventWheel, at.x, at.y, kWheelDelta, 0);
      }
      return 0;
    default:
      return 0;
  }
}

int PlayMacroActions(const TMACROKEYINFO& macro, ScreenPoint at, ISyntheticInput& input,
                     IPreciseTimer& timer, const std::atomic<bool>* cancel) {
  const int count = std::min<std::int32_t>(macro.MacroListCount, kMaxMacroActions);
  if (count <= 0) return 0;
  PreciseScope precise(timer);
  // When the schedule says the last action ended.
  std::int64_t due = timer.NowMicroseconds();
  HeldInput held;
  for (int i = 0; i < count; ++i) {
    if (cancel != nullptr && cancel->load()) {
      held.ReleaseAll(at, input);
      return i;
    }
    if (cancel != nullptr) held.Track(macro.MacroList[i]);
    const std::uint32_t pause = PerformMacroAction(macro.MacroList[i], at, input);
    if (macro.MacroList[i].nKeyType == kActionDelay) {
      due += static_cast<std::int64_t>(pause) * 1000;
      timer.SleepUntil(due);
    }
    // A stall (a slow hook behind an input call, a late wake-up) moves the
    // rest of the schedule, so the pauses after it keep their length.
    const std::int64_t now = timer.NowMicroseconds();
    if (now - due > kMacroLatenessToleranceMicroseconds) due = now;
  }
  return count;
}

}  // namespace vx
