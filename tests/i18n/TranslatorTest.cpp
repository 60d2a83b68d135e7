#include <gtest/gtest.h>

#include <algorithm>

#include "i18n/EmbeddedLanguages.h"
#include "i18n/LanguageResource.h"
#include "i18n/kwLanguage.h"
#include "I18nFakes.h"

namespace vx {
namespace {

TEST(LanguageTable, KeepsLinesSortedWithoutDuplicates) {
  TLanguageTable t(u"b=2\r\na=1\r\nb=2\r\nB=3\r\n");
  EXPECT_EQ(t.Lines(), (std::vector<WStr>{u"B=3", u"a=1", u"b=2"}));
  EXPECT_FALSE(t.Add(u"a=1"));
  EXPECT_TRUE(t.Add(u"a=0"));
  EXPECT_EQ(t.Translation(u"a"), u"0");  // first line of the key in table order
}

TEST(LanguageTable, KeysAreExact) {
  TLanguageTable t(u" CLOSE=a\r\nCLOSE=b\r\nClose=c\r\nx=y=z\r\nnoequals\r\nk=\r\n");
  struct Case {
    const char16_t* key;
    std::optional<WStr> translation;
  };
  const Case cases[] = {
      {u" CLOSE", u"a"},  {u"CLOSE", u"b"},       {u"Close", u"c"},      {u"close", std::nullopt},
      {u"CLOSE ", std::nullopt}, {u"x", u"y=z"}, {u"x=y", std::nullopt}, {u"noequals", std::nullopt},
      {u"k", u""},        {u"missing", std::nullopt},
  };
  for (const auto& c : cases) {
    const auto got = t.Translation(c.key);
    EXPECT_EQ(got ? std::optional<WStr>(WStr(*got)) : std::nullopt, c.translation) << ToUtf8(c.key);
  }
}

TEST(LanguageTable, SetTranslationReplacesAndEmptyRemoves) {
  TLanguageTable t(u"a=1\r\na=2\r\nab=3\r\n");
  t.SetTranslation(u"a", u"9");
  EXPECT_EQ(t.Lines(), (std::vector<WStr>{u"a=9", u"ab=3"}));
  t.SetTranslation(u"a", u"");
  EXPECT_EQ(t.Lines(), (std::vector<WStr>{u"ab=3"}));
  t.SetTranslation(u"new", u"n");
  EXPECT_EQ(t.Translation(u"new"), u"n");
  t.SetTranslation(u"k=v", u"x");  // such a key could never be found
  EXPECT_EQ(t.Count(), 2u);
}

TEST(EmbeddedSet, HoldsTheStoredKeysAndTables) {
  const auto keys = EmbeddedKeyList();
  ASSERT_EQ(keys.size(), 221u);
  EXPECT_EQ(WStr(keys.front()), u"       Only 2 DPI Mode switching");
  EXPECT_EQ(WStr(keys[5]), u" CLOSE");
  EXPECT_EQ(WStr(keys[38]), u"Advanced Setting");
  EXPECT_EQ(WStr(keys[40]), u"Apply");
  EXPECT_EQ(WStr(keys.back()), u"Y-AXIS");
  EXPECT_EQ(EmbeddedTableLines(EmbeddedLanguage::Chinese).size(), 145u);
  EXPECT_EQ(EmbeddedTableLines(EmbeddedLanguage::English).size(), 79u);

  const auto r = ReadLanguageResource(EmbeddedLanguageResource());
  ASSERT_TRUE(r.problem.empty());
  ASSERT_EQ(r.languages.size(), 2u);
  EXPECT_EQ(r.languages[0].name, u"CH");
  EXPECT_EQ(r.languages[1].name, u"US");
  EXPECT_EQ(SplitLines(r.keyListText).size(), 221u);
  // The version line is translated by neither table.
  const WStr version = keys[39];
  for (const auto& l : r.languages) EXPECT_FALSE(TLanguageTable(l.tableText).Translation(version)) << ToUtf8(l.name);
}

TEST(EmbeddedSet, EveryTableLineTranslatesAStoredKey) {
  const auto keys = EmbeddedKeyList();
  for (auto lang : {EmbeddedLanguage::Chinese, EmbeddedLanguage::English}) {
    for (const char16_t* line : EmbeddedTableLines(lang)) {
      const WView l(line);
      const auto eq = l.find(u'=');
      ASSERT_NE(eq, WView::npos) << ToUtf8(l);
      const WView key = l.substr(0, eq);
      EXPECT_TRUE(std::any_of(keys.begin(), keys.end(), [&](const char16_t* k) { return key == k; })) << ToUtf8(l);
    }
  }
}

class Translator : public test::LanguageTest {};

class EmbeddedLookup : public test::LanguageTest {
 protected:
  void SetUp() override {
    LanguageTest::SetUp();
    lang = TkwLanguage::CreateWithEmbeddedSet(nullptr);
  }
  void TearDown() override {
    lang.reset();
    LanguageTest::TearDown();
  }
  std::unique_ptr<TkwLanguage> lang;
};

struct Row {
  const char16_t* key;
  const char16_t* ch;
  const char16_t* us;  // the key itself where "US" has no line
};

TEST_F(EmbeddedLookup, RowsTheMonitorShows) {
  const Row rows[] = {
      {u"Config", u"打开配置", u"Config"},
      {u"About", u"关于软件", u"About"},
      {u"Exit", u"退出软件", u"Exit"},
      {u"Gaming Mouse Driver", u"游戏鼠标驱动", u"Gaming Mouse Driver"},
      {u"Recording...", u"录制中...", u"Recording..."},
      {u"Down", u"按下", u"Down"},
      {u"Up", u"放开", u"Up"},
      {u"ms", u"毫秒", u"ms"},
      {u"Mouse Click", u"左键", u"Mouse Click"},
      {u"Mouse Right Click", u"  右键", u"Mouse Right Click"},
      {u"Mouse Middle Click", u"中键", u"Mouse Middle Click"},
      {u"Backward(Mouse)", u"后退", u"Backward(Mouse)"},
      {u"Forward(Mouse)", u"前进", u"Forward(Mouse)"},
      {u"Wheel up(Mouse)", u"向上滚动", u"Wheel up(Mouse)"},
      {u"Wheel Down(Mouse)", u"向下滚动", u"Wheel Down(Mouse)"},
      {u"Not a key", u"Not a key", u"Not a key"},
  };
  lang->SetLang(u"CH");
  for (const auto& r : rows) EXPECT_EQ(LookupTranslation(r.key), r.ch) << ToUtf8(r.key);
  lang->SetLang(u"US");
  for (const auto& r : rows) EXPECT_EQ(LookupTranslation(r.key), r.us) << ToUtf8(r.key);
  const TLanguageTable* us = lang->GetLanguageTable(u"US");
  ASSERT_NE(us, nullptr);
  EXPECT_FALSE(us->Translation(u"Recording..."));
  EXPECT_TRUE(us->Translation(u"Down"));
}

TEST_F(EmbeddedLookup, EnShowsKeysAndUnknownNameKeepsTheTable) {
  lang->SetLang(u"CH");
  lang->SetLang(u"EN");  // no language of that name: "CH" stays active
  EXPECT_EQ(lang->Lang(), u"EN");
  EXPECT_EQ(LookupTranslation(u"Exit"), u"退出软件");
  lang->SetLang(u"en");
  EXPECT_EQ(ActiveLanguageTable(), nullptr);
  EXPECT_EQ(LookupTranslation(u"Exit"), u"Exit");
  lang->SetLang(u"ch");  // names ignore case
  EXPECT_EQ(LookupTranslation(u"Exit"), u"退出软件");
}

TEST_F(EmbeddedLookup, BlankPrefixedKeysAreOtherKeys) {
  lang->SetLang(u"CH");
  EXPECT_EQ(LookupTranslation(u" CLOSE"), u"关");
  EXPECT_EQ(LookupTranslation(u"CLOSE"), u"关闭");
  EXPECT_EQ(LookupTranslation(u"CLOSE "), u"CLOSE ");
}

TEST_F(Translator, LookupEdgeCases) {
  TLanguageTable t(u"X=\r\nA=same\r\nB=same\r\nk=v=w\r\n");
  ActivateLanguageTable(&t);
  EXPECT_EQ(LookupTranslation(u"X"), u"X");          // empty translation
  EXPECT_EQ(LookupTranslation(u"k=v"), u"k=v");      // a key with "=" is never found
  EXPECT_EQ(LookupTranslation(u"k"), u"v=w");
  EXPECT_EQ(LookupTranslation(u""), u"");
  SetReverseTranslation(true);
  EXPECT_EQ(LookupTranslation(u"same"), u"A");        // first line in table order
  EXPECT_EQ(LookupTranslation(u"v=w"), u"k");
  EXPECT_EQ(LookupTranslation(u"unknown"), u"unknown");
  SetReverseTranslation(false);
}

TEST_F(Translator, ActivatingNothingKeepsTheActiveTable) {
  TLanguageTable t(u"a=b\r\n");
  ActivateLanguageTable(&t);
  ActivateLanguageTable(nullptr);
  EXPECT_EQ(LookupTranslation(u"a"), u"b");
  // The active table is a copy.
  t.SetTranslation(u"a", u"c");
  EXPECT_EQ(LookupTranslation(u"a"), u"b");
  ActivateLanguageTable(ActiveLanguageTable());
  EXPECT_EQ(LookupTranslation(u"a"), u"b");
}

TEST_F(Translator, CollectsEveryNonEmptyText) {
  StartCollectingTexts();
  LookupTranslation(u"a");
  LookupTranslation(u"");
  LookupTranslation(u"a");
  ASSERT_NE(CollectedTexts(), nullptr);
  EXPECT_EQ(StopCollectingTexts(), (std::vector<WStr>{u"a", u"a"}));
  EXPECT_EQ(CollectedTexts(), nullptr);
  LookupTranslation(u"b");
  EXPECT_TRUE(StopCollectingTexts().empty());
}

TEST_F(Translator, ScenesFollowTheActiveTable) {
  TLanguageTable ch(u"Exit=退出\r\nAbout=关于\r\n");
  TLanguageTable de(u"Exit=Beenden\r\n");
  int calls = 0;
  SceneTexts scene([&] { ++calls; });
  const auto exit = scene.Add(u"Exit");
  const auto about = scene.Add(u"About");
  EXPECT_EQ(scene.Text(exit), u"Exit");
  ActivateLanguageTable(&ch);
  EXPECT_EQ(scene.Text(exit), u"退出");
  EXPECT_EQ(scene.Text(about), u"关于");
  ActivateLanguageTable(&de);  // back to the keys, then forward again
  EXPECT_EQ(scene.Text(exit), u"Beenden");
  EXPECT_EQ(scene.Text(about), u"About");
  ResetLanguageTable();
  EXPECT_EQ(scene.Text(exit), u"Exit");
  EXPECT_FALSE(ReverseTranslation());
  EXPECT_EQ(calls, 4);
  ResetLanguageTable();  // nothing active: scenes are left alone
  EXPECT_EQ(calls, 4);
}

TEST_F(Translator, ScenesRegisterForTheirLifetime) {
  const auto before = RegisteredScenes().size();
  {
    SceneTexts a, b;
    ASSERT_EQ(RegisteredScenes().size(), before + 2);
    EXPECT_EQ(RegisteredScenes()[before], &a);
    RegisterScene(&a);
    EXPECT_EQ(RegisteredScenes().size(), before + 2);
  }
  EXPECT_EQ(RegisteredScenes().size(), before);
}

}  // namespace
}  // namespace vx
