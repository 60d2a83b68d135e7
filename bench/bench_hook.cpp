// The hook engine's work per low-level event (Windows drops a low-level hook
// that keeps the system waiting) and the key description lookup it uses.
#include <benchmark/benchmark.h>

#include "device/kwKeyCode.h"
#include "platform/HookLibrary.h"
#include "platform/MessageBox.h"
#include "recording/kwHook.h"

namespace {

// The engine without a library: events are fed to the handlers directly.
vx::TkwHook& Engine() {
  static vx::TkwHook* hook = [] {
    vx::SetMessageBoxSink([](vx::WView, vx::WView) {});
    return new vx::TkwHook();
  }();
  return *hook;
}

// Feeds one mouse event per iteration into the mouse macro mode; step is
// the time between events, message picks the event.
template <typename Message>
void RunMouseMacro(benchmark::State& state, std::uint32_t step, Message message) {
  vx::TkwHook& hook = Engine();
  hook.OnRecordMouseMacroKey = [](std::uint16_t, vx::TMouseButtons, std::int32_t, std::uint16_t,
                                  std::uint16_t, double, vx::WView text, vx::WView,
                                  vx::TMouseMacroKeyList&) { benchmark::DoNotOptimize(text.data()); };
  hook.RecordMouseMacro();
  vx::TMSLLHOOKSTRUCT e;
  std::uint8_t blocked = 0;
  std::uint32_t t = 1;
  for (auto _ : state) {
    e.time = (t += step);
    e.x = static_cast<std::int32_t>(t & 1023);
    hook.MouseMacroHookProc(0, message(t), e, blocked);
    if (hook.MouseMacroKeyList().Count() >= 100000) {
      state.PauseTiming();
      hook.RecordMouseMacro();
      state.ResumeTiming();
    }
  }
  state.SetItemsProcessed(state.iterations());
}

// A 1000 Hz mouse while recording: one delay entry per move.
void BM_MouseMacroMove(benchmark::State& state) {
  RunMouseMacro(state, 1, [](std::uint32_t) { return vx::kWmMouseMove; });
}
BENCHMARK(BM_MouseMacroMove);

// Clicks: a delay entry and a button entry each.
void BM_MouseMacroClick(benchmark::State& state) {
  RunMouseMacro(state, 50, [](std::uint32_t t) {
    return (t & 64) ? vx::kWmLButtonDown : vx::kWmLButtonUp;
  });
}
BENCHMARK(BM_MouseMacroClick);

void BM_KeyboardMacroExKey(benchmark::State& state) {
  vx::TkwHook& hook = Engine();
  hook.OnRecordKeyboardMacroKeyEx = [](std::int32_t, std::int32_t, std::int32_t, std::int32_t, double,
                                       std::uint32_t, vx::WView text, vx::WView,
                                       vx::TMacroKeyList&) { benchmark::DoNotOptimize(text.data()); };
  hook.RecordKeyboardMacroKeyEx();
  vx::TKBDLLHOOKSTRUCT e;
  std::uint8_t blocked = 0;
  std::uint32_t t = 1;
  for (auto _ : state) {
    e.vkCode = 0x41 + (t & 7);
    e.flags = (t & 8) ? vx::kLLKeyReleased : 0;
    e.time = (t += 30);
    hook.MacroKeyExHookProc(0, vx::kWmKeyDown, e, blocked);
    if (hook.MacroKeyList().Count() >= vx::TkwHook::kMacroKeyExLimit) {
      state.PauseTiming();
      hook.RecordKeyboardMacroKeyEx();
      state.ResumeTiming();
    }
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_KeyboardMacroExKey);

void BM_VKToKeyDescription(benchmark::State& state) {
  std::uint32_t vk = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(vx::VKToKeyDescription(vk, static_cast<std::int32_t>(vk & 1)));
    vk = (vk + 1) & 0xFF;
  }
}
BENCHMARK(BM_VKToKeyDescription);

void BM_VKToHIDCode(benchmark::State& state) {
  std::uint32_t vk = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(vx::VKToHIDCode(vk, 225));
    vk = (vk + 1) & 0xFF;
  }
}
BENCHMARK(BM_VKToHIDCode);

}  // namespace

BENCHMARK_MAIN();
