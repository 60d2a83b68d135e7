#include "app/MouseMonitor.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "app/MacroPlayer.h"
#include "app/MonitorTray.h"
#include "device/DevicePayload.h"
#include "platform/Debug.h"
#include "platform/Files.h"
#include "platform/HookLibrary.h"
#include "platform/Log.h"
#include "platform/MessageBox.h"
#include "platform/Registry.h"
#include "platform/ScopeExit.h"
#include "platform/Shell.h"
#include "profiles/IniFile.h"

namespace vx {

bool IsPlayingMacro = false;
bool IsRecordingMacro = false;

namespace {
constexpr std::uint32_t kDeviceReopenDelayMs = 1500;
constexpr std::uint32_t kMuteOnNT6 = 6;
}  // namespace

std::optional<int> DecodeButtonReport(std::uint8_t reportId, const std::uint8_t* data,
                                      std::uint16_t size) {
  if (size != 7 || data == nullptr) return std::nullopt;
  if (reportId == 7) {
    for (int i = 0; i < static_cast<int>(ButtonReportTable.size()); ++i) {
      const auto& entry = ButtonReportTable[static_cast<std::size_t>(i)];
      if (data[0] == entry[1] && data[1] == entry[2] && data[2] == entry[3]) return i;
    }
    return std::nullopt;
  }
  if (reportId == 8 && data[0] == 1) {
    if (data[1] == 0) return kCodeProfile0;
    if (data[1] == 1) return kCodeProfile1;
  }
  return std::nullopt;
}

TVXMonMain::TVXMonMain(TDM& dm, const MonitorServices& services, WindowHandle handle)
    : Notices(services.notices,
              [this] { FServices.windows->PostMessageTo(FHandle, WM_VX_SHOW_NOTICE, 0, 0); }),
      FDM(dm),
      FServices(services),
      FHandle(handle) {
  Form = CreateMonitorForm();
  // Its message box waits until the mouse is open: nothing else needs the library.
  kwHook1 = std::make_unique<TkwHook>(true);
  kwLanguage1 = TkwLanguage::CreateWithEmbeddedSet(Form.get());
  kwLanguage1->SetActive(false);
  kwLanguage1->SetActiveLoadFromFile(false);
  if (FServices.createTrayAndAbout) FServices.createTrayAndAbout(*this);

  kwHIDData1 = std::make_unique<TkwHIDData>(FServices.hidBus, FServices.dispatcher);
  kwHIDData1->FastOnData = false;
  kwHIDData1->OnData = [this](const WStr& id, const WStr& path, std::uint8_t reportId, const std::uint8_t* data,
                              std::uint16_t size) { kwHIDData1Data(id, path, reportId, data, size); };
  // A read that keeps failing ends; the mouse is opened again as after an arrival.
  kwHIDData1->OnReadFailed = [this](const WStr&, const WStr&, std::uint32_t) { kwHIDEvent1DeviceArrival(); };

  TimerDeviceArrial = FServices.windows->CreateTimer([this] { TimerDeviceArrialTimer(); });
  TimerDeviceArrial->SetEnabled(false);
  TimerDeviceArrial->SetInterval(kDeviceReopenDelayMs);

  kwHIDEvent1 = std::make_unique<TkwHIDEvent>();
  kwHIDEvent1->ConcernsDevice = [this](WView path, bool arrived) {
    return kwHIDData1->ConcernsDevice(path, arrived, DeviceUsageAndPage);
  };
  kwHIDEvent1->OnDeviceArrival = [this](TkwHIDEvent&) { kwHIDEvent1DeviceArrival(); };
  // A held handle must not block the mouse's removal: it closes when one is
  // asked for, and the mouse opens again once it was refused or done.
  kwHIDData1->RegisterHandle = [this](std::intptr_t h) { return kwHIDEvent1->RegisterHandle(h); };
  kwHIDData1->UnregisterHandle = [this](std::intptr_t r) { kwHIDEvent1->UnregisterHandle(r); };
  kwHIDEvent1->OnHandleChange = [this](std::uint32_t code, std::intptr_t h, std::intptr_t r) {
    if (kwHIDData1->DeviceRemovalEvent(code, h, r)) kwHIDEvent1DeviceArrival();
  };

  TimerHookCheck = FServices.windows->CreateTimer([this] { TimerHookCheckTimer(); });
  TimerHookCheck->SetEnabled(false);
  TimerHookCheck->SetInterval(kHookCheckIntervalMs);

  CreateRecorder();

  if (FServices.backupSnapshot) {
    TimerBackup = FServices.windows->CreateTimer([this] { AutoBackup->TimerFired(); });
    TimerBackup->SetEnabled(false);
    TAutoBackup::Deps deps;
    deps.folder = FServices.backupFolder.empty() ? AutoBackupFolder() : FServices.backupFolder;
    deps.snapshot = FServices.backupSnapshot;
    deps.timer = TimerBackup.get();
    AutoBackup = std::make_unique<TAutoBackup>(std::move(deps));
  }
}

TVXMonMain::~TVXMonMain() {
  if (FReportThread.joinable()) FReportThread.join();
  // No audio or session notification may reach a monitor that is going.
  FCaptureWatch.reset();
  SessionRegisterRetry.reset();
  if (FSessionRegistered) FServices.session->UnregisterNotification();
  // Reads end before the handlers they call go away.
  if (kwHIDData1) kwHIDData1->HidStopRead();
  AutoBackup.reset();  // a backup being written is finished first
  TimerBackup.reset();
  MacroRecorder.reset();
  TimerHookCheck.reset();
  kwHIDData1.reset();  // its read threads unregister their handles with kwHIDEvent1
  kwHIDEvent1.reset();
  TimerDeviceArrial.reset();
}

void TVXMonMain::CreateRecorder() {
  recordStore_ = std::make_unique<TDMRecordStore<TDM>>(FDM);
  recordHook_ = std::make_unique<TkwHookMacroSource<TkwHook>>(*kwHook1);
  MacroRecorderDeps deps;
  deps.store = recordStore_.get();
  deps.hook = recordHook_.get();
  deps.overlays = FServices.overlays;
  deps.writeProfileToDevice = [this](std::int32_t index) {
    return !WriteProfileToDevice(*kwHIDData1, FDM, index).Failed();
  };
  deps.sendMacroRecorded = [this](std::int32_t) { NotifyMacroRecorded(); };
  deps.translate = [](WView text) { return LookupTranslation(text); };
  deps.isRecordingMacro = &IsRecordingMacro;
  deps.onOutcome = [this](RecordingOutcome outcome) {
    switch (outcome) {
      case RecordingOutcome::Started:
        ShowNotice(NoticeKind::RecordingStarted);
        break;
      case RecordingOutcome::Saved:
        ShowNotice(NoticeKind::MacroSaved);
        if (AutoBackup) AutoBackup->Changed();
        break;
      case RecordingOutcome::SavedNotOnMouse:
        ShowNotice(NoticeKind::MouseNotWritten);
        if (AutoBackup) AutoBackup->Changed();
        break;
      case RecordingOutcome::NotSaved:
        ShowNotice(NoticeKind::MacroNotSaved);
        break;
      case RecordingOutcome::NothingRecorded:
        ShowNotice(NoticeKind::NothingRecorded);
        break;
    }
  };
  MacroRecorder = std::make_unique<TMacroRecorder>(std::move(deps));
  kwHook1->OnRecordMouseMacroKey = [this](std::uint16_t type, TMouseButtons button, std::int32_t state,
                                          std::uint16_t, std::uint16_t, double, WView keyString, WView,
                                          TMouseMacroKeyList&) {
    MacroRecorder->kwHook1RecordMouseMacroKey(type, static_cast<int>(button), state, keyString);
  };
  Extensions.ToggleMacroRecording = [this](std::uint8_t index) {
    MacroRecorder->ToggleMacroRecording(index);
    // The hook is watched only while it is set: no wake-ups otherwise.
    TimerHookCheck->SetEnabled(IsRecordingMacro);
  };
}

void TVXMonMain::FormCreate() {
  IsPlayingMacro = false;
  const IniFile ini = IniFile::Load(ExecutableFolder() + u"config.ini");
  Notices.SetEnabled(ini.ReadInteger(u"OtherConfig", u"Notice", 1) != 0);
  if (Extensions.NoticeSettingChanged) Extensions.NoticeSettingChanged(Notices.Enabled());
  UpdateLanguageAndCaptions();
  IsRecordingMacro = false;
  if (UsesCoreAudio()) InitEndpointVolume();
  if (AutoBackup) AutoBackup->Start();
}

void TVXMonMain::FormDestroy() {
  kwHIDData1->HidStopRead();
}

bool TVXMonMain::HandleMessage(std::uint32_t msg, std::uintptr_t wparam, std::intptr_t lparam) {
  switch (msg) {
    case WM_VX_BUTTON_EVENT:
      HandleButtonEvent(wparam);
      return true;
    case WM_VX_RELOAD_PROFILES:
      ReloadProfiles(static_cast<std::int32_t>(lparam));
      return true;
    case WM_VX_RELOAD_SETTINGS:
      ReloadSettings();
      return true;
    case WM_VX_SHOW_NOTICE:
      Notices.ShowPending();
      return true;
    case WM_VX_MIC_CHANGED:
      MicrophoneChanged();
      return true;
    case kWmPowerBroadcast:
      PowerBroadcast(wparam);
      return false;  // the window's default answer grants what is asked
    case kWmWtsSessionChange:
      SessionChange(wparam);
      return true;
    case kWmVxCaptureDefaultChanged:
      CaptureDefaultChanged();
      return true;
    case kWmVxHookLibraryMissing:
      kwHook1->ShowLoadMessage();
      return true;
    case kWmEndSession:
      if (wparam != 0) EndSession();
      return true;
    default:
      return false;
  }
}

void TVXMonMain::kwHIDEvent1DeviceArrival() {
  // Re-arming restarts the interval: a burst of arrivals gives one reopen.
  TimerDeviceArrial->SetEnabled(false);
  TimerDeviceArrial->SetEnabled(true);
}

void TVXMonMain::TimerDeviceArrialTimer() {
  // Not inside a playing macro's pause, which the stop and its 50 ms wait
  // would stretch: the timer stays on and tries again.
  if (IsPlayingMacro) return;
  TimerDeviceArrial->SetEnabled(false);
  ReopenDevice();
}

void TVXMonMain::ReopenDevice() {
  kwHIDData1->HidStopRead();
  ProcessMessageAndSleep50ms();
  kwHIDData1->HidFindAndReadDevice(DeviceUsageAndPage, u"*");
  const std::size_t read = kwHIDData1->RunningReadThreads();
  DebugOutput(u"mouse reopened: " + IntToWStr(static_cast<long long>(read)) + u" interface(s) read");
  MouseOpenChanged(read > 0);
  if (kwHook1->LoadMessagePending() && !FHookMessagePosted) {
    FHookMessagePosted = true;
    FServices.windows->PostMessageTo(FHandle, kWmVxHookLibraryMissing, 0, 0);
  }
}

void TVXMonMain::MouseOpenChanged(bool open) {
  const std::optional<bool> was = FMouseOpen;
  FMouseOpen = open;
  if (was == open) return;
  if (was) ShowNotice(open ? NoticeKind::MouseConnected : NoticeKind::MouseDisconnected);
  UpdateTrayStatus();
}

void TVXMonMain::ProcessMessageAndSleep50ms() {
  FServices.windows->ProcessMessages();
  kwHIDData1->Dispatcher().ProcessPending();
  FServices.windows->SleepMs(50);
}

void TVXMonMain::kwHIDData1Data(WView, WView, std::uint8_t reportId, const std::uint8_t* data,
                                std::uint16_t size) {
  const auto code = DecodeButtonReport(reportId, data, size);
  if (!code) return;
  if (reportId == 7) {
    DebugOutput(u"KeyIndex = " + IntToWStr(*code) + u" postmessage record!");
  }
  FServices.windows->PostMessageTo(FHandle, WM_VX_BUTTON_EVENT, static_cast<std::uintptr_t>(*code), 1);
}

void TVXMonMain::HandleButtonEvent(std::uintptr_t code) {
  if (code == kCodeProfile0 || code == kCodeProfile1) {
    const std::uint32_t profile = code == kCodeProfile0 ? 0 : 1;
    WriteProfileIDToRegistry(static_cast<std::int32_t>(profile));
    NotifyProfileSwitched(profile);
    FReportedGroup = static_cast<int>(profile);
    ShowNotice(NoticeKind::ProfileSwitched, ProfileGroupText(static_cast<int>(profile)));
    UpdateTrayStatus();
    return;
  }
  // Codes 15 to 20 and 23 name no slot of the 15-slot table.
  if (code >= static_cast<std::uintptr_t>(kButtonCount)) return;
  const auto& slot = FDM.FCurrentProfileInfo.ConfigInfo.ButtonFuncInfo[code];
  DoButtonFunction(static_cast<std::uint8_t>(code), slot.FunctionType);
}

void TVXMonMain::DoButtonFunction(std::uint8_t keyIndex, std::uint16_t functionType) {
  switch (functionType) {
    case kFuncMicrophoneMute:
      MicrophoneMute();
      break;
    case kFuncPlayMacro:
      RefreshSessionLock();
      if (SessionAway()) {
        // Input would go to the secure desktop, or be refused, not to the user.
        DebugOutput(u"play macro ignored: the session is locked or switched away");
        break;
      }
      if (IsPlayingMacro) {
        // A press handled during a pause of the macro it would repeat.
        DebugOutput(u"play macro ignored: a macro is playing");
        break;
      }
      if (FExiting) {
        // Presses read during the last macro's pause, after Exit.
        DebugOutput(u"play macro ignored: the monitor is ending");
        break;
      }
      PlayMacro();
      break;
    case kFuncRecordToggle:
      if (IsPlayingMacro) {
        // Starting or storing a recording inside a pause would record the
        // macro's own input or stretch the pause by the device write.
        DebugOutput(u"record toggle ignored: a macro is playing");
        break;
      }
      if (Extensions.ToggleMacroRecording) Extensions.ToggleMacroRecording(keyIndex);
      break;
    default:
      break;
  }
}

// Handlers that run while a macro plays. Playback stays one synchronous pass
// on the main thread; its pauses handle waiting messages and reports, so:
// - play presses meet IsPlayingMacro and are dropped (log line); record
//   toggles are dropped too; mute and profile switches act at once;
// - 7035 and 7037 reload at once: the macro playing is a copy and stays as
//   it was;
// - hook callbacks of a recording return at once;
// - Exit (tray, WM_CLOSE, "Restart as administrator"), suspend, session
//   end and a lock or switch-away stop the playback at its next step and release what it pressed;
// - the tray menu, About and Config run at once; while the menu is open the
//   playback waits inside it, and its schedule moves by that time;
// - the debounced mouse reopen waits until the macro has ended.
void TVXMonMain::PlayMacro() {
  ISyntheticInput& input = *FServices.input;
  // Windows drops input into a program of a higher integrity level without
  // an error: do not play into the void.
  ForegroundProcess front;
  const bool hasFront = input.Foreground(front);
  const std::uint32_t own = input.OwnIntegrity();
  // Refused up front only on a level read as higher than ours; one that
  // cannot be read (a hardened handle, or our own) proves nothing.
  if (hasFront && own != 0 && front.integrity > own) {
    DebugOutput(u"play macro refused: the program in front (process " + IntToWStr(front.processId) +
                u") runs as administrator; Windows would drop the input");
    MacroInputRefused(front.processId, true);
    return;
  }
  if (hasFront && front.integrity == 0) {
    DebugOutput(u"play macro: the integrity level of the program in front (process " + IntToWStr(front.processId) +
                u") could not be read (error " + IntToWStr(front.readError) + u"); Windows' answer decides");
  } else if (hasFront && own == 0) {
    DebugOutput(u"play macro: the monitor's own integrity level could not be read; Windows' answer decides");
  }
  IsPlayingMacro = true;
  // An exception out of the playback must not leave every later press dropped.
  const ScopeExit playing([this] {
    FPlaybackCancel = false;
    IsPlayingMacro = false;
  });
  ScreenPoint at;
  input.CursorPos(at);
  DebugOutput(u"play macro");
  const TMACROKEYINFO macro = FDM.FCurrentProfileInfo.MacroKeyInfoList.MacroInfos[0];
  FPlaybackCancel = false;
  PlaybackControl control;
  control.cancel = &FPlaybackCancel;
  control.handleMessages = [this] {
    FServices.windows->ProcessMessages();
    kwHIDData1->Dispatcher().ProcessPending();
  };
  const int played = PlayMacroActions(macro, at, input, *FServices.timer, control);
  if (control.refused) {
    DebugOutput(u"play macro stopped: Windows refused the input of action " + IntToWStr(played));
    MacroInputRefused(hasFront ? front.processId : 0, false);
  } else if (control.cancelled) {
    DebugOutput(u"play macro stopped: the monitor ends, the system suspends or the session is locked or switched away; "
                u"pressed keys and buttons released");
  }
}

void TVXMonMain::MacroInputRefused(std::uint32_t processId, bool elevatedForeground) {
  // The on-screen notice every time, the balloon with its advice once per game.
  ShowNotice(NoticeKind::MacroNotPlayed);
  if (!FRefusedNotified.insert(processId).second) return;
  if (!Extensions.ShowNotification) return;
  WStr text = LookupTranslation(elevatedForeground ? kMacroNotPlayedElevated : kMacroNotPlayedRefused);
  if (!IsElevated()) text += u" " + LookupTranslation(kMacroNotPlayedAdvice);
  Extensions.ShowNotification(LookupTranslation(kMacroNotPlayedTitle), text);
}

bool TVXMonMain::IsElevated() { return FServices.input->OwnIntegrity() >= kIntegrityHigh; }

void TVXMonMain::SaveReport1Click() {
  if (!FServices.saveReport || FReportBusy.exchange(true)) return;
  if (FReportThread.joinable()) FReportThread.join();
  const WStr title = ApplicationTitle;
  FReportThread = std::thread([this, title] {
    std::string file, why;
    bool ok = false;
    try {
      ok = FServices.saveReport(file, why);
    } catch (const std::exception& e) {
      why = e.what();
    }
    if (ok) {
      DebugOutput(u"problem report saved: " + FromUtf8(file));
    } else {
      DebugOutput(u"problem report not saved: " + FromUtf8(why));
      WStr text = LookupTranslation(u"The problem report could not be saved: %s");
      const auto at = text.find(u"%s");
      if (at != WStr::npos) text.replace(at, 2, FromUtf8(why));
      ShowMessageBox(text, title, MessageBoxIcon::Error);
    }
    FReportBusy = false;
  });
}

void TVXMonMain::RestartAsAdministrator1Click() {
  if (IsElevated()) return;
  IWindowSystem& w = *FServices.windows;
  // The new monitor waits for this process to end before it takes the
  // single-instance mutex.
  const std::uint32_t error = w.StartSelfElevated(u"/after:" + IntToWStr(w.CurrentProcessId()));
  if (error != 0) {
    DebugOutput(u"restart as administrator: not started (error " + IntToWStr(error) + u"); the monitor goes on");
    return;
  }
  DebugOutput(u"restart as administrator: the elevated monitor takes over");
  Exit1Click();
}

void TVXMonMain::PowerBroadcast(std::uintptr_t event) {
  switch (event) {
    case kPbtApmSuspend:
      DebugOutput(u"power: suspend");
      SuspendRequested();
      DropOngoingRecording();
      break;
    case kPbtApmResumeSuspend:
    case kPbtApmResumeAutomatic:
      // The mouse's handles may be dead and no arrival comes: reopen as
      // after one. Both resume events may come; the debounce makes one.
      DebugOutput(u"power: resume, reopening the mouse");
      kwHIDEvent1DeviceArrival();
      break;
    default:
      break;
  }
}

void TVXMonMain::SessionChange(std::uintptr_t event) {
  const bool away = SessionAway();
  switch (event) {
    case kWtsSessionLock:
      FSessionLocked = true;
      break;
    case kWtsSessionUnlock:
      FSessionLocked = false;
      break;
    case kWtsConsoleDisconnect:
    case kWtsRemoteDisconnect:
      FSessionDisconnected = true;
      break;
    case kWtsConsoleConnect:
    case kWtsRemoteConnect:
      FSessionDisconnected = false;
      break;
    default:
      return;
  }
  if (away != SessionAway()) {
    DebugOutput(SessionAway() ? u"session: locked or switched away, macro play is paused"
                              : u"session: back, macro play resumes");
    // Input would go to the secure desktop, be refused there and leave keys
    // down: a macro playing beneath this handler stops at its next step.
    if (SessionAway() && IsPlayingMacro) FPlaybackCancel = true;
  }
}

void TVXMonMain::StartSessionWatch() {
  if (!FServices.session || SessionRegisterRetry) return;
  SessionRegisterRetry = std::make_unique<TRetryTimer>(
      *FServices.windows,
      [this] {
        FSessionRegistered = FServices.session->RegisterNotification();
        // Changes before the registration were not told: ask.
        RefreshSessionLock();
        return FSessionRegistered;
      },
      u"session notification registration");
  SessionRegisterRetry->Start();
}

void TVXMonMain::RefreshSessionLock() {
  if (!FServices.session) return;
  const std::optional<bool> locked = FServices.session->LockedNow();
  if (!locked || *locked == FSessionLocked) return;
  DebugOutput(*locked ? u"session: asked, it is locked" : u"session: asked, it is not locked");
  SessionChange(*locked ? kWtsSessionLock : kWtsSessionUnlock);
}

void TVXMonMain::EndSession() {
  DebugOutput(u"session ends: the monitor ends");
  DropOngoingRecording();
  // The system may end the process once this message returns: stop reading
  // now rather than in the teardown that may never run.
  kwHIDData1->HidStopRead();
  Exit1Click();
}

void TVXMonMain::DropOngoingRecording() {
  if (IsRecordingMacro && MacroRecorder) MacroRecorder->DropRecording();
  TimerHookCheck->SetEnabled(false);
}

void TVXMonMain::TimerHookCheckTimer() {
  if (!IsRecordingMacro) {
    TimerHookCheck->SetEnabled(false);
    return;
  }
  kwHook1->CheckHooks(CurrentInputActivity());
}

WStr TVXMonMain::StartUpLine(WView version) {
  const OsVersionInfo os = FServices.windows->OsVersion();
  auto param = std::make_unique<THIDDataParam>();
  param->UsageAndPage = DeviceUsageAndPage;
  param->DeviceID = u"*";
  const bool found = kwHIDData1->IsDeviceExist(*param);
  return u"VXMon " + WStr(version) + u" started; Windows " + IntToWStr(os.major) + u"." + IntToWStr(os.minor) +
         u"." + IntToWStr(os.build) + u"; mouse " + (found ? u"found" : u"not found") + u"; program " +
         ExecutableFolder() + u"; config " + ExecutableFolder() + u"config.ini; registry HKEY_CURRENT_USER\\" +
         kProfileKeyPath + u"; documents " + DocumentsFolder() + u"\\" + kProfileFolderName + u"; log " + LogFilePath();
}

bool TVXMonMain::WriteProfileIDToRegistry(std::int32_t value) {
  IRegistry& reg = GetRegistry();
  // The key belongs to the profile store; the link never creates it.
  if (!reg.KeyExists(HKEY_CURRENT_USER_, kProfileKeyPath)) return false;
  std::array<std::uint8_t, 4> bytes{};
  const auto v = static_cast<std::uint32_t>(value);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(v >> (8 * i));
  return reg.SetValue(HKEY_CURRENT_USER_, kProfileKeyPath, kProfileIDValueName, RegType::DWord, bytes);
}

void TVXMonMain::ShowConfigApplication() {
  IWindowSystem& w = *FServices.windows;
  const WindowHandle cfg = w.FindWindowByCaption(kConfigWindowCaption);
  if (cfg != 0) {
    w.ShowWindowCmd(cfg, kShowShow);
    w.BringToForeground(cfg);
    return;
  }
  const WStr folder = ExecutableFolder();
  w.ShellOpen(0, folder + kConfigExecutable, u"", ExcludeTrailingBackslash(folder), kShowShow);
}

void TVXMonMain::ReloadProfiles(std::int32_t profileId) {
  FDM.LoadProfileGroupSettingInfoFromRegistry();
  FDM.LoadAllProfileInfoFromRegistry();
  FDM.LoadCurrentProfileInfoFromRegistry();
  WriteProfileIDToRegistry(profileId);
  FReportedGroup.reset();
  UpdateTrayStatus();
  // The configuration application or vxprofile changed the stored data.
  if (AutoBackup) AutoBackup->Changed();
}

void TVXMonMain::ReloadSettings() {
  FDM.LoadAllProfileInfoFromRegistry();
  UpdateLanguageAndCaptions();
  // Settings and language are stored data too.
  if (AutoBackup) AutoBackup->Changed();
}

void TVXMonMain::NotifyProfileSwitched(std::uint32_t profile) {
  IWindowSystem& w = *FServices.windows;
  const WindowHandle cfg = w.FindWindowByClass(kConfigWindowClass);
  if (cfg != 0) w.SendMessageTo(cfg, WM_VX_PROFILE_SWITCHED, profile, 0);
}

void TVXMonMain::NotifyMacroRecorded() {
  IWindowSystem& w = *FServices.windows;
  const WindowHandle cfg = w.FindWindowByClass(kConfigWindowClass);
  if (cfg != 0) {
    w.SendMessageTo(cfg, WM_VX_MACRO_RECORDED, static_cast<std::uintptr_t>(FDM.FProfileIndex), 0);
  }
}

void TVXMonMain::UpdateLanguageAndCaptions() {
  if (Extensions.UpdateLanguageAndCaptions) Extensions.UpdateLanguageAndCaptions();
  ApplicationTitle = LookupTranslation(kApplicationTitleKey);
  UpdateTrayStatus();
}

std::vector<BackupChoice> TVXMonMain::BackupMenu() const {
  std::vector<BackupChoice> out;
  if (!AutoBackup) return out;
  const auto backups = ListBackupFiles(AutoBackup->Folder());
  for (auto it = backups.rbegin(); it != backups.rend(); ++it) out.push_back({BackupTimeText(it->time), it->name});
  return out;
}

bool TVXMonMain::RestoreBackupClick(WView file) {
  if (!AutoBackup || !FServices.restoreBackup) return false;
  // By name: a backup written or deleted since the menu opened changes nothing.
  const auto backups = ListBackupFiles(AutoBackup->Folder());
  const auto b = std::find_if(backups.begin(), backups.end(), [&](const BackupEntry& e) { return e.name == file; });
  if (b == backups.end()) {
    DebugOutput(u"restore: the backup " + WStr(file) + u" is gone");
    return false;
  }
  WStr question = LookupTranslation(u"Restore the profiles saved at %s? The current profiles are backed up first.");
  const auto at = question.find(u"%s");
  if (at != WStr::npos) question.replace(at, 2, BackupTimeText(b->time));
  if (!Extensions.Confirm || !Extensions.Confirm(question)) return false;
  std::string why;
  const WStr path = IncludeTrailingBackslash(AutoBackup->Folder()) + b->name;
  // Never while the backup thread reads or writes the store.
  if (!AutoBackup->WhileNoBackup([&] { return FServices.restoreBackup(path, why); })) {
    DebugOutput("restore of " + ToUtf8(path) + " failed: " + why);
    ShowMessageBox(LookupTranslation(u"The profiles could not be restored. The log names the reason."),
                   ApplicationTitle, MessageBoxIcon::Error);
    return false;
  }
  DebugOutput(u"profiles restored from " + path);
  // The monitor reloads as after vxprofile, and the configuration
  // application is told too.
  std::int32_t profileId = FDM.FProfileGroupIndex;
  auto id = GetRegistry().QueryValue(HKEY_CURRENT_USER_, kProfileKeyPath, kProfileIDValueName);
  if (id && id->type == RegType::DWord && id->data.size() == 4) {
    profileId = static_cast<std::int32_t>(id->data[0] | (id->data[1] << 8) | (id->data[2] << 16) |
                                          (static_cast<std::uint32_t>(id->data[3]) << 24));
  }
  IWindowSystem& w = *FServices.windows;
  w.PostMessageTo(FHandle, WM_VX_RELOAD_PROFILES, 0, profileId);
  const WindowHandle cfg = w.FindWindowByClass(kConfigWindowClass);
  if (cfg != 0) w.PostMessageTo(cfg, WM_VX_RELOAD_PROFILES, 0, profileId);
  ShowNotice(NoticeKind::ProfilesRestored);
  return true;
}

void TVXMonMain::ShowNotice(NoticeKind kind, WView text) {
  Notices.Post(kind, text.empty() ? LookupTranslation(NoticeKey(kind)) : WStr(text));
}

void TVXMonMain::SetNoticeOn(bool on) {
  Notices.SetEnabled(on);
  const WStr ini = ExecutableFolder() + u"config.ini";
  if (!WriteIniValue(ini, u"OtherConfig", u"Notice", on ? u"1" : u"0")) {
    DebugOutput(u"cannot write " + ini + u": the notice setting lasts until the monitor ends");
  }
  if (Extensions.NoticeSettingChanged) Extensions.NoticeSettingChanged(on);
}

WStr TVXMonMain::ProfileGroupText(int group) const {
  WStr text = LookupTranslation(NoticeKey(NoticeKind::ProfileSwitched)) + u" " + IntToWStr(group + 1);
  if (group < 0 || group >= kProfileGroups) return text;
  const int slot = FDM.FProfileSettingGroup.ProfileIndexOfProfileGroup[group];
  if (slot < 0 || slot >= kProfileSlots) return text;
  // A slot kept in a file carries the name the user gave that file; the
  // registry's value names are the program's own.
  const TPROFILESTOREINFO& d = FDM.FProfileSettingGroup.ProfileSettingList[slot];
  WStr name = d.StorageType == 1 ? ReadFixed(d.FileName) : WStr();
  if (name.size() > 4 && SameTextIgnoreCase(WView(name).substr(name.size() - 4), u".pfd")) name.resize(name.size() - 4);
  if (!name.empty()) text += u": " + name;
  return text;
}

WStr TVXMonMain::TrayStatus() const {
  WStr status = ProfileGroupText(FReportedGroup.value_or(FDM.FProfileGroupIndex));
  if (FMicMutedByMouse) status += u"\n" + LookupTranslation(NoticeKey(NoticeKind::MicrophoneMuted));
  if (FMouseOpen == false) status += u"\n" + LookupTranslation(kMouseNotFoundKey);
  return status;
}

void TVXMonMain::UpdateTrayStatus() {
  if (Extensions.UpdateTrayStatus) Extensions.UpdateTrayStatus(TrayStatus());
}

void TVXMonMain::About1Click() {
  if (Extensions.ShowAbout) Extensions.ShowAbout();
}

void TVXMonMain::Exit1Click() {
  // A macro playing beneath this handler stops at its next step, and none
  // starts before the loop ends.
  if (IsPlayingMacro) FPlaybackCancel = true;
  FExiting = true;
  IWindowSystem& w = *FServices.windows;
  const WindowHandle cfg = w.FindWindowByCaption(kConfigWindowCaption);
  if (cfg != 0) w.PostMessageTo(cfg, WM_VX_MONITOR_EXIT, 0, 0);
  w.Terminate();
}

bool TVXMonMain::UsesCoreAudio() {
  const OsVersionInfo v = FServices.windows->OsVersion();
  return v.platformId == 2 && v.major >= kMuteOnNT6;
}

void TVXMonMain::InitEndpointVolume() {
  if (!FCaptureWatch) {
    // Runs on the audio system's thread: it only posts, the main thread acts.
    IWindowSystem* windows = FServices.windows;
    const WindowHandle self = FHandle;
    FCaptureWatch = FServices.audio->WatchDefaultCaptureEndpoint(
        [windows, self] { windows->PostMessageTo(self, kWmVxCaptureDefaultChanged, 0, 0); });
    if (!FCaptureWatch) DebugOutput(u"microphone: changes of the default capture device are not followed");
  }
  OpenCaptureEndpoint();
  if (!FEndpoint) DebugOutput(u"no default capture endpoint: microphone mute is unavailable");
}

void TVXMonMain::OpenCaptureEndpoint() {
  FEndpoint.reset();  // the old endpoint's notification goes first
  FEndpoint = FServices.audio->OpenDefaultCaptureEndpoint([this] {
    FVolumeUpdating = true;
    FVolumeNotifications.fetch_add(1);
    // Only while the hint shows "muted": a change made elsewhere updates it.
    if (FMicMutedByMouse) FServices.windows->PostMessageTo(FHandle, WM_VX_MIC_CHANGED, 0, 0);
    FVolumeUpdating = false;
  });
  if (FEndpoint) FNoEndpointLogged = false;
}

void TVXMonMain::CaptureDefaultChanged() {
  if (!UsesCoreAudio()) return;
  OpenCaptureEndpoint();
  DebugOutput(FEndpoint ? u"microphone: the default capture device changed, mute follows it"
                        : u"microphone: no default capture device now");
  // The hint says what the device in use says, not what the last one did.
  bool muted = false;
  const bool now = FEndpoint && FEndpoint->GetMute(muted) && muted;
  if (now != FMicMutedByMouse) {
    FMicMutedByMouse = now;
    UpdateTrayStatus();
  }
}

void TVXMonMain::MicrophoneMute() {
  if (!UsesCoreAudio()) {
    // The mixer path of old systems reports failures in message boxes of
    // its own; it shows no notice.
    const bool muted = GetMixerMute();
    SetMixerMute(!muted);
    return;
  }
  // None at start-up, or the last one went: perhaps there is one now.
  if (!FEndpoint) OpenCaptureEndpoint();
  if (!FEndpoint) {
    if (!FNoEndpointLogged) DebugOutput(u"microphone mute ignored: no capture endpoint");
    FNoEndpointLogged = true;
    ShowNotice(NoticeKind::NoMicrophone);
    return;
  }
  bool muted = false;
  bool known = FEndpoint->GetMute(muted);
  if (!known) {
    // A device removed without a new default leaves an endpoint that fails.
    OpenCaptureEndpoint();
    known = FEndpoint && FEndpoint->GetMute(muted);
  }
  // Toggling from an unknown state could unmute a muted microphone.
  if (!known) {
    DebugOutput(u"microphone mute ignored: the endpoint did not report its state");
    return;
  }
  FEndpoint->SetMute(!muted);
  // The notice shows what the device says now, not what was asked.
  bool now = false;
  if (!FEndpoint->GetMute(now)) {
    DebugOutput(u"microphone state unknown after the mute press");
    return;
  }
  ShowNotice(now ? NoticeKind::MicrophoneMuted : NoticeKind::MicrophoneOn);
  if (FMicMutedByMouse != now) {
    FMicMutedByMouse = now;
    UpdateTrayStatus();
  }
}

void TVXMonMain::MicrophoneChanged() {
  bool muted = false;
  if (!FMicMutedByMouse || !FEndpoint || !FEndpoint->GetMute(muted) || muted) return;
  FMicMutedByMouse = false;
  UpdateTrayStatus();
}

namespace {

// The steps GetMixerMute and SetMixerMute share; `act` reads or writes the
// value and reports success.
template <typename Act>
void WithMixerMuteControl(IAudioSystem& audio, WView caption, Act act) {
  if (audio.MixerDeviceCount() < 1) return;
  std::unique_ptr<IMixerDevice> mixer = audio.OpenMixer(0);
  if (!mixer) return;
  if (!mixer->FindMicrophoneLine()) return;
  if (!mixer->FindMuteControl()) {
    ShowMessageBox(u"GetLineInfo Error", caption);
    return;
  }
  if (!act(*mixer)) ShowMessageBox(u"SetControlDetails Error", caption);
}

}  // namespace

bool TVXMonMain::GetMixerMute() {
  bool muted = false;
  WithMixerMuteControl(*FServices.audio, ApplicationTitle, [&](IMixerDevice& m) {
    std::uint32_t value = 0;
    if (!m.GetMuteValue(value)) return false;
    muted = value != 0;
    return true;
  });
  return muted;
}

void TVXMonMain::SetMixerMute(bool mute) {
  WithMixerMuteControl(*FServices.audio, ApplicationTitle,
                       [&](IMixerDevice& m) { return m.SetMuteValue(mute ? 1 : 0); });
}

}  // namespace vx
