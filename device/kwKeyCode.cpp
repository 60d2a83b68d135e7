#include "device/kwKeyCode.h"

#include <string>
#include <string_view>

namespace vx {
namespace {

struct RowDef {
  std::uint8_t code;
  const char16_t* name;
  bool extended;
  std::int32_t hid;
  const char16_t* description;
};

constexpr std::int32_t kNone = -1;

// Keys with their own row in the normal table (rule-built ranges and the
// placeholders are added in code).
constexpr RowDef kNormalRows[] = {
    {0x00, u"VK_NULL", false, kNone, u"None"},
    {0x01, u"VK_LBUTTON", false, kNone, u"Mouse Left Click"},
    {0x02, u"VK_RBUTTON", false, kNone, u"Mouse Right Click"},
    {0x03, u"VK_CANCEL", false, kNone, u"Control Break"},
    {0x04, u"VK_MBUTTON", false, kNone, u"Mouse Middle Click"},
    {0x08, u"VK_BACK", false, 0x2A, u"BACKSPACE"},
    {0x09, u"VK_TAB", false, 0x2B, u"TAB"},
    {0x0C, u"VK_CLEAR", false, 0x9C, u"CLEAR"},
    {0x0D, u"VK_RETURN", false, 0x28, u"ENTER"},
    {0x10, u"VK_SHIFT", false, kNone, u"SHIFT"},
    {0x11, u"VK_CONTROL", false, kNone, u"CTRL"},
    {0x12, u"VK_MENU", false, kNone, u"ALT"},
    {0x13, u"VK_PAUSE", false, 0x48, u"PAUSE"},
    {0x14, u"VK_CAPITAL", false, 0x39, u"CAPS LOCK"},
    {0x1B, u"VK_ESCAPE", false, 0x29, u"ESC"},
    {0x20, u"VK_SPACE", false, 0x2C, u"SPACEBAR"},
    // Navigation keys carry the keypad usages; the grey-key variants are in
    // the extended table.
    {0x21, u"VK_PRIOR", false, 0x61, u"PAGE UP"},
    {0x22, u"VK_NEXT", false, 0x5B, u"PAGE DOWN"},
    {0x23, u"VK_END", false, 0x59, u"END"},
    {0x24, u"VK_HOME", false, 0x5F, u"HOME"},
    {0x25, u"VK_LEFT", false, 0x5C, u"LEFT ARROW"},
    {0x26, u"VK_UP", false, 0x60, u"UP ARROW"},
    {0x27, u"VK_RIGHT", false, 0x5E, u"RIGHT ARROW"},
    {0x28, u"VK_DOWN", false, 0x5A, u"DOWN ARROW"},
    {0x29, u"VK_SELECT", false, kNone, u"SELECT"},
    {0x2A, u"VK_PRINT", false, kNone, u"PRINT"},
    {0x2B, u"VK_EXECUTE", false, kNone, u"EXECUTE"},
    {0x2C, u"VK_SNAPSHOT", true, 0x46, u"PRINT SCREEN"},
    {0x2D, u"VK_NUMPAD0_INSERT", false, 0x62, u"Keypad 0 Insert"},
    {0x2E, u"VK_DELETE", false, 0x63, u"Keypad DEL"},
    {0x2F, u"VK_HELP", false, kNone, u"HELP"},
    {0x5B, u"VK_LWIN", true, 0xE3, u"L WIN"},
    {0x5C, u"VK_RWIN", true, 0xE7, u"R WIN"},
    {0x5D, u"VK_APP", true, 0x65, u"APP"},
    {0x6A, u"VK_MULTIPLY", false, 0x55, u"Multiply"},
    {0x6B, u"VK_ADD", false, 0x57, u"Add"},
    {0x6C, u"VK_SEPARATOR", false, 0x97, u"Separator"},
    {0x6D, u"VK_SUBTRACT", false, 0x56, u"Subtract"},
    {0x6E, u"VK_DECIMAL", false, 0x63, u"Decimal"},
    {0x6F, u"VK_DIVIDE", true, 0x54, u"Divide"},
    {0x90, u"VK_NUMLOCK", true, 0x53, u"NUM LOCK"},
    {0x91, u"VK_SCROLL", false, 0x47, u"Scroll Lock"},
    {0xA0, u"VK_LSHIFT", false, 0xE1, u"L SHIFT"},
    {0xA1, u"VK_RSHIFT", true, 0xE5, u"R SHIFT"},
    {0xA2, u"VK_LCONTROL", false, 0xE0, u"L CTRL"},
    {0xA3, u"VK_RCONTROL", true, 0xE4, u"R CTRL"},
    {0xA4, u"VK_LMENU", false, 0xE2, u"L ALT"},
    {0xA5, u"VK_RMENU", true, 0xE6, u"R ALT"},
    // Media and browser keys are consumer-page usages, some above 255.
    {0xA6, u"VK_BROWSER_BACK", true, 0x224, u"BROWSER_BACK"},
    {0xA7, u"VK_BROWSER_FORWARD", true, 0x225, u"BROWSER_FORWARD"},
    {0xA8, u"VK_BROWSER_REFRESH", true, 0x227, u"BROWSER_REFRESH"},
    {0xA9, u"VK_BROWSER_STOP", true, 0x226, u"BROWSER_STOP"},
    {0xAA, u"VK_BROWSER_SEARCH", true, 0x221, u"BROWSER_SEARCH"},
    {0xAB, u"VK_BROWSER_FAVORITES", true, 0x22A, u"BROWSER_FAVORITES"},
    {0xAC, u"VK_BROWSER_HOME", true, 0x223, u"BROWSER_HOME"},
    {0xAD, u"VK_VOLUME_MUTE", true, 0xE2, u"VOLUME_MUTE"},
    {0xAE, u"VK_VOLUME_DOWN", true, 0xEA, u"VOLUME_DOWN"},
    {0xAF, u"VK_VOLUME_UP", true, 0xE9, u"VOLUME_UP"},
    {0xB0, u"VK_MEDIA_NEXT_TRACK", true, 0xB5, u"MEDIA_NEXT_TRACK"},
    {0xB1, u"VK_MEDIA_PREV_TRACK", true, 0xB6, u"MEDIA_PREV_TRACK"},
    {0xB2, u"VK_MEDIA_STOP", true, 0xB7, u"MEDIA_STOP"},
    {0xB3, u"VK_MEDIA_PLAY_PAUSE", true, 0xCD, u"MEDIA_PLAY_PAUSE"},
    {0xB4, u"VK_LAUNCH_MAIL", true, 0x18A, u"LAUNCH_MAIL"},
    {0xB5, u"VK_LAUNCH_MEDIA_SELECT", true, 0x183, u"LAUNCH_MEDIA_SELECT"},
    {0xB6, u"VK_LAUNCH_APP1", true, 0x194, u"LAUNCH_APP1"},
    {0xB7, u"VK_LAUNCH_APP2", true, 0x192, u"LAUNCH_APP2"},
    {0xBA, u"VK_OEM_1", false, 0x33, u";:"},
    {0xBB, u"VK_OEM_PLUS", false, 0x2E, u"+="},
    {0xBC, u"VK_OEM_COMMA", false, 0x36, u",<"},
    {0xBD, u"VK_OEM_MINUS", false, 0x2D, u"-_"},
    {0xBE, u"VK_OEM_PERIOD", false, 0x37, u".>"},
    {0xBF, u"VK_OEM_2", false, 0x38, u"/?"},
    {0xC0, u"VK_OEM_3", false, 0x35, u"~`"},
    {0xDB, u"VK_OEM_4", false, 0x2F, u"[{"},
    {0xDC, u"VK_OEM_5", false, 0x31, u"\\|"},
    {0xDD, u"VK_OEM_6", false, 0x30, u"]}"},
    {0xDE, u"VK_OEM_7", false, 0x34, u"'\""},
    {0xDF, u"VK_OEM_8", false, kNone, u"None"},
    {0xE1, u"VK_OEM_AX", false, kNone, u"AX"},
    {0xE2, u"VK_OEM_102", false, kNone, u"\\|"},
};

constexpr RowDef kExtendedRows[] = {
    {0x0D, u"VK_RETURN", true, 0x58, u"ENTER"},
    {0x21, u"VK_PRIOR", true, 0x4B, u"PAGE UP"},
    {0x22, u"VK_NEXT", true, 0x4E, u"PAGE DOWN"},
    {0x23, u"VK_END", true, 0x4D, u"END"},
    {0x24, u"VK_HOME", true, 0x4A, u"HOME"},
    {0x25, u"VK_LEFT", true, 0x50, u"LEFT ARROW"},
    {0x26, u"VK_UP", true, 0x52, u"UP ARROW"},
    {0x27, u"VK_RIGHT", true, 0x4F, u"RIGHT ARROW"},
    {0x28, u"VK_DOWN", true, 0x51, u"DOWN ARROW"},
    {0x2D, u"VK_INSERT", true, 0x49, u"INS"},
    {0x2E, u"VK_DELETE", true, 0x4C, u"DEL"},
};

// Ranges of codes that are reserved by the platform (two-digit names).
struct Range {
  std::uint8_t first, last;
};
constexpr Range kPlaceholders[] = {
    {0x05, 0x07}, {0x0A, 0x0B}, {0x0E, 0x0F}, {0x15, 0x1A}, {0x1C, 0x1F}, {0x3A, 0x40},
    {0x5E, 0x5F}, {0x88, 0x8F}, {0x92, 0x9F}, {0xE0, 0xE0},
};

WStr Hex(unsigned value, int digits) {
  static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
  WStr out(static_cast<std::size_t>(digits), u'0');
  for (int i = digits - 1; i >= 0; --i) {
    out[static_cast<std::size_t>(i)] = kDigits[value & 0xF];
    value >>= 4;
  }
  return out;
}

WStr Ascii(std::string_view s) { return WStr(s.begin(), s.end()); }

// Appending keeps g++ 12 from a false -Wrestrict on `literal + string&&`.
WStr Cat(const char16_t* prefix, WView rest) {
  WStr out(prefix);
  out += rest;
  return out;
}

TKeyboardInfoTables DefaultRows(std::int32_t extended) {
  TKeyboardInfoTables t;
  for (std::size_t i = 0; i < kKeyTableRows; ++i) {
    const WStr digits = Hex(static_cast<unsigned>(i), 3);
    t[i] = TKeyboardInfoTable{Cat(u"VK_UNDEFINED_", digits), static_cast<std::int32_t>(i), 0, extended,
                              kNone, Cat(u"UNDEFINED_", digits)};
  }
  return t;
}

void Put(TKeyboardInfoTables& t, std::uint8_t code, WStr name, bool extended, std::int32_t hid,
         WStr description) {
  t[code] = TKeyboardInfoTable{std::move(name), code, 0, extended ? kKeyExtended : kKeyNormal, hid,
                               std::move(description)};
}

TKeyboardInfoTables BuildNormal() {
  TKeyboardInfoTables t = DefaultRows(kKeyNormal);
  for (const Range& r : kPlaceholders) {
    for (unsigned c = r.first; c <= r.last; ++c) {
      Put(t, static_cast<std::uint8_t>(c), Cat(u"VK_UNDEFINED_", Hex(c, 2)), false, kNone, u"Undefined");
    }
  }
  for (int d = 0; d <= 9; ++d) {
    const WStr digit(1, static_cast<char16_t>(u'0' + d));
    Put(t, static_cast<std::uint8_t>(0x30 + d), Cat(u"VK_", digit), false, d == 0 ? 0x27 : 0x1D + d, digit);
    Put(t, static_cast<std::uint8_t>(0x60 + d), Cat(u"VK_NUMPAD", digit), false, d == 0 ? 0x62 : 0x58 + d,
        Cat(u"NUMPAD ", digit));
  }
  for (int l = 0; l < 26; ++l) {
    const WStr letter(1, static_cast<char16_t>(u'A' + l));
    Put(t, static_cast<std::uint8_t>(0x41 + l), Cat(u"VK_", letter), false, 0x04 + l, letter);
  }
  for (int f = 1; f <= 24; ++f) {
    const WStr fname = Cat(u"F", Ascii(std::to_string(f)));
    Put(t, static_cast<std::uint8_t>(0x6F + f), Cat(u"VK_", fname), false, f <= 12 ? 0x39 + f : 0x5B + f,
        fname);
  }
  for (const RowDef& r : kNormalRows) Put(t, r.code, r.name, r.extended, r.hid, r.description);
  return t;
}

TKeyboardInfoTables BuildExtended() {
  TKeyboardInfoTables t = DefaultRows(kKeyExtended);
  for (const RowDef& r : kExtendedRows) Put(t, r.code, r.name, r.extended, r.hid, r.description);
  return t;
}

const TKeyboardInfoTable* SelectRow(std::uint32_t vk, std::int32_t extended) {
  if (extended == kKeyNormal) extended = 0;
  if (extended == kKeyExtended) extended = 1;
  if (vk >= kKeyTableRows) return nullptr;  // also covers negative codes passed as unsigned
  const TKeyboardInfoTable& normal = KeyboardInfoTable()[vk];
  if (extended == 0) return &normal;
  if (extended == 1 && normal.Extended == kKeyExtended) return &normal;
  return &ExtendedKeyboardInfoTable()[vk];
}

}  // namespace

const TKeyboardInfoTables& KeyboardInfoTable() {
  static const TKeyboardInfoTables table = BuildNormal();
  return table;
}

const TKeyboardInfoTables& ExtendedKeyboardInfoTable() {
  static const TKeyboardInfoTables table = BuildExtended();
  return table;
}

void BuildKeyboardInfoTables() {
  (void)KeyboardInfoTable();
  (void)ExtendedKeyboardInfoTable();
}

std::uint32_t VKToHIDCode(std::uint32_t vk, std::int32_t extended) {
  const TKeyboardInfoTable* row = SelectRow(vk, extended);
  if (row == nullptr || row->HIDCode == kNone) return 0;
  return static_cast<std::uint32_t>(row->HIDCode);
}

WStr VKToKeyDescription(std::uint32_t vk, std::int32_t extended) {
  const TKeyboardInfoTable* row = SelectRow(vk, extended);
  return row == nullptr ? WStr() : row->KeyDescription;
}

std::uint8_t ModifiersToHID(std::uint8_t modifiers) {
  std::uint8_t out = 0;
  if (modifiers & 0x01) out |= 0x04;  // Alt
  if (modifiers & 0x02) out |= 0x01;  // Ctrl
  if (modifiers & 0x04) out |= 0x02;  // Shift
  if (modifiers & 0x08) out |= 0x08;  // Win
  return out;
}

}  // namespace vx
