#pragma once
// Locale queries: the user's default locale, locale values and the list of
// the system's supported locales (GetUserDefaultLCID, GetLocaleInfoW,
// GetSystemDefaultLangID, EnumSystemLocalesW on Windows; a small table of
// POSIX locales on Linux). Tests install their own source.
#include <cstdint>
#include <functional>

#include "platform/Text.h"

namespace vx {

using LocaleId = std::uint32_t;

// The LCTYPE values the system asks for (same numbers as Windows).
enum class LocaleValue : std::uint32_t {
  LanguageId = 0x0001,          // LOCALE_ILANGUAGE: "0409"
  LanguageName = 0x0002,        // LOCALE_SLANGUAGE: "English (United States)"
  AbbrevLanguageName = 0x0003,  // LOCALE_SABBREVLANGNAME: "ENU"
  NativeLanguageName = 0x0004,  // LOCALE_SNATIVELANGNAME: "English"
  AbbrevCountryName = 0x0007,   // LOCALE_SABBREVCTRYNAME: "USA"
};

class ILocaleInfo {
 public:
  virtual ~ILocaleInfo() = default;
  virtual LocaleId GetUserDefaultLCID() = 0;
  // The value, cut to maxChars-1 units like the Windows call with a buffer
  // of maxChars. false (and an empty text) when it cannot be read.
  virtual bool GetLocaleInfoW(LocaleId locale, LocaleValue value, std::size_t maxChars, WStr& out) = 0;
  virtual std::uint16_t GetSystemDefaultLangID() = 0;
  // Calls visit with each supported locale as eight hexadecimal digits
  // ("00000409") until visit returns false.
  virtual void EnumSystemLocalesW(const std::function<bool(WView locale)>& visit) = 0;
};

// The platform's source, or the one a test installed.
ILocaleInfo& GetLocaleInfoSource();
// Installs a source (not owned); nullptr restores the platform's.
void SetLocaleInfoSource(ILocaleInfo* source);

// A locale value as text; empty when it cannot be read.
WStr ReadLocaleValue(LocaleId locale, LocaleValue value, std::size_t maxChars = 1024);

}  // namespace vx
