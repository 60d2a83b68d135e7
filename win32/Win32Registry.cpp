// The registry seam on the Windows registry.
#include <windows.h>

#include <string>

#include "platform/Registry.h"
#include "win32/Win32Handle.h"

namespace vx {
namespace {

std::wstring Wide(WView s) { return std::wstring(reinterpret_cast<const wchar_t*>(s.data()), s.size()); }

HKEY RootHandle(RegRoot root) {
  if (root == HKEY_CURRENT_USER_) return HKEY_CURRENT_USER;
  if (root == HKEY_LOCAL_MACHINE_) return HKEY_LOCAL_MACHINE;
  return nullptr;
}

win::UniqueKey OpenKey(RegRoot root, WView path, bool create, REGSAM access) {
  win::UniqueKey key;
  const HKEY base = RootHandle(root);
  if (base == nullptr) return key;
  const std::wstring p = Wide(path);
  LSTATUS rc;
  if (create) {
    rc = RegCreateKeyExW(base, p.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr, key.put(), nullptr);
  } else {
    rc = RegOpenKeyExW(base, p.c_str(), 0, access, key.put());
  }
  if (rc != ERROR_SUCCESS) key.release();
  return key;
}

class Win32Registry final : public IRegistry {
 public:
  bool CreateKey(RegRoot root, WView path) override {
    return static_cast<bool>(OpenKey(root, path, true, KEY_ALL_ACCESS));
  }

  bool KeyExists(RegRoot root, WView path) override { return static_cast<bool>(OpenKey(root, path, false, KEY_READ)); }

  std::optional<RegValue> QueryValue(RegRoot root, WView path, WView name) override {
    win::UniqueKey key = OpenKey(root, path, false, KEY_READ);
    if (!key) return std::nullopt;
    const std::wstring n = Wide(name);
    // The value may grow between the size query and the read: retry.
    for (int attempt = 0; attempt < 4; ++attempt) {
      DWORD type = 0;
      DWORD size = 0;
      if (RegQueryValueExW(key.get(), n.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) {
        return std::nullopt;
      }
      RegValue v;
      v.type = static_cast<RegType>(type);
      v.data.resize(size);
      DWORD got = size;
      const LSTATUS rc = RegQueryValueExW(key.get(), n.c_str(), nullptr, &type, v.data.data(), &got);
      if (rc == ERROR_MORE_DATA) continue;
      if (rc != ERROR_SUCCESS) return std::nullopt;
      v.type = static_cast<RegType>(type);
      v.data.resize(got);
      return v;
    }
    return std::nullopt;
  }

  bool SetValue(RegRoot root, WView path, WView name, RegType type, std::span<const std::uint8_t> data) override {
    win::UniqueKey key = OpenKey(root, path, false, KEY_SET_VALUE);
    if (!key) return false;
    return RegSetValueExW(key.get(), Wide(name).c_str(), 0, static_cast<DWORD>(type), data.data(),
                          static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
  }

  bool DeleteValue(RegRoot root, WView path, WView name) override {
    win::UniqueKey key = OpenKey(root, path, false, KEY_SET_VALUE);
    if (!key) return false;
    return RegDeleteValueW(key.get(), Wide(name).c_str()) == ERROR_SUCCESS;
  }

  std::optional<std::vector<RegNamedValue>> EnumValues(RegRoot root, WView path) override {
    win::UniqueKey key = OpenKey(root, path, false, KEY_READ);
    if (!key) return std::nullopt;
    DWORD count = 0, maxName = 0;
    if (RegQueryInfoKeyW(key.get(), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, &maxName, nullptr,
                         nullptr, nullptr) != ERROR_SUCCESS) {
      return std::nullopt;
    }
    std::vector<RegNamedValue> out;
    std::wstring name(maxName + 1, L'\0');
    for (DWORD i = 0;; ++i) {
      DWORD len = static_cast<DWORD>(name.size());
      const LSTATUS rc = RegEnumValueW(key.get(), i, name.data(), &len, nullptr, nullptr, nullptr, nullptr);
      if (rc == ERROR_NO_MORE_ITEMS) break;
      if (rc == ERROR_MORE_DATA) {  // a longer name appeared since the query
        name.resize(name.size() * 2 + 256);
        --i;
        continue;
      }
      if (rc != ERROR_SUCCESS) return std::nullopt;
      const WStr n(reinterpret_cast<const char16_t*>(name.data()), len);
      auto value = QueryValue(root, path, n);
      if (!value) return std::nullopt;
      out.push_back({n, std::move(*value)});
    }
    return out;
  }
};

}  // namespace

IRegistry& PlatformRegistry() {
  static Win32Registry registry;
  return registry;
}

}  // namespace vx
