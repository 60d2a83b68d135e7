#pragma once
// What each build's seam implementation provides to Seams.cpp.
#include <cstdint>

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
}  // namespace detail
}  // namespace vx
