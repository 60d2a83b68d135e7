#pragma once
// The language set the monitor window carries with it.
#include <cstdint>
#include <span>
#include <vector>

#include "platform/Text.h"

namespace vx {

enum class EmbeddedLanguage { Chinese, English };

inline constexpr char16_t kEmbeddedChineseName[] = u"CH";
inline constexpr char16_t kEmbeddedEnglishName[] = u"US";

std::span<const char16_t* const> EmbeddedKeyList();
std::span<const char16_t* const> EmbeddedTableLines(EmbeddedLanguage language);

// The set in the language resource format: the key list, then "CH" and "US".
const std::vector<std::uint8_t>& EmbeddedLanguageResource();

}  // namespace vx
