#include "i18n/kwLanguage.h"

#include <algorithm>
#include <cstdio>

#include "i18n/EmbeddedLanguages.h"
#include "i18n/LanguageResource.h"
#include "platform/Files.h"
#include "platform/LocaleInfo.h"
#include "platform/Shell.h"

namespace vx {
namespace {

std::vector<IComponent*> g_parentForms;
int g_parentFormCount = 0;

LocaleTable g_localeByLangId;
LocaleTable g_localeByShortId;
// The locale tables are shared by every component; the last one to go
// frees them, so a second component cannot empty the first one's tables.
int g_componentCount = 0;

LanguageDesignerOpener g_designerOpener;
LanguageFileChooser g_fileChooser;

// Key list order: letters compared without case first, the way the stored
// lists were sorted, then exactly.
bool KeyLess(WView a, WView b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    auto fold = [](char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c + 32) : c; };
    const char16_t x = fold(a[i]);
    const char16_t y = fold(b[i]);
    if (x != y) return x < y;
  }
  if (a.size() != b.size()) return a.size() < b.size();
  return a < b;
}

WStr ToLowerAscii(WView s) {
  WStr r(s);
  for (auto& c : r) {
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
  }
  return r;
}

// Texts shown by code only (the recording overlay), which no scan finds.
constexpr const char16_t* kCodeOnlyTexts[] = {
    u"Down", u"Up", u"ms", u"Mouse Click", u"Mouse Right Click", u"Mouse Middle Click",
    u"Backward(Mouse)", u"Forward(Mouse)", u"Wheel up(Mouse)", u"Wheel Down(Mouse)"};

// A locale as EnumSystemLocalesW names it: hexadecimal digits, "00000409".
LocaleId ParseLocaleId(WView text) {
  std::uint32_t id = 0;
  for (char16_t c : text) {
    int d = -1;
    if (c >= u'0' && c <= u'9') d = c - u'0';
    else if (c >= u'a' && c <= u'f') d = c - u'a' + 10;
    else if (c >= u'A' && c <= u'F') d = c - u'A' + 10;
    if (d < 0) break;
    id = id << 4 | static_cast<std::uint32_t>(d);
  }
  return id;
}

void FillLocaleTables() {
  g_localeByLangId.clear();
  g_localeByShortId.clear();
  ILocaleInfo& info = GetLocaleInfoSource();
  info.EnumSystemLocalesW([&](WView text) {
    const LocaleId id = ParseLocaleId(text);
    const WStr langId = ReadLocaleValue(id, LocaleValue::LanguageId);
    const WStr name = ReadLocaleValue(id, LocaleValue::LanguageName);
    // Filed under the same short name GetOSLanguageShortID gives ("en", "ch").
    const WStr shortId = ToLowerAscii(ReadLocaleValue(id, LocaleValue::AbbrevLanguageName).substr(0, 2));
    g_localeByLangId.push_back({langId, name, langId});
    g_localeByShortId.push_back({shortId, name, langId});
    return true;
  });
}

}  // namespace

// ---- process-wide lists ----

std::span<IComponent* const> LanguageParentForms() { return g_parentForms; }
int kwParentFormCount() { return g_parentFormCount; }

const LocaleTable& LocaleTableByLangID() { return g_localeByLangId; }
const LocaleTable& LocaleTableByShortID() { return g_localeByShortId; }

LocaleTable BuildLocaleTableByLangID() {
  LocaleTable table;
  GetLocaleInfoSource().EnumSystemLocalesW([&](WView text) {
    const LocaleId id = ParseLocaleId(text);
    const WStr langId = ReadLocaleValue(id, LocaleValue::LanguageId);
    table.push_back({langId, ReadLocaleValue(id, LocaleValue::LanguageName), langId});
    return true;
  });
  return table;
}

const LocaleEntry* FindLocale(const LocaleTable& table, WView key) {
  for (const auto& e : table) {
    if (SameTextIgnoreCase(e.key, key)) return &e;
  }
  return nullptr;
}

// ---- key list ----

void TKeyList::SetText(WView text) {
  keys_.clear();
  for (auto& line : SplitLines(text)) {
    // An empty key would end the designer's rows early and drop every key
    // after it from the next save.
    if (line.empty()) continue;
    if (std::find(keys_.begin(), keys_.end(), line) == keys_.end()) keys_.push_back(std::move(line));
  }
}

