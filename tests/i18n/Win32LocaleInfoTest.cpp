// The locale seam against the real national language support (wine).
#include <gtest/gtest.h>

#include "i18n/Languagetranslate.h"
#include "i18n/kwLanguage.h"
#include "platform/LocaleInfo.h"

namespace vx {
namespace {

TEST(Win32LocaleInfo, ReadsValuesOfEnglishUnitedStates) {
  struct Case {
    LocaleValue value;
    const char16_t* expected;
  };
  const Case cases[] = {{LocaleValue::LanguageId, u"0409"}, {LocaleValue::AbbrevLanguageName, u"ENU"},
                        {LocaleValue::AbbrevCountryName, u"USA"}, {LocaleValue::NativeLanguageName, u"English"}};
  for (const auto& c : cases) EXPECT_EQ(ReadLocaleValue(0x0409, c.value), c.expected);
  EXPECT_FALSE(ReadLocaleValue(0x0409, LocaleValue::LanguageName).empty());
  WStr out = u"x";
  // "ENU" needs four characters with its terminator.
  EXPECT_FALSE(GetLocaleInfoSource().GetLocaleInfoW(0x0409, LocaleValue::AbbrevLanguageName, 3, out));
  EXPECT_TRUE(out.empty());
  EXPECT_TRUE(GetLocaleInfoSource().GetLocaleInfoW(0x0409, LocaleValue::AbbrevLanguageName, 4, out));
}

TEST(Win32LocaleInfo, EnumeratesSupportedLocales) {
  int seen = 0;
  bool english = false;
  GetLocaleInfoSource().EnumSystemLocalesW([&](WView name) {
    ++seen;
    english = english || name == u"00000409";
    return true;
  });
  EXPECT_GT(seen, 20);
  EXPECT_TRUE(english);
  int stopped = 0;
  GetLocaleInfoSource().EnumSystemLocalesW([&](WView) { return ++stopped < 3; });
  EXPECT_EQ(stopped, 3);
}

TEST(Win32LocaleInfo, ComponentFindsLanguageNames) {
  TkwLanguage lang(nullptr);
  EXPECT_FALSE(lang.GetLanguageLongNameByLangID(u"0804").empty());
  EXPECT_FALSE(lang.GetLanguageLongNameByShortID(u"en").empty());
  EXPECT_EQ(lang.GetOSDefaultLang().size(), 4u);
  EXPECT_EQ(lang.GetOSLanguageShortID().size(), 2u);
  const LocaleTable table = BuildLocaleTableByLangID();
  ASSERT_NE(FindLocale(table, u"040A"), nullptr);
  EXPECT_EQ(FindLocale(table, u"040a")->languageId.size(), 4u);
}

}  // namespace
}  // namespace vx
