#include "profiles/IniFile.h"

#include <gtest/gtest.h>

#include <string>

namespace vx {
namespace {

IniFile ParseText(const std::string& s) {
  return IniFile::Parse(std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(s.data()), s.size()));
}

TEST(IniFile, LookupRules) {
  const IniFile ini = ParseText(
      "top=ignored\n"
      "; comment=1\n"
      "[ Main ]\n"
      "Key = first \n"
      "KEY=second\n"
      "quoted=\"  spaced  \"\n"
      "single='x'\n"
      "half=\"open\n"
      "[main]\n"
      "Other=later section\n"
      "[Empty]\n");
  struct Case {
    const char16_t* section;
    const char16_t* key;
    const char16_t* expected;
  };
  const Case cases[] = {
      {u"main", u"key", u"first"},      {u"MAIN", u"Key", u"first"},        {u"Main", u"quoted", u"  spaced  "},
      {u"Main", u"single", u"x"},       {u"Main", u"half", u"\"open"},      {u"Main", u"Other", u"-"},
      {u"Main", u"comment", u"-"},      {u"Main", u"; comment", u"-"},      {u"Nowhere", u"key", u"-"},
      {u"Empty", u"key", u"-"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ini.ReadString(c.section, c.key, u"-"), c.expected) << ToUtf8(c.section) << "/" << ToUtf8(c.key);
  }
  EXPECT_EQ(ini.SectionKeys(u"MAIN"), (std::vector<WStr>{u"Key", u"KEY", u"quoted", u"single", u"half"}));
}

TEST(IniFile, Integers) {
  struct Case {
    const char* text;
    long long value;
  };
  const Case cases[] = {{"1", 1},     {" 42 ", 42},   {"-7", -7},  {"0x1F", 31}, {"$10", 16}, {"", 0},
                        {"12abc", 0}, {"abc", 0},     {"+3", 3},   {"0x", 0},    {"99999999999999999999", 0}};
  for (const auto& c : cases) {
    const IniFile ini = ParseText(std::string("[S]\nN=") + c.text + "\n");
    EXPECT_EQ(ini.ReadInteger(u"s", u"n", 0), c.value) << c.text;
  }
}

TEST(IniFile, Encodings) {
  const std::string utf8bom = "\xEF\xBB\xBF[S]\r\nName=V\xC3\xA4lue\r\n";
  EXPECT_EQ(ParseText(utf8bom).ReadString(u"S", u"Name"), u"V\u00E4lue");
  std::string utf16 = "\xFF\xFE";
  for (char16_t c : std::u16string(u"[S]\r\nName=\u4E2D\r\n")) {
    utf16 += static_cast<char>(c & 0xFF);
    utf16 += static_cast<char>(c >> 8);
  }
  EXPECT_EQ(ParseText(utf16).ReadString(u"S", u"Name"), u"\u4E2D");
  EXPECT_FALSE(IniFile::Load(u"/definitely/missing/config.ini").HasSection(u"S"));
}

TEST(IniFile, ValueWrittenKeepsEveryOtherLine) {
  struct Case {
    const char* before;
    const char* after;
  };
  const Case cases[] = {
      {"", "[OtherConfig]\r\nNotice=0\r\n"},
      {"[OtherConfig]\r\nLog=0\r\n", "[OtherConfig]\r\nLog=0\r\nNotice=0\r\n"},
      {"[OtherConfig]\nnotice = 1\n; c\n[Next]\nNotice=1\n", "[OtherConfig]\nNotice=0\n; c\n[Next]\nNotice=1\n"},
      {"[A]\nx=1\n\n[otherconfig]\nLog=0\n\n[B]\n", "[A]\nx=1\n\n[otherconfig]\nLog=0\nNotice=0\n\n[B]\n"},
      // The reader uses the first section of a name.
      {"[OtherConfig]\n[OtherConfig]\nNotice=1\n", "[OtherConfig]\nNotice=0\n[OtherConfig]\nNotice=1\n"},
      {"[A]\r\nx=1", "[A]\r\nx=1\r\n[OtherConfig]\r\nNotice=0\r\n"},
      {"\xEF\xBB\xBF[OtherConfig]\r\nNotice=1\r\n", "\xEF\xBB\xBF[OtherConfig]\r\nNotice=0\r\n"},
  };
  for (const auto& c : cases) {
    const std::string in = c.before;
    const auto out = IniWithValue(std::span(reinterpret_cast<const std::uint8_t*>(in.data()), in.size()),
                                  u"OtherConfig", u"Notice", u"0");
    EXPECT_EQ(std::string(out.begin(), out.end()), c.after) << c.before;
  }
  // UTF-16 stays UTF-16 and reads back.
  const std::vector<std::uint8_t> wide{0xFF, 0xFE, '[', 0, 'S', 0, ']', 0, '\r', 0, '\n', 0};
  const auto out = IniWithValue(wide, u"S", u"K", u"\u4E2D");
  EXPECT_EQ(std::vector<std::uint8_t>(out.begin(), out.begin() + 2), (std::vector<std::uint8_t>{0xFF, 0xFE}));
  EXPECT_EQ(IniFile::Parse(out).ReadString(u"S", u"K"), u"\u4E2D");
}

}  // namespace
}  // namespace vx