WStr TKeyList::Text() const { return JoinLines(keys_); }

bool TKeyList::Add(WView key) {
  if (key.empty() || Contains(key)) return false;
  auto it = std::find_if(keys_.begin(), keys_.end(), [&](const WStr& k) { return KeyLess(key, k); });
  keys_.insert(it, WStr(key));
  return true;
}

bool TKeyList::Delete(WView key) {
  const int i = IndexOf(key);
  if (i < 0) return false;
  keys_.erase(keys_.begin() + i);
  return true;
}

int TKeyList::IndexOf(WView key) const {
  for (std::size_t i = 0; i < keys_.size(); ++i) {
    if (keys_[i] == key) return static_cast<int>(i);
  }
  return -1;
}

// ---- component ----

TkwLanguage::TkwLanguage(IComponent* owner, bool designMode) : owner_(owner), designMode_(designMode) {
  FTranslatePropertyList = {u"Caption", u"Hint"};
  FTranslateSpecialClassList = {u"TMenuItem",   u"TTabControl", u"TTabSheet",   u"TListView",
                                u"TTreeView",   u"TStatusBar",  u"TComboBoxEx", u"TkwMenuEx"};
  ++g_componentCount;
  g_localeByLangId.clear();
  g_localeByShortId.clear();
  if (!designMode_) FillLocaleTables();
  if (owner_ != nullptr && owner_->IsForm()) {
    ownerIsForm_ = true;
    g_parentForms.push_back(owner_);
    ++g_parentFormCount;
  }
  if (!designMode_) {
    const WStr file = LanguageFilePath();
    if (FileExists(file)) {
      FResources.clear();
      LoadFromFile(file);
    }
  }
}

TkwLanguage::~TkwLanguage() {
  if (ownerIsForm_) {
    --g_parentFormCount;
    auto it = std::find(g_parentForms.begin(), g_parentForms.end(), owner_);
    if (it != g_parentForms.end()) g_parentForms.erase(it);
  }
  if (--g_componentCount == 0) {
    g_localeByLangId.clear();
    g_localeByShortId.clear();
  }
}

std::unique_ptr<TkwLanguage> TkwLanguage::CreateLoaded(IComponent* owner, std::span<const std::uint8_t> resourcesBin,
                                                       bool designMode) {
  auto lang = std::make_unique<TkwLanguage>(owner, designMode);
  lang->BeginLoading();
  lang->ReadLanguageStream(resourcesBin);
  lang->Loaded();
  return lang;
}

std::unique_ptr<TkwLanguage> TkwLanguage::CreateWithEmbeddedSet(IComponent* owner, bool designMode) {
  return CreateLoaded(owner, EmbeddedLanguageResource(), designMode);
}

void TkwLanguage::Loaded() {
  loading_ = false;
  if (FAutoSelectBase) {
    FLang = GetOSLanguageShortID();
    if (!FLang.empty()) ActivateLanguageTable(GetLanguageTable(FLang));
  }
}

bool TkwLanguage::ReadLanguageStream(std::span<const std::uint8_t> bytes, std::string* problem) {
  LanguageResource r = ReadLanguageResource(bytes);
  if (r.hasKeyList) FOriginal.SetText(r.keyListText);
  for (auto& l : r.languages) FResources.push_back({std::move(l.name), TLanguageTable(l.tableText)});
  if (problem != nullptr) *problem = r.problem;
  return r.problem.empty();
}

std::vector<std::uint8_t> TkwLanguage::WriteLanguageStream() const {
  std::vector<LanguageResourceEntry> entries;
  entries.reserve(FResources.size());
  for (const auto& l : FResources) entries.push_back({l.name, l.table.Text()});
  return WriteLanguageResource(FOriginal.Text(), entries);
}

void TkwLanguage::SetLang(WView value) {
  FLang = WStr(value);
  if (!loading_) {
    if (value == u"en") {
      ResetLanguageTable();
    } else {
      ActivateLanguageTable(GetLanguageTable(value));
    }
  }
  FLanguageName = WStr(value);
  if (!designMode_) {
    // A form may leave the list while being translated; walk a copy.
    const std::vector<IComponent*> forms(g_parentForms.begin(), g_parentForms.end());
    for (IComponent* form : forms) {
      std::vector<WStr> texts;
      TranslateComponent(form, texts, true);
    }
  }
  if (OnLanguageChanged) OnLanguageChanged(this, value, GetLanguageLongNameByShortID(value));
}

