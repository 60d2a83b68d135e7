// The registry kept in a folder. Layout (also in README.md):
//   <root>/HKEY_CURRENT_USER/<key>/<subkey>/...    one folder per key
//   <key folder>/<value name>=<type>                one file per value
// A value file holds exactly the value's bytes; <type> is REG_BINARY,
// REG_SZ, REG_EXPAND_SZ, REG_DWORD, REG_MULTI_SZ, REG_QWORD, REG_NONE or a
// decimal type number. Characters a file name cannot hold (and '%', '=')
// are written as %XX of their UTF-8 bytes. Names compare case-insensitively
// and keep the spelling they were created with.
#include <algorithm>
#include <filesystem>
#include <system_error>

#include "platform/Files.h"
#include "platform/Registry.h"

namespace fs = std::filesystem;

namespace vx {
namespace {

constexpr char kHex[] = "0123456789ABCDEF";

std::string Escape(WView name) {
  const std::string utf8 = ToUtf8(name);
  std::string out;
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    const auto c = static_cast<unsigned char>(utf8[i]);
    const bool last = i + 1 == utf8.size();
    const bool bad = c < 0x20 || c == 0x7F || std::string_view("%=/\\:*?\"<>|").find(static_cast<char>(c)) !=
                                                   std::string_view::npos;
    // Windows drops trailing dots and blanks; a name of dots only is special.
    const bool edge = (last && (c == '.' || c == ' ')) || (i == 0 && c == '.');
    if (bad || edge) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

WStr Unescape(std::string_view s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size() + 0 && HexDigit(s[i + 1]) >= 0 && HexDigit(s[i + 2]) >= 0) {
      out += static_cast<char>(HexDigit(s[i + 1]) * 16 + HexDigit(s[i + 2]));
      i += 2;
    } else {
      out += s[i];
    }
  }
  return FromUtf8(out);
}

struct TypeName {
  RegType type;
  const char* name;
};
constexpr TypeName kTypes[] = {{RegType::None, "REG_NONE"},          {RegType::String, "REG_SZ"},
                               {RegType::ExpandString, "REG_EXPAND_SZ"}, {RegType::Binary, "REG_BINARY"},
                               {RegType::DWord, "REG_DWORD"},        {RegType::MultiString, "REG_MULTI_SZ"},
                               {RegType::QWord, "REG_QWORD"}};

std::string TypeText(RegType t) {
  for (const auto& k : kTypes) {
    if (k.type == t) return k.name;
  }
  return std::to_string(static_cast<std::uint32_t>(t));
}

std::optional<RegType> ParseType(std::string_view s) {
  for (const auto& k : kTypes) {
    if (s == k.name) return k.type;
  }
  if (s.empty() || s.size() > 9 || s.find_first_not_of("0123456789") != std::string_view::npos) return std::nullopt;
  return static_cast<RegType>(std::stoul(std::string(s)));
}

fs::path PathOf(const std::string& utf8) {
  return fs::path(std::u8string(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
}

std::string Utf8Of(const fs::path& p) {
  const std::u8string s = p.u8string();
  return std::string(reinterpret_cast<const char*>(s.data()), s.size());
}

WStr SystemPath(const fs::path& p) { return FromUtf8(Utf8Of(fs::path(p).make_preferred())); }

struct ValueFile {
  fs::path path;
  WStr name;
  RegType type;
};

// The files of a key folder that hold values named `name`, newest first.
std::vector<ValueFile> FindValueFiles(const fs::path& key, WView name) {
  std::vector<ValueFile> found;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(key, ec)) {
    if (!entry.is_regular_file(ec)) continue;
    const std::string file = Utf8Of(entry.path().filename());
    const std::size_t eq = file.rfind('=');
    if (eq == std::string::npos) continue;
    auto type = ParseType(std::string_view(file).substr(eq + 1));
    if (!type) continue;  // e.g. an interrupted write's temporary file
    WStr decoded = Unescape(std::string_view(file).substr(0, eq));
    if (SameTextIgnoreCase(decoded, name)) found.push_back({entry.path(), std::move(decoded), *type});
  }
  if (found.size() > 1) {
    std::sort(found.begin(), found.end(), [](const ValueFile& a, const ValueFile& b) {
      std::error_code e1, e2;
      return fs::last_write_time(a.path, e1) > fs::last_write_time(b.path, e2);
    });
  }
  return found;
}

}  // namespace

DirRegistry::DirRegistry(std::string rootFolder) : root_(std::move(rootFolder)) {}

std::optional<std::string> DirRegistry::KeyFolder(RegRoot root, WView path, bool create) {
  const char* rootName = root == HKEY_CURRENT_USER_    ? "HKEY_CURRENT_USER"
                         : root == HKEY_LOCAL_MACHINE_ ? "HKEY_LOCAL_MACHINE"
                                                       : nullptr;
  if (rootName == nullptr || root_.empty()) return std::nullopt;
  fs::path folder = PathOf(root_) / rootName;
  std::error_code ec;
  if (create) {
    fs::create_directories(folder, ec);
    if (ec) return std::nullopt;
  } else if (!fs::is_directory(folder, ec)) {
    return std::nullopt;
  }
  std::size_t pos = 0;
  while (pos <= path.size()) {
    std::size_t end = path.find(u'\\', pos);
    if (end == WView::npos) end = path.size();
    const WView part = path.substr(pos, end - pos);
    pos = end + 1;
    if (part.empty()) continue;
    std::optional<fs::path> match;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
      if (entry.is_directory(ec) && SameTextIgnoreCase(Unescape(Utf8Of(entry.path().filename())), part)) {
        match = entry.path();
        break;
      }
    }
    if (!match) {
      if (!create) return std::nullopt;
      match = folder / PathOf(Escape(part));
      fs::create_directory(*match, ec);
      if (ec && !fs::is_directory(*match)) return std::nullopt;
    }
    folder = *match;
  }
  return Utf8Of(folder);
}

