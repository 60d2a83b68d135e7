#pragma once
// UTF-16 texts are the system's own texts (records, registry names, captions).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vx {

using WStr = std::u16string;
using WView = std::u16string_view;

std::string ToUtf8(WView s);
WStr FromUtf8(std::string_view s);

// Decimal text of an integer, as the system writes numbers into names.
WStr IntToWStr(long long v);

// ASCII-only case folding, enough for the keys and names the system compares.
WStr AsciiUpper(WView s);
bool SameTextIgnoreCase(WView a, WView b);

// Fixed UTF-16 arrays inside records: a text shorter than the array ends with
// a zero unit; a text that fills the array has none.
WStr ReadFixedText(const char16_t* units, std::size_t capacity);
// Writes at most capacity-1 units plus a terminator; units after the
// terminator keep their bytes. Returns false when the text was cut.
bool WriteFixedText(char16_t* units, std::size_t capacity, WView text);

template <std::size_t N>
WStr ReadFixed(const char16_t (&units)[N]) { return ReadFixedText(units, N); }
template <std::size_t N>
bool WriteFixed(char16_t (&units)[N], WView text) { return WriteFixedText(units, N, text); }

}  // namespace vx
