#include "app/MonitorStart.h"

#include <vector>

namespace vx {
namespace {

// Splits as the C runtime does for the cases that matter here: blanks
// separate, double quotes group.
std::vector<WStr> Arguments(WView line) {
  std::vector<WStr> out;
  WStr current;
  bool quoted = false, any = false;
  for (char16_t c : line) {
    if (c == u'"') {
      quoted = !quoted;
      any = true;
    } else if ((c == u' ' || c == u'\t') && !quoted) {
      if (any) out.push_back(current);
      current.clear();
      any = false;
    } else {
      current += c;
      any = true;
    }
  }
  if (any) out.push_back(current);
  return out;
}

char16_t Lower(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c; }

}  // namespace

std::optional<std::uint32_t> AfterProcessId(WView commandLine) {
  constexpr WView kPrefix = u"/after:";
  const std::vector<WStr> args = Arguments(commandLine);
  for (std::size_t i = 1; i < args.size(); ++i) {
    const WStr& a = args[i];
    if (a.size() <= kPrefix.size() || a.size() > kPrefix.size() + 10) continue;
    bool prefix = true;
    for (std::size_t k = 0; k < kPrefix.size(); ++k) prefix = prefix && Lower(a[k]) == kPrefix[k];
    if (!prefix) continue;
    std::uint64_t pid = 0;
    bool digits = true;
    for (std::size_t k = kPrefix.size(); k < a.size(); ++k) {
      if (a[k] < u'0' || a[k] > u'9') {
        digits = false;
        break;
      }
      pid = pid * 10 + static_cast<std::uint64_t>(a[k] - u'0');
    }
    if (digits && pid != 0 && pid <= 0xFFFFFFFFu) return static_cast<std::uint32_t>(pid);
  }
  return std::nullopt;
}

}  // namespace vx
