#pragma once
// TkwHook: turns the system-wide keyboard and mouse events of kwHook.dll into
// recorded macro entries and watch events. Seven modes: mouse macro and mouse
// watch; single key, key combination, keyboard macro, extended keyboard macro
// and keyboard watch. At most one keyboard and one mouse mode run at a time.
// Everything runs on the thread that started a mode (the library calls back
// there while it dispatches messages).
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "platform/HookLibrary.h"
#include "platform/Text.h"

namespace vx {

// Mouse buttons of the hook engine; also the button and wheel indexes of
// recorded actions.
enum TMouseButtons : std::uint8_t {
  BUTTON_NONE = 0,
  LCLICK = 1,
  RCLICK = 2,
  MCLICK = 3,
  XCLICK4 = 4,
  XCLICK5 = 5,
  WHEELUP = 6,
  WHEELDOWN = 7,
  BUTTONX1 = 8,
  BUTTONX2 = 9,
  BUTTONX3 = 10,
};

// Ordinal = mouse message identifier - 0x200.
enum TMouseButtonStates : std::uint8_t {
  MOUSEMOVE = 0,
  LBUTTONDOWN,
  LBUTTONUP,
  LBUTTONDBLCLK,
  RBUTTONDOWN,
  RBUTTONUP,
  RBUTTONDBLCLK,
  MBUTTONDOWN,
  MBUTTONUP,
  MBUTTONDBLCLK,
  MOUSEWHEEL,
  XBUTTONDOWN,
  XBUTTONUP,
  XBUTTONDBLCLK,
  MOUSEHWHEEL,
  OTHERFUNCTION,
};

// Bit n stands for state n.
using TMouseButtonStateSet = std::uint16_t;
constexpr TMouseButtonStateSet MouseStateBit(TMouseButtonStates s) {
  return static_cast<TMouseButtonStateSet>(1u << s);
}

enum TMouseStatesToHook : std::uint8_t { HOOK_DOWN = 0, HOOK_UP = 1 };

// One mouse macro entry: a delay (nKeyType 0, TimeValue in ms) or a button
// (nKeyType 1, nKeyState 1 pressed / 0 released).
struct TMOUSEMACROKEY {
  std::uint16_t nKeyType = 0;
  std::uint16_t nKeyState = 0;
  TMouseButtons MouseButton = BUTTON_NONE;
  std::uint16_t X = 0;
  std::uint16_t Y = 0;
  std::uint16_t TimeValue = 0;
  double Time = 0;
  WStr MacroKeyString;
  WStr MacroKeyStateString;
};

struct TMouseHookDetail {
  TMouseButtons MouseButton = BUTTON_NONE;
  TMouseButtonStateSet MouseStateSet = 0;
  TMouseButtons ModifiedFunction = BUTTON_NONE;
  TMouseStatesToHook MouseStateToHook = HOOK_DOWN;
};

struct TMouseButtonString {
  TMouseButtons MouseButton;
  const char16_t* ButtonDescription;
};

// nModifier bits: 1 Alt, 2 Ctrl, 4 Shift, 8 Win.
struct TCOMBOKEY {
  std::uint16_t nKeyValue1 = 0;
  std::uint16_t nKeyValue1Extended = 0;
  std::uint16_t nKeyValue2 = 0;
  std::uint16_t nKeyValue2Extended = 0;
  std::uint16_t nModifier = 0;
};

// One keyboard macro entry: a delay (nKeyType 0, nKeyValue in ms) or a key
// (nKeyType 1, nKeyValue the virtual-key code).
struct TMACROKEYHOOK {
  std::uint16_t nKeyType = 0;
  std::uint16_t nKeyState = 0;
  std::uint16_t nKeyValue = 0;
  std::uint16_t nKeyValueExtended = 0;
  double Time = 0;
  WStr MacroKeyString;
  WStr MacroKeyStateString;
};

// A KeyboardVKKey of -1 ends the watch list; 0 in a key field takes no part
// in matching; block = 1 swallows a matched key.
struct TKeyBoardHookDetail {
  std::int32_t KeyboardVKKey = 0;
  std::int32_t KeyboardSCANKey = 0;
  std::int32_t KeyExtended = 0;
  std::int32_t block = 0;
};

struct TMOUSEMacroKeyObject {
  TMOUSEMACROKEY FMOUSEMacroKey;
};
struct TMouseHookDetailObject {
  TMouseHookDetail FMouseHookDetail;
};
struct TMacroKeyObject {
  TMACROKEYHOOK FMacroKey;
};
struct TKeyBoardHookDetailObject {
  TKeyBoardHookDetail FKeyBoardHookDetail;
};

// A list of text keys with owned objects, in insertion order.
template <typename T>
class TkwObjectList {
 public:
  std::size_t Count() const { return items_.size(); }
  bool Empty() const { return items_.empty(); }
  const WStr& Key(std::size_t i) const { return items_.at(i).first; }
  T& Object(std::size_t i) { return *items_.at(i).second; }
  const T& Object(std::size_t i) const { return *items_.at(i).second; }
  void Add(WStr key, std::unique_ptr<T> object) {
    items_.emplace_back(std::move(key), std::move(object));
  }
  void Clear() { items_.clear(); }

