#include "recording/MacroRecord.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "platform/Debug.h"
#include "platform/ScopeExit.h"

namespace vx {

namespace {

// Hook engine button numbers (TMouseButtons) as stored action values.
struct RecordedButton {
  std::uint16_t keyType;
  std::uint8_t value;
};

constexpr RecordedButton kRecordedButtons[8] = {
    {0, 0},             // BUTTON_NONE
    {kActionMouse, 1},  // LCLICK
    {kActionMouse, 2},  // RCLICK
    {kActionMouse, 4},  // MCLICK
    {kActionMouse, 8},  // XCLICK4, back
    {kActionMouse, 16}, // XCLICK5, forward
    {kActionWheel, 1},  // WHEELUP: a notch toward the user
    {kActionWheel, 255},// WHEELDOWN: a notch away from the user
};

constexpr const char16_t* kActionNames[8] = {
    u"",
    u"Mouse Click",
    u"Mouse Right Click",
    u"Mouse Middle Click",
    u"Backward(Mouse)",
    u"Forward(Mouse)",
    u"Wheel Down(Mouse)",
    u"Wheel up(Mouse)",
};

constexpr char16_t kRecordedMacroName[] = u"User Recorded";

bool IsRecordedActionKind(std::uint16_t kind) { return kind == kActionMouse || kind == kActionWheel; }

}  // namespace

std::int32_t PauseTextToInt(WView text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == u' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
    negative = text[i] == u'-';
    ++i;
  }
  if (i == text.size()) return 0;
  std::int64_t value = 0;
  for (; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c < u'0' || c > u'9') return 0;
    value = value * 10 + (c - u'0');
    if (value > std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1) return 0;
  }
  if (negative) value = -value;
  if (value > std::numeric_limits<std::int32_t>::max() || value < std::numeric_limits<std::int32_t>::min()) return 0;
  return static_cast<std::int32_t>(value);
}

TMacroRecorder::TMacroRecorder(MacroRecorderDeps deps)
    : deps_(std::move(deps)),
      recording_(deps_.isRecordingMacro ? deps_.isRecordingMacro : &ownRecordingFlag_),
      FMacroInfo_(std::make_unique<TMACROKEYINFO>()) {
  std::memset(FMacroInfo_.get(), 0, sizeof(TMACROKEYINFO));
}

TMacroRecorder::~TMacroRecorder() = default;

WStr TMacroRecorder::T(WView text) const {
  if (deps_.translate) return deps_.translate(text);
  return WStr(text);
}

void TMacroRecorder::ToggleMacroRecording(int ButtonIndex) {
  if (!*recording_) {
    StartRecording();
  } else {
    StopRecording(ButtonIndex);
  }
}

void TMacroRecorder::StartRecording() {
  std::memset(FMacroInfo_.get(), 0, sizeof(TMACROKEYINFO));
  FMacroInfo_->MacroListCount = 0;
  FMacroInfo_->nAutoAddDelay = 1;
  HasRecordedAction_ = false;
  // A pause left over from the last recording must not lead this one.
  PendingRecordDelay_ = 0;
  if (deps_.hook) deps_.hook->RecordMouseMacro();
  *recording_ = true;
  // A start that throws leaves no recording behind that no press could end.
  ScopeExit failed([this] {
    FrmRecord_.reset();
    if (deps_.hook) deps_.hook->StopRecordMouseMacro();
    *recording_ = false;
  });
  DebugOutput(u"show record window");
  FrmRecord_.reset();
  if (deps_.overlays) FrmRecord_ = deps_.overlays->ShowRecordWindow();
  failed.Release();
  if (deps_.onOutcome) deps_.onOutcome(RecordingOutcome::Started);
}

