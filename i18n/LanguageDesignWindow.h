#pragma once
// The language designer's window (windows build): the designer model drawn
// with common controls.
#include "i18n/kwLanguage.h"

namespace vx {

struct LanguageDesignWindowOptions {
  // Adds a language and a key with a translation through the window's own
  // controls, saves and closes; the result is the save's success.
  bool selfTest = false;
  // Language id the self test adds ("0804").
  WStr selfTestLanguage = u"0804";
};

// Shows the window until it closes. lang null: the window edits a component
// of its own filled from "kw.local". Returns 0, or 1 when a self test
// failed to save.
int ShowLanguageDesignWindow(TkwLanguage* lang, const LanguageDesignWindowOptions& options = {});

}  // namespace vx
