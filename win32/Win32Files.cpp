// The file layer on Win32.
#include <windows.h>

#include <algorithm>
#include <random>
#include <string>

#include "platform/Files.h"
#include "win32/Win32Handle.h"

namespace vx {
namespace {

std::wstring Wide(WView s) { return std::wstring(reinterpret_cast<const wchar_t*>(s.data()), s.size()); }

DWORD Attributes(WView path) {
  if (path.empty()) return INVALID_FILE_ATTRIBUTES;
  return GetFileAttributesW(Wide(path).c_str());
}

bool WriteAll(HANDLE file, std::span<const std::uint8_t> bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 30));
    DWORD written = 0;
    if (!WriteFile(file, bytes.data() + done, chunk, &written, nullptr) || written == 0) return false;
    done += written;
  }
  return true;
}

}  // namespace

std::string NativePath(WView path) { return ToUtf8(path); }

WStr FromNativePath(const std::string& path) { return FromUtf8(path); }

bool FileExists(WView path) {
  const DWORD a = Attributes(path);
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool DirectoryExists(WView path) {
  const DWORD a = Attributes(path);
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool CreateDirectoryOneLevel(WView path) {
  const WStr p = ExcludeTrailingBackslash(path);
  return !p.empty() && CreateDirectoryW(Wide(p).c_str(), nullptr) != 0;
}

std::optional<std::vector<std::uint8_t>> ReadWholeFile(WView path) {
  if (path.empty()) return std::nullopt;
  win::UniqueHandle file = win::FileHandle(CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return std::nullopt;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file.get(), &size) || size.QuadPart < 0 || size.QuadPart > 0x7FFFFFFF) return std::nullopt;
  std::vector<std::uint8_t> data(static_cast<std::size_t>(size.QuadPart));
  std::size_t done = 0;
  while (done < data.size()) {
    DWORD got = 0;
    if (!ReadFile(file.get(), data.data() + done, static_cast<DWORD>(data.size() - done), &got, nullptr)) {
      return std::nullopt;
    }
    if (got == 0) break;  // shrank while we read
    done += got;
  }
  data.resize(done);
  return data;
}

bool WriteFileAtomic(WView path, std::span<const std::uint8_t> bytes) {
  if (path.empty() || path.back() == u'\\' || path.back() == u'/') return false;
  std::random_device rd;
  const WStr tmp = WStr(path) + u".tmp" + IntToWStr(rd() & 0xFFFFFF);
  {
    win::UniqueHandle file = win::FileHandle(CreateFileW(Wide(tmp).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                                        FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    if (!WriteAll(file.get(), bytes) || !FlushFileBuffers(file.get())) {
      file.reset();
      DeleteFileW(Wide(tmp).c_str());
      return false;
    }
  }
  // A reader, a virus scanner or (under wine) any open handle can hold the
  // old file for a moment, and replacing it then fails with a sharing or
  // access error: try again for up to half a second before giving up.
  constexpr int kReplaceAttempts = 20;
  constexpr DWORD kReplacePauseMs = 25;
  for (int attempt = 1;; ++attempt) {
    if (MoveFileExW(Wide(tmp).c_str(), Wide(path).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      return true;
    }
    const DWORD error = GetLastError();
    if ((error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) || attempt == kReplaceAttempts) break;
    Sleep(kReplacePauseMs);
  }
  DeleteFileW(Wide(tmp).c_str());
  return false;
}

bool DeleteFileAt(WView path) { return !path.empty() && DeleteFileW(Wide(path).c_str()) != 0; }

}  // namespace vx
