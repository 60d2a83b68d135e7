#pragma once
#include <cstdint>
#include <functional>

namespace vx {

// GetSystemDefaultLangID (Windows); on Linux derived from the POSIX locale
// (LC_ALL, LC_MESSAGES, LANG): zh_CN -> 0x0804, zh_TW -> 0x0404, en_US -> 0x0409.
std::uint16_t SystemDefaultLangID();
void SetSystemDefaultLangIDSource(std::function<std::uint16_t()> source);

}  // namespace vx