void TMacroRecorder::StopRecording(int ButtonIndex) {
  DebugOutput(u"CLOSE record window");
  FrmRecord_.reset();
  if (deps_.hook) deps_.hook->StopRecordMouseMacro();
  *recording_ = false;
  if (FMacroInfo_->MacroListCount == 0) {
    if (deps_.onOutcome) deps_.onOutcome(RecordingOutcome::NothingRecorded);
    return;
  }
  StoreRecording(ButtonIndex);
}

void TMacroRecorder::DropRecording() {
  if (!*recording_) return;
  DebugOutput(u"recording dropped: nothing stored");
  FrmRecord_.reset();
  if (deps_.hook) deps_.hook->StopRecordMouseMacro();
  *recording_ = false;
}

void TMacroRecorder::StoreRecording(int ButtonIndex) {
  if (!deps_.store) return;
  IRecordProfileStore& store = *deps_.store;
  store.LoadCurrentProfileInfoFromRegistry();

  FMacroInfo_->nMacroIndex = 0;
  WriteFixed(FMacroInfo_->szMacroName, kRecordedMacroName);
  // The device write below lets other messages run; a record press handled
  // there starts a new recording and clears FMacroInfo, so the rest of this
  // store works on its own copy.
  const auto macro = std::make_unique<TMACROKEYINFO>(*FMacroInfo_);

  TMOUSECONFIGINFO& config = store.CurrentProfileInfo().ConfigInfo;
  if (ButtonIndex >= 0 && ButtonIndex < kButtonCount) {
    TMACROKEYINFO& own = config.ButtonFuncInfo[ButtonIndex].MacroInfo;
    std::memset(&own, 0, sizeof own);
    own = *macro;
  } else {
    DebugOutput(u"record toggle: button index out of range, macro not stored in the button");
  }
  for (int i = 0; i < 10; ++i) {
    TBUTTONFUNCINFO& button = config.ButtonFuncInfo[i];
    const bool playsRecorded = button.FunctionType == kFuncPlayMacro ||
                               (button.FunctionType == kFuncMacroByIndex && button.MacroInfo.nMacroIndex == 0);
    if (!playsRecorded) continue;
    button.MacroInfo = *macro;
    button.FunctionClass = 4;
    button.FunctionID = 0;
  }
  store.CurrentProfileInfo().MacroKeyInfoList.MacroInfos[0] = *macro;

  store.SaveBackToCurrentProfileInfo();
  // A failed save still writes the mouse and announces the macro, so the
  // recording is not lost; the log says what was not saved.
  const bool slotSaved = store.SaveCurrentProfileInfoToRegistry();
  if (!slotSaved) {
    DebugOutput(
        u"record toggle: the profile with the recorded macro could not be saved to the registry; the mouse still "
        u"gets it");
  }
  const std::int32_t profileIndex = store.ProfileIndex();
  const bool mouseWritten = !deps_.writeProfileToDevice || deps_.writeProfileToDevice(profileIndex);
  const bool macroSaved = store.SaveBackRecordMacroInfoToRegistry(*macro);
  if (!macroSaved) DebugOutput(u"record toggle: the recorded macro could not be saved to the registry");
  if (deps_.sendMacroRecorded) deps_.sendMacroRecorded(store.ProfileIndex());
  if (deps_.onOutcome) {
    deps_.onOutcome(!(slotSaved && macroSaved) ? RecordingOutcome::NotSaved
                    : mouseWritten            ? RecordingOutcome::Saved
                                              : RecordingOutcome::SavedNotOnMouse);
  }
}

