// Locales on the Linux host: a small table of the locales a gaming-mouse
// user is likely to run, with the values Windows reports for them. The
// user's default locale comes from LC_ALL, LC_MESSAGES or LANG.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/Locale.h"
#include "platform/LocaleInfo.h"

namespace vx::detail {
namespace {

struct PosixLocale {
  const char* posix;  // language_TERRITORY prefix
  LocaleId lcid;
  const char16_t* abbrevLang;
  const char16_t* abbrevCountry;
  const char16_t* name;
  const char16_t* nativeName;
};

constexpr PosixLocale kLocales[] = {
    {"en_US", 0x0409, u"ENU", u"USA", u"English (United States)", u"English"},
    {"en_GB", 0x0809, u"ENG", u"GBR", u"English (United Kingdom)", u"English"},
    {"zh_CN", 0x0804, u"CHS", u"CHN", u"Chinese (Simplified, PRC)", u"中文(简体)"},
    {"zh_TW", 0x0404, u"CHT", u"TWN", u"Chinese (Traditional, Taiwan)", u"中文(繁體)"},
    {"zh_HK", 0x0c04, u"ZHH", u"HKG", u"Chinese (Traditional, Hong Kong S.A.R.)", u"中文(繁體)"},
    {"de_DE", 0x0407, u"DEU", u"DEU", u"German (Germany)", u"Deutsch"},
    {"fr_FR", 0x040c, u"FRA", u"FRA", u"French (France)", u"français"},
    {"es_ES", 0x0c0a, u"ESN", u"ESP", u"Spanish (Spain)", u"español"},
    {"it_IT", 0x0410, u"ITA", u"ITA", u"Italian (Italy)", u"italiano"},
    {"pt_BR", 0x0416, u"PTB", u"BRA", u"Portuguese (Brazil)", u"português"},
    {"ru_RU", 0x0419, u"RUS", u"RUS", u"Russian (Russia)", u"русский"},
    {"ja_JP", 0x0411, u"JPN", u"JPN", u"Japanese (Japan)", u"日本語"},
    {"ko_KR", 0x0412, u"KOR", u"KOR", u"Korean (Korea)", u"한국어"},
};

const PosixLocale* Find(LocaleId lcid) {
  for (const auto& l : kLocales) {
    if (l.lcid == lcid) return &l;
  }
  return nullptr;
}

// Windows writes language ids in lower case ("040a") and locale names in
// upper case ("0000040A").
WStr Hex(unsigned v, int digits) {
  char buf[16];
  std::snprintf(buf, sizeof buf, digits == 4 ? "%04x" : "%08X", v);
  return FromUtf8(buf);
}

class PosixLocaleInfo final : public ILocaleInfo {
 public:
  LocaleId GetUserDefaultLCID() override {
    for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
      const char* s = std::getenv(var);
      if (s == nullptr || *s == 0) continue;
      const std::string loc(s);
      const std::string base = loc.substr(0, loc.find_first_of(".@"));
      for (const auto& l : kLocales) {
        if (base == l.posix) return l.lcid;
      }
      for (const auto& l : kLocales) {
        if (base.compare(0, 2, l.posix, 2) == 0) return l.lcid;
      }
      break;
    }
    return 0x0409;
  }

  bool GetLocaleInfoW(LocaleId locale, LocaleValue value, std::size_t maxChars, WStr& out) override {
    out.clear();
    const PosixLocale* l = Find(locale);
    if (l == nullptr || maxChars == 0) return false;
    WStr v;
    switch (value) {
      case LocaleValue::LanguageId: v = Hex(l->lcid & 0xffff, 4); break;
      case LocaleValue::LanguageName: v = l->name; break;
      case LocaleValue::AbbrevLanguageName: v = l->abbrevLang; break;
      case LocaleValue::NativeLanguageName: v = l->nativeName; break;
      case LocaleValue::AbbrevCountryName: v = l->abbrevCountry; break;
      default: return false;
    }
    // Like the Windows call, a value that does not fit fails.
    if (v.size() + 1 > maxChars) return false;
    out = v;
    return true;
  }

  std::uint16_t GetSystemDefaultLangID() override { return SystemDefaultLangID(); }

  void EnumSystemLocalesW(const std::function<bool(WView)>& visit) override {
    for (const auto& l : kLocales) {
      if (!visit(Hex(l.lcid, 8))) return;
    }
  }
};

}  // namespace

ILocaleInfo& PlatformLocaleInfo() {
  static PosixLocaleInfo info;
  return info;
}

}  // namespace vx::detail
