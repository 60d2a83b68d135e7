// The caption setup with the real translator and its embedded languages.
#include <gtest/gtest.h>

#include "app/MonitorTray.h"
#include "tray/FakeTray.h"
#include "i18n/kwLanguage.h"
#include "platform/Shell.h"

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
  EXPECT_EQ(tray.menu[4].caption, LookupTranslation(u"Exit"));
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

// The shipped "kw.local" puts English, Simplified and Traditional Chinese at
// the indexes a first run stores for a system language other than 0804 and
// 0404, for 0804 and for 0404.
TEST(TrayLanguage, ShippedLanguageFileGivesEachFirstRunItsMenu) {
#if defined(VX_KW_LOCAL_DIR)
  SetExecutableFolderOverride(FromUtf8(VX_KW_LOCAL_DIR));
#endif
  auto lang = TkwLanguage::CreateWithEmbeddedSet(nullptr);
  TkwLanguageSelection<TkwLanguage> selection(*lang, [](WView t) { return LookupTranslation(t); });
  FakeTray tray;
  TMonitorTray t(tray, {});
  struct Case {
    int firstRunIndex;
    const char* name;
    const char* config;
    const char* about;
    const char* exit;
    const char* notice;
    const char* restore;
  };
  for (const Case& c : {Case{0, "0409", "Config", "About", "Exit", "Show notices", "Restore profiles..."},
                        Case{1, "0804", "打开配置", "关于软件", "退出软件", "显示屏幕提示", "恢复配置文件..."},
                        Case{2, "0404", "開啟設定", "關於軟體", "結束軟體", "顯示螢幕提示", "還原設定檔..."}}) {
    t.UpdateLanguageAndCaptions(selection, c.firstRunIndex);
    EXPECT_EQ(ToUtf8(lang->Lang()), c.name);
    ASSERT_EQ(tray.menu.size(), 5u);
    EXPECT_EQ(ToUtf8(tray.menu[0].caption), c.config) << c.name;
    EXPECT_EQ(ToUtf8(tray.menu[1].caption), c.about) << c.name;
    EXPECT_EQ(ToUtf8(tray.menu[2].caption), c.notice) << c.name;
    EXPECT_EQ(ToUtf8(tray.menu[3].caption), c.restore) << c.name;
    EXPECT_EQ(ToUtf8(tray.menu[4].caption), c.exit) << c.name;
  }
  EXPECT_EQ(lang->GetLanguageShortIDByIndex(3), u"CH");
  lang->SetLang(u"en");
  ResetLanguageTable();
  SetExecutableFolderOverride(u"");
}

}  // namespace
}  // namespace vx
