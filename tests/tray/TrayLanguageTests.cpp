// The caption setup with the real translator and its embedded languages.
#include <gtest/gtest.h>

#include "app/MonitorTray.h"
#include "tray/FakeTray.h"
#include "i18n/kwLanguage.h"

namespace vx {
namespace {


TEST(TrayLanguage, StoredLanguageSelectsTheTranslatorAndEveryCaptionFollows) {
  auto lang = TkwLanguage::CreateWithEmbeddedSet(nullptr);
  TkwLanguageSelection<TkwLanguage> selection(*lang, [](WView t) { return LookupTranslation(t); });
  FakeTray tray;
  TMonitorTray t(tray, {});

  const int ch = lang->GetLanguageIndexByShortID(u"CH");
  const int us = lang->GetLanguageIndexByShortID(u"US");
  ASSERT_GE(ch, 0);
  ASSERT_GE(us, 0);

  t.UpdateLanguageAndCaptions(selection, ch);
  EXPECT_EQ(ToUtf8(lang->Lang()), "CH");
  const WStr chineseConfig = tray.menu[0].caption;
  EXPECT_EQ(tray.menu[0].caption, LookupTranslation(u"Config"));
  EXPECT_NE(tray.menu[0].caption, u"Config") << "the Chinese table translates the menu";
  EXPECT_EQ(tray.menu[2].caption, LookupTranslation(u"Exit"));
  EXPECT_EQ(tray.hint, LookupTranslation(u"Vantor Gaming Mouse Driver"));
  EXPECT_EQ(t.ApplicationTitle(), LookupTranslation(u"Vantor Gaming Mouse Monitor"));

  // The configuration application stored another language (message 7037).
  t.UpdateLanguageAndCaptions(selection, us);
  EXPECT_EQ(ToUtf8(lang->Lang()), "US");
  EXPECT_EQ(tray.menu[0].caption, LookupTranslation(u"Config"));
  EXPECT_EQ(tray.menu[1].caption, LookupTranslation(u"About"));
  EXPECT_NE(tray.menu[0].caption, chineseConfig);

  lang->SetLang(u"en");
  ResetLanguageTable();
}

}  // namespace
}  // namespace vx
