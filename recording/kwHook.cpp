#include "recording/kwHook.h"

#include <algorithm>
#include <mutex>
#include <type_traits>

#include "device/kwKeyCode.h"
#include "platform/Clock.h"
#include "platform/Debug.h"
#include "platform/EntryGuard.h"
#include "platform/MessageBox.h"

namespace vx {
namespace {

constexpr TMouseButtonString kMouseButtonStrings[] = {
    {LCLICK, u"Mouse Click"},
    {RCLICK, u"Mouse Right Click"},
    {MCLICK, u"Mouse Middle Click"},
    {XCLICK4, u"Backward(Mouse) "},
    {XCLICK5, u"Forward(Mouse)"},
    {WHEELUP, u"Wheel up(Mouse)"},
    {WHEELDOWN, u"Wheel Down(Mouse)"},
};

// The library is shared by every instance. It stays loaded while any
// instance holds it, and each kind of hook remembers which instance it calls
// back, so that an instance going away never leaves a callback into freed
// memory behind.
struct HookKind {
  TEnableHookProc enable = nullptr;
  TDisableHookProc disable = nullptr;
  const TkwHook* owner = nullptr;  // whose callback the library holds
};

struct LibraryState {
  std::mutex mutex;
  int users = 0;
  HookKind keyboard;
  HookKind mouse;
  // Optional: a library without them is never checked.
  THookLastEventTimeProc lastEvent = nullptr;
  TRefreshHooksProc refresh = nullptr;
};

LibraryState& Library() {
  static LibraryState state;
  return state;
}

template <typename Fn>
Fn ExportAs(IHookLibraryLoader& loader, const char* name) {
  return reinterpret_cast<Fn>(loader.FindExport(name));
}

constexpr char16_t kHookMissingText[] = u"kwHook.dll can not be found!";

enum class LoadResult { Loaded, ModuleRefused, ExportMissing };

LoadResult LoadHookDLL() {
  LibraryState& lib = Library();
  std::lock_guard lock(lib.mutex);
  if (lib.users > 0) {
    ++lib.users;
    return LoadResult::Loaded;
  }
  IHookLibraryLoader& loader = GetHookLibraryLoader();
  if (!loader.LoadModule()) {
    // Missing, or blocked (Smart App Control, an antivirus): the code tells which.
    DebugOutput(u"kwHook.dll not loaded, error " + IntToWStr(static_cast<long long>(loader.LastLoadError())) +
                u": macro recording is unavailable");
    return LoadResult::ModuleRefused;
  }
  lib.keyboard = {ExportAs<TEnableHookProc>(loader, kEnableKeyboardHookName),
                  ExportAs<TDisableHookProc>(loader, kDisableKeyboardHookName), nullptr};
  lib.mouse = {ExportAs<TEnableHookProc>(loader, kEnableMouseHookName),
               ExportAs<TDisableHookProc>(loader, kDisableMouseHookName), nullptr};
  if (!lib.keyboard.enable || !lib.keyboard.disable || !lib.mouse.enable || !lib.mouse.disable) {
    loader.UnloadModule();
    lib.keyboard = lib.mouse = HookKind{};
    return LoadResult::ExportMissing;
  }
  lib.lastEvent = ExportAs<THookLastEventTimeProc>(loader, kHookLastEventTimeName);
  lib.refresh = ExportAs<TRefreshHooksProc>(loader, kRefreshHooksName);
  lib.users = 1;
  return LoadResult::Loaded;
}

void FreeHookDLL(const TkwHook* instance) {
  LibraryState& lib = Library();
  std::lock_guard lock(lib.mutex);
  for (HookKind* kind : {&lib.keyboard, &lib.mouse}) {
    if (kind->owner != instance) continue;
    kind->disable();
    kind->owner = nullptr;
  }
  if (--lib.users > 0) return;
  lib.users = 0;
  // The library removes any hook it still holds when it is unloaded.
  GetHookLibraryLoader().UnloadModule();
  lib.keyboard = lib.mouse = HookKind{};
  lib.lastEvent = nullptr;
  lib.refresh = nullptr;
}

// Replaces the callback of one kind of hook: Disable, then Enable.
void Hook(HookKind& kind, THookEventProc proc, TkwHook* instance) {
  kind.disable();
  kind.enable(proc, instance, 0);
  kind.owner = instance;
}

void Unhook(HookKind& kind) {
  kind.disable();
  kind.owner = nullptr;
}

template <typename Record, void (TkwHook::*Handler)(std::int32_t, std::uintptr_t, const Record&,
                                                    std::uint8_t&)>
void VX_HOOKAPI Callback(void* context, std::int32_t code, std::uintptr_t message, void* record,
                         std::uint8_t* blocked) {
  if (context == nullptr || record == nullptr || blocked == nullptr) return;
  // A failing handler lets the event through: the library still passes it on.
  Guarded("input hook callback", [&] {
    (static_cast<TkwHook*>(context)->*Handler)(code, message, *static_cast<const Record*>(record), *blocked);
  });
}

template <void (TkwHook::*Handler)(std::int32_t, std::uintptr_t, const TMSLLHOOKSTRUCT&,
                                   std::uint8_t&)>
constexpr THookEventProc MouseCallback = &Callback<TMSLLHOOKSTRUCT, Handler>;

template <void (TkwHook::*Handler)(std::int32_t, std::uintptr_t, const TKBDLLHOOKSTRUCT&,
                                   std::uint8_t&)>
constexpr THookEventProc KeyboardCallback = &Callback<TKBDLLHOOKSTRUCT, Handler>;

// 0 for the button releases, 1 for everything else (wheel included).
std::int32_t MouseState(std::uintptr_t message) {
  switch (message) {
    case kWmLButtonUp:
    case kWmRButtonUp:
    case kWmMButtonUp:
    case kWmXButtonUp:
      return 0;
    default:
      return 1;
  }
}

std::int16_t HighWord(std::uint32_t value) { return static_cast<std::int16_t>(value >> 16); }

// The macro mode names a roll toward the user WHEELUP; the watch mode names
// it WHEELDOWN. Recording, the overlay and playback rely on the former.
TMouseButtons MouseButton(std::uintptr_t message, std::uint32_t mouseData, bool watchMode) {
  switch (message) {
    case kWmLButtonDown:
    case kWmLButtonUp:
      return LCLICK;
    case kWmRButtonDown:
    case kWmRButtonUp:
      return RCLICK;
    case kWmMButtonDown:
    case kWmMButtonUp:
      return MCLICK;
    case kWmXButtonDown:
    case kWmXButtonUp:
      switch (HighWord(mouseData)) {
        case 1:
          return XCLICK4;
        case 2:
          return XCLICK5;
        default:
          return BUTTON_NONE;
      }
    case kWmMouseWheel: {
      const std::int16_t delta = HighWord(mouseData);
      if (delta < 0) return watchMode ? WHEELDOWN : WHEELUP;
      if (delta > 0) return watchMode ? WHEELUP : WHEELDOWN;
      return BUTTON_NONE;
    }
    default:
      return BUTTON_NONE;
  }
}

std::int32_t KeyExtended(const TKBDLLHOOKSTRUCT& e) { return (e.flags & kLLKeyExtended) ? 1 : 0; }
std::int32_t KeyPressed(const TKBDLLHOOKSTRUCT& e) { return (e.flags & kLLKeyReleased) ? 0 : 1; }
const char16_t* DownUp(std::int32_t state) { return state == 1 ? u"Down" : u"Up"; }

template <typename List, typename Object, typename Record>
void Append(List& list, const Record& record) {
  auto object = std::make_unique<Object>();
  if constexpr (std::is_same_v<Object, TMOUSEMacroKeyObject>) {
    object->FMOUSEMacroKey = record;
  } else {
    object->FMacroKey = record;
  }
  list.Add(IntToWStr(static_cast<long long>(list.Count())), std::move(object));
}

void AppendMouse(TMouseMacroKeyList& list, const TMOUSEMACROKEY& key) {
  Append<TMouseMacroKeyList, TMOUSEMacroKeyObject>(list, key);
}
void AppendKey(TMacroKeyList& list, const TMACROKEYHOOK& key) {
  Append<TMacroKeyList, TMacroKeyObject>(list, key);
}

TMACROKEYHOOK DelayEntry(std::uint32_t ms) {
  TMACROKEYHOOK d;
  d.nKeyType = 0;
  d.nKeyValue = static_cast<std::uint16_t>(ms);
  return d;
}

TMACROKEYHOOK KeyEntry(const TKBDLLHOOKSTRUCT& e) {
  TMACROKEYHOOK k;
  k.nKeyType = 1;
  k.nKeyState = static_cast<std::uint16_t>(KeyPressed(e));
  k.nKeyValue = static_cast<std::uint16_t>(e.vkCode);
  k.nKeyValueExtended = static_cast<std::uint16_t>(KeyExtended(e));
  return k;
}

bool IsModifierKey(std::uint32_t vk) {
  switch (vk) {
    case 0xA0: case 0xA1:  // shift
    case 0xA2: case 0xA3:  // control
    case 0xA4: case 0xA5:  // alt
    case 0x5B: case 0x5C:  // windows
      return true;
    default:
      return false;
  }
}

}  // namespace

WStr GetMouseButtonString(TMouseButtons button) {
  for (const auto& row : kMouseButtonStrings) {
    if (row.MouseButton == button) return row.ButtonDescription;
  }
  return {};
}

TkwHook::TkwHook(bool deferLoadMessage) {
  const LoadResult r = LoadHookDLL();
  FDLLLoaded = r == LoadResult::Loaded;
  if (r != LoadResult::ModuleRefused) return;
  FLoadMessagePending = true;
  if (!deferLoadMessage) ShowLoadMessage();
}

void TkwHook::ShowLoadMessage() {
  if (!FLoadMessagePending) return;
  FLoadMessagePending = false;
  ShowMessageBox(kHookMissingText, u"Error", MessageBoxIcon::Error);
}

TkwHook::~TkwHook() {
  if (FDLLLoaded) FreeHookDLL(this);
}

// --- hook installation ------------------------------------------------------

void TkwHook::HookKeyboard(THookEventProc proc) {
  if (FDLLLoaded) Hook(Library().keyboard, proc, this);
  FHooksSetTick = TickCount();
  FHookLoss = HookLoss::None;
}

bool TkwHook::CheckHooks(const InputActivity& now) {
  LibraryState& lib = Library();
  const bool mouse = FDLLLoaded && lib.mouse.owner == this;
  const bool keyboard = FDLLLoaded && lib.keyboard.owner == this;
  const bool cursorMoved = FCursorKnown && (now.cursorX != FLastCursorX || now.cursorY != FLastCursorY);
  FLastCursorX = now.cursorX;
  FLastCursorY = now.cursorY;
  FCursorKnown = true;
  if ((!mouse && !keyboard) || !lib.lastEvent || !lib.refresh) return false;
  // The later of the hooks' last event and their setting: input up to then
  // proves nothing.
  std::uint32_t seen = lib.lastEvent();
  if (seen == 0 || static_cast<std::int32_t>(seen - FHooksSetTick) <= 0) {
    seen = FHooksSetTick;
  } else {
    FHookLoss = HookLoss::None;  // the hooks work: a later loss is a new one
  }
  if (static_cast<std::int32_t>(now.lastInputTick - seen) <= static_cast<std::int32_t>(kHookMissSlackMs)) {
    return false;
  }
  // A mouse hook alone does not see keys: without a pointer move the input
  // may have been typing.
  if (!keyboard && !cursorMoved) return false;
  if (FHookLoss == HookLoss::Unchanged) return false;
  if (FHookLoss == HookLoss::Reinstalled) {
    FHookLoss = HookLoss::Unchanged;
    DebugOutput(u"input hook: setting it again changed nothing (input from pen, touch, remote desktop or "
                u"another program?); not set again until it sees input");
    return false;
  }
  const std::int32_t count = lib.refresh();
  FHooksSetTick = TickCount();
  FHookLoss = HookLoss::Reinstalled;
  DebugOutput(u"input hook lost: the system saw input that the hook did not; hooks set again (" +
              IntToWStr(count) + u")");
  return true;
}

void TkwHook::HookMouse(THookEventProc proc) {
  if (FDLLLoaded) Hook(Library().mouse, proc, this);
  FHooksSetTick = TickCount();
  FHookLoss = HookLoss::None;
}

void TkwHook::UnhookKeyboard() {
  if (FDLLLoaded) Unhook(Library().keyboard);
}

void TkwHook::UnhookMouse() {
  if (FDLLLoaded) Unhook(Library().mouse);
}

// --- operations -------------------------------------------------------------

void TkwHook::StartHookMouse() { HookMouse(MouseCallback<&TkwHook::MouseHookProc>); }
void TkwHook::StopHookMouse() { UnhookMouse(); }

void TkwHook::AddMouseHookObject(std::unique_ptr<TMouseHookDetailObject> AObject) {
  if (!AObject) return;
  const auto key = IntToWStr(AObject->FMouseHookDetail.MouseButton);
  FMouseHookObjectList.Add(key, std::move(AObject));
}

void TkwHook::RemoveAllMouseHookObject() { FMouseHookObjectList.Clear(); }

void TkwHook::RecordMouseMacro() {
  FMouseMacroKeyList.Clear();
  HookMouse(MouseCallback<&TkwHook::MouseMacroHookProc>);
  FLastTimeMouseMacro = 0;
}

void TkwHook::StopRecordMouseMacro() {
  UnhookMouse();
  if (OnStopRecordMouseMacroKey) OnStopRecordMouseMacroKey(FMouseMacroKeyList);
}

void TkwHook::StartHookKeyboard() { HookKeyboard(KeyboardCallback<&TkwHook::KeyboardHookProc>); }
void TkwHook::StopHookKeyboard() { UnhookKeyboard(); }

void TkwHook::AddKeyboardHookObject(std::unique_ptr<TKeyBoardHookDetailObject> AObject) {
  if (!AObject) return;
  const auto key = IntToWStr(AObject->FKeyBoardHookDetail.KeyboardVKKey);
  FKeyboardHookObjectList.Add(key, std::move(AObject));
}

void TkwHook::RemoveAllKeyboardHookObject() { FKeyboardHookObjectList.Clear(); }

void TkwHook::RecordKeyboardSingleKey() {
  HookKeyboard(KeyboardCallback<&TkwHook::SingleKeyHookProc>);
}
void TkwHook::StopRecordKeyboardSingleKey() { UnhookKeyboard(); }

void TkwHook::RecordKeyboardComboKey() {
  FComboModifierDown.fill(false);
  HookKeyboard(KeyboardCallback<&TkwHook::ComboKeyHookProc>);
  FLastTimeKeyboardCombo = 0;
}

bool TkwHook::ModifierDown(std::uint32_t left, std::uint32_t right) const {
  // What the hook saw, or (for a key held since before the recording) the
  // physical state now: the thread-local GetKeyState of a background
  // process that never receives keyboard input is stale.
  return FComboModifierDown[left] || FComboModifierDown[right] ||
         ((KeyState(static_cast<std::int32_t>(left)) | KeyState(static_cast<std::int32_t>(right))) & 0x8000) != 0;
}

void TkwHook::StopRecordKeyboardComboKey() {
  UnhookKeyboard();
  FLastTimeKeyboardCombo = 0;
}

void TkwHook::RecordKeyboardMacroKey() {
  FMacroKeyList.Clear();
  FLastTimeKeyboardMacro = 0;
  HookKeyboard(KeyboardCallback<&TkwHook::MacroKeyHookProc>);
}

void TkwHook::RecordKeyboardMacroKeyEx() {
  FLastMacroKey = TKBDLLHOOKSTRUCT{};
  FAllKeyState.fill(0);
  FTotalMacroTime = 0;
  FMacroKeyList.Clear();
  HookKeyboard(KeyboardCallback<&TkwHook::MacroKeyExHookProc>);
}

void TkwHook::StopRecordKeyboardMacroKey() {
  UnhookKeyboard();
  if (OnStopRecordKeyboardMacroKey) OnStopRecordKeyboardMacroKey(FMacroKeyList);
  FMacroKeyList.Clear();
}

void TkwHook::StopRecordKeyboardMacroKeyEx() { StopRecordKeyboardMacroKey(); }

// --- mouse modes ------------------------------------------------------------

void TkwHook::MouseMacroHookProc(std::int32_t, std::uintptr_t message, const TMSLLHOOKSTRUCT& event,
                                 std::uint8_t&) {
  if (!OnRecordMouseMacroKey || (event.flags & kLLMouseInjected)) return;
  const std::int32_t state = MouseState(message);
  const TMouseButtons button = MouseButton(message, event.mouseData, false);
  const auto x = static_cast<std::uint16_t>(event.x);
  const auto y = static_cast<std::uint16_t>(event.y);
  const double time = static_cast<double>(event.time);

  // After the millisecond clock wraps, timing restarts from this event like
  // from a first one; its button is still recorded so that no press or
  // release goes missing from the macro.
  if (FLastTimeMouseMacro == 0 || event.time < FLastTimeMouseMacro) {
    FLastTimeMouseMacro = event.time;
  } else {
    const std::uint32_t delta = event.time - FLastTimeMouseMacro;
    FLastTimeMouseMacro = event.time;
    TMOUSEMACROKEY delay;
    delay.nKeyType = 0;
    delay.nKeyState = 0;
    delay.X = x;
    delay.Y = y;
    delay.TimeValue = static_cast<std::uint16_t>(delta);
    AppendMouse(FMouseMacroKeyList, delay);
    OnRecordMouseMacroKey(0, BUTTON_NONE, 0, x, y, time, IntToWStr(delta), u"ms",
                          FMouseMacroKeyList);
    if (!OnRecordMouseMacroKey) return;  // the handler may have detached itself
  }

  if (button == BUTTON_NONE) return;
  TMOUSEMACROKEY press;
  press.nKeyType = 1;
  press.nKeyState = static_cast<std::uint16_t>(state);
  press.MouseButton = button;
  press.X = x;
  press.Y = y;
  AppendMouse(FMouseMacroKeyList, press);
  OnRecordMouseMacroKey(1, button, state, x, y, time, GetMouseButtonString(button), DownUp(state),
                        FMouseMacroKeyList);
  // Recording never swallows mouse events.
}

void TkwHook::MouseHookProc(std::int32_t, std::uintptr_t message, const TMSLLHOOKSTRUCT& event,
                            std::uint8_t& blocked) {
  if (event.flags & kLLMouseInjected) return;
  if (message == kWmMouseMove) {
    if (OnHookMouseMove) OnHookMouseMove(event.x, event.y, static_cast<double>(event.time));
    blocked = 0;
    return;
  }
  const std::int32_t state = MouseState(message);
  const TMouseButtons button = MouseButton(message, event.mouseData, true);
  std::int16_t extra = 0;
  if (message == kWmXButtonDown || message == kWmXButtonUp || message == kWmMouseWheel) {
    extra = HighWord(event.mouseData);
  }
  bool block = blocked != 0;
  if (OnHookMouseAllButton) OnHookMouseAllButton(button, state, extra, block);

  if (OnHookMouseButton && message >= kWmMouseMove && message - kWmMouseMove <= OTHERFUNCTION) {
    const auto bit = static_cast<TMouseButtonStateSet>(1u << (message - kWmMouseMove));
    for (std::size_t i = 0; i < FMouseHookObjectList.Count(); ++i) {
      const TMouseHookDetail& d = FMouseHookObjectList.Object(i).FMouseHookDetail;
      if ((d.MouseStateSet & bit) == 0 || d.MouseButton < button) continue;
      if (d.ModifiedFunction != button) OnHookMouseButton(button, state, block);
      break;
    }
  }
  blocked = block ? 1 : 0;
}

// --- keyboard modes ---------------------------------------------------------

void TkwHook::SingleKeyHookProc(std::int32_t, std::uintptr_t, const TKBDLLHOOKSTRUCT& event,
                                std::uint8_t& blocked) {
  if (!OnRecordKeyboardSingleKey) return;
  const std::int32_t ext = KeyExtended(event);
  bool block = blocked != 0;
  OnRecordKeyboardSingleKey(static_cast<std::int32_t>(event.vkCode), event.scanCode,
                            KeyPressed(event), ext, VKToKeyDescription(event.vkCode, ext), block);
  blocked = block ? 1 : 0;
}

void TkwHook::ComboKeyHookProc(std::int32_t, std::uintptr_t, const TKBDLLHOOKSTRUCT& event,
                               std::uint8_t& blocked) {
  if (!OnRecordKeyboardComboKey) return;
  if (IsModifierKey(event.vkCode)) FComboModifierDown[event.vkCode] = KeyPressed(event) != 0;
  // Releases and the modifier keys themselves pass through untouched.
  if (!KeyPressed(event) || IsModifierKey(event.vkCode)) return;
  const auto vk = static_cast<std::uint16_t>(event.vkCode);
  const auto ext = static_cast<std::uint16_t>(KeyExtended(event));

  FComboKeyString.clear();
  TCOMBOKEY& c = FComboKeyInfo;
  c.nModifier = 0;
  if (c.nKeyValue1 != 0 && c.nKeyValue2 != 0) {
    c.nKeyValue1 = c.nKeyValue1Extended = 0;
    c.nKeyValue2 = c.nKeyValue2Extended = 0;
  }
  if (ModifierDown(0xA2, 0xA3)) {
    c.nModifier |= 2;
    FComboKeyString += u"Ctrl+";
  }
  if (ModifierDown(0xA4, 0xA5)) {
    c.nModifier |= 1;
    FComboKeyString += u"Alt+";
  }
  if (ModifierDown(0x5B, 0x5C)) {
    c.nModifier |= 8;
    FComboKeyString += u"Win+";
  }
  if (ModifierDown(0xA0, 0xA1)) {
    c.nModifier |= 4;
    FComboKeyString += u"Shift+";
  }

  // Absolute difference: a wrapped clock cannot make the gap look negative.
  const std::uint32_t gap = event.time >= FLastTimeKeyboardCombo ? event.time - FLastTimeKeyboardCombo
                                                                 : FLastTimeKeyboardCombo - event.time;
  if (gap > 100) {
    c.nKeyValue1 = vk;
    c.nKeyValue1Extended = ext;
    c.nKeyValue2 = c.nKeyValue2Extended = 0;
  } else if (c.nKeyValue1 == 0) {
    c.nKeyValue1 = vk;
    c.nKeyValue1Extended = ext;
  } else if (c.nKeyValue2 == 0) {
    if (vk == c.nKeyValue1) {
      c.nKeyValue1Extended = ext;
      c.nKeyValue2 = c.nKeyValue2Extended = 0;
    } else {
      c.nKeyValue2 = vk;
      c.nKeyValue2Extended = ext;
    }
  }
  FLastTimeKeyboardCombo = event.time;

  WStr text = VKToKeyDescription(c.nKeyValue1, c.nKeyValue1Extended);
  if (c.nKeyValue2 != 0) {
    text += u"+";
    text += VKToKeyDescription(c.nKeyValue2, c.nKeyValue2Extended);
  }
  if (c.nKeyValue1 != 0 && !text.empty()) {
    FComboKeyString += text;
    OnRecordKeyboardComboKey(c.nKeyValue1, c.nKeyValue1Extended, c.nKeyValue2, c.nKeyValue2Extended,
                             c.nModifier, FComboKeyString);
  }
  blocked = 1;
}

void TkwHook::MacroKeyHookProc(std::int32_t, std::uintptr_t, const TKBDLLHOOKSTRUCT& event,
                               std::uint8_t& blocked) {
  if (!OnRecordKeyboardMacroKey) return;
  const std::int32_t ext = KeyExtended(event);
  const std::int32_t state = KeyPressed(event);
  const double time = static_cast<double>(event.time);
  // No delay before the first key, nor across a wrap of the clock.
  if (FLastTimeKeyboardMacro != 0 && event.time >= FLastTimeKeyboardMacro) {
    const std::uint32_t gap = event.time - FLastTimeKeyboardMacro;
    if (gap > 10 && gap < 2000) {
      AppendKey(FMacroKeyList, DelayEntry(gap));
      OnRecordKeyboardMacroKey(0, static_cast<std::int32_t>(gap), 0, 0, time, IntToWStr(gap), u"ms",
                               FMacroKeyList);
      if (!OnRecordKeyboardMacroKey) return;
    }
  }
  FLastTimeKeyboardMacro = event.time;
  AppendKey(FMacroKeyList, KeyEntry(event));
  OnRecordKeyboardMacroKey(1, static_cast<std::int32_t>(event.vkCode), state, ext, time,
                           VKToKeyDescription(event.vkCode, ext), DownUp(state), FMacroKeyList);
  blocked = 1;
}

void TkwHook::MacroKeyExHookProc(std::int32_t, std::uintptr_t, const TKBDLLHOOKSTRUCT& event,
                                 std::uint8_t& blocked) {
  if (!OnRecordKeyboardMacroKeyEx || FMacroKeyList.Count() > kMacroKeyExLimit) return;
  if (event.vkCode >= FAllKeyState.size()) return;  // not a virtual-key code
  const std::int32_t ext = KeyExtended(event);
  const std::int32_t state = KeyPressed(event);
  constexpr std::uint32_t kSameBits = kLLKeyExtended | kLLKeyReleased;
  const bool same = event.vkCode == FLastMacroKey.vkCode &&
                    (event.flags & kSameBits) == (FLastMacroKey.flags & kSameBits);
  const std::uint32_t gap = event.time >= FLastMacroKey.time ? event.time - FLastMacroKey.time : 0;

  bool delayDue = false;
  if (FLastMacroKey.vkCode == 0) {
    FLastMacroKey = event;
    FTotalMacroTime = 0;
  } else if (same && state == 1) {
    // Auto-repeat: the hold keeps counting from the first press.
    FTotalMacroTime = gap;
  } else {
    FTotalMacroTime = gap;
    FLastMacroKey = event;
    if (state == 0) FAllKeyState[event.vkCode] = 0;
    delayDue = true;
  }
  if (delayDue && FTotalMacroTime > 0) {
    FTotalMacroTime = std::min<std::uint32_t>(FTotalMacroTime, 65535);
    AppendKey(FMacroKeyList, DelayEntry(FTotalMacroTime));
  }
  if (FAllKeyState[event.vkCode] == 0) {
    if (state == 1) FAllKeyState[event.vkCode] = 1;
    AppendKey(FMacroKeyList, KeyEntry(event));
    OnRecordKeyboardMacroKeyEx(1, static_cast<std::int32_t>(event.vkCode), state, ext,
                               static_cast<double>(event.time), FTotalMacroTime,
                               VKToKeyDescription(event.vkCode, ext), DownUp(state), FMacroKeyList);
  }
  blocked = 1;
}

void TkwHook::KeyboardHookProc(std::int32_t code, std::uintptr_t, const TKBDLLHOOKSTRUCT& event,
                               std::uint8_t& blocked) {
  if (code != 0) return;
  const auto vk = static_cast<std::int32_t>(event.vkCode);
  const auto scan = static_cast<std::int32_t>(event.scanCode);
  const std::int32_t ext = KeyExtended(event);
  const std::int32_t state = KeyPressed(event);
  bool block = blocked != 0;
  if (OnHookKeyboardAllKey) OnHookKeyboardAllKey(vk, state, ext, block, event.scanCode);
  if (OnHookKeyboardKey) {
    for (std::size_t i = 0; i < FKeyboardHookObjectList.Count(); ++i) {
      const TKeyBoardHookDetail d = FKeyboardHookObjectList.Object(i).FKeyBoardHookDetail;
      if (d.KeyboardVKKey == -1) break;
      const bool keyMatches = (d.KeyboardVKKey != 0 && d.KeyboardVKKey == vk) ||
                              (d.KeyboardSCANKey != 0 && d.KeyboardSCANKey == scan);
      if (!keyMatches || d.KeyExtended != ext) continue;
      if (d.block == 1) block = true;
      OnHookKeyboardKey(vk, state, ext, block, event.scanCode);
      break;
    }
  }
  blocked = block ? 1 : 0;
}

}  // namespace vx
