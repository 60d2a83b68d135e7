#pragma once
// Languages and the translation of every visible text. English texts are
// their own keys; one language table at a time is active, process-wide.
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "i18n/LanguageTable.h"
#include "platform/ComponentTree.h"
#include "platform/Text.h"

namespace vx {

// ---- process-wide translator (main thread only) ----

// The translation of text under the active table; text itself when there is
// no active table or no non-empty translation. While ReverseTranslation is
// set, translations map back to their keys.
WStr LookupTranslation(WView text);
// A copy of table becomes active (after the old one was reset); nullptr
// changes nothing.
void ActivateLanguageTable(const TLanguageTable* table);
// Maps the registered scenes back to their keys and drops the active table.
void ResetLanguageTable();
void RetranslateScenes();
const TLanguageTable* ActiveLanguageTable();

bool ReverseTranslation();
void SetReverseTranslation(bool on);

// While collecting (design mode), every text passed to LookupTranslation is
// added to CollectedTexts.
void StartCollectingTexts();
std::vector<WStr> StopCollectingTexts();
const std::vector<WStr>* CollectedTexts();

// A vector scene: shows texts and re-applies LookupTranslation to them when
// asked, so forward and reverse mapping switch them between key and
// translation.
class IvgScene {
 public:
  virtual ~IvgScene() = default;
  virtual void RetranslateTexts() = 0;
};
void RegisterScene(IvgScene* scene);
void UnregisterScene(IvgScene* scene);
std::span<IvgScene* const> RegisteredScenes();

// A registered scene holding plain texts, for windows drawn by hand: add
// each text as its key and read the shown text back with Text().
class SceneTexts final : public IvgScene {
 public:
  explicit SceneTexts(std::function<void()> onRetranslated = {});
  ~SceneTexts() override;
  SceneTexts(const SceneTexts&) = delete;
  SceneTexts& operator=(const SceneTexts&) = delete;

  std::size_t Add(WView key);
  const WStr& Text(std::size_t index) const { return texts_.at(index); }
  std::size_t Count() const { return texts_.size(); }
  void RetranslateTexts() override;

 private:
  std::vector<WStr> texts_;
  std::function<void()> onRetranslated_;
};

// Forms that own a language component, walked by SetLang.
std::span<IComponent* const> LanguageParentForms();
int kwParentFormCount();

// Gives the profile defaults LookupTranslation as their translator.
void InstallProfileTranslator();

// ---- the key list of a language set ----

// Keys one per line, case-sensitive, without duplicates or empty keys; keys
// read from a stream keep their stored order and new keys go to their sorted
// place.
class TKeyList {
 public:
  void SetText(WView text);
  WStr Text() const;
  bool Add(WView key);
  bool Delete(WView key);
  int IndexOf(WView key) const;
  bool Contains(WView key) const { return IndexOf(key) >= 0; }
  void Clear() { keys_.clear(); }
  std::size_t Count() const { return keys_.size(); }
  const WStr& operator[](std::size_t i) const { return keys_[i]; }
  const std::vector<WStr>& Keys() const { return keys_; }

 private:
  std::vector<WStr> keys_;
};

struct LanguageEntry {
  WStr name;
  TLanguageTable table;
};

// ---- the system's locales ----

struct LocaleEntry {
  WStr key;
  WStr languageName;
  WStr languageId;  // four hexadecimal digits, "0409"
};
using LocaleTable = std::vector<LocaleEntry>;
// Every supported locale under its language id, in enumeration order.
LocaleTable BuildLocaleTableByLangID();
// The first entry whose key equals key, ignoring case.
const LocaleEntry* FindLocale(const LocaleTable& table, WView key);
const LocaleTable& LocaleTableByLangID();
const LocaleTable& LocaleTableByShortID();

// ---- the language component ----

class TkwLanguage;
using LanguageChangedEvent = std::function<void(TkwLanguage* component, WView shortId, WView longName)>;
// component: the component of a custom class that the walk met.
using CustomTranslateEvent = std::function<void(IComponent* component, std::vector<WStr>& textList,
                                                std::vector<IComponent*>& visited, WView baseName,
                                                bool translate)>;

class TkwLanguage {
 public:
  // owner may be null; a form owner joins LanguageParentForms. Without
  // design mode, "kw.local" beside the executable is read when present.
  explicit TkwLanguage(IComponent* owner, bool designMode = false);
  ~TkwLanguage();
  TkwLanguage(const TkwLanguage&) = delete;
  TkwLanguage& operator=(const TkwLanguage&) = delete;

  // A component as its form loads it: created, the stored set read after
  // the file's languages, then loading ends (auto selection).
  static std::unique_ptr<TkwLanguage> CreateLoaded(IComponent* owner, std::span<const std::uint8_t> resourcesBin,
                                                   bool designMode = false);
  // The monitor window's component with the embedded set.
  static std::unique_ptr<TkwLanguage> CreateWithEmbeddedSet(IComponent* owner, bool designMode = false);

