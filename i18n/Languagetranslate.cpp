#include "i18n/Languagetranslate.h"

#include <algorithm>
#include <map>

#include "i18n/LanguageResource.h"
#include "platform/Files.h"

namespace vx {

TkwLanguageDesignForm::TkwLanguageDesignForm(TkwLanguage* lang)
    : lang_(lang), givenComponent_(lang != nullptr), locales_(BuildLocaleTableByLangID()) {}

TkwLanguageDesignForm::~TkwLanguageDesignForm() = default;

void TkwLanguageDesignForm::Show() {
  if (lang_ == nullptr) {
    own_ = std::make_unique<TkwLanguage>(nullptr);
    lang_ = own_.get();
    // Read the file once, whatever the component found by itself.
    lang_->ClearLanguages();
    lang_->LoadFromFile(LanguageFilePath());
  }
  LoadLanguageAndCreateTranslateTabList();
}

std::vector<WStr> TkwLanguageDesignForm::LangComboItems() const {
  std::vector<WStr> items;
  items.reserve(locales_.size());
  for (const auto& l : locales_) items.push_back(l.languageName);
  return items;
}

void TkwLanguageDesignForm::SelectTab(int index) {
  if (index < 0 || index >= static_cast<int>(tabs_.size())) return;
  tabIndex_ = index;
  KeepSelectionVisible();
}

std::vector<int> TkwLanguageDesignForm::VisibleTabs() const {
  std::vector<int> v;
  for (int i = firstVisible_; i < static_cast<int>(tabs_.size()) && i < firstVisible_ + kVisibleTabs; ++i) {
    v.push_back(i);
  }
  return v;
}

WStr TkwLanguageDesignForm::SetTranslationOrKey(WView langId, const WStr& key) const {
  if (const TLanguageTable* t = lang_->GetLanguageTable(langId)) {
    const auto tr = t->Translation(key);
    if (tr && !tr->empty()) return WStr(*tr);
  }
  return key;
}

TkwLanguageDesignForm::Tab TkwLanguageDesignForm::MakeTab(const LocaleEntry& locale, bool fillFromSet) const {
  Tab tab;
  tab.title = locale.languageName;
  tab.hint = locale.languageId;
  const TKeyList& keys = lang_->Original();
  tab.rows.resize(keys.Count() + kExtraRows);
  for (std::size_t i = 0; i < keys.Count(); ++i) {
    tab.rows[i].key = keys[i];
    if (fillFromSet) tab.rows[i].translation = SetTranslationOrKey(locale.languageId, keys[i]);
  }
  return tab;
}

int TkwLanguageDesignForm::FindTabByTitle(WView title) const {
  for (std::size_t i = 0; i < tabs_.size(); ++i) {
    if (tabs_[i].title == title) return static_cast<int>(i);
  }
  return -1;
}

int TkwLanguageDesignForm::FindTabByHint(WView hint) const {
  for (std::size_t i = 0; i < tabs_.size(); ++i) {
    if (SameTextIgnoreCase(tabs_[i].hint, hint)) return static_cast<int>(i);
  }
  return -1;
}

void TkwLanguageDesignForm::LoadLanguageAndCreateTranslateTabList() {
  for (const auto& language : lang_->Resources()) {
    const LocaleEntry* locale = FindLocale(locales_, language.name);
    if (locale == nullptr || FindTabByHint(locale->languageId) >= 0) continue;
    tabs_.push_back(MakeTab(*locale, true));
    SelectTab(static_cast<int>(tabs_.size()) - 1);
  }
}

// Rewrites every grid from the key list. Translations typed into a grid
// since it was filled are kept: the set learns them only when saved.
void TkwLanguageDesignForm::RefreshTranslateGrids() {
  const TKeyList& keys = lang_->Original();
  for (auto& tab : tabs_) {
    std::map<WStr, WStr> typed;
    for (const auto& row : tab.rows) {
      if (row.key.empty()) break;
      typed.emplace(row.key, row.translation);
    }
    while (tab.rows.size() < keys.Count()) tab.rows.resize(tab.rows.size() + kGrowRows);
    for (std::size_t i = 0; i < tab.rows.size(); ++i) {
      if (i >= keys.Count()) {
        tab.rows[i] = {};
        continue;
      }
      tab.rows[i].key = keys[i];
      const auto it = typed.find(keys[i]);
      tab.rows[i].translation = it != typed.end() ? it->second : SetTranslationOrKey(tab.hint, keys[i]);
    }
  }
}

bool TkwLanguageDesignForm::AddLanguage(int comboIndex) {
  if (comboIndex < 0 || comboIndex >= static_cast<int>(locales_.size())) return false;
  const LocaleEntry& locale = locales_[static_cast<std::size_t>(comboIndex)];
  const int existing = FindTabByTitle(locale.languageName);
  if (existing >= 0) {
    SelectTab(existing);
    return true;
  }
  tabs_.push_back(MakeTab(locale, lang_->GetLanguageTable(locale.languageId) != nullptr));
  SelectTab(static_cast<int>(tabs_.size()) - 1);
  modified_ = true;
  return true;
}

void TkwLanguageDesignForm::DeleteLanguage() {
  if (tabIndex_ < 0 || tabIndex_ >= static_cast<int>(tabs_.size())) return;
  tabs_.erase(tabs_.begin() + tabIndex_);
  modified_ = true;
  if (tabs_.empty()) {
    tabIndex_ = -1;
    firstVisible_ = 0;
    return;
  }
  tabIndex_ = std::max(0, tabIndex_ - 1);
  firstVisible_ = std::min(firstVisible_, std::max(0, static_cast<int>(tabs_.size()) - kVisibleTabs));
  KeepSelectionVisible();
}

void TkwLanguageDesignForm::KeepSelectionVisible() {
  if (tabIndex_ < firstVisible_) firstVisible_ = tabIndex_;
  if (tabIndex_ >= firstVisible_ + kVisibleTabs) firstVisible_ = tabIndex_ - kVisibleTabs + 1;
}

bool TkwLanguageDesignForm::AddConstText(WView text) {
  if (text.empty() || lang_->Original().Contains(text)) return false;
  lang_->Original().Add(text);
  RefreshTranslateGrids();
  modified_ = true;
  return true;
}

bool TkwLanguageDesignForm::DeleteItemFromList(int row) {
  if (tabIndex_ < 0 || row < 0) return false;
  const auto& rows = tabs_[static_cast<std::size_t>(tabIndex_)].rows;
  if (row >= static_cast<int>(rows.size())) return false;
  const WStr key = rows[static_cast<std::size_t>(row)].key;
  if (key.empty() || !lang_->Original().Delete(key)) return false;
  for (auto& tab : tabs_) {
    if (row >= static_cast<int>(tab.rows.size())) continue;
    // The rows after it move up as far as the filled part goes.
    std::size_t j = static_cast<std::size_t>(row);
    for (; j + 1 < tab.rows.size() && !tab.rows[j + 1].key.empty(); ++j) tab.rows[j] = tab.rows[j + 1];
    tab.rows[j] = {};
  }
  modified_ = true;
  return true;
}

void TkwLanguageDesignForm::SetCell(int row, WView translation) {
  if (tabIndex_ < 0 || row < 0) return;
  auto& rows = tabs_[static_cast<std::size_t>(tabIndex_)].rows;
  if (row >= static_cast<int>(rows.size()) || rows[static_cast<std::size_t>(row)].key.empty()) return;
  auto& cell = rows[static_cast<std::size_t>(row)].translation;
  if (cell == translation) return;
  cell = WStr(translation);
  modified_ = true;
}

WStr TkwLanguageDesignForm::GetTextList() const {
  if (tabIndex_ < 0) return {};
  std::vector<WStr> lines;
  for (const auto& row : tabs_[static_cast<std::size_t>(tabIndex_)].rows) {
    if (row.key.empty()) break;
    lines.push_back(row.key + u"=" + row.translation);
  }
  return JoinLines(lines);
}

// The lines go to the current tab's own language, so a set holding
// languages without tabs cannot shift them onto another language.
void TkwLanguageDesignForm::SaveTextList(WView text) {
  if (tabIndex_ < 0) return;
  Tab& tab = tabs_[static_cast<std::size_t>(tabIndex_)];
  lang_->Original().Clear();
  lang_->AddLang(tab.hint);
  TLanguageTable* table = lang_->GetLanguageTable(tab.hint);
  std::vector<GridRow> typed;
  for (const auto& line : SplitLines(text)) {
    const auto eq = line.find(u'=');
    const WStr key = line.substr(0, eq);
    if (key.empty()) continue;
    const WStr translation = eq == WStr::npos ? WStr() : line.substr(eq + 1);
    lang_->Original().Add(key);
    table->SetTranslation(key, translation);
    typed.push_back({key, translation});
  }
  // The memo's translations take the place of what the grid showed.
  for (auto& row : tab.rows) row = {};
  tab.rows.resize(std::max(tab.rows.size(), typed.size()));
  std::copy(typed.begin(), typed.end(), tab.rows.begin());
  RefreshTranslateGrids();
  modified_ = true;
}

TkwLanguageDesignForm::SaveResult TkwLanguageDesignForm::SaveToLanguageFile() {
  auto& set = lang_->Resources();
  set.clear();
  const std::size_t keyCount = lang_->Original().Count();
  for (const auto& tab : tabs_) {
    lang_->AddLang(tab.hint);
    TLanguageTable* table = lang_->GetLanguageTable(tab.hint);
    for (std::size_t i = 0; i < tab.rows.size() && i < keyCount; ++i) {
      if (tab.rows[i].key.empty()) break;
      table->SetTranslation(tab.rows[i].key, tab.rows[i].translation);
    }
  }
  // Replaced in one step, so a failed write keeps the old file.
  if (!lang_->SaveToFile(LanguageFilePath())) return SaveResult::Failed;
  modified_ = false;
  return givenComponent_ ? SaveResult::SavedAndClose : SaveResult::Saved;
}

void TkwLanguageDesignForm::NextPage() {
  if (static_cast<int>(tabs_.size()) - firstVisible_ >= kVisibleTabs + 1) ++firstVisible_;
}

void TkwLanguageDesignForm::PrevPage() {
  if (firstVisible_ > 0) --firstVisible_;
}

}  // namespace vx
