// The record toggle's work per hook event (it runs inside the low-level
// mouse hook's callback) and the store at the end of a recording.
#include <benchmark/benchmark.h>

#include <cstring>
#include <memory>

#include "recording/MacroRecord.h"

namespace {

using namespace vx;

struct NullOverlay final : IRecordOverlay {
  void AddLine(WView line) override { benchmark::DoNotOptimize(line.data()); }
};
struct NullOverlays final : IRecordOverlayFactory {
  std::unique_ptr<IRecordOverlay> ShowRecordWindow() override { return std::make_unique<NullOverlay>(); }
};
struct MemoryStore final : IRecordProfileStore {
  MemoryStore() { std::memset(profile.get(), 0, sizeof(TMouseProfileInfo)); }
  TMouseProfileInfo& CurrentProfileInfo() override { return *profile; }
  std::int32_t ProfileIndex() const override { return 0; }
  void LoadCurrentProfileInfoFromRegistry() override {}
  void SaveBackToCurrentProfileInfo() override {}
  bool SaveCurrentProfileInfoToRegistry() override { return true; }
  bool SaveBackRecordMacroInfoToRegistry(const TMACROKEYINFO& info) override {
    benchmark::DoNotOptimize(&info);
    return true;
  }
  std::unique_ptr<TMouseProfileInfo> profile = std::make_unique<TMouseProfileInfo>();
};

// One pause report and one button report, as a click arrives from the hook.
void BM_HookEventPair(benchmark::State& state) {
  NullOverlays overlays;
  MacroRecorderDeps deps;
  deps.overlays = &overlays;
  TMacroRecorder recorder(std::move(deps));
  recorder.ToggleMacroRecording(7);
  int n = 0;
  for (auto _ : state) {
    recorder.kwHook1RecordMouseMacroKey(kHookEventDelay, 0, 0, u"37");
    recorder.kwHook1RecordMouseMacroKey(kHookEventButton, 1, n & 1, u"");
    if (++n == 60) {  // stay below the action limit
      recorder.ToggleMacroRecording(7);
      recorder.ToggleMacroRecording(7);
      n = 0;
    }
  }
  state.SetItemsProcessed(state.iterations() * 2);
}
BENCHMARK(BM_HookEventPair);

// The second press with a full recording: the profile changes and saves
// (over a store that keeps the profile in memory; the device write excluded).
void BM_StopAndStore(benchmark::State& state) {
  NullOverlays overlays;
  MemoryStore store;
  MacroRecorderDeps deps;
  deps.overlays = &overlays;
  deps.store = &store;
  TMacroRecorder recorder(std::move(deps));
  for (auto _ : state) {
    state.PauseTiming();
    recorder.ToggleMacroRecording(7);
    for (int i = 0; i < 127; ++i) recorder.kwHook1RecordMouseMacroKey(kHookEventButton, 1, i & 1, u"");
    state.ResumeTiming();
    recorder.ToggleMacroRecording(7);
  }
}
BENCHMARK(BM_StopAndStore);

}  // namespace

BENCHMARK_MAIN();