  // Form streaming.
  void BeginLoading() { loading_ = true; }
  void Loaded();
  // Replaces the key list and appends the stream's languages. false when
  // the stream was malformed (what could be read is kept).
  bool ReadLanguageStream(std::span<const std::uint8_t> bytes, std::string* problem = nullptr);
  std::vector<std::uint8_t> WriteLanguageStream() const;
  // Stored with the form only when the set holds a language.
  bool StoresResourcesBin() const { return FStoreInForm && !FResources.empty(); }

  // Lang
  void SetLang(WView value);
  const WStr& Lang() const { return FLanguageName; }
  const WStr& BaseLang() const { return FLang; }

  int GetLanguageIndexByShortID(WView shortId) const;
  WStr GetLanguageShortIDByIndex(int index) const;
  WStr GetLanguageLongNameByLangID(WView langId) const;
  WStr GetLanguageLongNameByShortID(WView shortId) const;
  WStr GetOSDefaultLang() const;
  WStr GetOSLanguageShortID() const;
  // The table of the first language named name, ignoring case.
  const TLanguageTable* GetLanguageTable(WView name) const;
  TLanguageTable* GetLanguageTable(WView name);

  void AddLang(WView name);
  // false when the file does not exist or was malformed.
  bool LoadFromFile(WView fileName, std::string* problem = nullptr);
  bool SaveToFile(WView fileName) const;
  void ClearLanguages() { FResources.clear(); }

  void SetAutoSelect(bool value);
  bool AutoSelect() const { return FAutoSelect; }
  void SetActive(bool value);
  bool Active() const { return FActive; }
  void SetActiveLoadFromFile(bool value);
  bool ActiveLoadFromFile() const { return FActiveLoadFromFile; }

  const std::vector<WStr>& SpecialClassName() const { return FTranslateSpecialClassList; }
  const std::vector<WStr>& CustomClassList() const { return FTranslateCustomClassList; }
  void SetCustomClassList(const std::vector<WStr>& list) { FTranslateCustomClassList = list; }
  const std::vector<WStr>& TranslatePropertyList() const { return FTranslatePropertyList; }

  LanguageChangedEvent OnLanguageChanged;
  CustomTranslateEvent OnCustomTranslate;

  std::vector<LanguageEntry>& Resources() { return FResources; }
  const std::vector<LanguageEntry>& Resources() const { return FResources; }
  TKeyList& Original() { return FOriginal; }
  const TKeyList& Original() const { return FOriginal; }
  IComponent* Owner() const { return owner_; }
  bool DesignMode() const { return designMode_; }

  // The walk over a form's components (Caption and Hint).
  void TranslateComponent(IComponent* component, std::vector<WStr>& texts, bool translate,
                          WView baseName = {});
  static WStr GetComponentBaseName(const IComponent* component);

 private:
  void TranslateComponentTree(IComponent* component, std::vector<WStr>& texts, std::vector<IComponent*>& visited,
                              bool translate, const WStr& baseName);
  void TranslateProperties(IComponent* component, std::vector<WStr>& texts, bool translate);
  void TranslateSpecialComponent(IComponent* component, std::vector<WStr>& texts, bool translate);
  bool InList(const std::vector<WStr>& list, WView className) const;
  void CollectDesignTexts();

  // Base part.
  WStr FLang;
  std::vector<LanguageEntry> FResources;
  TKeyList FOriginal;
  bool FAutoSelectBase = true;
  WStr FFileName;
  bool FStoreInForm = true;
  // Component part.
  bool FActive = false;
  bool FAutoSelect = false;
  WStr FLanguageName;
  std::vector<WStr> FTranslatePropertyList;
  std::vector<WStr> FTranslateSpecialClassList;
  std::vector<WStr> FTranslateCustomClassList;
  bool FActiveLoadFromFile = false;

  IComponent* owner_ = nullptr;
  bool ownerIsForm_ = false;
  bool designMode_ = false;
  bool loading_ = false;
};

// ---- design-mode windows ----

// Opens the language designer modally on a component. The windows build
// provides the window; tests install their own.
using LanguageDesignerOpener = std::function<void(TkwLanguage& component)>;
void SetLanguageDesignerOpener(LanguageDesignerOpener opener);
void OpenLanguageDesigner(TkwLanguage& component);
// Asks for a language file ("Language Files|*.Local"); empty when none was
// chosen.
using LanguageFileChooser = std::function<WStr()>;
void SetLanguageFileChooser(LanguageFileChooser chooser);
WStr ChooseLanguageFile();

namespace detail {
// The build's own designer window and file dialog.
void PlatformOpenLanguageDesigner(TkwLanguage& component);
WStr PlatformChooseLanguageFile();
}  // namespace detail

// "kw.local" in the executable's folder.
WStr LanguageFilePath();

}  // namespace vx