int TkwLanguage::GetLanguageIndexByShortID(WView shortId) const {
  for (std::size_t i = 0; i < FResources.size(); ++i) {
    if (SameTextIgnoreCase(FResources[i].name, shortId)) return static_cast<int>(i);
  }
  return -1;
}

WStr TkwLanguage::GetLanguageShortIDByIndex(int index) const {
  if (index < 0 || static_cast<std::size_t>(index) >= FResources.size()) return {};
  return FResources[static_cast<std::size_t>(index)].name;
}

WStr TkwLanguage::GetLanguageLongNameByLangID(WView langId) const {
  const LocaleEntry* e = FindLocale(g_localeByLangId, langId);
  return e != nullptr ? e->languageName : WStr();
}

WStr TkwLanguage::GetLanguageLongNameByShortID(WView shortId) const {
  const LocaleEntry* e = FindLocale(g_localeByShortId, shortId);
  return e != nullptr ? e->languageName : WStr();
}

WStr TkwLanguage::GetOSDefaultLang() const {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%04X", static_cast<unsigned>(GetLocaleInfoSource().GetSystemDefaultLangID()));
  return FromUtf8(buf);
}

WStr TkwLanguage::GetOSLanguageShortID() const {
  ILocaleInfo& info = GetLocaleInfoSource();
  WStr abbrev;
  if (!info.GetLocaleInfoW(info.GetUserDefaultLCID(), LocaleValue::AbbrevLanguageName, 4, abbrev)) return {};
  return ToLowerAscii(WView(abbrev).substr(0, 2));
}

const TLanguageTable* TkwLanguage::GetLanguageTable(WView name) const {
  const int i = GetLanguageIndexByShortID(name);
  return i < 0 ? nullptr : &FResources[static_cast<std::size_t>(i)].table;
}

TLanguageTable* TkwLanguage::GetLanguageTable(WView name) {
  const int i = GetLanguageIndexByShortID(name);
  return i < 0 ? nullptr : &FResources[static_cast<std::size_t>(i)].table;
}

void TkwLanguage::AddLang(WView name) {
  if (GetLanguageIndexByShortID(name) < 0) FResources.push_back({WStr(name), {}});
}

bool TkwLanguage::LoadFromFile(WView fileName, std::string* problem) {
  if (!FileExists(fileName)) return false;
  const auto bytes = ReadWholeFile(fileName);
  if (!bytes) {
    if (problem != nullptr) *problem = "cannot be read";
    return false;
  }
  return ReadLanguageStream(*bytes, problem);
}

bool TkwLanguage::SaveToFile(WView fileName) const {
  const auto bytes = WriteLanguageStream();
  return WriteFileAtomic(fileName, bytes);
}

void TkwLanguage::SetAutoSelect(bool value) {
  FAutoSelect = value;
  if (value) SetLang(GetOSLanguageShortID());
}

void TkwLanguage::SetActive(bool value) {
  FActive = value;
  if (!designMode_ || !value) return;
  struct Done {
    TkwLanguage* self;
    ~Done() {
      if (CollectedTexts() != nullptr) StopCollectingTexts();
      self->FActive = false;
    }
  } done{this};
  CollectDesignTexts();
  OpenLanguageDesigner(*this);
}

void TkwLanguage::CollectDesignTexts() {
  StartCollectingTexts();
  RetranslateScenes();
  for (const auto& t : StopCollectingTexts()) FOriginal.Add(t);
  const std::vector<IComponent*> forms(g_parentForms.begin(), g_parentForms.end());
  for (IComponent* form : forms) {
    std::vector<WStr> texts;
    TranslateComponent(form, texts, false);
    for (const auto& t : texts) FOriginal.Add(t);
  }
  for (const char16_t* t : kCodeOnlyTexts) FOriginal.Add(t);
}

void TkwLanguage::SetActiveLoadFromFile(bool value) {
  if (!designMode_ || !value) return;
  const WStr file = ChooseLanguageFile();
  if (file.empty()) return;
  FResources.clear();
  LoadFromFile(file);
}

// ---- the walk ----

bool TkwLanguage::InList(const std::vector<WStr>& list, WView className) const {
  return std::any_of(list.begin(), list.end(), [&](const WStr& s) { return SameTextIgnoreCase(s, className); });
}