 private:
  std::vector<std::pair<WStr, std::unique_ptr<T>>> items_;
};

using TMouseMacroKeyList = TkwObjectList<TMOUSEMacroKeyObject>;
using TMacroKeyList = TkwObjectList<TMacroKeyObject>;
using TMouseHookObjectList = TkwObjectList<TMouseHookDetailObject>;
using TKeyboardHookObjectList = TkwObjectList<TKeyBoardHookDetailObject>;

// Description of a mouse button for the recording texts; empty for buttons
// without one.
WStr GetMouseButtonString(TMouseButtons button);

// Events. Time carries the event record's millisecond time. ABlocked is the
// library's block flag: set it to swallow the event.
using TRecordMouseMacroKeyEvent = std::function<void(
    std::uint16_t MacroType, TMouseButtons AButton, std::int32_t AState, std::uint16_t X,
    std::uint16_t Y, double Time, WView MacroKeyString, WView MacroKeyStateString,
    TMouseMacroKeyList& MouseRecordList)>;
using TStopRecordMouseMacroKeyEvent = std::function<void(TMouseMacroKeyList& MouseRecordList)>;
using THookMouseButtonEvent =
    std::function<void(TMouseButtons AkwButton, std::int32_t AState, bool& ABlocked)>;
using THookMouseAllButtonEvent = std::function<void(TMouseButtons AkwButton, std::int32_t AState,
                                                    std::int16_t AExValue, bool& ABlocked)>;
using THookMouseMoveEvent = std::function<void(std::int32_t X, std::int32_t Y, double Time)>;

using TRecordKeyboardSingleKeyEvent =
    std::function<void(std::int32_t Key, std::uint32_t ScanKey, std::int32_t AState,
                       std::int32_t AKeyExtended, WView SingleKeyString, bool& ABlocked)>;
using TRecordKeyboardComboKeyEvent =
    std::function<void(std::int32_t Key1, std::int32_t Key1Extended, std::int32_t Key2,
                       std::int32_t Key2Extended, std::int32_t Modifier, WView ComboKeyString)>;
using TRecordKeyboardMacroKeyEvent = std::function<void(
    std::int32_t MacroType, std::int32_t Key1, std::int32_t AState, std::int32_t Extended, double Time,
    WView MacroKeyString, WView MacroKeyStateString, TMacroKeyList& KeyList)>;
using TRecordKeyboardMacroKeyExEvent = std::function<void(
    std::int32_t MacroType, std::int32_t Key1, std::int32_t AState, std::int32_t Extended, double Time,
    std::uint32_t TotalTime, WView MacroKeyString, WView MacroKeyStateString, TMacroKeyList& KeyList)>;
using TStopRecordKeyboardMacroKeyEvent = std::function<void(TMacroKeyList& KeyoboardRecordList)>;
using THookKeyboardKeyEvent = std::function<void(std::int32_t Key, std::int32_t AState,
                                                 std::int32_t AKeyExtended, bool& ABlocked,
                                                 std::uint32_t AScanKey)>;

class TkwHook {
 public:
  // Loads the hook library; when it cannot be loaded every mode stays inert,
  // the error code is logged, and the user is told once: here, or, with
  // deferLoadMessage, when the owner calls ShowLoadMessage.
  explicit TkwHook(bool deferLoadMessage = false);
  // Ends this instance's hooks and releases the library.
  ~TkwHook();
  TkwHook(const TkwHook&) = delete;
  TkwHook& operator=(const TkwHook&) = delete;

  bool DLLLoaded() const { return FDLLLoaded; }
  bool LoadMessagePending() const { return FLoadMessagePending; }
  // Shows the deferred message about the missing library, once.
  void ShowLoadMessage();

  // Run every few seconds while a hook is set. The system drops a low-level
  // hook whose callback keeps it waiting, without a word; user input that no
  // hook saw shows it. The hooks are then set again (never blindly: that
  // would make the pointer stutter system-wide), once per loss: input that
  // no hook sees even then (pen, touch, remote desktop, a program moving
  // the pointer) is left alone until the hooks see input again. True when
  // they were set again.
  bool CheckHooks(const InputActivity& now);
  static constexpr std::uint32_t kHookMissSlackMs = 1000;

  // Mouse watch mode.
  void StartHookMouse();
  void StopHookMouse();
  void AddMouseHookObject(std::unique_ptr<TMouseHookDetailObject> AObject);
  void RemoveAllMouseHookObject();
  // Mouse macro mode.
  void RecordMouseMacro();
  void StopRecordMouseMacro();

