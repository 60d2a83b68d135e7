#pragma once
// A language table: lines key "=" translation, kept sorted in code unit
// order without duplicate lines. The key is everything before the first
// "=", compared exactly (blanks included); a line without "=" has no key.
#include <optional>
#include <vector>

#include "platform/Text.h"

namespace vx {

class TLanguageTable {
 public:
  TLanguageTable() = default;
  explicit TLanguageTable(WView text) { SetText(text); }

  // Replaces the lines with those of text.
  void SetText(WView text);
  // Each line followed by CR LF.
  WStr Text() const;

  // Inserts the line in order; false when an equal line is already there.
  bool Add(WStr line);
  void Clear() { lines_.clear(); }

  const std::vector<WStr>& Lines() const { return lines_; }
  std::size_t Count() const { return lines_.size(); }

  // The translation part of the first line whose key is key; nullopt when
  // there is none (always for a key containing "=").
  std::optional<WView> Translation(WView key) const;
  // The key part of the first line whose translation is translation.
  std::optional<WView> KeyOf(WView translation) const;
  // Gives key the one line key "=" translation; an empty translation
  // removes every line of that key.
  void SetTranslation(WView key, WView translation);

  friend bool operator==(const TLanguageTable&, const TLanguageTable&) = default;

 private:
  std::vector<WStr> lines_;
};

}  // namespace vx
