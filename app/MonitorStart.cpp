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

namespace vx {
namespace {
constexpr std::int64_t kHour = 3600;
// A time from later than now (the clock was set back) counts as just now.
bool InLastHour(std::int64_t t, std::int64_t now) { return now - t < kHour && t - now < kHour; }
}  // namespace

CrashRestartVerdict DecideCrashRestart(const std::int64_t* earlier, std::size_t count, std::int64_t now) {
  CrashRestartVerdict v;
  std::size_t recent = 0;
  for (std::size_t i = 0; i < count; ++i) {
    if (!InLastHour(earlier[i], now)) continue;
    ++recent;
    const std::int64_t since = now > earlier[i] ? now - earlier[i] : 0;
    if (v.secondsSinceLast < 0 || since < v.secondsSinceLast) v.secondsSinceLast = since;
  }
  if (v.secondsSinceLast >= 0 && v.secondsSinceLast < kCrashRestartQuietSeconds) {
    v.what = CrashRestart::TooSoon;
  } else if (recent >= kCrashRestartsPerHour) {
    v.what = CrashRestart::TooMany;
  }
  return v;
}

std::size_t ParseCrashRestarts(const char* text, std::size_t size, std::int64_t* out, std::size_t max) {
  std::size_t n = 0;
  std::size_t i = 0;
  while (i < size && n < max) {
    std::int64_t value = 0;
    std::size_t digits = 0;
    while (i < size && text[i] >= '0' && text[i] <= '9' && digits < 18) {
      value = value * 10 + (text[i] - '0');
      ++i;
      ++digits;
    }
    const bool lineEnds = i >= size || text[i] == '\r' || text[i] == '\n';
    if (digits > 0 && lineEnds) out[n++] = value;
    while (i < size && text[i] != '\n') ++i;  // the rest of a bad line too
    ++i;
  }
  return n;
}

std::size_t FormatCrashRestarts(const std::int64_t* earlier, std::size_t count, std::int64_t now, char* out,
                                std::size_t capacity) {
  std::size_t used = 0;
  auto put = [&](std::int64_t t) {
    char digits[24];
    std::size_t d = 0;
    std::uint64_t v = t < 0 ? 0 : static_cast<std::uint64_t>(t);
    do {
      digits[d++] = static_cast<char>('0' + v % 10);
      v /= 10;
    } while (v != 0);
    if (used + d + 2 > capacity) return false;
    while (d > 0) out[used++] = digits[--d];
    out[used++] = '\r';
    out[used++] = '\n';
    return true;
  };
  // The newest kCrashRestartsKept - 1 of the last hour, then now.
  std::size_t skip = 0, recent = 0;
  for (std::size_t i = 0; i < count; ++i) recent += InLastHour(earlier[i], now) ? 1 : 0;
  if (recent + 1 > kCrashRestartsKept) skip = recent + 1 - kCrashRestartsKept;
  for (std::size_t i = 0; i < count; ++i) {
    if (!InLastHour(earlier[i], now)) continue;
    if (skip > 0) {
      --skip;
      continue;
    }
    if (!put(earlier[i])) return 0;
  }
  return put(now) ? used : 0;
}

}  // namespace vx
