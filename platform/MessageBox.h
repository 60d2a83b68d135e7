#pragma once
// Modal message box (MessageBoxW with MB_OK). Tests install a sink.
#include <functional>

#include "platform/Text.h"

namespace vx {

enum class MessageBoxIcon { None, Error };

void ShowMessageBox(WView text, WView caption, MessageBoxIcon icon = MessageBoxIcon::None);
using MessageBoxSink = std::function<void(WView text, WView caption)>;
void SetMessageBoxSink(MessageBoxSink sink);

}  // namespace vx
