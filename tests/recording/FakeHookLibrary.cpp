#include "recording/FakeHookLibrary.h"

#include <cstring>

namespace vx::test {

FakeHookLibrary* FakeHookLibrary::current = nullptr;

namespace {

std::int32_t VX_HOOKAPI EnableKeyboard(THookEventProc proc, void* context, std::uint32_t reserved) {
  auto* f = FakeHookLibrary::current;
  f->calls.emplace_back("EnableKeyboardHook");
  f->keyboardProc = proc;
  f->keyboardContext = context;
  f->lastReserved = reserved;
  return 1;
}
std::int32_t VX_HOOKAPI DisableKeyboard() {
  auto* f = FakeHookLibrary::current;
  f->calls.emplace_back("DisableKeyboardHook");
  f->keyboardProc = nullptr;
  f->keyboardContext = nullptr;
  return 1;
}
std::int32_t VX_HOOKAPI EnableMouse(THookEventProc proc, void* context, std::uint32_t reserved) {
  auto* f = FakeHookLibrary::current;
  f->calls.emplace_back("EnableMouseHook");
  f->mouseProc = proc;
  f->mouseContext = context;
  f->lastReserved = reserved;
  return 1;
}
std::int32_t VX_HOOKAPI DisableMouse() {
  auto* f = FakeHookLibrary::current;
  f->calls.emplace_back("DisableMouseHook");
  f->mouseProc = nullptr;
  f->mouseContext = nullptr;
  return 1;
}

std::uint32_t VX_HOOKAPI LastEventTime() { return FakeHookLibrary::current->lastEventTick; }
std::int32_t VX_HOOKAPI Refresh() {
  auto* f = FakeHookLibrary::current;
  f->calls.emplace_back("RefreshHooks");
  f->mouseDropped = false;
  return (f->mouseProc ? 1 : 0) + (f->keyboardProc ? 1 : 0);
}

}  // namespace

FakeHookLibrary::FakeHookLibrary() {
  current = this;
  SetHookLibraryLoader(this);
}

FakeHookLibrary::~FakeHookLibrary() {
  SetHookLibraryLoader(nullptr);
  current = nullptr;
}

bool FakeHookLibrary::LoadModule() {
  ++loads;
  loaded = present;
  return present;
}

void* FakeHookLibrary::FindExport(const char* name) {
  if (!loaded || missingExports.count(name)) return nullptr;
  if (std::strcmp(name, "EnableKeyboardHook") == 0) return reinterpret_cast<void*>(&EnableKeyboard);
  if (std::strcmp(name, "DisableKeyboardHook") == 0) return reinterpret_cast<void*>(&DisableKeyboard);
  if (std::strcmp(name, "EnableMouseHook") == 0) return reinterpret_cast<void*>(&EnableMouse);
  if (std::strcmp(name, "DisableMouseHook") == 0) return reinterpret_cast<void*>(&DisableMouse);
  if (std::strcmp(name, kHookLastEventTimeName) == 0) return reinterpret_cast<void*>(&LastEventTime);
  if (std::strcmp(name, kRefreshHooksName) == 0) return reinterpret_cast<void*>(&Refresh);
  return nullptr;
}

void FakeHookLibrary::UnloadModule() {
  ++unloads;
  loaded = false;
  // Unloading the real library removes its hooks.
  keyboardProc = mouseProc = nullptr;
}

std::uint8_t FakeHookLibrary::Mouse(std::uint32_t message, std::uint32_t time, std::int32_t x,
                                    std::int32_t y, std::uint32_t mouseData, std::uint32_t flags) {
  TMSLLHOOKSTRUCT rec;
  rec.x = x;
  rec.y = y;
  rec.mouseData = mouseData;
  rec.flags = flags;
  rec.time = time;
  std::uint8_t blocked = 0;
  if (mouseDropped || !mouseProc) return blocked;
  lastEventTick = time;
  mouseProc(mouseContext, 0, message, &rec, &blocked);
  return blocked;
}

std::uint8_t FakeHookLibrary::Key(std::uint32_t vk, std::uint32_t time, std::uint32_t flags,
                                  std::uint32_t scan, std::int32_t code) {
  TKBDLLHOOKSTRUCT rec;
  rec.vkCode = vk;
  rec.scanCode = scan;
  rec.flags = flags;
  rec.time = time;
  std::uint8_t blocked = 0;
  const std::uint32_t message = (flags & kLLKeyReleased) ? kWmKeyUp : kWmKeyDown;
  if (keyboardProc) keyboardProc(keyboardContext, code, message, &rec, &blocked);
  return blocked;
}

}  // namespace vx::test
