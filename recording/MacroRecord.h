#pragma once
// The record toggle: a button of function type 32 starts recording the
// user's mouse buttons, wheel and the pauses between them, shows the overlay
// listing each action, and on the second press stores the result as the
// macro "User Recorded" in the current profile, saves it, writes it to the
// mouse and tells the configuration application.
//
// TMacroRecorder is owned by the monitor window; every collaborator is passed
// in, so the logic runs over fakes in tests.
#include <cstdint>
#include <functional>
#include <memory>

#include "platform/Text.h"
#include "profiles/pubunit_lumari.h"

namespace vx {

// What the recorder needs of the profile manager (TDM).
class IRecordProfileStore {
 public:
  virtual ~IRecordProfileStore() = default;
  virtual TMouseProfileInfo& CurrentProfileInfo() = 0;
  virtual std::int32_t ProfileIndex() const = 0;
  virtual void LoadCurrentProfileInfoFromRegistry() = 0;
  virtual void SaveBackToCurrentProfileInfo() = 0;
  // false when the registry did not take the value.
  virtual bool SaveCurrentProfileInfoToRegistry() = 0;
  virtual bool SaveBackRecordMacroInfoToRegistry(const TMACROKEYINFO& info) = 0;
};

// The mouse macro mode of the hook engine (TkwHook).
class IMouseMacroHook {
 public:
  virtual ~IMouseMacroHook() = default;
  virtual void RecordMouseMacro() = 0;
  virtual void StopRecordMouseMacro() = 0;
};

// The overlay window (TFrmRecord). Destroying it closes the window.
class IRecordOverlay {
 public:
  virtual ~IRecordOverlay() = default;
  virtual void AddLine(WView line) = 0;
};

// Creates and shows a new overlay for every recording.
class IRecordOverlayFactory {
 public:
  virtual ~IRecordOverlayFactory() = default;
  virtual std::unique_ptr<IRecordOverlay> ShowRecordWindow() = 0;
};

// Adapters for the concrete components (TDM, TkwHook); templates so this
// layer does not depend on their headers.
template <class DM>
class TDMRecordStore final : public IRecordProfileStore {
 public:
  explicit TDMRecordStore(DM& dm) : dm_(dm) {}
  TMouseProfileInfo& CurrentProfileInfo() override { return dm_.FCurrentProfileInfo; }
  std::int32_t ProfileIndex() const override { return dm_.FProfileIndex; }
  void LoadCurrentProfileInfoFromRegistry() override { dm_.LoadCurrentProfileInfoFromRegistry(); }
  void SaveBackToCurrentProfileInfo() override { dm_.SaveBackToCurrentProfileInfo(); }
  bool SaveCurrentProfileInfoToRegistry() override { return dm_.SaveCurrentProfileInfoToRegistry(); }
  bool SaveBackRecordMacroInfoToRegistry(const TMACROKEYINFO& info) override {
    return dm_.SaveBackRecordMacroInfoToRegistry(info);
  }

 private:
  DM& dm_;
};

template <class Hook>
class TkwHookMacroSource final : public IMouseMacroHook {
 public:
  explicit TkwHookMacroSource(Hook& hook) : hook_(hook) {}
  void RecordMouseMacro() override { hook_.RecordMouseMacro(); }
  void StopRecordMouseMacro() override { hook_.StopRecordMouseMacro(); }

