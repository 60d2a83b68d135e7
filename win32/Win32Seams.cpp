// The small seams on Win32: debug output, message box, clocks, locale and
// the shell folders.
#include <windows.h>
#include <shlobj.h>

#include "platform/SeamsInternal.h"

namespace vx::detail {
namespace {
WStr FromWide(const wchar_t* s) { return WStr(reinterpret_cast<const char16_t*>(s)); }
std::wstring ToWide(WView s) { return std::wstring(reinterpret_cast<const wchar_t*>(s.data()), s.size()); }
}  // namespace

void PlatformDebugOutput(WView text) { OutputDebugStringW(ToWide(text).c_str()); }

void PlatformMessageBox(WView text, WView caption, bool errorIcon) {
  MessageBoxW(nullptr, ToWide(text).c_str(), ToWide(caption).c_str(),
              MB_OK | (errorIcon ? MB_ICONERROR : 0u));
}

std::uint32_t PlatformTickCount() { return GetTickCount(); }

double PlatformNowAsOleDate() {
  SYSTEMTIME st;
  GetLocalTime(&st);
  double date = 0;
  if (!SystemTimeToVariantTime(&st, &date)) return 0;
  // SystemTimeToVariantTime drops the milliseconds.
  return date + st.wMilliseconds / 86400000.0;
}

std::uint16_t PlatformSystemDefaultLangID() { return GetSystemDefaultLangID(); }

WStr PlatformDocumentsFolder() {
  wchar_t path[MAX_PATH + 1] = {};
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, path))) return WStr();
  WStr r = FromWide(path);
  while (!r.empty() && (r.back() == u'\\' || r.back() == u'/')) r.pop_back();
  return r;
}

WStr PlatformExecutableFolder() {
  std::wstring buf(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) return u".\\";
    if (n < buf.size()) {
      buf.resize(n);
      break;
    }
    buf.resize(buf.size() * 2);
  }
  const std::size_t slash = buf.find_last_of(L"\\/");
  return FromWide(buf.substr(0, slash + 1).c_str());
}

}  // namespace vx::detail