  // Keyboard watch mode.
  void StartHookKeyboard();
  void StopHookKeyboard();
  void AddKeyboardHookObject(std::unique_ptr<TKeyBoardHookDetailObject> AObject);
  void RemoveAllKeyboardHookObject();
  // Keyboard recording modes.
  void RecordKeyboardSingleKey();
  void StopRecordKeyboardSingleKey();
  void RecordKeyboardComboKey();
  void StopRecordKeyboardComboKey();
  void RecordKeyboardMacroKey();
  void RecordKeyboardMacroKeyEx();
  void StopRecordKeyboardMacroKey();
  void StopRecordKeyboardMacroKeyEx();

  TMouseMacroKeyList& MouseMacroKeyList() { return FMouseMacroKeyList; }
  TMacroKeyList& MacroKeyList() { return FMacroKeyList; }
  const TMouseHookObjectList& MouseHookObjectList() const { return FMouseHookObjectList; }
  const TKeyboardHookObjectList& KeyboardHookObjectList() const { return FKeyboardHookObjectList; }
  const TCOMBOKEY& ComboKeyInfo() const { return FComboKeyInfo; }
  const WStr& ComboKeyString() const { return FComboKeyString; }

  TRecordMouseMacroKeyEvent OnRecordMouseMacroKey;
  TStopRecordMouseMacroKeyEvent OnStopRecordMouseMacroKey;
  THookMouseButtonEvent OnHookMouseButton;
  THookMouseAllButtonEvent OnHookMouseAllButton;
  THookMouseMoveEvent OnHookMouseMove;
  TRecordKeyboardSingleKeyEvent OnRecordKeyboardSingleKey;
  TRecordKeyboardComboKeyEvent OnRecordKeyboardComboKey;
  TRecordKeyboardMacroKeyEvent OnRecordKeyboardMacroKey;
  TRecordKeyboardMacroKeyExEvent OnRecordKeyboardMacroKeyEx;
  TStopRecordKeyboardMacroKeyEvent OnStopRecordKeyboardMacroKey;
  THookKeyboardKeyEvent OnHookKeyboardKey;
  THookKeyboardKeyEvent OnHookKeyboardAllKey;

  // The per-event handlers behind the library callbacks; public so that a
  // test can feed event records directly.
  void MouseMacroHookProc(std::int32_t code, std::uintptr_t message, const TMSLLHOOKSTRUCT& event,
                          std::uint8_t& blocked);
  void MouseHookProc(std::int32_t code, std::uintptr_t message, const TMSLLHOOKSTRUCT& event,
                     std::uint8_t& blocked);
  void SingleKeyHookProc(std::int32_t code, std::uintptr_t message, const TKBDLLHOOKSTRUCT& event,
                         std::uint8_t& blocked);
  void ComboKeyHookProc(std::int32_t code, std::uintptr_t message, const TKBDLLHOOKSTRUCT& event,
                        std::uint8_t& blocked);
  void MacroKeyHookProc(std::int32_t code, std::uintptr_t message, const TKBDLLHOOKSTRUCT& event,
                        std::uint8_t& blocked);
  void MacroKeyExHookProc(std::int32_t code, std::uintptr_t message, const TKBDLLHOOKSTRUCT& event,
                          std::uint8_t& blocked);
  void KeyboardHookProc(std::int32_t code, std::uintptr_t message, const TKBDLLHOOKSTRUCT& event,
                        std::uint8_t& blocked);

  // The extended keyboard macro mode stops taking keys above this many entries.
  static constexpr std::size_t kMacroKeyExLimit = 500;

 private:
  void HookKeyboard(THookEventProc proc);
  void HookMouse(THookEventProc proc);
  void UnhookKeyboard();
  void UnhookMouse();

  bool FDLLLoaded = false;
  bool FLoadMessagePending = false;
  std::uint32_t FHooksSetTick = 0;
  // Of the current loss: none, set again, set again without effect.
  enum class HookLoss { None, Reinstalled, Unchanged };
  HookLoss FHookLoss = HookLoss::None;
  bool FCursorKnown = false;
  std::int32_t FLastCursorX = 0;
  std::int32_t FLastCursorY = 0;
  TCOMBOKEY FComboKeyInfo;
  WStr FComboKeyString;
  TMacroKeyList FMacroKeyList;
  TMouseMacroKeyList FMouseMacroKeyList;
  TKeyboardHookObjectList FKeyboardHookObjectList;
  TMouseHookObjectList FMouseHookObjectList;
  std::uint32_t FLastTimeKeyboardMacro = 0;
  std::uint32_t FLastTimeKeyboardCombo = 0;
  // Modifier keys down as the combination hook saw them go by.
  std::array<bool, 256> FComboModifierDown{};
  bool ModifierDown(std::uint32_t left, std::uint32_t right) const;
  std::uint32_t FLastTimeMouseMacro = 0;
  std::uint32_t FTotalMacroTime = 0;
  TKBDLLHOOKSTRUCT FLastMacroKey;
  std::array<std::uint8_t, 256> FAllKeyState{};
};

}  // namespace vx
