#pragma once
// The tray icon's texts and commands: hint, popup menu (Config, About,
// Exit) and the application title, all following the stored language.
#include <array>
#include <vector>
#include <cstdint>
#include <functional>

#include "platform/Text.h"
#include "platform/TrayIcon.h"

namespace vx {

// A backup in the tray menu: its caption, and the file it names.
struct BackupChoice {
  WStr caption;
  WStr file;
};

// The translator component as the caption setup uses it.
class ILanguageSelection {
 public:
  virtual ~ILanguageSelection() = default;
  virtual WStr CurrentShortID() const = 0;
  virtual int GetLanguageIndexByShortID(WView shortId) const = 0;
  virtual WStr GetLanguageShortIDByIndex(int index) const = 0;
  virtual void SetLang(WView shortId) = 0;
  virtual WStr Translate(WView text) const = 0;
};

// Adapter for TkwLanguage plus the process-wide lookup.
template <class Lang>
class TkwLanguageSelection final : public ILanguageSelection {
 public:
  TkwLanguageSelection(Lang& lang, std::function<WStr(WView)> lookup) : lang_(lang), lookup_(std::move(lookup)) {}
  WStr CurrentShortID() const override { return WStr(lang_.Lang()); }
  int GetLanguageIndexByShortID(WView shortId) const override { return lang_.GetLanguageIndexByShortID(shortId); }
  WStr GetLanguageShortIDByIndex(int index) const override { return lang_.GetLanguageShortIDByIndex(index); }
  void SetLang(WView shortId) override { lang_.SetLang(shortId); }
  WStr Translate(WView text) const override { return lookup_ ? lookup_(text) : WStr(text); }

 private:
  Lang& lang_;
  std::function<WStr(WView)> lookup_;
};

inline constexpr char16_t kApplicationTitleKey[] = u"Vantor Gaming Mouse Monitor";
inline constexpr char16_t kTrayHintKey[] = u"Vantor Gaming Mouse Driver";

class TMonitorTray {
 public:
  // Menu commands; the tray sends them back when an item is chosen.
  // Restore1First + n restores the n-th newest backup the menu lists.
  enum Command : std::uint16_t {
    Config1 = 1001,
    About1 = 1002,
    Exit1 = 1003,
    Notice1 = 1004,
    Restore1 = 1005,
    RestartAsAdministrator1 = 1006,
    SaveReport1 = 1007,
    Restore1First = 1100,
  };
  static constexpr int kRestoreListed = 20;
  // Room of the hint (NOTIFYICONDATAW.szTip without its terminator).
  static constexpr std::size_t kHintMax = 127;

  struct Handlers {
    std::function<void()> ShowConfigApplication;
    std::function<void()> About1Click;
    std::function<void()> Exit1Click;
    // The notice check item: the new setting.
    std::function<void(bool on)> SetNoticeOn;
    // The backups a restore can choose from, newest first.
    std::function<std::vector<BackupChoice>()> ListBackups;
    // Restores the backup of that file name (after its own confirmation).
    std::function<void(WView file)> RestoreBackup;
    // Assigned only while the monitor is not elevated: the menu then shows
    // "Restart as administrator" before Exit.
    std::function<void()> RestartAsAdministrator1Click;
    // Assigned when the monitor can write a problem report: the menu then
    // shows "Save problem report..." after the restore list.
    std::function<void()> SaveReport1Click;
  };

  TMonitorTray(ITrayIcon& tray, Handlers handlers);

  // Selects the stored language when it differs from the translator's, then
  // sets the application title, the menu captions and the tray hint.
  void UpdateLanguageAndCaptions(ILanguageSelection& lang, int storedLanguage);

  // The hint's second line (profile, microphone); cut to fit the hint.
  void SetStatus(WView status);
  void SetNoticeChecked(bool on);
  // Just before the menu opens: the backups are listed afresh.
  void MenuOpening();

  // The tray icon's single left click.
  void TrayIconDblClick();
  void Config1Click();
  // A menu command from the tray; unknown commands are ignored.
  void MenuCommand(std::uint16_t command);

  const WStr& ApplicationTitle() const { return title_; }
  const WStr& Hint() const { return hint_; }
  const std::vector<TrayMenuItem>& MyPopupMenu() const { return menu_; }

 private:
  void Apply();
  TrayMenuItem& Item(std::uint16_t command);

  ITrayIcon& tray_;
  Handlers handlers_;
  WStr title_ = kApplicationTitleKey;
  WStr hint_ = kTrayHintKey;
  WStr status_;
  WStr noBackups_ = u"No backups yet";
  // The files the listed items name, as the menu opened: a backup written
  // while it is open moves no item to another file.
  std::vector<WStr> listed_;
  std::vector<TrayMenuItem> menu_;
  TrayMenuItem restart_;
  TrayMenuItem report_;
};

}  // namespace vx
