// The Linux host has no designer window and no file dialog: design mode
// collects the texts and leaves the set as it is.
#include "i18n/kwLanguage.h"
#include "platform/Debug.h"

namespace vx::detail {

void PlatformOpenLanguageDesigner(TkwLanguage&) { DebugOutput("language designer: no window on this host"); }

WStr PlatformChooseLanguageFile() { return {}; }

}  // namespace vx::detail
