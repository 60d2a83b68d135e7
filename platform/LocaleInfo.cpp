#include "platform/LocaleInfo.h"

#include <atomic>

namespace vx {
namespace detail {
ILocaleInfo& PlatformLocaleInfo();
}  // namespace detail

namespace {
std::atomic<ILocaleInfo*> g_source{nullptr};
}  // namespace

ILocaleInfo& GetLocaleInfoSource() {
  ILocaleInfo* s = g_source.load();
  return s != nullptr ? *s : detail::PlatformLocaleInfo();
}

void SetLocaleInfoSource(ILocaleInfo* source) { g_source.store(source); }

WStr ReadLocaleValue(LocaleId locale, LocaleValue value, std::size_t maxChars) {
  WStr out;
  if (!GetLocaleInfoSource().GetLocaleInfoW(locale, value, maxChars, out)) return {};
  return out;
}

}  // namespace vx
