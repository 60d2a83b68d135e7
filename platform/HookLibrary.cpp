#include "platform/HookLibrary.h"

#include <mutex>

namespace vx {
namespace {
std::mutex g_mutex;
IHookLibraryLoader* g_loader = nullptr;
std::function<std::int16_t(std::int32_t)> g_keyState;
std::function<InputActivity()> g_activity;
}  // namespace

void SetInputActivitySource(std::function<InputActivity()> source) {
  std::lock_guard lock(g_mutex);
  g_activity = std::move(source);
}

InputActivity CurrentInputActivity() {
  {
    std::lock_guard lock(g_mutex);
    if (g_activity) return g_activity();
  }
  return PlatformInputActivity();
}

IHookLibraryLoader& GetHookLibraryLoader() {
  std::lock_guard lock(g_mutex);
  return g_loader != nullptr ? *g_loader : PlatformHookLibraryLoader();
}

void SetHookLibraryLoader(IHookLibraryLoader* loader) {
  std::lock_guard lock(g_mutex);
  g_loader = loader;
}

void SetKeyStateSource(std::function<std::int16_t(std::int32_t)> source) {
  std::lock_guard lock(g_mutex);
  g_keyState = std::move(source);
}

std::int16_t KeyState(std::int32_t vk) {
  {
    std::lock_guard lock(g_mutex);
    if (g_keyState) return g_keyState(vk);
  }
  return PlatformKeyState(vk);
}

}  // namespace vx
