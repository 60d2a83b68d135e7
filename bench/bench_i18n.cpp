// The translator's per-text cost (every caption and overlay line goes
// through it) and the cost of reading and switching language sets.
#include <benchmark/benchmark.h>

#include "i18n/EmbeddedLanguages.h"
#include "i18n/LanguageResource.h"
#include "i18n/kwLanguage.h"

namespace {

void BM_LookupHit(benchmark::State& state) {
  vx::TLanguageTable table(vx::ReadLanguageResource(vx::EmbeddedLanguageResource()).languages[0].tableText);
  vx::ActivateLanguageTable(&table);
  for (auto _ : state) benchmark::DoNotOptimize(vx::LookupTranslation(u"Wheel Down(Mouse)"));
  vx::ResetLanguageTable();
}
BENCHMARK(BM_LookupHit);

void BM_LookupMiss(benchmark::State& state) {
  vx::TLanguageTable table(vx::ReadLanguageResource(vx::EmbeddedLanguageResource()).languages[0].tableText);
  vx::ActivateLanguageTable(&table);
  for (auto _ : state) benchmark::DoNotOptimize(vx::LookupTranslation(u"Not translated at all"));
  vx::ResetLanguageTable();
}
BENCHMARK(BM_LookupMiss);

void BM_ReverseLookup(benchmark::State& state) {
  vx::TLanguageTable table(vx::ReadLanguageResource(vx::EmbeddedLanguageResource()).languages[0].tableText);
  vx::ActivateLanguageTable(&table);
  vx::SetReverseTranslation(true);
  for (auto _ : state) benchmark::DoNotOptimize(vx::LookupTranslation(u"向下滚动"));
  vx::SetReverseTranslation(false);
  vx::ResetLanguageTable();
}
BENCHMARK(BM_ReverseLookup);

void BM_ReadEmbeddedSet(benchmark::State& state) {
  const auto& bytes = vx::EmbeddedLanguageResource();
  for (auto _ : state) {
    const auto r = vx::ReadLanguageResource(bytes);
    for (const auto& l : r.languages) benchmark::DoNotOptimize(vx::TLanguageTable(l.tableText));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_ReadEmbeddedSet);

void BM_SetLangSwitch(benchmark::State& state) {
  auto lang = vx::TkwLanguage::CreateWithEmbeddedSet(nullptr);
  bool ch = false;
  for (auto _ : state) {
    lang->SetLang((ch = !ch) ? u"CH" : u"US");
  }
  vx::ResetLanguageTable();
}
BENCHMARK(BM_SetLangSwitch);

}  // namespace

BENCHMARK_MAIN();
