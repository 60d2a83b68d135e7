#pragma once
// A stand-in for kwHook.dll: exports that record their calls and keep the
// callback, so tests deliver event records through the engine's real
// callback path.
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "platform/HookLibrary.h"

namespace vx::test {

class FakeHookLibrary final : public IHookLibraryLoader {
 public:
  FakeHookLibrary();
  ~FakeHookLibrary() override;

  bool LoadModule() override;
  void* FindExport(const char* name) override;
  void UnloadModule() override;

  // Delivers one event to the current callback; returns the block flag.
  std::uint8_t Mouse(std::uint32_t message, std::uint32_t time, std::int32_t x = 0,
                     std::int32_t y = 0, std::uint32_t mouseData = 0, std::uint32_t flags = 0);
  std::uint8_t Key(std::uint32_t vk, std::uint32_t time, std::uint32_t flags = 0,
                   std::uint32_t scan = 0, std::int32_t code = 0);

  bool present = true;
  std::set<std::string> missingExports;
  int loads = 0;
  int unloads = 0;
  bool loaded = false;
  std::vector<std::string> calls;
  THookEventProc keyboardProc = nullptr;
  void* keyboardContext = nullptr;
  THookEventProc mouseProc = nullptr;
  void* mouseContext = nullptr;
  std::uint32_t lastReserved = 0xFFFFFFFF;
  // The optional exports: the tick of the last event a hook saw, and the
  // re-install. A dropped mouse hook (as the system drops one) sees nothing
  // until it is set again.
  std::uint32_t lastEventTick = 0;
  bool mouseDropped = false;

  static FakeHookLibrary* current;
};

}  // namespace vx::test
