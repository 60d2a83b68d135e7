#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "i18n/EmbeddedLanguages.h"
#include "i18n/LanguageResource.h"
#include "i18n/kwLanguage.h"
#include "I18nFakes.h"
#include "profiles/DMUnit.h"

namespace vx {
namespace {

using test::FakeComponent;
using test::LanguageTest;

std::vector<std::uint8_t> FileSet(std::initializer_list<LanguageResourceEntry> langs) {
  const std::vector<LanguageResourceEntry> v(langs);
  return WriteLanguageResource(u"Exit\r\nFile key\r\n", v);
}

TEST_F(LanguageTest, FileLanguagesComeFirstAndHideEmbeddedByName) {
  ASSERT_TRUE(WriteFileAtomic(folder.File(u"kw.local"),
                              FileSet({{u"A", u"Exit=a\r\n"}, {u"ch", u"Exit=file ch\r\n"}})));
  auto lang = TkwLanguage::CreateWithEmbeddedSet(nullptr);
  struct Case {
    int index;
    const char16_t* name;
  };
  const Case cases[] = {{-1, u""}, {0, u"A"}, {1, u"ch"}, {2, u"CH"}, {3, u"US"}, {4, u""}, {1000, u""}};
  for (const auto& c : cases) EXPECT_EQ(lang->GetLanguageShortIDByIndex(c.index), c.name) << c.index;
  EXPECT_EQ(lang->GetLanguageIndexByShortID(u"a"), 0);
  EXPECT_EQ(lang->GetLanguageIndexByShortID(u"CH"), 1);  // the file's "ch"
  EXPECT_EQ(lang->GetLanguageIndexByShortID(u"us"), 3);
  EXPECT_EQ(lang->GetLanguageIndexByShortID(u"zz"), -1);
  lang->SetLang(u"CH");
  EXPECT_EQ(LookupTranslation(u"Exit"), u"file ch");
  // The stored key list replaces the file's.
  EXPECT_EQ(lang->Original().Count(), EmbeddedKeyList().size());
}

TEST_F(LanguageTest, WithoutFileOnlyTheEmbeddedSet) {
  auto lang = TkwLanguage::CreateWithEmbeddedSet(nullptr);
  ASSERT_EQ(lang->Resources().size(), 2u);
  EXPECT_EQ(lang->GetLanguageShortIDByIndex(0), u"CH");
  EXPECT_EQ(lang->GetLanguageShortIDByIndex(1), u"US");
  EXPECT_EQ(lang->GetLanguageShortIDByIndex(2), u"");
}

TEST_F(LanguageTest, MalformedFileKeepsWhatCouldBeRead) {
  auto bytes = FileSet({{u"A", u"Exit=a\r\n"}, {u"B", u"Exit=b\r\n"}});
  bytes.resize(bytes.size() - 3);
  ASSERT_TRUE(WriteFileAtomic(folder.File(u"kw.local"), bytes));
  auto lang = TkwLanguage::CreateWithEmbeddedSet(nullptr);
  EXPECT_EQ(lang->GetLanguageShortIDByIndex(0), u"A");
  EXPECT_EQ(lang->GetLanguageShortIDByIndex(1), u"CH");
  std::string problem;
  TkwLanguage other(nullptr);
  other.ClearLanguages();
  EXPECT_FALSE(other.LoadFromFile(folder.File(u"kw.local"), &problem));
  EXPECT_FALSE(problem.empty());
  EXPECT_FALSE(other.LoadFromFile(folder.File(u"missing.local")));
}

TEST_F(LanguageTest, SaveThenLoadIsTheSameSet) {
  auto lang = TkwLanguage::CreateWithEmbeddedSet(nullptr);
  lang->AddLang(u"0804");
  lang->AddLang(u"ch");  // exists as "CH"
  lang->GetLanguageTable(u"0804")->SetTranslation(u"Exit", u"x");
  ASSERT_TRUE(lang->SaveToFile(folder.File(u"out.local")));
  const auto saved = ReadWholeFile(folder.File(u"out.local"));
  ASSERT_TRUE(saved);
  EXPECT_EQ(*saved, lang->WriteLanguageStream());
  TkwLanguage back(nullptr);
  back.ClearLanguages();
  ASSERT_TRUE(back.LoadFromFile(folder.File(u"out.local")));
  EXPECT_EQ(back.WriteLanguageStream(), *saved);
  ASSERT_EQ(back.Resources().size(), 3u);
  EXPECT_EQ(back.Resources()[2].name, u"0804");
  // The embedded set survives a write and a read unchanged.
  TkwLanguage embedded(nullptr);
  embedded.ReadLanguageStream(EmbeddedLanguageResource());
  EXPECT_EQ(embedded.WriteLanguageStream(), EmbeddedLanguageResource());
}

TEST_F(LanguageTest, AutoSelectionAtLoadPicksTheUsersLanguage) {
  locale.userLcid = 0x0804;  // "CHS" -> "ch"
  auto lang = TkwLanguage::CreateWithEmbeddedSet(nullptr);
  EXPECT_EQ(lang->BaseLang(), u"ch");
  EXPECT_EQ(lang->Lang(), u"");
  EXPECT_EQ(LookupTranslation(u"Exit"), u"退出软件");
}

TEST_F(LanguageTest, LocaleQueries) {
  TkwLanguage lang(nullptr);
  struct Case {
    LocaleId user;
    const char16_t* shortId;
  };
  for (const Case c : {Case{0x0409, u"en"}, Case{0x0804, u"ch"}, Case{0x0404, u"ch"}, Case{0x0407, u"de"},
                       Case{0x9999, u""}}) {
    locale.userLcid = c.user;
    EXPECT_EQ(lang.GetOSLanguageShortID(), c.shortId) << c.user;
  }
  locale.userLcid = 0x0409;
  locale.failAbbrev = true;
  EXPECT_EQ(lang.GetOSLanguageShortID(), u"");
  locale.systemLangId = 0x0c0a;
  EXPECT_EQ(lang.GetOSDefaultLang(), u"0C0A");
  EXPECT_EQ(lang.GetLanguageLongNameByLangID(u"0804"), u"Chinese (Simplified, PRC)");
  EXPECT_EQ(lang.GetLanguageLongNameByLangID(u"040A"), u"Spanish - Traditional Sort");
  EXPECT_EQ(lang.GetLanguageLongNameByLangID(u"1234"), u"");
  EXPECT_EQ(lang.GetLanguageLongNameByShortID(u"ch"), u"Chinese (Simplified, PRC)");
  EXPECT_EQ(lang.GetLanguageLongNameByShortID(u"EN"), u"English (United States)");
  EXPECT_EQ(lang.GetLanguageLongNameByShortID(u"xx"), u"");
}

TEST_F(LanguageTest, LocaleTablesOutliveASecondComponent) {
  TkwLanguage first(nullptr);
  { TkwLanguage second(nullptr); }
  EXPECT_EQ(first.GetLanguageLongNameByLangID(u"0409"), u"English (United States)");
}

TEST_F(LanguageTest, ParentFormsAreCountedWhileTheComponentLives) {
  FakeComponent form(u"TVXMonMain", u"VXMonMain");
  form.form = true;
  FakeComponent button(u"TButton", u"Button1");
  const int before = kwParentFormCount();
  {
    TkwLanguage onForm(&form);
    TkwLanguage onButton(&button);
    EXPECT_EQ(kwParentFormCount(), before + 1);
    ASSERT_FALSE(LanguageParentForms().empty());
    EXPECT_EQ(LanguageParentForms().back(), &form);
  }
  EXPECT_EQ(kwParentFormCount(), before);
  for (IComponent* f : LanguageParentForms()) EXPECT_NE(f, &form);
}

class WalkTest : public LanguageTest {
 protected:
  WalkTest()
      : form(u"TAboutForm", u"AboutForm"),
        label(u"TLabel", u"Label1", &form),
        panel(u"TPanel", u"Panel1", &form),
        inner(u"TButton", u"Button1", &panel),
        menu(u"TMenuItem", u"Exit1", &form),
        scene(u"TvgScene", u"Scene1", &form),
        custom(u"TCustomThing", u"Custom1", &form) {
    form.form = true;
    form.props = {{u"Caption", u"About"}};
    label.props = {{u"Caption", u"Exit"}, {u"Hint", u"Config"}};
    panel.props = {{u"Caption", u""}};
    inner.props = {{u"Caption", u"Unknown"}, {u"Hint", u"About"}};
    menu.props = {{u"Caption", u"Exit"}};
    scene.scene = true;
    scene.props = {{u"Caption", u"Exit"}};
    custom.props = {{u"Caption", u"Exit"}};
  }
  FakeComponent form, label, panel, inner, menu, scene, custom;
};

TEST_F(WalkTest, SetLangTranslatesCaptionsAndHintsOfRegisteredForms) {
  auto lang = TkwLanguage::CreateWithEmbeddedSet(&form);
  int changed = 0;
  WStr longName;
  lang->OnLanguageChanged = [&](TkwLanguage* c, WView shortId, WView name) {
    EXPECT_EQ(c, lang.get());
    EXPECT_EQ(shortId, u"CH");
    longName = WStr(name);
    ++changed;
  };
  lang->SetLang(u"CH");
  EXPECT_EQ(changed, 1);
  EXPECT_EQ(longName, u"Chinese (Simplified, PRC)");
  EXPECT_EQ(form.props[u"Caption"], u"关于软件");
  EXPECT_EQ(label.props[u"Caption"], u"退出软件");
  EXPECT_EQ(label.props[u"Hint"], u"打开配置");
  EXPECT_EQ(inner.props[u"Caption"], u"Unknown");
  EXPECT_EQ(inner.props[u"Hint"], u"关于软件");
  EXPECT_EQ(panel.writes, 0);  // an empty caption is not written
  EXPECT_EQ(menu.props[u"Caption"], u"Exit");    // special class
  EXPECT_EQ(scene.props[u"Caption"], u"Exit");   // scenes translate themselves
  EXPECT_EQ(custom.props[u"Caption"], u"退出软件");  // not in the custom list
}

TEST_F(WalkTest, CustomClassesGoToTheEvent) {
  auto lang = TkwLanguage::CreateWithEmbeddedSet(&form);
  lang->SetCustomClassList({u"tcustomthing"});
  std::vector<WStr> bases;
  lang->OnCustomTranslate = [&](IComponent* met, std::vector<WStr>& texts, std::vector<IComponent*>& visited,
                                WView base, bool translate) {
    EXPECT_EQ(met, &custom);
    EXPECT_TRUE(translate);
    EXPECT_FALSE(texts.empty());
    EXPECT_FALSE(visited.empty());
    bases.emplace_back(base);
  };
  lang->SetLang(u"CH");
  EXPECT_EQ(bases, (std::vector<WStr>{u"TAboutForm"}));
  EXPECT_EQ(custom.props[u"Caption"], u"Exit");
}

TEST_F(WalkTest, CollectingWithoutWritingBack) {
  auto lang = TkwLanguage::CreateWithEmbeddedSet(nullptr);
  lang->SetLang(u"CH");
  std::vector<WStr> texts;
  lang->TranslateComponent(&form, texts, false);
  EXPECT_EQ(texts, (std::vector<WStr>{u"About", u"Exit", u"Config", u"Unknown", u"About", u"Exit"}));
  EXPECT_EQ(form.props[u"Caption"], u"About");
}

TEST_F(WalkTest, ComponentBaseNames) {
  EXPECT_EQ(TkwLanguage::GetComponentBaseName(&form), u"TAboutForm");
  EXPECT_EQ(TkwLanguage::GetComponentBaseName(&panel), u"TAboutForm");
  EXPECT_EQ(TkwLanguage::GetComponentBaseName(&inner), u"TAboutForm.Panel1");
  FakeComponent loose(u"TButton", u"Loose");
  EXPECT_EQ(TkwLanguage::GetComponentBaseName(&loose), u"");
}

TEST_F(WalkTest, ApplicationFormsAndCyclesAreNotWalkedTwice) {
  FakeComponent app(u"TApplication", u"Application");
  app.application = true;
  app.props = {{u"Caption", u"Exit"}};
  app.Adopt(&form);
  inner.Adopt(&panel);  // a cycle
  auto lang = TkwLanguage::CreateWithEmbeddedSet(nullptr);
  lang->SetLang(u"CH");
  std::vector<WStr> texts;
  lang->TranslateComponent(&app, texts, true);
  EXPECT_EQ(app.props[u"Caption"], u"退出软件");
  EXPECT_EQ(form.props[u"Caption"], u"About");
  texts.clear();
  lang->TranslateComponent(&panel, texts, false);
  EXPECT_EQ(texts.size(), 2u);
}

TEST_F(WalkTest, DesignModeActiveCollectsTextsAndOpensTheDesigner) {
  auto lang = TkwLanguage::CreateWithEmbeddedSet(&form, /*designMode=*/true);
  lang->ClearLanguages();
  lang->Original().Clear();
  SceneTexts sceneTexts;
  sceneTexts.Add(u"Scene text");
  int opened = 0;
  SetLanguageDesignerOpener([&](TkwLanguage& c) {
    ++opened;
    EXPECT_EQ(&c, lang.get());
    EXPECT_TRUE(c.Active());
    for (const char16_t* k : {u"Scene text", u"About", u"Exit", u"Config", u"Unknown", u"Mouse Right Click",
                              u"Wheel Down(Mouse)", u"ms"}) {
      EXPECT_TRUE(c.Original().Contains(k)) << ToUtf8(k);
    }
    EXPECT_FALSE(c.Original().Contains(u""));
  });
  lang->SetActive(true);
  EXPECT_EQ(opened, 1);
  EXPECT_FALSE(lang->Active());
  EXPECT_EQ(CollectedTexts(), nullptr);
  // Failing designer: still inactive, collection dropped.
  SetLanguageDesignerOpener([](TkwLanguage&) { throw std::runtime_error("designer"); });
  EXPECT_THROW(lang->SetActive(true), std::runtime_error);
  EXPECT_FALSE(lang->Active());
}

TEST_F(WalkTest, OutsideDesignModeActiveAndLoadFromFileAreInert) {
  auto lang = TkwLanguage::CreateWithEmbeddedSet(&form);
  int opened = 0, asked = 0;
  SetLanguageDesignerOpener([&](TkwLanguage&) { ++opened; });
  SetLanguageFileChooser([&] {
    ++asked;
    return WStr();
  });
  const auto keys = lang->Original().Count();
  lang->SetActive(true);
  EXPECT_TRUE(lang->Active());
  lang->SetActiveLoadFromFile(true);
  EXPECT_EQ(opened, 0);
  EXPECT_EQ(asked, 0);
  EXPECT_EQ(lang->Original().Count(), keys);
  EXPECT_EQ(lang->Resources().size(), 2u);
}

TEST_F(WalkTest, DesignModeLoadFromFileReplacesTheSet) {
  auto lang = TkwLanguage::CreateWithEmbeddedSet(&form, /*designMode=*/true);
  ASSERT_TRUE(WriteFileAtomic(folder.File(u"de.Local"), FileSet({{u"0407", u"Exit=Beenden\r\n"}})));
  SetLanguageFileChooser([&] { return folder.File(u"de.Local"); });
  lang->SetActiveLoadFromFile(true);
  ASSERT_EQ(lang->Resources().size(), 1u);
  EXPECT_EQ(lang->GetLanguageShortIDByIndex(0), u"0407");
  SetLanguageFileChooser([] { return WStr(); });
  lang->SetActiveLoadFromFile(true);  // cancelled: unchanged
  EXPECT_EQ(lang->Resources().size(), 1u);
}

TEST_F(LanguageTest, AutoSelectPropertySelectsTheUsersLanguage) {
  auto lang = TkwLanguage::CreateWithEmbeddedSet(nullptr);
  lang->SetAutoSelect(false);
  EXPECT_EQ(lang->Lang(), u"");
  locale.userLcid = 0x0804;
  lang->SetAutoSelect(true);
  EXPECT_EQ(lang->Lang(), u"ch");
  EXPECT_EQ(LookupTranslation(u"About"), u"关于软件");
}

TEST_F(LanguageTest, ProfileDefaultsUseTheTranslator) {
  auto lang = TkwLanguage::CreateWithEmbeddedSet(nullptr);
  lang->AddLang(u"T");
  lang->GetLanguageTable(u"T")->SetTranslation(u"User Recorded", u"Eigenes Makro");
  InstallProfileTranslator();
  lang->SetLang(u"T");
  EXPECT_EQ(TranslateProfileText(u"User Recorded"), u"Eigenes Makro");
  lang->SetLang(u"en");
  EXPECT_EQ(TranslateProfileText(u"User Recorded"), u"User Recorded");
  SetProfileTextTranslator({});
}

#if defined(VX_KW_LOCAL)
// The shipped file: English is the embedded "US" table, Simplified Chinese
// the "CH" table, and Traditional Chinese translates every key of "CH".
TEST(ShippedLanguageFile, HoldsTheEmbeddedTablesAndAFullTraditionalTable) {
  std::ifstream in(VX_KW_LOCAL, std::ios::binary);
  const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const LanguageResource r = ReadLanguageResource(bytes);
  ASSERT_TRUE(r.problem.empty()) << r.problem;
  ASSERT_EQ(r.languages.size(), 3u);
  EXPECT_EQ(r.languages[0].name, u"0409");
  EXPECT_EQ(r.languages[1].name, u"0804");
  EXPECT_EQ(r.languages[2].name, u"0404");
  const auto embedded = [](EmbeddedLanguage l) {
    TLanguageTable t;
    for (const char16_t* line : EmbeddedTableLines(l)) t.Add(line);
    return t;
  };
  // Every line of the embedded tables, and the monitor's own later texts.
  const auto holds = [](const TLanguageTable& shipped, const TLanguageTable& stored) {
    for (const WStr& line : stored.Lines()) {
      const WStr key = line.substr(0, line.find(u'='));
      EXPECT_EQ(shipped.Translation(key), stored.Translation(key)) << ToUtf8(key);
    }
  };
  holds(TLanguageTable(r.languages[0].tableText), embedded(EmbeddedLanguage::English));
  holds(TLanguageTable(r.languages[1].tableText), embedded(EmbeddedLanguage::Chinese));
  for (int i = 0; i < 3; ++i) {
    const TLanguageTable t(r.languages[static_cast<std::size_t>(i)].tableText);
    for (const char16_t* key : {u"Restart as administrator", u"Macro not played"}) {
      EXPECT_TRUE(t.Translation(key).has_value()) << i << " " << ToUtf8(key);
    }
  }
  EXPECT_EQ(TLanguageTable(r.languages[1].tableText).Translation(u"Restart as administrator"),
            std::optional<WView>(u"以管理员身份重新启动"));
  EXPECT_EQ(TLanguageTable(r.languages[2].tableText).Translation(u"Restart as administrator"),
            std::optional<WView>(u"以系統管理員身分重新啟動"));
  // The texts of the on-screen notice and the backup menu, in every
  // language (the embedded set is the original one).
  const char16_t* additions[] = {
      u"Microphone muted", u"Microphone on", u"No microphone", u"Profile group", u"Recording macro",
      u"Macro saved", u"Macro could not be saved", u"The mouse could not be written; the macro is saved on the computer",
      u"Nothing recorded", u"Macro could not play",
      u"Show notices", u"Restore profiles...", u"No backups yet",
      u"Restore the profiles saved at %s? The current profiles are backed up first.",
      u"The profiles were restored.", u"The profiles could not be restored. The log names the reason."};
  const TLanguageTable english(r.languages[0].tableText), chinese(r.languages[1].tableText);
  for (const char16_t* key : additions) {
    for (const TLanguageTable* t : {&english, &chinese}) {
      const auto text = t->Translation(key);
      EXPECT_TRUE(text && !text->empty() && (*text == WView(key)) == (t == &english)) << ToUtf8(key);
    }
  }
  EXPECT_NE(TLanguageTable(r.languages[2].tableText).Translation(u"Show notices"), chinese.Translation(u"Show notices"));
  const TLanguageTable simplified(r.languages[1].tableText);
  const TLanguageTable traditional(r.languages[2].tableText);
  ASSERT_EQ(traditional.Count(), simplified.Count());
  for (const WStr& line : simplified.Lines()) {
    const WStr key = line.substr(0, line.find(u'='));
    const auto t = traditional.Translation(key);
    ASSERT_TRUE(t.has_value()) << ToUtf8(key);
    EXPECT_FALSE(t->empty()) << ToUtf8(key);
  }
}
#endif

}  // namespace
}  // namespace vx
