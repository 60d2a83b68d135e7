#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "device/kwKeyCode.h"

namespace vx {
namespace {

struct LookupCase {
  std::uint32_t vk;
  std::int32_t flag;
  std::uint32_t hid;
  const char* description;
};

void PrintTo(const LookupCase& c, std::ostream* os) {
  *os << "vk=0x" << std::hex << c.vk << " flag=" << std::dec << c.flag;
}

class KeyLookup : public ::testing::TestWithParam<LookupCase> {};

TEST_P(KeyLookup, GivesUsageAndDescription) {
  const LookupCase& c = GetParam();
  EXPECT_EQ(VKToHIDCode(c.vk, c.flag), c.hid);
  EXPECT_EQ(ToUtf8(VKToKeyDescription(c.vk, c.flag)), c.description);
}

INSTANTIATE_TEST_SUITE_P(
    NormalAndExtendedVariants, KeyLookup,
    ::testing::Values(
        // Keys that exist twice: keypad usage normal, grey-key usage extended.
        LookupCase{0x21, 0, 0x61, "PAGE UP"}, LookupCase{0x21, 1, 0x4B, "PAGE UP"},
        LookupCase{0x21, 224, 0x61, "PAGE UP"}, LookupCase{0x21, 225, 0x4B, "PAGE UP"},
        LookupCase{0x0D, 0, 0x28, "ENTER"}, LookupCase{0x0D, 225, 0x58, "ENTER"},
        LookupCase{0x2E, 0, 0x63, "Keypad DEL"}, LookupCase{0x2E, 1, 0x4C, "DEL"},
        LookupCase{0x2D, 224, 0x62, "Keypad 0 Insert"}, LookupCase{0x2D, 225, 0x49, "INS"},
        LookupCase{0x22, 1, 0x4E, "PAGE DOWN"}, LookupCase{0x23, 1, 0x4D, "END"},
        LookupCase{0x24, 1, 0x4A, "HOME"}, LookupCase{0x25, 1, 0x50, "LEFT ARROW"},
        LookupCase{0x26, 1, 0x52, "UP ARROW"}, LookupCase{0x27, 1, 0x4F, "RIGHT ARROW"},
        LookupCase{0x28, 1, 0x51, "DOWN ARROW"}, LookupCase{0x28, 0, 0x5A, "DOWN ARROW"},
        // A first-table row marked extended answers both flags.
        LookupCase{0x5B, 0, 0xE3, "L WIN"}, LookupCase{0x5B, 1, 0xE3, "L WIN"},
        LookupCase{0x5B, 225, 0xE3, "L WIN"}, LookupCase{0x2C, 1, 0x46, "PRINT SCREEN"},
        LookupCase{0xA1, 1, 0xE5, "R SHIFT"}, LookupCase{0x6F, 1, 0x54, "Divide"},
        // A normal row asked for extended falls to the second table's default.
        LookupCase{0xA0, 1, 0, "UNDEFINED_0A0"}, LookupCase{0xA0, 0, 0xE1, "L SHIFT"},
        LookupCase{0x41, 1, 0, "UNDEFINED_041"},
        // Any other flag selects the second table directly.
        LookupCase{0x41, 2, 0, "UNDEFINED_041"}, LookupCase{0x21, 2, 0x4B, "PAGE UP"},
        LookupCase{0x5B, 2, 0, "UNDEFINED_05B"}, LookupCase{0x21, -1, 0x4B, "PAGE UP"}));

INSTANTIATE_TEST_SUITE_P(
    RowsAndRanges, KeyLookup,
    ::testing::Values(
        // Consumer-page usages above 255.
        LookupCase{0xA6, 0, 0x224, "BROWSER_BACK"}, LookupCase{0xB4, 1, 0x18A, "LAUNCH_MAIL"},
        // Generic modifiers: a name but no usage.
        LookupCase{0x10, 0, 0, "SHIFT"}, LookupCase{0x11, 0, 0, "CTRL"},
        LookupCase{0x12, 0, 0, "ALT"},
        // Ends of the rule-built ranges.
        LookupCase{0x30, 0, 0x27, "0"}, LookupCase{0x31, 0, 0x1E, "1"}, LookupCase{0x39, 0, 0x26, "9"},
        LookupCase{0x41, 0, 0x04, "A"}, LookupCase{0x5A, 0, 0x1D, "Z"},
        LookupCase{0x60, 0, 0x62, "NUMPAD 0"}, LookupCase{0x61, 0, 0x59, "NUMPAD 1"},
        LookupCase{0x69, 0, 0x61, "NUMPAD 9"},
        LookupCase{0x70, 0, 0x3A, "F1"}, LookupCase{0x7B, 0, 0x45, "F12"},
        LookupCase{0x7C, 0, 0x68, "F13"}, LookupCase{0x87, 0, 0x73, "F24"},
        // Texts made of punctuation.
        LookupCase{0xC0, 0, 0x35, "~`"}, LookupCase{0xDC, 0, 0x31, "\\|"},
        LookupCase{0xDE, 0, 0x34, "'\""}, LookupCase{0xE2, 0, 0, "\\|"},
        // Placeholders and default rows.
        LookupCase{0x05, 0, 0, "Undefined"}, LookupCase{0xE0, 0, 0, "Undefined"},
        LookupCase{0x9F, 0, 0, "Undefined"}, LookupCase{0x3A, 0, 0, "Undefined"},
        LookupCase{0xE5, 0, 0, "UNDEFINED_0E5"}, LookupCase{0xB8, 0, 0, "UNDEFINED_0B8"},
        LookupCase{0xFE, 0, 0, "UNDEFINED_0FE"},
        // Out of range: no row at all.
        LookupCase{0xFF, 0, 0, ""}, LookupCase{0xFF, 1, 0, ""}, LookupCase{0x100, 0, 0, ""},
        LookupCase{0xFFFFFFFFu, 0, 0, ""}));

TEST(KeyTables, DefaultRowsNameTheirIndexInThreeHexDigits) {
  const auto& normal = KeyboardInfoTable();
  const auto& ext = ExtendedKeyboardInfoTable();
  ASSERT_EQ(normal.size(), 255u);
  EXPECT_EQ(ToUtf8(normal[0xB8].VKName), "VK_UNDEFINED_0B8");
  EXPECT_EQ(normal[0xB8].Extended, 224);
  EXPECT_EQ(normal[0xB8].HIDCode, -1);
  EXPECT_EQ(ToUtf8(ext[0x41].VKName), "VK_UNDEFINED_041");
  EXPECT_EQ(ToUtf8(ext[0x41].KeyDescription), "UNDEFINED_041");
  EXPECT_EQ(ext[0x41].Extended, 225);
}

TEST(KeyTables, EveryRowCarriesItsIndexAndNoScanCode) {
  for (const auto* table : {&KeyboardInfoTable(), &ExtendedKeyboardInfoTable()}) {
    for (std::size_t i = 0; i < table->size(); ++i) {
      EXPECT_EQ((*table)[i].VKCode, static_cast<std::int32_t>(i));
      EXPECT_EQ((*table)[i].ScanCode, 0);
      EXPECT_FALSE((*table)[i].VKName.empty());
    }
  }
}

TEST(KeyTables, ExtendedTableHoldsOnlyTheDoubledKeysAndAllAreMarkedExtended) {
  const std::set<std::size_t> defined = {0x0D, 0x21, 0x22, 0x23, 0x24, 0x25,
                                         0x26, 0x27, 0x28, 0x2D, 0x2E};
  const auto& ext = ExtendedKeyboardInfoTable();
  for (std::size_t i = 0; i < ext.size(); ++i) {
    EXPECT_EQ(ext[i].Extended, 225) << i;
    EXPECT_EQ(ext[i].HIDCode != -1, defined.count(i) == 1) << i;
  }
  EXPECT_EQ(ToUtf8(ext[0x2D].VKName), "VK_INSERT");
}

TEST(KeyTables, PlaceholdersHaveTwoDigitNames) {
  const auto& normal = KeyboardInfoTable();
  const std::vector<std::pair<std::size_t, const char*>> names = {
      {0x05, "VK_UNDEFINED_05"}, {0x0A, "VK_UNDEFINED_0A"}, {0x1F, "VK_UNDEFINED_1F"},
      {0x40, "VK_UNDEFINED_40"}, {0x5E, "VK_UNDEFINED_5E"}, {0x88, "VK_UNDEFINED_88"},
      {0x92, "VK_UNDEFINED_92"}, {0xE0, "VK_UNDEFINED_E0"}};
  for (const auto& [code, name] : names) {
    EXPECT_EQ(ToUtf8(normal[code].VKName), name);
    EXPECT_EQ(normal[code].Extended, 224);
  }
  // Neighbours of the ranges keep their own rows.
  EXPECT_EQ(ToUtf8(normal[0x1B].VKName), "VK_ESCAPE");
  EXPECT_EQ(ToUtf8(normal[0x41].VKName), "VK_A");
  EXPECT_EQ(ToUtf8(normal[0x90].VKName), "VK_NUMLOCK");
  EXPECT_EQ(ToUtf8(normal[0xE1].VKName), "VK_OEM_AX");
}

TEST(KeyTables, ConcurrentFirstLookupsAgree) {
  std::vector<std::thread> threads;
  std::vector<std::uint32_t> results(8);
  for (std::size_t t = 0; t < results.size(); ++t) {
    threads.emplace_back([&results, t] { results[t] = VKToHIDCode(0xA6, 1); });
  }
  for (auto& th : threads) th.join();
  for (auto r : results) EXPECT_EQ(r, 0x224u);
}

TEST(ModifiersToHIDTest, MapsEachBitAndDropsOthers) {
  const std::vector<std::pair<std::uint8_t, std::uint8_t>> cases = {
      {0, 0}, {1, 0x04}, {2, 0x01}, {4, 0x02}, {8, 0x08}, {3, 0x05},
      {6, 0x03}, {15, 0x0F}, {0xF0, 0}, {0xFF, 0x0F}, {0x19, 0x0C}};
  for (const auto& [in, out] : cases) EXPECT_EQ(ModifiersToHID(in), out) << int(in);
}

}  // namespace
}  // namespace vx
