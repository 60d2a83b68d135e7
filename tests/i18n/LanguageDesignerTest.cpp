#include <gtest/gtest.h>

#include "i18n/EmbeddedLanguages.h"
#include "i18n/LanguageResource.h"
#include "i18n/Languagetranslate.h"
#include "I18nFakes.h"

namespace vx {
namespace {

using Form = TkwLanguageDesignForm;

class DesignerTest : public test::LanguageTest {
 protected:
  // A "kw.local" with keys a, b, c and the given languages.
  void WriteFile(std::initializer_list<LanguageResourceEntry> langs, WView keys = u"a\r\nb\r\nc\r\n") {
    const std::vector<LanguageResourceEntry> v(langs);
    ASSERT_TRUE(WriteFileAtomic(LanguageFilePath(), WriteLanguageResource(keys, v)));
  }
  std::unique_ptr<TkwLanguage> Saved() {
    auto back = std::make_unique<TkwLanguage>(nullptr);
    back->ClearLanguages();
    EXPECT_TRUE(back->LoadFromFile(LanguageFilePath()));
    return back;
  }
  int ComboIndex(const Form& f, WView id) {
    const auto& t = f.DesignerLocaleTable();
    for (std::size_t i = 0; i < t.size(); ++i) {
      if (t[i].languageId == id) return static_cast<int>(i);
    }
    return -1;
  }
};

TEST_F(DesignerTest, OwnComponentShowsLanguagesNamedByLocaleIds) {
  WriteFile({{u"0804", u"a=A-ch\r\nb=\r\n"}, {u"CH", u"a=x\r\n"}, {u"0409", u""}, {u"0804", u"a=dup\r\n"}});
  Form f;
  f.Show();
  ASSERT_TRUE(f.OwnsLanguage());
  EXPECT_EQ(f.Language()->Resources().size(), 4u);  // the file read once
  ASSERT_EQ(f.Tabs().size(), 2u);
  EXPECT_EQ(f.Tabs()[0].title, u"Chinese (Simplified, PRC)");
  EXPECT_EQ(f.Tabs()[0].hint, u"0804");
  EXPECT_EQ(f.Tabs()[1].title, u"English (United States)");
  EXPECT_EQ(f.TabIndex(), 1);
  const auto& rows = f.Tabs()[0].rows;
  ASSERT_EQ(rows.size(), 3u + Form::kExtraRows);
  EXPECT_EQ(rows[0].key, u"a");
  EXPECT_EQ(rows[0].translation, u"A-ch");
  EXPECT_EQ(rows[1].translation, u"b");  // missing or empty shows the key
  EXPECT_EQ(rows[3].key, u"");
  EXPECT_EQ(f.LangComboItems().size(), f.DesignerLocaleTable().size());
}

TEST_F(DesignerTest, EmbeddedNamesGetNoTabAndSaveAnEmptySet) {
  auto lang = TkwLanguage::CreateWithEmbeddedSet(nullptr);
  Form f(lang.get());
  f.Show();
  EXPECT_TRUE(f.Tabs().empty());
  EXPECT_EQ(f.SaveToLanguageFile(), Form::SaveResult::SavedAndClose);
  const auto saved = ReadLanguageResource(*ReadWholeFile(LanguageFilePath()));
  EXPECT_TRUE(saved.problem.empty());
  EXPECT_TRUE(saved.languages.empty());
  EXPECT_EQ(SplitLines(saved.keyListText).size(), EmbeddedKeyList().size());
}

TEST_F(DesignerTest, SavingWritesEveryTabAndDropsEmptyTranslations) {
  WriteFile({{u"0804", u"a=A\r\nb=B\r\nc=C\r\n"}});
  Form f;
  f.Show();
  f.SetCell(1, u"");      // b
  f.SetCell(2, u"C2");    // c
  f.SetCell(50, u"x");    // beyond the keys: ignored
  ASSERT_TRUE(f.AddLanguage(ComboIndex(f, u"040a")));
  f.SetCell(0, u"a-es");
  EXPECT_EQ(f.SaveToLanguageFile(), Form::SaveResult::Saved);
  const auto back = Saved();
  ASSERT_EQ(back->Resources().size(), 2u);
  EXPECT_EQ(back->Resources()[0].name, u"0804");
  EXPECT_EQ(back->Resources()[0].table.Lines(), (std::vector<WStr>{u"a=A", u"c=C2"}));
  EXPECT_EQ(back->Resources()[1].name, u"040a");
  // A new language starts with an empty column; only typed cells are saved.
  EXPECT_EQ(back->Resources()[1].table.Lines(), (std::vector<WStr>{u"a=a-es"}));
}

TEST_F(DesignerTest, ABlankLineInTheKeyListLosesNoTranslation) {
  WriteFile({{u"0804", u"a=A\r\nb=B\r\nc=C\r\n"}}, u"a\r\n\r\nb\r\nc\r\n");
  Form f;
  f.Show();
  EXPECT_EQ(f.SaveToLanguageFile(), Form::SaveResult::Saved);
  const auto back = Saved();
  ASSERT_EQ(back->Resources().size(), 1u);
  EXPECT_EQ(back->Resources()[0].table.Lines(), (std::vector<WStr>{u"a=A", u"b=B", u"c=C"}));
  EXPECT_EQ(back->Original().Keys(), (std::vector<WStr>{u"a", u"b", u"c"}));
}

TEST_F(DesignerTest, AddLanguageSelectsAnExistingTab) {
  WriteFile({{u"0804", u"a=A\r\n"}});
  Form f;
  f.Show();
  ASSERT_TRUE(f.AddLanguage(ComboIndex(f, u"0409")));
  EXPECT_EQ(f.TabIndex(), 1);
  ASSERT_TRUE(f.AddLanguage(ComboIndex(f, u"0804")));
  EXPECT_EQ(f.Tabs().size(), 2u);
  EXPECT_EQ(f.TabIndex(), 0);
  EXPECT_FALSE(f.AddLanguage(-1));
  EXPECT_FALSE(f.AddLanguage(static_cast<int>(f.DesignerLocaleTable().size())));
}

TEST_F(DesignerTest, ConstTextsAreAddedOnceAndKeepTypedCells) {
  WriteFile({{u"0804", u"a=A\r\n"}});
  Form f;
  f.Show();
  f.SetCell(1, u"typed b");
  EXPECT_FALSE(f.AddConstText(u""));
  EXPECT_FALSE(f.AddConstText(u"a"));
  EXPECT_EQ(f.Language()->Original().Count(), 3u);
  ASSERT_TRUE(f.AddConstText(u"B2"));
  const auto& rows = f.Tabs()[0].rows;
  EXPECT_EQ(rows[0].key, u"a");
  EXPECT_EQ(rows[1].key, u"b");
  EXPECT_EQ(rows[1].translation, u"typed b");
  EXPECT_EQ(rows[2].key, u"B2");
  EXPECT_EQ(rows[2].translation, u"B2");
}

TEST_F(DesignerTest, GridsGrowToHoldEveryKey) {
  WriteFile({{u"0804", u""}});
  Form f;
  f.Show();
  WStr text;
  for (int i = 0; i < 250; ++i) {
    text += u'k';
    text += IntToWStr(1000 + i);
    text += u"=v\r\n";
  }
  f.SaveTextList(text);
  ASSERT_EQ(f.Language()->Original().Count(), 250u);
  ASSERT_GE(f.Tabs()[0].rows.size(), 250u);
  EXPECT_EQ(f.Tabs()[0].rows[249].key, u"k1249");
}

TEST_F(DesignerTest, DeleteItemShiftsEveryGrid) {
  WriteFile({{u"0804", u"a=A\r\nb=B\r\nc=C\r\n"}, {u"0409", u"c=see\r\n"}});
  Form f;
  f.Show();
  f.SelectTab(0);
  EXPECT_FALSE(f.DeleteItemFromList(3));  // empty row
  ASSERT_TRUE(f.DeleteItemFromList(1));
  EXPECT_FALSE(f.Language()->Original().Contains(u"b"));
  for (const auto& tab : f.Tabs()) {
    EXPECT_EQ(tab.rows[1].key, u"c");
    EXPECT_EQ(tab.rows[2].key, u"");
  }
  EXPECT_EQ(f.Tabs()[1].rows[1].translation, u"see");
}

TEST_F(DesignerTest, TextListRoundTripAppliesToTheTabsLanguage) {
  // "CH" has no tab and sits first in the set: lines must not land there.
  WriteFile({{u"CH", u"a=ch\r\n"}, {u"0804", u"a=A\r\n"}});
  Form f;
  f.Show();
  EXPECT_EQ(f.GetTextList(), u"a=A\r\nb=b\r\nc=c\r\n");
  f.SaveTextList(u"z=Z\r\na=A2\r\nno translation\r\n\r\n=x\r\n");
  EXPECT_EQ(f.Language()->Original().Keys(), (std::vector<WStr>{u"a", u"no translation", u"z"}));
  EXPECT_EQ(f.GetTextList(), u"a=A2\r\nno translation=\r\nz=Z\r\n");
  EXPECT_EQ(f.Language()->GetLanguageTable(u"CH")->Lines(), (std::vector<WStr>{u"a=ch"}));
  EXPECT_EQ(f.Language()->GetLanguageTable(u"0804")->Translation(u"z"), u"Z");
}

TEST_F(DesignerTest, DeleteLanguageSelectsThePreviousTab) {
  WriteFile({{u"0804", u""}, {u"0409", u""}, {u"0407", u""}});
  Form f;
  f.Show();
  f.SelectTab(1);
  f.DeleteLanguage();
  ASSERT_EQ(f.Tabs().size(), 2u);
  EXPECT_EQ(f.TabIndex(), 0);
  EXPECT_EQ(f.Tabs()[1].hint, u"0407");
  f.DeleteLanguage();
  EXPECT_EQ(f.TabIndex(), 0);
  f.DeleteLanguage();
  EXPECT_EQ(f.TabIndex(), -1);
  f.DeleteLanguage();  // nothing left
  EXPECT_EQ(f.SaveToLanguageFile(), Form::SaveResult::Saved);
  EXPECT_TRUE(Saved()->Resources().empty());
}

TEST_F(DesignerTest, PagingShowsEightHeaders) {
  struct Case {
    int tabs;
    int firstAfterNext;
  };
  for (const Case c : {Case{8, 0}, Case{9, 1}, Case{11, 1}}) {
    std::vector<LanguageResourceEntry> langs;
    for (int i = 0; i < c.tabs; ++i) langs.push_back({test::DefaultFakeLocales()[static_cast<std::size_t>(i)].languageId, u""});
    ASSERT_TRUE(WriteFileAtomic(LanguageFilePath(), WriteLanguageResource(u"a\r\n", langs)));
    Form f;
    f.Show();
    ASSERT_EQ(static_cast<int>(f.Tabs().size()), c.tabs);
    f.SelectTab(0);
    EXPECT_EQ(f.FirstVisibleTab(), 0);
    f.NextPage();
    EXPECT_EQ(f.FirstVisibleTab(), c.firstAfterNext) << c.tabs;
    const auto visible = f.VisibleTabs();
    ASSERT_EQ(visible.size(), 8u);
    EXPECT_EQ(visible.front(), c.firstAfterNext);
    f.PrevPage();
    f.PrevPage();
    EXPECT_EQ(f.FirstVisibleTab(), 0);
  }
}

TEST_F(DesignerTest, FailedSaveKeepsTheWindowOpen) {
  auto lang = TkwLanguage::CreateWithEmbeddedSet(nullptr);
  SetExecutableFolderOverride(folder.Path() + u"missing\\sub\\");
  Form f(lang.get());
  f.Show();
  EXPECT_EQ(f.SaveToLanguageFile(), Form::SaveResult::Failed);
}

}  // namespace
}  // namespace vx

namespace vx {
namespace {

TEST_F(DesignerTest, ModifiedUntilSaved) {
  WriteFile({{u"0804", u"a=A\r\n"}});
  Form f;
  f.Show();
  EXPECT_FALSE(f.Modified());
  f.SetCell(0, u"A");  // unchanged
  EXPECT_FALSE(f.Modified());
  f.AddConstText(u"a");  // already a key
  EXPECT_FALSE(f.Modified());
  f.SetCell(0, u"A2");
  EXPECT_TRUE(f.Modified());
  ASSERT_EQ(f.SaveToLanguageFile(), Form::SaveResult::Saved);
  EXPECT_FALSE(f.Modified());
  f.DeleteItemFromList(0);
  EXPECT_TRUE(f.Modified());
}

}  // namespace
}  // namespace vx
