#pragma once
// The monitor window's behaviour: start-up of its components, the arrival
// path that (re)opens the mouse, report decoding and button dispatch, macro
// playback, the configuration-application link and the microphone mute.
// Everything runs on the main thread; the window itself (class "TVXMonMain")
// lives in the windows build and forwards its messages to HandleMessage.
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <thread>

#include "app/AutoBackup.h"
#include "app/ConfigLink.h"
#include "app/MonitorForm.h"
#include "app/MonitorTray.h"
#include "app/RetryTimer.h"
#include "app/Notice.h"
#include "device/kwHIDData.h"
#include "device/kwHIDEvent.h"
#include "i18n/kwLanguage.h"
#include "platform/AudioEndpoint.h"
#include "platform/ComponentTree.h"
#include "platform/HidBus.h"
#include "platform/MainThread.h"
#include "platform/PreciseTimer.h"
#include "platform/SessionState.h"
#include "platform/SyntheticInput.h"
#include "platform/Text.h"
#include "platform/WindowSystem.h"
#include "profiles/DMUnit.h"
#include "profiles/pubunit_lumari.h"
#include "recording/MacroRecord.h"
#include "recording/kwHook.h"

namespace vx {

// Process-wide flags, owned by the monitor.
extern bool IsPlayingMacro;
extern bool IsRecordingMacro;

// System messages the monitor window acts on besides its own.
inline constexpr std::uint32_t kWmQueryEndSession = 0x0011;
inline constexpr std::uint32_t kWmEndSession = 0x0016;
inline constexpr std::uint32_t kWmPowerBroadcast = 0x0218;
inline constexpr std::uint32_t kPbtApmSuspend = 0x0004;
inline constexpr std::uint32_t kPbtApmResumeSuspend = 0x0007;
inline constexpr std::uint32_t kPbtApmResumeAutomatic = 0x0012;
inline constexpr std::uint32_t kWmWtsSessionChange = 0x02B1;
inline constexpr std::uint32_t kWtsConsoleConnect = 1, kWtsConsoleDisconnect = 2, kWtsRemoteConnect = 3,
                               kWtsRemoteDisconnect = 4, kWtsSessionLock = 7, kWtsSessionUnlock = 8;
// Messages the monitor posts to its own window.
inline constexpr std::uint32_t kWmVxCaptureDefaultChanged = 0x8000 + 0x61;  // WM_APP based
inline constexpr std::uint32_t kWmVxHookLibraryMissing = 0x8000 + 0x62;
// The tray hint's line while no matching interface is open.
inline constexpr char16_t kMouseNotFoundKey[] = u"Mouse not found";
// How often the input hooks are checked while one is set.
inline constexpr std::uint32_t kHookCheckIntervalMs = 3000;

// Event codes of message 7524 beyond the button slots.
inline constexpr int kCodeProfile0 = 21;
inline constexpr int kCodeProfile1 = 22;

// Report 7 (button mask) or 8 (profile switch) with exactly 7 data bytes:
// the event code, or nothing for any other report.
std::optional<int> DecodeButtonReport(std::uint8_t reportId, const std::uint8_t* data,
                                      std::uint16_t size);

// Platform services the monitor calls. Not owned.
struct MonitorServices {
  IWindowSystem* windows = nullptr;
  ISyntheticInput* input = nullptr;
  IPreciseTimer* timer = nullptr;
  IAudioSystem* audio = nullptr;
  // The HID bus and the main-thread dispatcher; the process's when null.
  IHidBus* hidBus = nullptr;
  IMainThreadDispatcher* dispatcher = nullptr;
  // Session notification and lock query; sessions are not watched when null.
  ISessionState* session = nullptr;
  // The recording overlay; none is shown when null.
  IRecordOverlayFactory* overlays = nullptr;
  // The on-screen notice's window; events are only logged when null.
  INoticeWindow* notices = nullptr;
  // The stored data in the backup format; no automatic backups when empty.
  std::function<std::optional<std::vector<std::uint8_t>>(std::string& why)> backupSnapshot;
  // Puts a backup file back with the safety rules of `vxprofile restore`;
  // false with the reason.
  std::function<bool(WView file, std::string& why)> restoreBackup;
  // Writes the problem report where it belongs and shows it; the file or the
  // reason it failed. Runs on a thread of its own.
  std::function<bool(std::string& file, std::string& why)> saveReport;
  // Where the automatic backups go; AutoBackupFolder() when empty.
  WStr backupFolder;
  // Creates the tray icon, its menu and the About window's content, in
  // their place among the components, and fills in the extensions.
  std::function<void(class TVXMonMain&)> createTrayAndAbout;
};

// Places where the tray, About window and recording components plug in.
// Unassigned ones do nothing.
struct MonitorExtensions {
  // Selects the stored language and sets the tray hint, application title
  // and menu captions.
  std::function<void()> UpdateLanguageAndCaptions;
  // Starts or stops a macro recording for the button.
  std::function<void(std::uint8_t buttonIndex)> ToggleMacroRecording;
  // Shows the monitor window as the About window.
  std::function<void()> ShowAbout;
  // The tray hint's second line (current profile, microphone) changed.
  std::function<void(WView status)> UpdateTrayStatus;
  // Notices were turned on or off (the tray menu's check mark).
  std::function<void(bool on)> NoticeSettingChanged;
  // A yes/no question; no when unassigned.
  std::function<bool(WView text)> Confirm;
  // A notification balloon from the tray icon.
  std::function<void(WView title, WView text)> ShowNotification;
};

// Monitor -> itself (posted from the audio thread): the capture endpoint's
// mute or volume changed.
inline constexpr std::uint32_t WM_VX_MIC_CHANGED = 7526;

// Texts of the notification shown when Windows would not take a macro's
// input (English keys of the language tables).
inline constexpr char16_t kMacroNotPlayedTitle[] = u"Macro not played";
inline constexpr char16_t kMacroNotPlayedElevated[] =
    u"The program in front runs as administrator, and Windows does not let the monitor send it keys or clicks.";
inline constexpr char16_t kMacroNotPlayedRefused[] = u"Windows refused the macro's keys and clicks.";
inline constexpr char16_t kMacroNotPlayedAdvice[] =
    u"Choose \"Restart as administrator\" in the menu of this icon, or start that program without administrator "
    u"rights.";
inline constexpr char16_t kRestartAsAdministratorCaption[] = u"Restart as administrator";

class TVXMonMain {
 public:
  // Creates the components in order; FormCreate is separate so that the
  // caller can attach the extensions first.
  TVXMonMain(TDM& dm, const MonitorServices& services, WindowHandle handle);
  ~TVXMonMain();
  TVXMonMain(const TVXMonMain&) = delete;
  TVXMonMain& operator=(const TVXMonMain&) = delete;

