// Tray hint, menu captions and commands; the About window's commands and
// the layout its drawing follows.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "app/MonitorAbout.h"
#include "app/AppFakes.h"
#include "app/MonitorTray.h"
#include "app/RetryTimer.h"
#include "tray/FakeTray.h"

namespace vx {
namespace {


// Languages "en" (no table), "CH" and "DE"; index 0 is "CH".
struct FakeLanguage final : ILanguageSelection {
  WStr CurrentShortID() const override { return current; }
  int GetLanguageIndexByShortID(WView id) const override {
    for (std::size_t i = 0; i < names.size(); ++i)
      if (SameTextIgnoreCase(names[i], id)) return static_cast<int>(i);
    return -1;
  }
  WStr GetLanguageShortIDByIndex(int i) const override {
    return i >= 0 && i < static_cast<int>(names.size()) ? names[i] : WStr();
  }
  void SetLang(WView id) override {
    current = WStr(id);
    setLangCalls.push_back(current);
  }
  WStr Translate(WView text) const override {
    WStr out;
    if (current == u"CH") out = u"ch:";
    if (current == u"DE") out = u"de:";
    out.append(text);
    return out;
  }
  std::vector<WStr> names{u"CH", u"DE"};
  WStr current;
  std::vector<WStr> setLangCalls;
};

std::vector<std::string> Captions(const std::vector<TrayMenuItem>& menu) {
  std::vector<std::string> out;
  for (const auto& item : menu) out.push_back(ToUtf8(item.caption));
  return out;
}

TEST(Tray, StartsWithEnglishTextsAndFiveItems) {
  FakeTray tray;
  TMonitorTray t(tray, {});
  EXPECT_EQ(ToUtf8(tray.hint), "Vantor Gaming Mouse Driver");
  EXPECT_EQ(Captions(tray.menu),
            (std::vector<std::string>{"Config", "About", "Show notices", "Restore profiles...", "Exit"}));
  EXPECT_EQ(tray.menu[0].command, TMonitorTray::Config1);
  EXPECT_EQ(tray.menu[2].command, 1004);
  EXPECT_TRUE(tray.menu[2].checked);
  EXPECT_TRUE(tray.menu[3].submenu);
  EXPECT_EQ(tray.menu[4].command, TMonitorTray::Exit1);
  for (const auto& item : tray.menu) EXPECT_EQ(item.caption.find(u'&'), WStr::npos);
}

TEST(Tray, UpdateLanguageAndCaptions) {
  struct Case {
    const char* name;
    const char16_t* current;
    int stored;
    std::vector<WStr> setLang;  // expected SetLang calls
    const char* prefix;         // of every caption afterwards
  };
  const std::vector<Case> cases = {
      {"stored language differs", u"CH", 1, {u"DE"}, "de:"},
      {"same language is not set again", u"CH", 0, {}, "ch:"},
      {"case of the current name is ignored", u"de", 1, {}, ""},
      {"english selects the stored one", u"en", 0, {u"CH"}, "ch:"},
      {"index naming no language", u"CH", 9, {u""}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeTray tray;
    TMonitorTray t(tray, {});
    FakeLanguage lang;
    lang.current = c.current;
    t.UpdateLanguageAndCaptions(lang, c.stored);
    EXPECT_EQ(lang.setLangCalls, c.setLang);
    const std::string p = c.prefix;
    EXPECT_EQ(Captions(tray.menu), (std::vector<std::string>{p + "Config", p + "About", p + "Show notices",
                                                             p + "Restore profiles...", p + "Exit"}));
    EXPECT_EQ(ToUtf8(tray.hint), p + "Vantor Gaming Mouse Driver");
    EXPECT_EQ(ToUtf8(t.ApplicationTitle()), p + "Vantor Gaming Mouse Monitor");
  }
}

TEST(Tray, LanguageChangeAfterReloadChangesEveryCaption) {
  FakeTray tray;
  TMonitorTray t(tray, {});
  FakeLanguage lang;
  t.UpdateLanguageAndCaptions(lang, 0);
  EXPECT_EQ(ToUtf8(tray.hint), "ch:Vantor Gaming Mouse Driver");
  t.UpdateLanguageAndCaptions(lang, 1);  // the stored language was changed
  EXPECT_EQ(ToUtf8(tray.hint), "de:Vantor Gaming Mouse Driver");
  EXPECT_EQ(Captions(tray.menu)[1], "de:About");
  EXPECT_EQ(ToUtf8(t.ApplicationTitle()), "de:Vantor Gaming Mouse Monitor");
}

TEST(Tray, ClicksAndMenuCommands) {
  std::vector<std::string> calls;
  FakeTray tray;
  TMonitorTray t(tray, {[&] { calls.push_back("config"); }, [&] { calls.push_back("about"); },
                        [&] { calls.push_back("exit"); }});
  t.TrayIconDblClick();
  t.MenuCommand(TMonitorTray::Config1);
  t.MenuCommand(TMonitorTray::About1);
  t.MenuCommand(0);
  t.MenuCommand(TMonitorTray::Exit1);
  EXPECT_EQ(calls, (std::vector<std::string>{"config", "config", "about", "exit"}));
  TMonitorTray unbound(tray, {});
  unbound.MenuCommand(TMonitorTray::About1);  // unassigned handlers do nothing
  unbound.MenuCommand(1100);
}

TEST(Tray, NoticeCheckItemAndRestoreList) {
  std::vector<std::string> calls;
  std::vector<BackupChoice> backups;
  FakeTray tray;
  TMonitorTray::Handlers h;
  h.SetNoticeOn = [&](bool on) { calls.push_back(on ? "notice on" : "notice off"); };
  h.ListBackups = [&] { return backups; };
  h.RestoreBackup = [&](WView file) { calls.push_back("restore " + ToUtf8(file)); };
  TMonitorTray t(tray, std::move(h));
  t.MenuCommand(1004);
  EXPECT_FALSE(tray.menu[2].checked);
  t.MenuCommand(1004);
  EXPECT_TRUE(tray.menu[2].checked);
  t.MenuOpening();
  ASSERT_EQ(tray.menu[3].items.size(), 1u);
  EXPECT_EQ(ToUtf8(tray.menu[3].items[0].caption), "No backups yet");
  EXPECT_FALSE(tray.menu[3].items[0].enabled);
  t.MenuCommand(1100);  // the disabled placeholder names no file
  for (int i = 0; i < 25; ++i) backups.push_back({u"backup " + IntToWStr(i), u"file" + IntToWStr(i) + u".vxbak"});
  t.MenuOpening();
  ASSERT_EQ(tray.menu[3].items.size(), 20u);
  EXPECT_EQ(tray.menu[3].items[1].command, 1101);
  EXPECT_EQ(ToUtf8(tray.menu[3].items[19].caption), "backup 19");
  // A backup written while the menu is open: the click keeps its file.
  backups.insert(backups.begin(), {u"newer", u"newer.vxbak"});
  t.MenuCommand(1101);
  t.MenuCommand(1120);  // past the list
  EXPECT_EQ(calls, (std::vector<std::string>{"notice off", "notice on", "restore file1.vxbak"}));
}

TEST(Tray, HintAddsTheStatusWithin127Characters) {
  struct Case {
    WStr status;
    WStr hint;
  };
  const WStr base = u"Vantor Gaming Mouse Driver";
  const WStr longName(200, u'x');
  for (const Case& c : {Case{u"", base}, Case{u"Profile group 2\nMicrophone muted", base + u"\nProfile group 2\nMicrophone muted"},
                        Case{longName, (base + u"\n" + longName).substr(0, 127)},
                        // a surrogate pair across the limit goes whole
                        Case{WStr(99, u'z') + u"\U0001F3AE", base + u"\n" + WStr(99, u'z')}}) {
    FakeTray tray;
    TMonitorTray t(tray, {});
    t.SetStatus(c.status);
    EXPECT_EQ(tray.hint, c.hint);
    EXPECT_LE(tray.hint.size(), 127u);
  }
}

TEST(Tray, RestartAsAdministratorShowsBeforeExitOnlyWhenOffered) {
  FakeTray tray;
  std::vector<std::string> calls;
  TMonitorTray::Handlers h;
  h.RestartAsAdministrator1Click = [&] { calls.push_back("restart"); };
  TMonitorTray t(tray, h);
  EXPECT_EQ(Captions(tray.menu), (std::vector<std::string>{"Config", "About", "Show notices", "Restore profiles...",
                                                            "Restart as administrator", "Exit"}));
  EXPECT_EQ(tray.menu[4].command, 1006);
  t.MenuCommand(1006);
  EXPECT_EQ(calls, std::vector<std::string>{"restart"});
  TMonitorTray elevated(tray, {});
  EXPECT_EQ(Captions(tray.menu),
            (std::vector<std::string>{"Config", "About", "Show notices", "Restore profiles...", "Exit"}));
  // The problem report, when the monitor offers it, follows the restore list.
  h.SaveReport1Click = [&] { calls.push_back("report"); };
  TMonitorTray both(tray, h);
  EXPECT_EQ(Captions(tray.menu), (std::vector<std::string>{"Config", "About", "Show notices", "Restore profiles...",
                                                            "Save problem report...", "Restart as administrator",
                                                            "Exit"}));
  EXPECT_EQ(tray.menu[4].command, 1007);
  both.MenuCommand(1007);
  EXPECT_EQ(calls, (std::vector<std::string>{"restart", "report"}));
}

struct FakeWindows final : IWindowSystem {
  WindowHandle FindWindowByClass(WView) override { return 0; }
  WindowHandle FindWindowByCaption(WView) override { return 0; }
  std::intptr_t SendMessageTo(WindowHandle, std::uint32_t, std::uintptr_t, std::intptr_t) override { return 0; }
  bool PostMessageTo(WindowHandle, std::uint32_t, std::uintptr_t, std::intptr_t) override { return true; }
  void ShowWindowCmd(WindowHandle w, int cmd) override { log.push_back("show " + std::to_string(w) + " " + std::to_string(cmd)); }
  void BringToForeground(WindowHandle w) override { log.push_back("front " + std::to_string(w)); }
  bool ShellOpen(WindowHandle owner, WView file, WView params, WView dir, int cmd) override {
    log.push_back("open " + std::to_string(owner) + " " + ToUtf8(file) + " [" + ToUtf8(params) + "] [" + ToUtf8(dir) +
                  "] " + std::to_string(cmd));
    return false;
  }
  std::uint32_t StartSelfElevated(WView) override { return 1223; }
  std::uint32_t CurrentProcessId() override { return 1; }
  void ProcessMessages() override {}
  void SleepMs(std::uint32_t) override {}
  void Terminate() override {}
  std::unique_ptr<ITimer> CreateTimer(std::function<void()>) override { return nullptr; }
  OsVersionInfo OsVersion() override { return {}; }
  std::vector<std::string> log;
};

// At logon the shell refuses the first adds: retried on a growing interval
// until the icon shows, and again after a re-created taskbar refuses it.
TEST(TrayAdd, RetriedOnAGrowingIntervalUntilTheShellTakesIt) {
  FakeTray tray;
  tray.failAdds = 4;
  test::FakeWindowSystem windows;
  TRetryTimer retry(windows, [&] { return tray.Add(); }, u"tray icon add");
  ASSERT_EQ(windows.timers.size(), 1u);
  test::FakeTimer& timer = *windows.timers[0];
  EXPECT_FALSE(retry.Start());
  std::vector<std::uint32_t> intervals;
  while (timer.Enabled()) {
    intervals.push_back(timer.Interval());
    timer.Elapse();
  }
  EXPECT_TRUE(tray.added);
  EXPECT_EQ(tray.adds, 5);
  EXPECT_EQ(intervals, (std::vector<std::uint32_t>{1000, 2000, 4000, 8000}));
  // Explorer restarts and the first add fails again: retries start over.
  tray.adds = 0;
  tray.failAdds = 1;
  EXPECT_FALSE(retry.Start());
  EXPECT_EQ(timer.Interval(), 1000u);
  timer.Elapse();
  EXPECT_TRUE(tray.added);
  EXPECT_FALSE(timer.Enabled());
}

TEST(TrayAdd, GivesUpAfterAFewMinutes) {
  FakeTray tray;
  tray.failAdds = 1000;
  test::FakeWindowSystem windows;
  TRetryTimer retry(windows, [&] { return tray.Add(); }, u"tray icon add");
  retry.Start();
  std::uint64_t waited = 0;
  while (windows.timers[0]->Enabled()) {
    waited += windows.timers[0]->Interval();
    windows.timers[0]->Elapse();
  }
  EXPECT_EQ(tray.adds, 10);
  EXPECT_GE(waited, 180000u);
  EXPECT_LE(waited, 300000u);
}

TEST(About, ShowDrawThenForegroundEveryTime) {
  FakeWindows w;
  TMonitorAbout about(w, 77, [&] { w.log.push_back("process"); });
  about.About1Click();
  about.About1Click();
  EXPECT_EQ(w.log, (std::vector<std::string>{"show 77 5", "process", "front 77", "show 77 5", "process", "front 77"}));
}

TEST(About, OkHidesAndWebOpensTheShownAddress) {
  FakeWindows w;
  TMonitorAbout about(w, 5, {});
  about.BtnOKClick();
  about.BtnGoWebClick();  // a failed shell call is ignored
  EXPECT_EQ(w.log, (std::vector<std::string>{"show 5 0", "open 5 https://www.example.com/vxmon/ [] [] 1"}));
}

TEST(About, LayoutMatchesTheDesign) {
  using namespace about;
  EXPECT_EQ(kBtnOK, (UiRect{208, 325, 94, 27}));
  EXPECT_EQ(kTextWeb, (UiRect{61, 223, 301, 26}));
  EXPECT_EQ(kBtnGoWeb, (UiRect{68, 263, 77, 31}));
  // Stacked from the top of Rectangle1's inner area, each below the last.
  EXPECT_EQ(kLabels[0].rect, (UiRect{67, 116, 399, 26}));
  EXPECT_EQ(kLabels[1].rect, (UiRect{72, 142, 394, 30}));
  EXPECT_EQ(kLabels[2].rect, (UiRect{72, 172, 394, 30}));
  EXPECT_EQ(kLabels[3].rect, (UiRect{67, 202, 399, 26}));
  for (const auto& l : kLabels) {
    EXPECT_LE(l.rect.right(), kRectangle1.right() - kPadRight);
    EXPECT_LE(l.rect.bottom(), kRectangle1.bottom());
  }
  EXPECT_LE(kBtnOK.bottom(), kClientHeight);
}

}  // namespace
}  // namespace vx
