#pragma once
// Fakes for the language tests: a locale source with a fixed list of
// locales, a component tree, a recording scene and a temporary folder.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "i18n/kwLanguage.h"
#include "platform/Files.h"
#include "platform/LocaleInfo.h"
#include "platform/Shell.h"

namespace vx::test {

struct FakeLocale {
  LocaleId lcid;
  const char16_t* languageId;
  const char16_t* name;
  const char16_t* abbrev;
};

inline const std::vector<FakeLocale>& DefaultFakeLocales() {
  static const std::vector<FakeLocale> l = {
      {0x0409, u"0409", u"English (United States)", u"ENU"},
      {0x0804, u"0804", u"Chinese (Simplified, PRC)", u"CHS"},
      {0x0404, u"0404", u"Chinese (Traditional, Taiwan)", u"CHT"},
      {0x040a, u"040a", u"Spanish - Traditional Sort", u"ESP"},
      {0x0407, u"0407", u"German (Germany)", u"DEU"},
      {0x040c, u"040c", u"French (France)", u"FRA"},
      {0x0410, u"0410", u"Italian (Italy)", u"ITA"},
      {0x0411, u"0411", u"Japanese (Japan)", u"JPN"},
      {0x0412, u"0412", u"Korean (Korea)", u"KOR"},
      {0x0419, u"0419", u"Russian (Russia)", u"RUS"},
      {0x0416, u"0416", u"Portuguese (Brazil)", u"PTB"},
  };
  return l;
}

class FakeLocaleInfo final : public ILocaleInfo {
 public:
  LocaleId userLcid = 0x0409;
  std::uint16_t systemLangId = 0x0804;
  bool failAbbrev = false;
  std::vector<FakeLocale> locales = DefaultFakeLocales();
  int enumerations = 0;

  FakeLocaleInfo() { SetLocaleInfoSource(this); }
  ~FakeLocaleInfo() override { SetLocaleInfoSource(nullptr); }

  LocaleId GetUserDefaultLCID() override { return userLcid; }
  bool GetLocaleInfoW(LocaleId locale, LocaleValue value, std::size_t maxChars, WStr& out) override {
    out.clear();
    for (const auto& l : locales) {
      if (l.lcid != locale) continue;
      WStr v;
      switch (value) {
        case LocaleValue::LanguageId: v = l.languageId; break;
        case LocaleValue::LanguageName: v = l.name; break;
        case LocaleValue::AbbrevLanguageName:
          if (failAbbrev) return false;
          v = l.abbrev;
          break;
        default: return false;
      }
      if (v.size() + 1 > maxChars) return false;
      out = v;
      return true;
    }
    return false;
  }
  std::uint16_t GetSystemDefaultLangID() override { return systemLangId; }
  void EnumSystemLocalesW(const std::function<bool(WView)>& visit) override {
    ++enumerations;
    for (const auto& l : locales) {
      char buf[16];
      std::snprintf(buf, sizeof buf, "%08X", static_cast<unsigned>(l.lcid));
      if (!visit(FromUtf8(buf))) return;
    }
  }
};

class TempFolder {
 public:
  TempFolder() {
    static int n = 0;
    path_ = std::filesystem::temp_directory_path() /
            ("vx_i18n_" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) + "_" +
             std::to_string(++n));
    std::filesystem::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  WStr Path() const { return IncludeTrailingBackslash(FromNativePath(path_.string())); }
  WStr File(WView name) const { return Path() + WStr(name); }

 private:
  std::filesystem::path path_;
};

// A component of a window: texts by property name; no entry means the
// component lacks the property.
class FakeComponent final : public IComponent {
 public:
  FakeComponent(WStr cls, WStr name, FakeComponent* owner = nullptr) : cls_(std::move(cls)), name_(std::move(name)), owner_(owner) {
    if (owner_ != nullptr) owner_->children_.push_back(this);
  }
  bool form = false;
  bool application = false;
  bool scene = false;
  std::map<WStr, WStr> props;
  int writes = 0;

  WStr ClassName() const override { return cls_; }
  WStr Name() const override { return name_; }
  IComponent* Owner() const override { return owner_; }
  std::size_t ComponentCount() const override { return children_.size(); }
  IComponent* Component(std::size_t i) const override { return children_[i]; }
  bool IsForm() const override { return form; }
  bool IsApplication() const override { return application; }
  bool IsScene() const override { return scene; }
  std::optional<WStr> GetTextProperty(WView name) const override {
    auto it = props.find(WStr(name));
    if (it == props.end()) return std::nullopt;
    return it->second;
  }
  bool SetTextProperty(WView name, WView value) override {
    auto it = props.find(WStr(name));
    if (it == props.end()) return false;
    it->second = WStr(value);
    ++writes;
    return true;
  }
  void Adopt(FakeComponent* child) { children_.push_back(child); }

 private:
  WStr cls_, name_;
  FakeComponent* owner_;
  std::vector<IComponent*> children_;
};

// Every test starts and ends without an active table, scenes or files.
class LanguageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetLanguageTable();
    SetExecutableFolderOverride(folder.Path());
  }
  void TearDown() override {
    ResetLanguageTable();
    SetReverseTranslation(false);
    StopCollectingTexts();
    SetLanguageDesignerOpener({});
    SetLanguageFileChooser({});
    SetExecutableFolderOverride(u"");
  }

  FakeLocaleInfo locale;
  TempFolder folder;
};

inline std::vector<std::uint8_t> Bytes(std::initializer_list<int> b) {
  std::vector<std::uint8_t> v;
  for (int x : b) v.push_back(static_cast<std::uint8_t>(x));
  return v;
}

}  // namespace vx::test
