#include "app/MacroPlayer.h"

#include <algorithm>

namespace vx {

namespace {
constexpr std::uint16_t kScanPrefixMask = 0xFF00;
constexpr std::uint16_t kScanPrefixE0 = 0xE000;
constexpr std::uint16_t kScanPause = 0xE11D;
constexpr std::uint8_t kScanNumLockCode = 0x45;
}  // namespace

bool MacroOutput::Key(std::uint8_t vk, bool extended, bool press) {
  KeyDown& k = keys_[vk];
  if (press || !k.down) {
    // Games that read raw input or DirectInput go by the scan code; an E0
    // prefix or the recorded flag makes it the extended key (Right Arrow,
    // not numeric-keypad 6).
    const std::uint16_t scan = input_.ScanCodeOf(vk);
    bool ext = extended;
    switch (scan & kScanPrefixMask) {
      case 0:
        k.scan = static_cast<std::uint8_t>(scan);
        break;
      case kScanPrefixE0:
        k.scan = static_cast<std::uint8_t>(scan & 0xFF);
        ext = true;
        break;
      default:
        // E1 1D is Pause's own sequence, which SendInput cannot carry;
        // Windows' keyboard input gives Pause 0x45 unextended (0x45 extended
        // is Num Lock), whatever flag was recorded. Any other prefix goes by
        // the virtual key alone, not as the key its low byte names.
        if (scan == kScanPause) {
          k.scan = kScanNumLockCode;
          ext = false;
        } else {
          k.scan = 0;
        }
        break;
    }
    k.flags = ext ? kKeyEventExtendedKey : 0;
  }
  // A release repeats its press's scan code and flags: no key can stick.
  const bool ok = input_.KeybdEvent(vk, k.scan, k.flags | (press ? 0 : kKeyEventKeyUp));
  k.down = press;
  return ok;
}

bool MacroOutput::MouseButton(const TMACROKEY& a) {
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
      // The side buttons are played as the browser keys, not as X buttons,
      // with no scan code (they have none on most layouts).
      const std::uint8_t vk = a.VALUE2 == kMouseIndexBack ? kVkBrowserBack : kVkBrowserForward;
      keys_[vk] = {a.nKeyState == 1, 0, kKeyEventExtendedKey};
      return input_.KeybdEvent(vk, 0, kKeyEventExtendedKey | (a.nKeyState == 1 ? 0 : kKeyEventKeyUp));
    }
    default:
      return true;
  }
  buttons_[a.VALUE2 - kMouseIndexLeft] = a.nKeyState == 1;
  return input_.MouseEvent(a.nKeyState == 1 ? down : up, at_.x, at_.y, 0, 0);
}

std::uint32_t MacroOutput::Perform(const TMACROKEY& action, bool& refused) {
  bool ok = true;
  switch (action.nKeyType) {
    case kActionDelay:
      return action.Delay();
    case kActionKey:
      if (action.nKeyState <= 1) ok = Key(action.VALUE1, action.VALUE2 != 0, action.nKeyState == 1);
      break;
    case kActionMouse:
      if (action.nKeyState <= 1) ok = MouseButton(action);
      break;
    case kActionWheel:
      // The notch direction comes from the index alone, whatever the state.
      if (action.VALUE2 == kWheelIndexTowardUser) {
        ok = input_.MouseEvent(kMouseEventWheel, at_.x, at_.y, -kWheelDelta, 0);
      } else if (action.VALUE2 == kWheelIndexAwayFromUser) {
        ok = input_.MouseEvent(kMouseEventWheel, at_.x, at_.y, kWheelDelta, 0);
      }
      break;
    default:
      break;
  }
  if (!ok) refused = true;
  return 0;
}

void MacroOutput::ReleaseAll() {
  constexpr std::uint32_t kUp[3] = {kMouseEventLeftUp, kMouseEventRightUp, kMouseEventMiddleUp};
  for (std::size_t b = 0; b < buttons_.size(); ++b) {
    if (buttons_[b]) input_.MouseEvent(kUp[b], at_.x, at_.y, 0, 0);
    buttons_[b] = false;
  }
  for (std::size_t vk = 0; vk < keys_.size(); ++vk) {
    KeyDown& k = keys_[vk];
    if (k.down) input_.KeybdEvent(static_cast<std::uint8_t>(vk), k.scan, k.flags | kKeyEventKeyUp);
    k.down = false;
  }
}

std::uint32_t PerformMacroAction(const TMACROKEY& action, ScreenPoint at, ISyntheticInput& input) {
  MacroOutput out(input, at);
  bool refused = false;
  return out.Perform(action, refused);
}

int PlayMacroActions(const TMACROKEYINFO& macro, ScreenPoint at, ISyntheticInput& input, IPreciseTimer& timer,
                     PlaybackControl& control) {
  const int count = std::min<std::int32_t>(macro.MacroListCount, kMaxMacroActions);
  if (count <= 0) return 0;
  const auto cancelled = [&] { return control.cancel != nullptr && control.cancel->load(); };
  PreciseScope precise(timer);
  // When the schedule says the last action ended.
  std::int64_t due = timer.NowMicroseconds();
  MacroOutput out(input, at);
  for (int i = 0; i < count; ++i) {
    if (cancelled()) {
      control.cancelled = true;
      out.ReleaseAll();
      return i;
    }
    const std::uint32_t pause = out.Perform(macro.MacroList[i], control.refused);
    if (control.refused) {
      // Nothing more reaches the game: what is down goes up, if it can.
      out.ReleaseAll();
      return i + 1;
    }
    if (macro.MacroList[i].nKeyType == kActionDelay) {
      due += static_cast<std::int64_t>(pause) * 1000;
      if (!control.handleMessages) {
        timer.SleepUntil(due);
      } else {
        // What waits already (the release of the report that started this
        // macro) is handled first: the wait wakes only for what comes
        // later. What comes is handled at once, then the wait goes on to
        // the same deadline.
        control.handleMessages();
        while (!cancelled() && timer.SleepUntilOrMessage(due)) control.handleMessages();
      }
    }
    // A stall (a slow hook behind an input call, a late wake-up, a handler
    // run during a pause that overran it) moves the rest of the schedule,
    // so the pauses after it keep their length.
    const std::int64_t now = timer.NowMicroseconds();
    if (now - due > kMacroLatenessToleranceMicroseconds) due = now;
  }
  if (cancelled()) {
    // Stopped during the last pause.
    control.cancelled = true;
    out.ReleaseAll();
  }
  return count;
}

int PlayMacroActions(const TMACROKEYINFO& macro, ScreenPoint at, ISyntheticInput& input, IPreciseTimer& timer,
                     const std::atomic<bool>* cancel) {
  PlaybackControl control;
  control.cancel = cancel;
  return PlayMacroActions(macro, at, input, timer, control);
}

}  // namespace vx