void TkwLanguage::TranslateComponent(IComponent* component, std::vector<WStr>& texts, bool translate,
                                     WView baseName) {
  if (component == nullptr) return;
  const WStr base = baseName.empty() ? GetComponentBaseName(component) : WStr(baseName);
  if (component->ComponentCount() == 0) {
    TranslateProperties(component, texts, translate);
    return;
  }
  std::vector<IComponent*> visited{component};
  TranslateComponentTree(component, texts, visited, translate, base);
}

void TkwLanguage::TranslateComponentTree(IComponent* component, std::vector<WStr>& texts,
                                         std::vector<IComponent*>& visited, bool translate, const WStr& baseName) {
  TranslateProperties(component, texts, translate);
  for (std::size_t i = 0; i < component->ComponentCount(); ++i) {
    IComponent* child = component->Component(i);
    if (child == nullptr) continue;
    const WStr cls = child->ClassName();
    if (InList(FTranslateSpecialClassList, cls)) {
      TranslateSpecialComponent(child, texts, translate);
      continue;
    }
    if (InList(FTranslateCustomClassList, cls)) {
      if (OnCustomTranslate) OnCustomTranslate(child, texts, visited, baseName, translate);
      continue;
    }
    if (component->IsApplication() && child->IsForm()) continue;
    if (child->IsScene()) {
      // Scenes translate themselves.
      visited.push_back(child);
      continue;
    }
    if (std::find(visited.begin(), visited.end(), child) != visited.end()) continue;
    visited.push_back(child);
    TranslateComponentTree(child, texts, visited, translate,
                           child->IsForm() ? baseName : baseName + u"." + child->Name());
  }
}

void TkwLanguage::TranslateProperties(IComponent* component, std::vector<WStr>& texts, bool translate) {
  for (const auto& prop : FTranslatePropertyList) {
    const std::optional<WStr> text = component->GetTextProperty(prop);
    if (!text) continue;
    if (!text->empty()) texts.push_back(*text);
    const WStr translation = LookupTranslation(*text);
    if (translate && !translation.empty()) component->SetTextProperty(prop, translation);
  }
}

// Menus, tabs, lists and status bars keep their texts: the monitor's own
// such components (its tray menu) are captioned by code.
void TkwLanguage::TranslateSpecialComponent(IComponent*, std::vector<WStr>&, bool) {}

WStr TkwLanguage::GetComponentBaseName(const IComponent* component) {
  if (component == nullptr) return {};
  if (component->IsForm()) return component->ClassName();
  const IComponent* owner = component->Owner();
  if (owner == nullptr) return {};
  if (owner->IsForm()) return owner->ClassName();
  return GetComponentBaseName(owner) + u"." + owner->Name();
}

// ---- design-mode windows ----

void SetLanguageDesignerOpener(LanguageDesignerOpener opener) { g_designerOpener = std::move(opener); }

void OpenLanguageDesigner(TkwLanguage& component) {
  if (g_designerOpener) {
    g_designerOpener(component);
  } else {
    detail::PlatformOpenLanguageDesigner(component);
  }
}

void SetLanguageFileChooser(LanguageFileChooser chooser) { g_fileChooser = std::move(chooser); }

WStr ChooseLanguageFile() { return g_fileChooser ? g_fileChooser() : detail::PlatformChooseLanguageFile(); }

WStr LanguageFilePath() { return ExecutableFolder() + u"kw.local"; }

const std::vector<std::uint8_t>& EmbeddedLanguageResource() {
  static const std::vector<std::uint8_t> bytes = [] {
    std::vector<WStr> keys;
    for (const char16_t* k : EmbeddedKeyList()) keys.emplace_back(k);
    std::vector<LanguageResourceEntry> languages;
    for (auto [lang, name] : {std::pair{EmbeddedLanguage::Chinese, kEmbeddedChineseName},
                              std::pair{EmbeddedLanguage::English, kEmbeddedEnglishName}}) {
      std::vector<WStr> lines;
      for (const char16_t* l : EmbeddedTableLines(lang)) lines.emplace_back(l);
      languages.push_back({name, JoinLines(lines)});
    }
    return WriteLanguageResource(JoinLines(keys), languages);
  }();
  return bytes;
}

}  // namespace vx
