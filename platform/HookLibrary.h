#pragma once
// The system-wide input hook library "kwHook.dll": its four exports, the
// callback it calls for every low-level keyboard or mouse event, and the
// event records it passes (laid out like KBDLLHOOKSTRUCT and MSLLHOOKSTRUCT).
// Also the live key state the combination recorder reads (GetAsyncKeyState).
#include <cstddef>
#include <cstdint>
#include <functional>

namespace vx {

#if defined(_WIN32)
#define VX_HOOKAPI __stdcall
#else
#define VX_HOOKAPI
#endif

// KBDLLHOOKSTRUCT.
struct TKBDLLHOOKSTRUCT {
  std::uint32_t vkCode = 0;
  std::uint32_t scanCode = 0;
  std::uint32_t flags = 0;
  std::uint32_t time = 0;
  std::uintptr_t dwExtraInfo = 0;
};

// MSLLHOOKSTRUCT.
struct TMSLLHOOKSTRUCT {
  std::int32_t x = 0;  // pt.x
  std::int32_t y = 0;  // pt.y
  std::uint32_t mouseData = 0;
  std::uint32_t flags = 0;
  std::uint32_t time = 0;
  std::uintptr_t dwExtraInfo = 0;
};

static_assert(offsetof(TKBDLLHOOKSTRUCT, time) == 12);
static_assert(offsetof(TKBDLLHOOKSTRUCT, dwExtraInfo) == 16);
static_assert(sizeof(TKBDLLHOOKSTRUCT) == (sizeof(void*) == 8 ? 24 : 20));
static_assert(offsetof(TMSLLHOOKSTRUCT, mouseData) == 8);
static_assert(offsetof(TMSLLHOOKSTRUCT, time) == 16);
static_assert(sizeof(TMSLLHOOKSTRUCT) == (sizeof(void*) == 8 ? 32 : 24));

inline constexpr std::uint32_t kLLKeyExtended = 0x01;    // LLKHF_EXTENDED
inline constexpr std::uint32_t kLLKeyReleased = 0x80;    // LLKHF_UP
inline constexpr std::uint32_t kLLMouseInjected = 0x01;  // LLMHF_INJECTED

// Mouse message identifiers the hooks deliver.
inline constexpr std::uint32_t kWmMouseMove = 0x0200;
inline constexpr std::uint32_t kWmLButtonDown = 0x0201;
inline constexpr std::uint32_t kWmLButtonUp = 0x0202;
inline constexpr std::uint32_t kWmRButtonDown = 0x0204;
inline constexpr std::uint32_t kWmRButtonUp = 0x0205;
inline constexpr std::uint32_t kWmMButtonDown = 0x0207;
inline constexpr std::uint32_t kWmMButtonUp = 0x0208;
inline constexpr std::uint32_t kWmMouseWheel = 0x020A;
inline constexpr std::uint32_t kWmXButtonDown = 0x020B;
inline constexpr std::uint32_t kWmXButtonUp = 0x020C;
inline constexpr std::uint32_t kWmMouseHWheel = 0x020E;
// Keyboard message identifiers (the keyboard modes ignore them).
inline constexpr std::uint32_t kWmKeyDown = 0x0100;
inline constexpr std::uint32_t kWmKeyUp = 0x0101;
inline constexpr std::uint32_t kWmSysKeyDown = 0x0104;
inline constexpr std::uint32_t kWmSysKeyUp = 0x0105;

// Called once per event on the thread that enabled the hook: the context
// given to the Enable export, the hook code (0 = act on it), the message
// identifier, the event record (TKBDLLHOOKSTRUCT or TMSLLHOOKSTRUCT) and the
// block flag, 0 on entry; 1 on return swallows the event.
using THookEventProc = void(VX_HOOKAPI*)(void* context, std::int32_t code, std::uintptr_t message,
                                         void* record, std::uint8_t* blocked);
// EnableKeyboardHook / EnableMouseHook(callback, context, 0); result unused.
using TEnableHookProc = std::int32_t(VX_HOOKAPI*)(THookEventProc callback, void* context,
                                                  std::uint32_t reserved);
// DisableKeyboardHook / DisableMouseHook; harmless when nothing is hooked.
using TDisableHookProc = std::int32_t(VX_HOOKAPI*)();

inline constexpr char kEnableKeyboardHookName[] = "EnableKeyboardHook";
inline constexpr char kDisableKeyboardHookName[] = "DisableKeyboardHook";
inline constexpr char kEnableMouseHookName[] = "EnableMouseHook";
inline constexpr char kDisableMouseHookName[] = "DisableMouseHook";

// Optional exports of our own library, for telling whether the system has
// dropped a hook (it does so silently when a callback keeps it waiting):
// the tick count (GetTickCount) when a hook last saw an event, 0 for never;
// and a re-install of every hook held, each new hook set before the old one
// is released so that no event falls in between. Returns how many.
using THookLastEventTimeProc = std::uint32_t(VX_HOOKAPI*)();
using TRefreshHooksProc = std::int32_t(VX_HOOKAPI*)();
inline constexpr char kHookLastEventTimeName[] = "HookLastEventTime";
inline constexpr char kRefreshHooksName[] = "RefreshHooks";

// What the system knows of the user's input: when the last one came
// (GetLastInputInfo, any device) and where the pointer is now.
struct InputActivity {
  std::uint32_t lastInputTick = 0;
  std::int32_t cursorX = 0;
  std::int32_t cursorY = 0;
};
InputActivity CurrentInputActivity();
// Test hook: a replaced source (empty function restores the platform's).
void SetInputActivitySource(std::function<InputActivity()> source);
InputActivity PlatformInputActivity();

// Loading of the library module. The Windows loader takes "kwHook.dll" from
// the folder of the running executable only, by full path.
class IHookLibraryLoader {
 public:
  virtual ~IHookLibraryLoader() = default;
  // false when the module cannot be loaded.
  virtual bool LoadModule() = 0;
  // Address of a named export of the loaded module; nullptr when missing.
  virtual void* FindExport(const char* name) = 0;
  virtual void UnloadModule() = 0;
  // The system error code of the last failed LoadModule (0 when unknown).
  virtual std::uint32_t LastLoadError() const { return 0; }
};

// The process-wide loader (the platform's unless replaced).
IHookLibraryLoader& GetHookLibraryLoader();
// Replaces it (tests); nullptr returns to the platform's. Not owned.
void SetHookLibraryLoader(IHookLibraryLoader* loader);
// The platform's own: Windows loads the real library; elsewhere there is none.
IHookLibraryLoader& PlatformHookLibraryLoader();

// GetAsyncKeyState(vk): the physical state, bit 0x8000 set while the key is
// down (GetKeyState would give the state of this thread's input, stale in a
// background program).
std::int16_t KeyState(std::int32_t vk);
// Test hook: a replaced key state (empty function restores the platform's).
void SetKeyStateSource(std::function<std::int16_t(std::int32_t)> source);
// The platform's own key state (0 where there is none).
std::int16_t PlatformKeyState(std::int32_t vk);

}  // namespace vx
