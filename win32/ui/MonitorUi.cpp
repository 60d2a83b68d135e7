#include "win32/ui/MonitorUi.h"

#include "i18n/kwLanguage.h"

namespace vx::ui {

namespace {
WStr Translate(WView text) { return LookupTranslation(text); }
}  // namespace

MonitorUi::MonitorUi() : overlays_(nullptr, &Translate) {}

MonitorUi::~MonitorUi() { Destroy(); }

void MonitorUi::Install(win::MonitorProgramOptions& options) {
  options.overlays = &overlays_;
  options.notices = &notice_;
  options.createUi = [this](TVXMonMain& monitor, HWND window) { Create(monitor, window); };
  options.uiMessage = [this](HWND window, UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
    return Message(window, msg, wp, lp, result);
  };
  options.destroyUi = [this] { Destroy(); };
}

void MonitorUi::Create(TVXMonMain& monitor, HWND window) {
  overlays_.SetApplicationWindow(window);

  // The About window: the monitor window itself, hidden until asked for.
  about_ = std::make_unique<TMonitorAbout>(*monitor.Services().windows, reinterpret_cast<WindowHandle>(window),
                                           [&monitor] { monitor.ProcessMessageAndSleep50ms(); });
  TMonitorAbout* about = about_.get();
  aboutView_ = std::make_unique<AboutView>(
      window, AboutView::Handlers{[about] { about->BtnOKClick(); }, [about] { about->BtnGoWebClick(); }},
      &Translate);
  aboutView_->Attach();
  scene_ = std::make_unique<SceneTexts>([this] {
    if (aboutView_) aboutView_->Retranslate();
  });
  for (const AboutLabel& label : about::kLabels) scene_->Add(label.text);
  scene_->Add(about::kOKText);
  scene_->Add(overlay::kRecordingText);
  // The notice's texts, so that the language designer lists them.
  for (int k = 0; k <= static_cast<int>(NoticeKind::MouseDisconnected); ++k) {
    scene_->Add(NoticeKey(static_cast<NoticeKind>(k)));
  }

  // The tray icon shows from now until the end of the process.
  trayIcon_ = std::make_unique<Win32TrayIcon>(window, Win32TrayIcon::Handlers{});
  TMonitorTray::Handlers handlers{[&monitor] { monitor.Config1Click(); }, [&monitor] { monitor.About1Click(); },
                                  [&monitor] { monitor.Exit1Click(); }};
  handlers.SetNoticeOn = [&monitor](bool on) { monitor.SetNoticeOn(on); };
  handlers.ListBackups = [&monitor] { return monitor.BackupMenu(); };
  handlers.RestoreBackup = [&monitor](WView file) { monitor.RestoreBackupClick(file); };
  if (monitor.Services().saveReport) handlers.SaveReport1Click = [&monitor] { monitor.SaveReport1Click(); };
  if (!monitor.IsElevated()) handlers.RestartAsAdministrator1Click = [&monitor] { monitor.RestartAsAdministrator1Click(); };
  tray_ = std::make_unique<TMonitorTray>(*trayIcon_, std::move(handlers));
  TMonitorTray* tray = tray_.get();
  // The first add may fail at logon: retried on a timer, and again when the
  // taskbar is re-created and that add fails too.
  trayRetry_ = std::make_unique<TRetryTimer>(*monitor.Services().windows,
                                             [icon = trayIcon_.get()] { return icon->Add(); }, u"tray icon add");
  TRetryTimer* retry = trayRetry_.get();
  trayIcon_->SetHandlers({[tray] { tray->TrayIconDblClick(); },
                          [tray](std::uint16_t command) { tray->MenuCommand(command); },
                          [retry] { retry->Start(); }, [tray] { tray->MenuOpening(); }});
  if (!trayIcon_->Visible()) retry->Start();
  monitor.Extensions.UpdateTrayStatus = [tray](WView status) { tray->SetStatus(status); };
  monitor.Extensions.NoticeSettingChanged = [tray](bool on) { tray->SetNoticeChecked(on); };

  monitor.Extensions.UpdateLanguageAndCaptions = [this, &monitor] { UpdateLanguageAndCaptions(monitor); };
  monitor.Extensions.ShowAbout = [about] { about->About1Click(); };
  monitor.Extensions.Confirm = [window, &monitor](WView text) {
    return ::MessageBoxW(window, W(text).c_str(), W(monitor.ApplicationTitle).c_str(),
                         MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2 | MB_SETFOREGROUND) == IDYES;
  };
  Win32TrayIcon* icon = trayIcon_.get();
  monitor.Extensions.ShowNotification = [icon](WView title, WView text) { icon->ShowNotification(title, text); };
}

void MonitorUi::UpdateLanguageAndCaptions(TVXMonMain& monitor) {
  if (!tray_ || !monitor.kwLanguage1) return;
  TkwLanguageSelection<TkwLanguage> lang(*monitor.kwLanguage1, &Translate);
  tray_->UpdateLanguageAndCaptions(lang, monitor.DM().FAllProfileSettingInfo.CurrentLanguage);
  if (aboutView_) aboutView_->Retranslate();
}

bool MonitorUi::Message(HWND, UINT msg, WPARAM wp, LPARAM lp, LRESULT& result) {
  if (trayIcon_ && trayIcon_->HandleMessage(msg, wp, lp)) {
    result = 0;
    return true;
  }
  // The tray's own commands sent as WM_COMMAND (Config, About and Exit are
  // the window's).
  if (tray_ && msg == WM_COMMAND && HIWORD(wp) == 0 && LOWORD(wp) >= TMonitorTray::Notice1) {
    tray_->MenuCommand(LOWORD(wp));
    result = 0;
    return true;
  }
  return aboutView_ && aboutView_->HandleMessage(msg, wp, lp, result);
}

void MonitorUi::Destroy() {
  scene_.reset();
  trayRetry_.reset();
  tray_.reset();
  trayIcon_.reset();
  aboutView_.reset();
  about_.reset();
}

}  // namespace vx::ui
