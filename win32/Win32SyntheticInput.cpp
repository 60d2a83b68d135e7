// Synthetic input through SendInput: each call builds the INPUT record that
// keybd_event / mouse_event would, so flags and values are the same.
#include <windows.h>

#include <memory>

#include "platform/SyntheticInput.h"
#include "win32/Win32Handle.h"

#ifndef MAPVK_VK_TO_VSC_EX
#define MAPVK_VK_TO_VSC_EX 4
#endif

namespace vx {
namespace {

// The integrity level of a process's token; 0 with the system error when it
// cannot be read (access denied is not taken to mean anything: the caller
// plays and lets SendInput's result decide).
std::uint32_t TokenIntegrity(HANDLE process, std::uint32_t& error) {
  HANDLE raw = nullptr;
  if (!::OpenProcessToken(process, TOKEN_QUERY, &raw)) {
    error = ::GetLastError();
    return 0;
  }
  win::UniqueHandle token(raw);
  DWORD size = 0;
  ::GetTokenInformation(token.get(), TokenIntegrityLevel, nullptr, 0, &size);
  if (size == 0) {
    error = ::GetLastError();
    return 0;
  }
  auto buffer = std::make_unique<std::uint8_t[]>(size);
  if (!::GetTokenInformation(token.get(), TokenIntegrityLevel, buffer.get(), size, &size)) {
    error = ::GetLastError();
    return 0;
  }
  const auto* label = reinterpret_cast<const TOKEN_MANDATORY_LABEL*>(buffer.get());
  PSID sid = label->Label.Sid;
  if (!sid || !::IsValidSid(sid)) return 0;
  const UCHAR count = *::GetSidSubAuthorityCount(sid);
  if (count == 0) return 0;
  return static_cast<std::uint32_t>(*::GetSidSubAuthority(sid, count - 1U));
}

class Win32SyntheticInput final : public ISyntheticInput {
 public:
  bool CursorPos(ScreenPoint& pos) override {
    POINT pt{};
    if (!::GetCursorPos(&pt)) return false;
    pos = {pt.x, pt.y};
    return true;
  }
  std::uint16_t ScanCodeOf(std::uint8_t vk) override {
    // With per-window input languages the game's layout may not be ours: a
    // game that reads scan codes must get the key its own layout names.
    DWORD thread = 0;
    if (HWND window = ::GetForegroundWindow()) thread = ::GetWindowThreadProcessId(window, nullptr);
    const HKL layout = ::GetKeyboardLayout(thread);  // 0: this thread's
    return static_cast<std::uint16_t>(::MapVirtualKeyExW(vk, MAPVK_VK_TO_VSC_EX, layout));
  }
  bool KeybdEvent(std::uint8_t vk, std::uint8_t scan, std::uint32_t flags) override {
    INPUT in{};
    in.type = INPUT_KEYBOARD;
    in.ki.wVk = vk;
    in.ki.wScan = scan;
    in.ki.dwFlags = flags;
    return ::SendInput(1, &in, sizeof(in)) == 1;
  }
  bool MouseEvent(std::uint32_t flags, std::int32_t dx, std::int32_t dy, std::int32_t data,
                  std::uintptr_t extra) override {
    INPUT in{};
    in.type = INPUT_MOUSE;
    in.mi.dx = dx;
    in.mi.dy = dy;
    in.mi.mouseData = static_cast<DWORD>(data);
    in.mi.dwFlags = flags;
    in.mi.dwExtraInfo = extra;
    return ::SendInput(1, &in, sizeof(in)) == 1;
  }
  bool Foreground(ForegroundProcess& out) override {
    HWND window = ::GetForegroundWindow();
    if (!window) return false;
    DWORD pid = 0;
    ::GetWindowThreadProcessId(window, &pid);
    if (pid == 0) return false;
    out.processId = pid;
    out.integrity = 0;
    out.readError = 0;
    win::UniqueHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    if (!process) {
      out.readError = ::GetLastError();
      return true;
    }
    out.integrity = TokenIntegrity(process.get(), out.readError);
    return true;
  }
  std::uint32_t OwnIntegrity() override {
    std::uint32_t error = 0;
    if (own_ == 0) own_ = TokenIntegrity(::GetCurrentProcess(), error);
    return own_;
  }

 private:
  std::uint32_t own_ = 0;
};

}  // namespace

ISyntheticInput& PlatformSyntheticInput() {
  static Win32SyntheticInput input;
  return input;
}

}  // namespace vx