void TMacroRecorder::kwHook1RecordMouseMacroKey(int MacroType, int AButton, int AState, WView MacroKeyString) {
  // A late event after the stop must not change the stored recording.
  if (!*recording_) return;
  TMACROKEYINFO& info = *FMacroInfo_;
  if (info.MacroListCount >= kMaxRecordedActions) return;

  if (MacroType == kHookEventButton) {
    // Only the seven buttons and wheel directions of the macro mode are
    // recordable; anything else has no stored form.
    if (AButton < 1 || AButton > 7) return;
    HasRecordedAction_ = true;
    if (PendingRecordDelay_ > 0 && info.MacroListCount > 0) {
      TMACROKEY& pause = info.MacroList[info.MacroListCount];
      pause = TMACROKEY{};
      pause.nKeyType = kActionDelay;
      pause.nKeyState = 0;
      pause.DELAY_L() = static_cast<std::uint8_t>(PendingRecordDelay_ & 0xFF);
      pause.DELAY_H() = static_cast<std::uint8_t>((PendingRecordDelay_ >> 8) & 0xFF);
      AddRecordLine(kActionDelay, pause.DELAY_L(), pause.DELAY_H());
      ++info.MacroListCount;
    }
    PendingRecordDelay_ = 0;

    const RecordedButton& kind = kRecordedButtons[AButton];
    // When the pause took the last counted place, the action still goes into
    // the spare 128th slot, uncounted.
    TMACROKEY& action = info.MacroList[info.MacroListCount];
    action = TMACROKEY{};
    action.nKeyType = kind.keyType;
    action.nKeyState = kind.keyType == kActionMouse ? static_cast<std::uint16_t>(AState) : 0;
    action.VALUE1 = kind.value;
    action.VALUE2 = static_cast<std::uint8_t>(AButton);
    if (info.MacroListCount < kMaxRecordedActions) ++info.MacroListCount;
    const std::uint8_t lineValue =
        kind.keyType == kActionMouse ? static_cast<std::uint8_t>(AState) : kind.value;
    AddRecordLine(kind.keyType, lineValue, static_cast<std::uint8_t>(AButton));
    return;
  }

  if (MacroType == kHookEventDelay) {
    if (!HasRecordedAction_ || info.MacroListCount < 1) return;
    if (!IsRecordedActionKind(info.MacroList[info.MacroListCount - 1].nKeyType)) return;
    const std::int64_t sum = std::int64_t{PendingRecordDelay_} + PauseTextToInt(MacroKeyString);
    // A wait longer than a stored pause may be starts the count again.
    if (sum > kMaxRecordedPauseMs) {
      PendingRecordDelay_ = 0;
    } else {
      PendingRecordDelay_ = static_cast<std::int32_t>(sum < std::numeric_limits<std::int32_t>::min()
                                                          ? std::numeric_limits<std::int32_t>::min()
                                                          : sum);
    }
  }
}

WStr TMacroRecorder::RecordLineText(int ActionType, std::uint8_t Value1, std::uint8_t Value2) const {
  if (ActionType == kActionDelay) {
    return IntToWStr(Value1 + 256 * Value2) + T(u"ms");
  }
  WStr line;
  if (Value2 >= 1 && Value2 <= 7) line = T(kActionNames[Value2]);
  if (ActionType == kActionMouse) line += T(Value1 == 0 ? u"Up" : u"Down");
  return line;
}

void TMacroRecorder::AddRecordLine(int ActionType, std::uint8_t Value1, std::uint8_t Value2) {
  if (!FrmRecord_) return;
  FrmRecord_->AddLine(RecordLineText(ActionType, Value1, Value2));
}

namespace overlay {

unsigned DotColorAt(unsigned elapsedMs) {
  // Forward on even periods, backward on odd ones (a reversing loop).
  const unsigned period = elapsedMs / kDotPeriodMs;
  double t = static_cast<double>(elapsedMs % kDotPeriodMs) / kDotPeriodMs;
  if (period % 2 == 1) t = 1.0 - t;
  const double eased = t <= 0.0 ? 0.0 : std::pow(2.0, 10.0 * (t - 1.0));
  unsigned color = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    const int from = static_cast<int>((kDotColorFrom >> shift) & 0xFF);
    const int to = static_cast<int>((kDotColorTo >> shift) & 0xFF);
    const int value = static_cast<int>(std::lround(from + (to - from) * eased));
    color |= static_cast<unsigned>(value & 0xFF) << shift;
  }
  return color;
}

}  // namespace overlay
}  // namespace vx
