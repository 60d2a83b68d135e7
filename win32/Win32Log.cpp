// The log file on Win32: an append handle that readers may open beside it
// (a user copying the log while the monitor runs) and that a rename may move.
#include <windows.h>
#include <shlobj.h>

#include <string>

#include "platform/Log.h"

namespace vx::detail {
namespace {
std::wstring Wide(WView s) { return std::wstring(reinterpret_cast<const wchar_t*>(s.data()), s.size()); }
}  // namespace

void* OpenAppendFile(WView path, std::uint64_t& size) {
  HANDLE h = ::CreateFileW(Wide(path).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return nullptr;
  LARGE_INTEGER n{};
  size = ::GetFileSizeEx(h, &n) ? static_cast<std::uint64_t>(n.QuadPart) : 0;
  return h;
}

bool AppendToFile(void* file, const char* data, std::size_t size) {
  DWORD written = 0;
  return ::WriteFile(static_cast<HANDLE>(file), data, static_cast<DWORD>(size), &written, nullptr) &&
         written == size;
}

void CloseAppendFile(void* file) { ::CloseHandle(static_cast<HANDLE>(file)); }

bool ReplaceFileByRename(WView from, WView to) {
  return ::MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

bool TruncateFile(WView path) {
  // A viewer reading the log shares writing (the monitor held it for
  // writing when the viewer opened it), so the truncation is allowed.
  HANDLE h = ::CreateFileW(Wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  ::CloseHandle(h);
  return true;
}

WStr PlatformAppDataFolder() {
  wchar_t path[MAX_PATH + 1] = {};
  if (FAILED(::SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, path))) {
    // Without the shell folder the temporary folder still takes the log.
    ::GetTempPathW(MAX_PATH, path);
  }
  std::u16string r(reinterpret_cast<const char16_t*>(path));
  while (!r.empty() && (r.back() == u'\\' || r.back() == u'/')) r.pop_back();
  return r + u"\\VXMon";
}

double PlatformLocalOleDate(std::int64_t systemMicros) {
  // FILETIME counts 100 ns from 1601; the Unix epoch is 11644473600 s later.
  const ULONGLONG ticks = static_cast<ULONGLONG>(systemMicros) * 10 + 116444736000000000ULL;
  FILETIME utc{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
  SYSTEMTIME u{}, l{};
  if (!::FileTimeToSystemTime(&utc, &u) || !::SystemTimeToTzSpecificLocalTime(nullptr, &u, &l)) return 0;
  FILETIME local{};
  if (!::SystemTimeToFileTime(&l, &local)) return 0;
  const ULONGLONG lt = (static_cast<ULONGLONG>(local.dwHighDateTime) << 32) | local.dwLowDateTime;
  // OLE dates count days from 1899-12-30, 109205 days after 1601-01-01;
  // the sub-millisecond part is kept from the input.
  return (static_cast<double>(lt / 10000) + static_cast<double>(systemMicros % 1000) / 1000.0) / 86400000.0 -
         109205.0;
}

std::uint32_t PlatformThreadId() { return ::GetCurrentThreadId(); }

}  // namespace vx::detail
