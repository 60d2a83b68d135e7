// The process-wide translator: the active table, reverse mapping, text
// collection and the registered scenes.
#include <algorithm>
#include <memory>
#include <optional>

#include "i18n/kwLanguage.h"

namespace vx {
namespace {

// Held by pointer: the table is replaced whole, never edited.
std::unique_ptr<TLanguageTable> g_active;
bool g_reverse = false;
std::optional<std::vector<WStr>> g_collected;
std::vector<IvgScene*> g_scenes;

}  // namespace

WStr LookupTranslation(WView text) {
  if (text.empty()) return {};
  if (g_collected) g_collected->emplace_back(text);
  if (!g_active) return WStr(text);
  const std::optional<WView> found = g_reverse ? g_active->KeyOf(text) : g_active->Translation(text);
  if (!found || found->empty()) return WStr(text);
  return WStr(*found);
}

void ActivateLanguageTable(const TLanguageTable* table) {
  if (table == nullptr) return;
  // Copy first: table may be the active one itself.
  auto copy = std::make_unique<TLanguageTable>(*table);
  ResetLanguageTable();
  g_active = std::move(copy);
  RetranslateScenes();
}

void ResetLanguageTable() {
  if (!g_active) return;
  struct ReverseGuard {
    ReverseGuard() { g_reverse = true; }
    ~ReverseGuard() { g_reverse = false; }
  };
  {
    ReverseGuard guard;
    RetranslateScenes();
  }
  g_active.reset();
}

void RetranslateScenes() {
  // A scene may come or go while being retranslated; walk by index over
  // the list as it is.
  for (std::size_t i = 0; i < g_scenes.size(); ++i) g_scenes[i]->RetranslateTexts();
}

const TLanguageTable* ActiveLanguageTable() { return g_active.get(); }

bool ReverseTranslation() { return g_reverse; }
void SetReverseTranslation(bool on) { g_reverse = on; }

void StartCollectingTexts() { g_collected.emplace(); }

std::vector<WStr> StopCollectingTexts() {
  std::vector<WStr> texts;
  if (g_collected) texts = std::move(*g_collected);
  g_collected.reset();
  return texts;
}

const std::vector<WStr>* CollectedTexts() { return g_collected ? &*g_collected : nullptr; }

void RegisterScene(IvgScene* scene) {
  if (scene != nullptr && std::find(g_scenes.begin(), g_scenes.end(), scene) == g_scenes.end()) {
    g_scenes.push_back(scene);
  }
}

void UnregisterScene(IvgScene* scene) { std::erase(g_scenes, scene); }

std::span<IvgScene* const> RegisteredScenes() { return g_scenes; }

SceneTexts::SceneTexts(std::function<void()> onRetranslated) : onRetranslated_(std::move(onRetranslated)) {
  RegisterScene(this);
}

SceneTexts::~SceneTexts() { UnregisterScene(this); }

std::size_t SceneTexts::Add(WView key) {
  texts_.push_back(LookupTranslation(key));
  return texts_.size() - 1;
}

void SceneTexts::RetranslateTexts() {
  for (auto& t : texts_) t = LookupTranslation(t);
  if (onRetranslated_) onRetranslated_();
}

}  // namespace vx