 private:
  Hook& hook_;
};

// What became of a recording, for the on-screen notice.
// SavedNotOnMouse: both stored values were written, the mouse refused the
// profile.
enum class RecordingOutcome { Started, Saved, NotSaved, NothingRecorded, SavedNotOnMouse };

struct MacroRecorderDeps {
  IRecordProfileStore* store = nullptr;
  IMouseMacroHook* hook = nullptr;
  IRecordOverlayFactory* overlays = nullptr;  // may be null: no overlay
  // WriteProfileToDevice with the monitor's HID transport and the profile
  // index; false when the mouse refused a report.
  std::function<bool(std::int32_t profileIndex)> writeProfileToDevice;
  // Message 7038 to the configuration application's window, if it exists.
  std::function<void(std::int32_t profileIndex)> sendMacroRecorded;
  // Translation of one English text (LookupTranslation); identity when empty.
  std::function<WStr(WView)> translate;
  // Told when a recording starts and how it ended; "Saved" only once both
  // stored values were written.
  std::function<void(RecordingOutcome)> onOutcome;
  // The process-wide IsRecordingMacro flag; the recorder's own when null.
  bool* isRecordingMacro = nullptr;
};

// Hook event kinds (MacroType of OnRecordMouseMacroKey).
enum : int { kHookEventDelay = 0, kHookEventButton = 1 };

inline constexpr int kMaxRecordedActions = 127;
inline constexpr int kMaxRecordedPauseMs = 8000;

class TMacroRecorder {
 public:
  explicit TMacroRecorder(MacroRecorderDeps deps);
  ~TMacroRecorder();
  TMacroRecorder(const TMacroRecorder&) = delete;
  TMacroRecorder& operator=(const TMacroRecorder&) = delete;

  // First call starts, second stops and stores. ButtonIndex is the pressed
  // button's index in the current profile's ButtonFuncInfo (0..14).
  void ToggleMacroRecording(int ButtonIndex);
  // Ends a running recording without storing anything (the system suspends
  // or the session ends): the overlay goes, the hook is released.
  void DropRecording();

  // Handler of the hook engine's OnRecordMouseMacroKey. Only MacroType,
  // AButton, AState and (for pauses) MacroKeyString are used.
  void kwHook1RecordMouseMacroKey(int MacroType, int AButton, int AState, WView MacroKeyString);

  // Appends the overlay line for one action (the texts pass the translator).
  void AddRecordLine(int ActionType, std::uint8_t Value1, std::uint8_t Value2);
  // The line text alone.
  WStr RecordLineText(int ActionType, std::uint8_t Value1, std::uint8_t Value2) const;

  bool IsRecordingMacro() const { return *recording_; }
  bool HasRecordedAction() const { return HasRecordedAction_; }
  std::int32_t PendingRecordDelay() const { return PendingRecordDelay_; }
  const TMACROKEYINFO& FMacroInfo() const { return *FMacroInfo_; }
  bool OverlayShown() const { return FrmRecord_ != nullptr; }

 private:
  void StartRecording();
  void StopRecording(int ButtonIndex);
  void StoreRecording(int ButtonIndex);
  WStr T(WView text) const;

  MacroRecorderDeps deps_;
  bool ownRecordingFlag_ = false;
  bool* recording_;
  std::unique_ptr<TMACROKEYINFO> FMacroInfo_;
  bool HasRecordedAction_ = false;
  std::int32_t PendingRecordDelay_ = 0;
  std::unique_ptr<IRecordOverlay> FrmRecord_;
};

// Integer value of a pause text, 0 when it is not a 32-bit decimal number.
std::int32_t PauseTextToInt(WView text);

}  // namespace vx

namespace vx::overlay {
// The overlay's layout, in client pixels of its 372 x 100 window.
inline constexpr char16_t kCaption[] = u"FrmRecord";
inline constexpr char16_t kRecordingText[] = u"Recording...";
inline constexpr int kWidth = 372, kHeight = 100;
inline constexpr int kRootX = 5, kRootY = 5, kRootWidth = 362, kRootHeight = 90;
inline constexpr int kDotX = kRootX + 7, kDotY = kRootY + 18, kDotSize = 15;
inline constexpr int kLabelX = kRootX + 5, kLabelWidth = 99, kLabelTextIndent = 30;
inline constexpr int kMemoX = kRootX + 129, kMemoY = kRootY, kMemoWidth = 233, kMemoHeight = 90;
inline constexpr int kBottomGap = 50;  // above the bottom of the primary screen
inline constexpr unsigned kDotColorFrom = 0x00606060u, kDotColorTo = 0xFFFC0808u;  // ARGB
inline constexpr unsigned kDotPeriodMs = 200;
inline constexpr unsigned kTopmostTimerMs = 100;

// Colour of the blinking dot at a time since the overlay was created: from
// kDotColorFrom to kDotColorTo in 200 ms, back again, endlessly, easing
// exponentially.
unsigned DotColorAt(unsigned elapsedMs);
}  // namespace vx::overlay
