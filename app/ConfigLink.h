#pragma once
// Names and private messages shared with the configuration application.
#include <cstdint>

#include "profiles/DMUnit.h"  // kProfileIDValueName

namespace vx {

inline constexpr char16_t kConfigWindowClass[] = u"TVXCfgMain";
inline constexpr char16_t kConfigWindowCaption[] = u"VX_CONFIG_EX";
inline constexpr char16_t kConfigExecutable[] = u"VXCfg.exe";
inline constexpr char16_t kMonitorWindowClass[] = u"TVXMonMain";
inline constexpr char16_t kMonitorWindowCaption[] = u"VX_MONITOR_EX";
inline constexpr char16_t kMonitorMutexName[] = u"TVXMonMain";

// Configuration application -> monitor: reload groups, settings and the
// current profile, then store lparam as ProfileID.
inline constexpr std::uint32_t WM_VX_RELOAD_PROFILES = 7035;
// Monitor -> configuration application (posted): the monitor is ending.
inline constexpr std::uint32_t WM_VX_MONITOR_EXIT = 7036;
// Configuration application -> monitor: reload settings and the language.
inline constexpr std::uint32_t WM_VX_RELOAD_SETTINGS = 7037;
// Monitor -> configuration application (sent, waited for at most
// kSendMessageTimeoutMs): a recorded macro was stored.
inline constexpr std::uint32_t WM_VX_MACRO_RECORDED = 7038;
// Monitor -> configuration application (sent, waited for at most
// kSendMessageTimeoutMs): the mouse switched profile.
inline constexpr std::uint32_t WM_VX_PROFILE_SWITCHED = 7040;
// Monitor -> itself (posted): a button event from the mouse.
inline constexpr std::uint32_t WM_VX_BUTTON_EVENT = 7524;

// Commands of the monitor window (tray menu items send them as WM_COMMAND).
inline constexpr std::uint16_t kCmdConfig = 1001;
inline constexpr std::uint16_t kCmdAbout = 1002;
inline constexpr std::uint16_t kCmdExit = 1003;
inline constexpr std::uint16_t kCmdRestartAsAdministrator = 1006;

}  // namespace vx
