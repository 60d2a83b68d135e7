#pragma once
// Synthetic keyboard and mouse input. The arguments are those of keybd_event
// and mouse_event; the Windows implementation sends them with SendInput as
// the same INPUT records those calls produce.
#include <cstdint>

namespace vx {

inline constexpr std::uint32_t kKeyEventExtendedKey = 0x0001;  // KEYEVENTF_EXTENDEDKEY
inline constexpr std::uint32_t kKeyEventKeyUp = 0x0002;        // KEYEVENTF_KEYUP
inline constexpr std::uint32_t kMouseEventLeftDown = 0x0002;
inline constexpr std::uint32_t kMouseEventLeftUp = 0x0004;
inline constexpr std::uint32_t kMouseEventRightDown = 0x0008;
inline constexpr std::uint32_t kMouseEventRightUp = 0x0010;
inline constexpr std::uint32_t kMouseEventMiddleDown = 0x0020;
inline constexpr std::uint32_t kMouseEventMiddleUp = 0x0040;
inline constexpr std::uint32_t kMouseEventWheel = 0x0800;
inline constexpr std::int32_t kWheelDelta = 120;

// Mandatory integrity levels (the RID of a token's integrity label).
inline constexpr std::uint32_t kIntegrityLow = 0x1000;
inline constexpr std::uint32_t kIntegrityMedium = 0x2000;
inline constexpr std::uint32_t kIntegrityHigh = 0x3000;  // run as administrator
inline constexpr std::uint32_t kIntegritySystem = 0x4000;

struct ScreenPoint {
  std::int32_t x = 0;
  std::int32_t y = 0;
};

// The process that owns the foreground window.
struct ForegroundProcess {
  std::uint32_t processId = 0;
  std::uint32_t integrity = 0;  // 0 when it could not be read
  // Why it could not be read: the system error of the step that failed.
  // Access denied is no sign of elevation: a process of the same user that
  // runs elevated can be queried; one that hardened its handle (anti-cheat,
  // another user's) cannot.
  std::uint32_t readError = 0;
};

class ISyntheticInput {
 public:
  virtual ~ISyntheticInput() = default;
  // GetCursorPos; false (and pos unchanged) when the position is unavailable.
  virtual bool CursorPos(ScreenPoint& pos) = 0;
  // MapVirtualKeyExW(vk, MAPVK_VK_TO_VSC_EX) in the keyboard layout of the
  // foreground window's thread: the key's scan code, 0xE0 or 0xE1 in the
  // high byte for an extended key; 0 when the key has none.
  virtual std::uint16_t ScanCodeOf(std::uint8_t vk) = 0;
  // keybd_event(vk, scan, flags, 0). False when the system did not insert
  // the event. Input into a window of a higher integrity level is dropped
  // without that saying so.
  virtual bool KeybdEvent(std::uint8_t vk, std::uint8_t scan, std::uint32_t flags) = 0;
  // mouse_event(flags, dx, dy, data, extra); false as above.
  virtual bool MouseEvent(std::uint32_t flags, std::int32_t dx, std::int32_t dy, std::int32_t data,
                          std::uintptr_t extra) = 0;
  // The process of the foreground window with its integrity level; false
  // when there is no foreground window.
  virtual bool Foreground(ForegroundProcess& out) = 0;
  // This process's integrity level; 0 when it could not be read.
  virtual std::uint32_t OwnIntegrity() = 0;
};

// The operating system's input (windows build only).
ISyntheticInput& PlatformSyntheticInput();

}  // namespace vx
