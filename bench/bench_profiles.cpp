// The profile data layer: start-up loading, defaults, saves, the error check.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <random>

#include "platform/Registry.h"
#include "platform/Shell.h"
#include "profiles/DMUnit.h"
#include "profiles/kwMacroClassUnit.h"

namespace {

struct Store {
  Store() {
    std::random_device rd;
    root = std::filesystem::temp_directory_path() / ("vxbench-" + std::to_string(rd()));
    std::filesystem::create_directories(root / "Documents");
    registry = std::make_unique<vx::DirRegistry>((root / "registry").string());
    vx::SetRegistry(registry.get());
    vx::SetDocumentsFolderOverride(vx::FromUtf8((root / "Documents").string()));
    auto dm = std::make_unique<vx::TDM>();
    dm->RunCreationSequence();
    dm->SaveBackAllProfileInfoToRegistry();  // every slot stored, as after a few edits
  }
  ~Store() {
    vx::SetRegistry(nullptr);
    vx::SetDocumentsFolderOverride({});
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
  }
  std::filesystem::path root;
  std::unique_ptr<vx::DirRegistry> registry;
};

void BM_StartUpLoad(benchmark::State& state) {
  Store store;
  for (auto _ : state) {
    auto dm = std::make_unique<vx::TDM>();
    dm->RunCreationSequence();
    benchmark::DoNotOptimize(dm->FCurrentProfileInfo.ConfigInfo.ButtonCount);
  }
}
BENCHMARK(BM_StartUpLoad)->Unit(benchmark::kMillisecond);

void BM_SaveCurrentProfile(benchmark::State& state) {
  Store store;
  auto dm = std::make_unique<vx::TDM>();
  dm->RunCreationSequence();
  for (auto _ : state) dm->SaveCurrentProfileInfoToRegistry();
}
BENCHMARK(BM_SaveCurrentProfile)->Unit(benchmark::kMicrosecond);

void BM_ProfileDefault(benchmark::State& state) {
  auto dm = std::make_unique<vx::TDM>();
  vx::TkwStream s;
  s.SetSize(sizeof(vx::TMouseProfileInfo));
  for (auto _ : state) {
    dm->kwProfileGame1RestoreToDefault(s);
    benchmark::DoNotOptimize(s.Bytes.data());
  }
}
BENCHMARK(BM_ProfileDefault)->Unit(benchmark::kMicrosecond);

void BM_CheckAllErrorsFullList(benchmark::State& state) {
  auto list = std::make_unique<vx::TMACROKEYINFOLIST>();
  *list = {};
  list->nMacroInfoCount = 21;
  for (auto& m : list->MacroInfos) {
    m.MacroListCount = 128;
    for (int i = 0; i < 128; ++i) m.MacroList[i] = {vx::kActionKey, static_cast<std::uint16_t>(i % 2), 0x41, 0};
  }
  vx::TkwMacroClass model(*list);
  for (auto _ : state) model.CheckAllErrors();
}
BENCHMARK(BM_CheckAllErrorsFullList)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