bool DirRegistry::CreateKey(RegRoot root, WView path) { return KeyFolder(root, path, true).has_value(); }

bool DirRegistry::KeyExists(RegRoot root, WView path) { return KeyFolder(root, path, false).has_value(); }

std::optional<RegValue> DirRegistry::QueryValue(RegRoot root, WView path, WView name) {
  auto key = KeyFolder(root, path, false);
  if (!key) return std::nullopt;
  for (const auto& v : FindValueFiles(PathOf(*key), name)) {
    auto data = ReadWholeFile(SystemPath(v.path));
    if (data) return RegValue{v.type, std::move(*data)};
  }
  return std::nullopt;
}

bool DirRegistry::SetValue(RegRoot root, WView path, WView name, RegType type, std::span<const std::uint8_t> data) {
  auto key = KeyFolder(root, path, false);
  if (!key) return false;
  const fs::path folder = PathOf(*key);
  const auto existing = FindValueFiles(folder, name);
  const WStr spelling = existing.empty() ? WStr(name) : existing.front().name;
  const fs::path target = folder / PathOf(Escape(spelling) + "=" + TypeText(type));
  if (!WriteFileAtomic(SystemPath(target), data)) return false;
  // A value that changed type leaves its old file behind until now.
  for (const auto& v : existing) {
    if (v.path != target) {
      std::error_code ec;
      fs::remove(v.path, ec);
    }
  }
  return true;
}

bool DirRegistry::DeleteValue(RegRoot root, WView path, WView name) {
  auto key = KeyFolder(root, path, false);
  if (!key) return false;
  bool any = false;
  for (const auto& v : FindValueFiles(PathOf(*key), name)) {
    std::error_code ec;
    any = fs::remove(v.path, ec) || any;
  }
  return any;
}

std::optional<std::vector<RegNamedValue>> DirRegistry::EnumValues(RegRoot root, WView path) {
  auto key = KeyFolder(root, path, false);
  if (!key) return std::nullopt;
  std::vector<RegNamedValue> out;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(PathOf(*key), ec)) {
    if (!entry.is_regular_file(ec)) continue;
    const std::string file = Utf8Of(entry.path().filename());
    const std::size_t eq = file.rfind('=');
    if (eq == std::string::npos || !ParseType(std::string_view(file).substr(eq + 1))) continue;
    const WStr name = Unescape(std::string_view(file).substr(0, eq));
    // A value with two type files is listed once, as QueryValue reads it.
    if (std::any_of(out.begin(), out.end(), [&](const RegNamedValue& v) { return SameTextIgnoreCase(v.name, name); })) {
      continue;
    }
    auto value = QueryValue(root, path, name);
    if (!value) return std::nullopt;
    out.push_back({name, std::move(*value)});
  }
  if (ec) return std::nullopt;
  return out;
}

}  // namespace vx
