#pragma once
// The language designer's model: one tab per language whose name is a
// locale's language id ("0804"), each a grid of key and translation; adding
// and deleting languages and keys, the bulk text view, paging of the tab
// headers and saving the set to "kw.local". The window draws this model.
#include <memory>
#include <vector>

#include "i18n/kwLanguage.h"

namespace vx {

class TkwLanguageDesignForm {
 public:
  static constexpr int kVisibleTabs = 8;
  static constexpr int kExtraRows = 100;
  static constexpr int kGrowRows = 30;

  struct GridRow {
    WStr key;          // column 0, read-only
    WStr translation;  // column 1
  };
  struct Tab {
    WStr title;  // the locale's language name
    WStr hint;   // the language id, the language's name in the set
    std::vector<GridRow> rows;
  };
  enum class SaveResult { Failed, Saved, SavedAndClose };

  // lang: the component to edit, or null for one of the window's own,
  // filled from "kw.local" when shown.
  explicit TkwLanguageDesignForm(TkwLanguage* lang = nullptr);
  ~TkwLanguageDesignForm();
  TkwLanguageDesignForm(const TkwLanguageDesignForm&) = delete;
  TkwLanguageDesignForm& operator=(const TkwLanguageDesignForm&) = delete;

  void Show();

  const LocaleTable& DesignerLocaleTable() const { return locales_; }
  // The combo box items: the locales' language names in enumeration order.
  std::vector<WStr> LangComboItems() const;

  const std::vector<Tab>& Tabs() const { return tabs_; }
  int TabIndex() const { return tabIndex_; }
  void SelectTab(int index);
  int FirstVisibleTab() const { return firstVisible_; }
  // Indexes of the tabs whose headers are shown.
  std::vector<int> VisibleTabs() const;

  // Add Language: the locale at comboIndex; false when there is none.
  bool AddLanguage(int comboIndex);
  // Delete Language: the current tab.
  void DeleteLanguage();
  // Add Const Text: false when empty or already a key.
  bool AddConstText(WView text);
  // Delete Item From List: the key of row in the current tab.
  bool DeleteItemFromList(int row);
  // Edits column 1 of a row of the current tab.
  void SetCell(int row, WView translation);
  // Get/Set Text List: the current tab's lines key "=" translation, each
  // ended by CR LF, and the apply of an edited text.
  WStr GetTextList() const;
  void SaveTextList(WView text);
  // Save to language file.
  SaveResult SaveToLanguageFile();
  void NextPage();
  void PrevPage();

  // Changed since shown or last saved.
  bool Modified() const { return modified_; }

  TkwLanguage* Language() const { return lang_; }
  bool OwnsLanguage() const { return own_ != nullptr; }

 private:
  void LoadLanguageAndCreateTranslateTabList();
  void RefreshTranslateGrids();
  Tab MakeTab(const LocaleEntry& locale, bool fillFromSet) const;
  int FindTabByTitle(WView title) const;
  int FindTabByHint(WView hint) const;
  WStr SetTranslationOrKey(WView langId, const WStr& key) const;
  void KeepSelectionVisible();

  TkwLanguage* lang_;
  std::unique_ptr<TkwLanguage> own_;
  bool givenComponent_;
  LocaleTable locales_;
  std::vector<Tab> tabs_;
  int tabIndex_ = -1;
  int firstVisible_ = 0;
  bool modified_ = false;
};

}  // namespace vx
