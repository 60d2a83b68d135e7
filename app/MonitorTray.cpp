#include "app/MonitorTray.h"

namespace vx {

TMonitorTray::TMonitorTray(ITrayIcon& tray, Handlers handlers) : tray_(tray), handlers_(std::move(handlers)) {
  menu_ = {TrayMenuItem{Config1, u"Config"}, TrayMenuItem{About1, u"About"}, TrayMenuItem{Exit1, u"Exit"}};
  restart_ = TrayMenuItem{RestartAsAdministrator1, u"Restart as administrator"};
  Apply();
}

void TMonitorTray::UpdateLanguageAndCaptions(ILanguageSelection& lang, int storedLanguage) {
  const int current = lang.GetLanguageIndexByShortID(lang.CurrentShortID());
  if (current != storedLanguage) lang.SetLang(lang.GetLanguageShortIDByIndex(storedLanguage));
  title_ = lang.Translate(kApplicationTitleKey);
  menu_[0].caption = lang.Translate(u"Config");
  menu_[1].caption = lang.Translate(u"About");
  menu_[2].caption = lang.Translate(u"Exit");
  restart_.caption = lang.Translate(u"Restart as administrator");
  hint_ = lang.Translate(kTrayHintKey);
  Apply();
}

void TMonitorTray::Apply() {
  std::vector<TrayMenuItem> items(menu_.begin(), menu_.end());
  if (handlers_.RestartAsAdministrator1Click) items.insert(items.end() - 1, restart_);
  tray_.SetMenu(std::move(items));
  tray_.SetHint(hint_);
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
    case RestartAsAdministrator1:
      if (handlers_.RestartAsAdministrator1Click) handlers_.RestartAsAdministrator1Click();
      break;
    default:
      break;
  }
}

}  // namespace vx
