#pragma once
// A read-only INI file that answers like GetPrivateProfileStringW for what
// the system uses: section and key names compare case-insensitively, the
// first match wins, a missing file reads as empty.
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/Text.h"

namespace vx {

class IniFile {
 public:
  IniFile() = default;
  // Reads the file (UTF-16LE with BOM, UTF-8 with or without BOM).
  static IniFile Load(WView path);
  static IniFile Parse(std::span<const std::uint8_t> bytes);

  std::optional<WStr> Find(WView section, WView key) const;
  WStr ReadString(WView section, WView key, WView def = {}) const;
  // Decimal (or 0x/$ hexadecimal) integer; def when missing or not a number.
  long long ReadInteger(WView section, WView key, long long def = 0) const;
  // Key names of the section in file order (duplicates included).
  std::vector<WStr> SectionKeys(WView section) const;
  bool HasSection(WView section) const;

 private:
  struct Entry {
    WStr key;
    WStr value;
  };
  struct Section {
    WStr name;
    std::vector<Entry> entries;
  };
  const Section* FindSection(WView section) const;
  std::vector<Section> sections_;
};

// The file's bytes with key=value set in the section (the first match is
// replaced; otherwise the key is appended to the section, or the section to
// the file), in the file's own encoding; every other line kept as it was.
std::vector<std::uint8_t> IniWithValue(std::span<const std::uint8_t> bytes, WView section, WView key, WView value);
// Writes it through a temporary file (WriteFileAtomic); false on failure.
bool WriteIniValue(WView path, WView section, WView key, WView value);

// Integer text as the profile options read it: optional sign, decimal or
// 0x/$ hexadecimal, surrounding blanks ignored; nullopt otherwise.
std::optional<long long> ParseIniInteger(WView text);

}  // namespace vx
