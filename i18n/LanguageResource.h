#pragma once
// The language resource format of "kw.local" and of the set stored with a
// form: 32-bit little-endian lengths in UTF-16 code units, each followed by
// that many UTF-16LE units, no terminators.
//   key list length, key list text, language count,
//   per language: name length, name, table length, table text
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "platform/Text.h"

namespace vx {

struct LanguageResourceEntry {
  WStr name;
  WStr tableText;
};

struct LanguageResource {
  bool hasKeyList = false;  // false when even the key list could not be read
  WStr keyListText;
  std::vector<LanguageResourceEntry> languages;
  // Empty when the whole stream was well formed; else what went wrong.
  std::string problem;
};

// Never reads outside bytes and never allocates more than the bytes hold: a
// cut or malformed stream yields what was read before the fault.
LanguageResource ReadLanguageResource(std::span<const std::uint8_t> bytes);

std::vector<std::uint8_t> WriteLanguageResource(WView keyListText,
                                                std::span<const LanguageResourceEntry> languages);

// Lines of a text: CR LF, CR, LF, VT, FF, U+2028 and U+2029 each end a line
// (CR LF once); a break at the very end adds no empty line.
std::vector<WStr> SplitLines(WView text);
// Each line followed by CR LF.
WStr JoinLines(std::span<const WStr> lines);

}  // namespace vx
