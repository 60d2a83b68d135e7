#pragma once
// What each build's seam implementation provides to Seams.cpp.
#include <cstdint>
#include <string>

#include "platform/Text.h"

namespace vx {
WStr IncludeTrailingBackslashText(WView path);
namespace detail {
void PlatformDebugOutput(WView text);
void PlatformMessageBox(WView text, WView caption, bool errorIcon);
std::uint32_t PlatformTickCount();
double PlatformNowAsOleDate();
std::uint16_t PlatformSystemDefaultLangID();
WStr PlatformDocumentsFolder();
WStr PlatformExecutableFolder();
#ifndef _WIN32
// "$XDG_DATA_HOME/vxmon" (or "~/.local/share/vxmon"): the Linux host's
// stand-in for the user's registry and documents.
std::string PosixDataFolder();
#endif
}  // namespace detail
}  // namespace vx
