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

#include "app/ConfigLink.h"
#include "app/MonitorForm.h"
#include "device/kwHIDData.h"
#include "device/kwHIDEvent.h"
#include "i18n/kwLanguage.h"
#include "platform/AudioEndpoint.h"
#include "platform/ComponentTree.h"
#include "platform/HidBus.h"
#include "platform/MainThread.h"
#include "platform/PreciseTimer.h"
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
  // The recording overlay; none is shown when null.
  IRecordOverlayFactory* overlays = nullptr;
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
};

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

  // A window message; true when the monitor handled it.
  bool HandleMessage(std::uint32_t msg, std::uintptr_t wparam, std::intptr_t lparam);

  // Arrival path.
  void kwHIDEvent1DeviceArrival();
  void TimerDeviceArrialTimer();
  void ReopenDevice();
  void ProcessMessageAndSleep50ms();

  // Reports and buttons.
  void kwHIDData1Data(WView deviceId, WView devicePath, std::uint8_t reportId, const std::uint8_t* data,
                      std::uint16_t size);
  void HandleButtonEvent(std::uintptr_t code);
  void DoButtonFunction(std::uint8_t keyIndex, std::uint16_t functionType);
  void PlayMacro();

  // Configuration-application link.
  bool WriteProfileIDToRegistry(std::int32_t value);
  void ShowConfigApplication();
  void ReloadProfiles(std::int32_t profileId);  // message 7035
  void ReloadSettings();                        // message 7037
  void NotifyProfileSwitched(std::uint32_t profile);
  void NotifyMacroRecorded();
  void UpdateLanguageAndCaptions();

  // Tray menu commands.
  void Config1Click() { ShowConfigApplication(); }
  void About1Click();
  void Exit1Click();

  // Microphone mute.
  void InitEndpointVolume();
  void MicrophoneMute();
  bool GetMixerMute();
  void SetMixerMute(bool mute);
  bool UsesCoreAudio();

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

  // Components, in the order they are created.
  std::unique_ptr<TkwHook> kwHook1;
  std::unique_ptr<TkwLanguage> kwLanguage1;
  std::unique_ptr<TkwHIDData> kwHIDData1;
  std::unique_ptr<ITimer> TimerDeviceArrial;
  std::unique_ptr<TkwHIDEvent> kwHIDEvent1;
  // The recording toggle (function type 32), fed by kwHook1.
  std::unique_ptr<TMacroRecorder> MacroRecorder;

 private:
  void CreateRecorder();

  TDM& FDM;
  MonitorServices FServices;
  WindowHandle FHandle;
  std::unique_ptr<TDMRecordStore<TDM>> recordStore_;
  std::unique_ptr<TkwHookMacroSource<TkwHook>> recordHook_;
};

}  // namespace vx
