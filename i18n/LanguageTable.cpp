#include "i18n/LanguageTable.h"

#include <algorithm>

#include "i18n/LanguageResource.h"

namespace vx {

void TLanguageTable::SetText(WView text) {
  lines_.clear();
  for (auto& l : SplitLines(text)) Add(std::move(l));
}

WStr TLanguageTable::Text() const { return JoinLines(lines_); }

bool TLanguageTable::Add(WStr line) {
  const auto it = std::lower_bound(lines_.begin(), lines_.end(), line);
  if (it != lines_.end() && *it == line) return false;
  lines_.insert(it, std::move(line));
  return true;
}

// Every line of a key starts with key "=", and such lines are neighbours in
// code unit order, so the first of them is found by binary search.
std::optional<WView> TLanguageTable::Translation(WView key) const {
  if (key.find(u'=') != WView::npos) return std::nullopt;
  WStr prefix(key);
  prefix += u'=';
  const auto it = std::lower_bound(lines_.begin(), lines_.end(), prefix);
  if (it == lines_.end() || !WView(*it).starts_with(prefix)) return std::nullopt;
  return WView(*it).substr(prefix.size());
}

std::optional<WView> TLanguageTable::KeyOf(WView translation) const {
  for (const auto& l : lines_) {
    const auto eq = l.find(u'=');
    if (eq != WStr::npos && WView(l).substr(eq + 1) == translation) return WView(l).substr(0, eq);
  }
  return std::nullopt;
}

void TLanguageTable::SetTranslation(WView key, WView translation) {
  if (key.find(u'=') != WView::npos) return;
  WStr prefix(key);
  prefix += u'=';
  auto first = std::lower_bound(lines_.begin(), lines_.end(), prefix);
  auto last = first;
  while (last != lines_.end() && WView(*last).starts_with(prefix)) ++last;
  lines_.erase(first, last);
  if (!translation.empty()) Add(prefix + WStr(translation));
}

}  // namespace vx
