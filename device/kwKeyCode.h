#pragma once
// Key code tables: Windows virtual-key codes (plus extended flag) to USB HID
// usages and to the readable key names used in recording texts.
#include <array>
#include <cstddef>
#include <cstdint>

#include "platform/Text.h"

namespace vx {

struct TKeyboardInfoTable {
  WStr VKName;
  std::int32_t VKCode = 0;
  std::int32_t ScanCode = 0;
  std::int32_t Extended = 0;  // kKeyNormal or kKeyExtended
  std::int32_t HIDCode = -1;  // -1: the key has no HID usage
  WStr KeyDescription;
};

inline constexpr std::size_t kKeyTableRows = 255;  // codes 0..254; 0xFF has no row
inline constexpr std::int32_t kKeyNormal = 224;    // 0xE0
inline constexpr std::int32_t kKeyExtended = 225;  // 0xE1

using TKeyboardInfoTables = std::array<TKeyboardInfoTable, kKeyTableRows>;

// Both tables are built once, on first use, under the language's thread-safe
// static initialisation; afterwards they are only read, from any thread.
const TKeyboardInfoTables& KeyboardInfoTable();
const TKeyboardInfoTables& ExtendedKeyboardInfoTable();
// Builds both tables now (idempotent); lookups do it on demand.
void BuildKeyboardInfoTables();

// Extended flag: 0 or 224 normal, 1 or 225 extended; any other value selects
// the extended table directly. Returns 0 for keys without a HID usage and for
// codes above 254.
std::uint32_t VKToHIDCode(std::uint32_t vk, std::int32_t extended);
// Empty for codes above 254.
WStr VKToKeyDescription(std::uint32_t vk, std::int32_t extended);

// Hot-key modifier bits (1 Alt, 2 Ctrl, 4 Shift, 8 Win) to the HID keyboard
// modifier byte (Ctrl 0x01, Shift 0x02, Alt 0x04, Win 0x08); other bits drop.
std::uint8_t ModifiersToHID(std::uint8_t modifiers);

}  // namespace vx
