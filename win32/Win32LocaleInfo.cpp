// Locale queries through the Win32 national language support.
#include <windows.h>

#include <vector>

#include "platform/LocaleInfo.h"

namespace vx::detail {
namespace {

class Win32LocaleInfo final : public ILocaleInfo {
 public:
  LocaleId GetUserDefaultLCID() override { return ::GetUserDefaultLCID(); }

  bool GetLocaleInfoW(LocaleId locale, LocaleValue value, std::size_t maxChars, WStr& out) override {
    out.clear();
    if (maxChars == 0 || maxChars > 0x10000) return false;
    std::vector<wchar_t> buf(maxChars, L'\0');
    const int n = ::GetLocaleInfoW(locale, static_cast<LCTYPE>(value), buf.data(), static_cast<int>(maxChars));
    if (n <= 0) return false;
    // n counts the terminator.
    out.assign(reinterpret_cast<const char16_t*>(buf.data()), static_cast<std::size_t>(n - 1));
    return true;
  }

  std::uint16_t GetSystemDefaultLangID() override { return ::GetSystemDefaultLangID(); }

  void EnumSystemLocalesW(const std::function<bool(WView)>& visit) override {
    // The enumeration callback has no context argument; the visitor of the
    // running enumeration is kept per thread.
    thread_local const std::function<bool(WView)>* current = nullptr;
    const auto* saved = current;
    current = &visit;
    ::EnumSystemLocalesW(
        [](LPWSTR name) -> BOOL {
          if (current == nullptr || name == nullptr) return FALSE;
          return (*current)(WView(reinterpret_cast<const char16_t*>(name))) ? TRUE : FALSE;
        },
        LCID_SUPPORTED);
    current = saved;
  }
};

}  // namespace

ILocaleInfo& PlatformLocaleInfo() {
  static Win32LocaleInfo info;
  return info;
}

}  // namespace vx::detail