  void FormCreate();
  void FormDestroy();

  // A window message; true when the monitor handled it (false also for
  // WM_POWERBROADCAST, acted on but answered by the default procedure).
  bool HandleMessage(std::uint32_t msg, std::uintptr_t wparam, std::intptr_t lparam);

  // Arrival path.
  void kwHIDEvent1DeviceArrival();
  void TimerDeviceArrialTimer();
  void ReopenDevice();
  // After a reopen: the notice and hint follow an open/lost change.
  void MouseOpenChanged(bool open);
  void ProcessMessageAndSleep50ms();

  // Reports and buttons.
  void kwHIDData1Data(WView deviceId, WView devicePath, std::uint8_t reportId, const std::uint8_t* data,
                      std::uint16_t size);
  void HandleButtonEvent(std::uintptr_t code);
  void DoButtonFunction(std::uint8_t keyIndex, std::uint16_t functionType);
  // Plays the current profile's first macro. Its pauses handle what comes
  // meanwhile (see HandleMessagesDuringPlayback in MouseMonitor.cpp for
  // what each handler does while a macro plays).
  void PlayMacro();
  // Windows would drop or refused the input for the foreground process:
  // a log line, and once per process a notification.
  void MacroInputRefused(std::uint32_t processId, bool elevatedForeground);

  // Desktop session: sleep and resume, lock and switch, logoff.
  void PowerBroadcast(std::uintptr_t event);
  // Safe from any thread (the system's suspend callback): a playing macro
  // stops at its next action and releases what it pressed.
  void SuspendRequested() { FPlaybackCancel = true; }
  void SessionChange(std::uintptr_t event);
  // Registers for session notifications (retried on a timer while the
  // terminal service refuses) and takes the lock state as it is now.
  void StartSessionWatch();
  // Asks whether the session is locked now; a stale flag is corrected.
  void RefreshSessionLock();
  bool SessionAway() const { return FSessionLocked || FSessionDisconnected; }
  // The session ends: like Exit, within the time the system gives.
  void EndSession();
  // Suspend or session end: an ongoing recording goes without being stored.
  void DropOngoingRecording();
  // Timer of the input-hook check, on while a recording holds the hook.
  void TimerHookCheckTimer();
  // One line for the log: version, system, mouse found or not, paths.
  WStr StartUpLine(WView version);

  // Configuration-application link.
  bool WriteProfileIDToRegistry(std::int32_t value);
  void ShowConfigApplication();
  void ReloadProfiles(std::int32_t profileId);  // message 7035
  void ReloadSettings();                        // message 7037
  void NotifyProfileSwitched(std::uint32_t profile);
  void NotifyMacroRecorded();
  void UpdateLanguageAndCaptions();

