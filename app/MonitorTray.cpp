#include "app/MonitorTray.h"

namespace vx {

TMonitorTray::TMonitorTray(ITrayIcon& tray, Handlers handlers) : tray_(tray), handlers_(std::move(handlers)) {
  menu_ = {TrayMenuItem{Config1, u"Config"}, TrayMenuItem{About1, u"About"}, TrayMenuItem{Notice1, u"Show notices"},
           TrayMenuItem{Restore1, u"Restore profiles..."}, TrayMenuItem{Exit1, u"Exit"}};
  Item(Notice1).checked = true;
  Item(Restore1).submenu = true;
  restart_ = TrayMenuItem{RestartAsAdministrator1, u"Restart as administrator"};
  report_ = TrayMenuItem{SaveReport1, u"Save problem report..."};
  Apply();
}

TrayMenuItem& TMonitorTray::Item(std::uint16_t command) {
  for (auto& item : menu_) {
    if (item.command == command) return item;
  }
  return menu_.front();
}

void TMonitorTray::UpdateLanguageAndCaptions(ILanguageSelection& lang, int storedLanguage) {
  const int current = lang.GetLanguageIndexByShortID(lang.CurrentShortID());
  if (current != storedLanguage) lang.SetLang(lang.GetLanguageShortIDByIndex(storedLanguage));
  title_ = lang.Translate(kApplicationTitleKey);
  Item(Config1).caption = lang.Translate(u"Config");
  Item(About1).caption = lang.Translate(u"About");
  Item(Notice1).caption = lang.Translate(u"Show notices");
  Item(Restore1).caption = lang.Translate(u"Restore profiles...");
  Item(Exit1).caption = lang.Translate(u"Exit");
  noBackups_ = lang.Translate(u"No backups yet");
  restart_.caption = lang.Translate(u"Restart as administrator");
  report_.caption = lang.Translate(u"Save problem report...");
  hint_ = lang.Translate(kTrayHintKey);
  Apply();
}

void TMonitorTray::SetStatus(WView status) {
  status_ = WStr(status);
  Apply();
}

void TMonitorTray::SetNoticeChecked(bool on) {
  Item(Notice1).checked = on;
  Apply();
}

void TMonitorTray::MenuOpening() {
  TrayMenuItem& restore = Item(Restore1);
  restore.items.clear();
  listed_.clear();
  const auto backups = handlers_.ListBackups ? handlers_.ListBackups() : std::vector<BackupChoice>{};
  for (std::size_t i = 0; i < backups.size() && i < static_cast<std::size_t>(kRestoreListed); ++i) {
    restore.items.push_back(TrayMenuItem{static_cast<std::uint16_t>(Restore1First + i), backups[i].caption});
    listed_.push_back(backups[i].file);
  }
  if (restore.items.empty()) {
    TrayMenuItem none{Restore1First, noBackups_};
    none.enabled = false;
    restore.items.push_back(none);
  }
  Apply();
}

void TMonitorTray::Apply() {
  std::vector<TrayMenuItem> items = menu_;
  // After the restore list, before Exit.
  if (handlers_.SaveReport1Click) items.insert(items.end() - 1, report_);
  if (handlers_.RestartAsAdministrator1Click) items.insert(items.end() - 1, restart_);
  tray_.SetMenu(std::move(items));
  WStr hint = hint_;
  if (!status_.empty()) hint += u"\n" + status_;
  if (hint.size() > kHintMax) {
    std::size_t cut = kHintMax;
    // Never half a surrogate pair.
    if (hint[cut - 1] >= 0xD800 && hint[cut - 1] <= 0xDBFF) --cut;
    hint.resize(cut);
  }
  tray_.SetHint(hint);
}

void TMonitorTray::TrayIconDblClick() { Config1Click(); }

void TMonitorTray::Config1Click() {
  if (handlers_.ShowConfigApplication) handlers_.ShowConfigApplication();
}

void TMonitorTray::MenuCommand(std::uint16_t command) {
  switch (command) {
    case Config1:
      Config1Click();
      break;
    case About1:
      if (handlers_.About1Click) handlers_.About1Click();
      break;
    case Exit1:
      if (handlers_.Exit1Click) handlers_.Exit1Click();
      break;
    case Notice1: {
      const bool on = !Item(Notice1).checked;
      SetNoticeChecked(on);
      if (handlers_.SetNoticeOn) handlers_.SetNoticeOn(on);
      break;
    }
    case RestartAsAdministrator1:
      if (handlers_.RestartAsAdministrator1Click) handlers_.RestartAsAdministrator1Click();
      break;
    case SaveReport1:
      if (handlers_.SaveReport1Click) handlers_.SaveReport1Click();
      break;
    default:
      if (command >= Restore1First && command - Restore1First < static_cast<int>(listed_.size()) &&
          handlers_.RestoreBackup) {
        const WStr file = listed_[command - Restore1First];
        handlers_.RestoreBackup(file);
      }
      break;
  }
}

}  // namespace vx
