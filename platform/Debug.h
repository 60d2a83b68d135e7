#pragma once
// System debug output (OutputDebugStringW on Windows, stderr when
// VX_DEBUG is set on Linux). Tests install a sink to read the lines. Every
// line also goes to the log when one is set (platform/Log.h).
#include <functional>

#include "platform/Text.h"

namespace vx {

void DebugOutput(WView text);
void DebugOutput(std::string_view utf8);
using DebugSink = std::function<void(WView)>;
// Replaces where the lines go; an empty sink restores the platform's.
void SetDebugSink(DebugSink sink);

}  // namespace vx