  // The on-screen notice. text empty: the kind's own text, translated.
  // Callable from any handler of the main thread; drawn later by the loop.
  void ShowNotice(NoticeKind kind, WView text = {});
  // config.ini [OtherConfig] Notice; SetNoticeOn also writes it.
  bool NoticeOn() const { return Notices.Enabled(); }
  void SetNoticeOn(bool on);
  // "Profile group 1: name" and, when the mouse muted it, the microphone.
  WStr TrayStatus() const;
  void UpdateTrayStatus();
  // The group's text for the notice and the hint.
  WStr ProfileGroupText(int group) const;

  // Automatic backups: the menu's list (newest first, as shown) and the
  // restore of the n-th newest after a confirmation.
  std::vector<BackupChoice> BackupMenu() const;
  // Restores the backup of that file name in the backups folder.
  bool RestoreBackupClick(WView file);

  // Tray menu commands.
  void Config1Click() { ShowConfigApplication(); }
  void About1Click();
  void Exit1Click();
  // Starts this program again through the system's elevation prompt, telling
  // it to wait for this process, and ends as Exit does. Nothing happens when
  // the monitor runs elevated already or the user declines the prompt.
  void RestartAsAdministrator1Click();
  // The tray's "Save problem report...": off the main thread, one at a time;
  // a failure is logged and shown in a message box.
  void SaveReport1Click();
  bool SavingReport() const { return FReportBusy; }
  // The monitor runs as administrator (high integrity level or above).
  bool IsElevated();

  // Microphone mute.
  void InitEndpointVolume();
  void MicrophoneMute();
  bool GetMixerMute();
  void SetMixerMute(bool mute);
  bool UsesCoreAudio();
  // The default capture device changed (posted by the audio watch): the
  // endpoint is resolved again.
  void CaptureDefaultChanged();

  WindowHandle Handle() const { return FHandle; }
  TDM& DM() { return FDM; }
  const MonitorServices& Services() const { return FServices; }
  MonitorExtensions Extensions;
  // Caption of the monitor's message boxes: the application title in the
  // language that UpdateLanguageAndCaptions selected.
  WStr ApplicationTitle = u"Vantor Gaming Mouse Monitor";

  // The window as a form of components: its language component's owner,
  // walked by every language switch.
  std::unique_ptr<TFormComponent> Form;

  // Fields of the window.
  std::unique_ptr<ICaptureEndpoint> FEndpoint;
  std::atomic<bool> FVolumeUpdating{false};
  // Core Audio notifications seen; the callback touches nothing else.
  std::atomic<std::uint32_t> FVolumeNotifications{0};
  // Registration for changes of the default capture device; it goes first.
  std::unique_ptr<IAudioWatch> FCaptureWatch;
  bool FNoEndpointLogged = false;
  bool FHookMessagePosted = false;
  std::atomic<bool> FPlaybackCancel{false};
  // Exit was chosen: the loop ends once the handlers beneath return.
  bool FExiting = false;
  // Foreground processes already told why a macro did not play.
  std::set<std::uint32_t> FRefusedNotified;
  bool FSessionLocked = false;
  bool FSessionDisconnected = false;
  bool FSessionRegistered = false;
  TNotices Notices;
  // The microphone in use is muted, as read after the last mute press or
  // change of the default device; the hint shows it.
  bool FMicMutedByMouse = false;
  // The group the mouse last reported, until the store says otherwise.
  std::optional<int> FReportedGroup;
  // Whether a matching interface was open after the last reopen; unknown
  // until the first one, so start-up neither says "not found" nor "connected".
  std::optional<bool> FMouseOpen;
  std::atomic<bool> FReportBusy{false};
  std::thread FReportThread;

  // Components, in the order they are created.
  std::unique_ptr<TkwHook> kwHook1;
  std::unique_ptr<TkwLanguage> kwLanguage1;
  std::unique_ptr<TkwHIDData> kwHIDData1;
  std::unique_ptr<ITimer> TimerDeviceArrial;
  std::unique_ptr<TkwHIDEvent> kwHIDEvent1;
  std::unique_ptr<ITimer> TimerHookCheck;
  std::unique_ptr<TRetryTimer> SessionRegisterRetry;
  // The recording toggle (function type 32), fed by kwHook1.
  std::unique_ptr<TMacroRecorder> MacroRecorder;
  std::unique_ptr<ITimer> TimerBackup;
  std::unique_ptr<TAutoBackup> AutoBackup;

 private:
  void CreateRecorder();
  void OpenCaptureEndpoint();
  void MicrophoneChanged();

  TDM& FDM;
  MonitorServices FServices;
  WindowHandle FHandle;
  std::unique_ptr<TDMRecordStore<TDM>> recordStore_;
  std::unique_ptr<TkwHookMacroSource<TkwHook>> recordHook_;
};

}  // namespace vx
