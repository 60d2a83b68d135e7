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

struct ScreenPoint {
  std::int32_t x = 0;
  std::int32_t y = 0;
};

class ISyntheticInput {
 public:
  virtual ~ISyntheticInput() = default;
  // GetCursorPos; false (and pos unchanged) when the position is unavailable.
  virtual bool CursorPos(ScreenPoint& pos) = 0;
  // keybd_event(vk, scan, flags, 0).
  virtual void KeybdEvent(std::uint8_t vk, std::uint8_t scan, std::uint32_t flags) = 0;
  // mouse_event(flags, dx, dy, data, extra).
  virtual void MouseEvent(std::uint32_t flags, std::int32_t dx, std::int32_t dy, std::int32_t data,
                          std::uintptr_t extra) = 0;
};

// The operating system's input (windows build only).
ISyntheticInput& PlatformSyntheticInput();

}  // namespace vx
