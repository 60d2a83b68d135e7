// Synthetic input through SendInput: each call builds the INPUT record that
// keybd_event / mouse_event would, so flags and values are the same.
#include <windows.h>

#include "platform/SyntheticInput.h"

namespace vx {
namespace {

class Win32SyntheticInput final : public ISyntheticInput {
 public:
  bool CursorPos(ScreenPoint& pos) override {
    POINT pt{};
    if (!::GetCursorPos(&pt)) return false;
    pos = {pt.x, pt.y};
    return true;
  }
  void KeybdEvent(std::uint8_t vk, std::uint8_t scan, std::uint32_t flags) override {
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.wScan = scan;
    in.ki.dwFlags = flags;
    ::SendInput(1, &in, sizeof(in));
  }
  void MouseEvent(std::uint32_t flags, std::int32_t dx, std::int32_t dy, std::int32_t data,
                  std::uintptr_t extra) override {
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dx = dx;
    in.mi.dy = dy;
    in.mi.mouseData = static_cast<DWORD>(data);
    in.mi.dwFlags = flags;
    in.mi.dwExtraInfo = extra;
    ::SendInput(1, &in, sizeof(in));
  }
};

}  // namespace

ISyntheticInput& PlatformSyntheticInput() {
  static Win32SyntheticInput input;
  return input;
}

}  // namespace vx
