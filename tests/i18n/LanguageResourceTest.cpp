#include <gtest/gtest.h>

#include "i18n/LanguageResource.h"
#include "I18nFakes.h"

namespace vx {
namespace {

using test::Bytes;

TEST(LanguageResource, WritesTheExactLayout) {
  const LanguageResourceEntry langs[] = {{u"CH", u"A=\u4e2d\r\n"}};
  const auto bytes = WriteLanguageResource(u"A\r\n", langs);
  EXPECT_EQ(bytes, Bytes({3, 0, 0, 0, 'A', 0, '\r', 0, '\n', 0,             // key list
                          1, 0, 0, 0,                                         // count
                          2, 0, 0, 0, 'C', 0, 'H', 0,                         // name
                          5, 0, 0, 0, 'A', 0, '=', 0, 0x2d, 0x4e, '\r', 0, '\n', 0}));
}

TEST(LanguageResource, EmptySetIsKeyListAndZeroCount) {
  EXPECT_EQ(WriteLanguageResource(u"", {}), Bytes({0, 0, 0, 0, 0, 0, 0, 0}));
  const auto r = ReadLanguageResource(Bytes({0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_TRUE(r.problem.empty());
  EXPECT_TRUE(r.hasKeyList);
  EXPECT_TRUE(r.languages.empty());
}

TEST(LanguageResource, WriteReadWriteIsByteIdentical) {
  const LanguageResourceEntry langs[] = {
      {u"0804", u"Exit=\u9000\u51fa\r\nMouse Right Click=  \u53f3\u952e\r\n"},
      {u"US", u""},
      {u"x", u"a==b\r\n=\r\n\U0001F600=emoji\r\n"}};
  const auto first = WriteLanguageResource(u" CLOSE\r\nCLOSE\r\n", langs);
  const auto read = ReadLanguageResource(first);
  ASSERT_TRUE(read.problem.empty()) << read.problem;
  ASSERT_EQ(read.languages.size(), 3u);
  EXPECT_EQ(read.languages[2].tableText, langs[2].tableText);
  EXPECT_EQ(WriteLanguageResource(read.keyListText, read.languages), first);
}

TEST(LanguageResource, EveryTruncationYieldsTheLanguagesBeforeIt) {
  const LanguageResourceEntry langs[] = {{u"A", u"k=a\r\n"}, {u"B", u"k=b\r\n"}};
  const auto full = WriteLanguageResource(u"k\r\n", langs);
  // Where each language's bytes end: key list 4+6, count 4, A 4+2+4+10.
  const std::size_t endOfA = 10 + 4 + 6 + 14;
  for (std::size_t n = 0; n < full.size(); ++n) {
    const std::vector<std::uint8_t> cut(full.begin(), full.begin() + static_cast<long>(n));
    const auto r = ReadLanguageResource(cut);
    EXPECT_FALSE(r.problem.empty()) << n;
    EXPECT_EQ(r.languages.size(), n >= endOfA ? 1u : 0u) << n;
    EXPECT_EQ(r.hasKeyList, n >= 10) << n;
  }
  EXPECT_EQ(ReadLanguageResource(full).languages.size(), 2u);
}

struct Malformed {
  const char* what;
  std::vector<std::uint8_t> bytes;
  std::size_t languages;
  bool keyList;
};

TEST(LanguageResource, MalformedStreamsAreReadSafely) {
  const Malformed cases[] = {
      {"negative key list length", Bytes({0xff, 0xff, 0xff, 0xff, 0, 0}), 0, false},
      {"huge key list length", Bytes({0xff, 0xff, 0xff, 0x7f, 'a', 0}), 0, false},
      {"length one unit beyond", Bytes({2, 0, 0, 0, 'a', 0}), 0, false},
      {"odd byte count", Bytes({1, 0, 0, 0, 'a'}), 0, false},
      {"count beyond the data", Bytes({0, 0, 0, 0, 5, 0, 0, 0, 1, 0, 0, 0, 'A', 0, 0, 0, 0, 0}), 1, true},
      {"huge count", Bytes({0, 0, 0, 0, 0xff, 0xff, 0xff, 0x7f}), 0, true},
      {"negative count", Bytes({0, 0, 0, 0, 0xfe, 0xff, 0xff, 0xff}), 0, true},
      {"negative name length", Bytes({0, 0, 0, 0, 1, 0, 0, 0, 0x00, 0x00, 0x00, 0x80}), 0, true},
      {"huge table length",
       Bytes({0, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 'A', 0, 0xf0, 0xff, 0xff, 0x7f, 'x', 0}), 0, true},
      {"empty", {}, 0, false},
  };
  for (const auto& c : cases) {
    const auto r = ReadLanguageResource(c.bytes);
    EXPECT_FALSE(r.problem.empty()) << c.what;
    EXPECT_EQ(r.languages.size(), c.languages) << c.what;
    EXPECT_EQ(r.hasKeyList, c.keyList) << c.what;
  }
}

TEST(LanguageResource, TrailingOddByteAfterACompleteSetIsIgnored) {
  auto bytes = WriteLanguageResource(u"k\r\n", {});
  bytes.push_back(0x41);
  const auto r = ReadLanguageResource(bytes);
  EXPECT_TRUE(r.problem.empty());
  EXPECT_EQ(r.keyListText, u"k\r\n");
}

TEST(SplitLines, EveryBreakEndsALine) {
  struct Case {
    const char16_t* text;
    std::vector<WStr> lines;
  };
  const Case cases[] = {
      {u"", {}},
      {u"a", {u"a"}},
      {u"a\r\n", {u"a"}},
      {u"a\r\nb", {u"a", u"b"}},
      {u"a\rb\nc", {u"a", u"b", u"c"}},
      {u"a\n\rb", {u"a", u"", u"b"}},
      {u"a\r\n\r\nb", {u"a", u"", u"b"}},
      {u"a\vb\fc", {u"a", u"b", u"c"}},
      {u"a\u2028b\u2029c\u2029", {u"a", u"b", u"c"}},
      {u"\r\n", {u""}},
      {u"x=1\r\r\n", {u"x=1", u""}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SplitLines(c.text), c.lines) << ToUtf8(c.text);
  }
}

TEST(SplitLines, JoinThenSplitKeepsLines) {
  const std::vector<WStr> lines = {u" CLOSE", u"", u"a=b=c", u"  \u53f3\u952e"};
  EXPECT_EQ(JoinLines(lines), u" CLOSE\r\n\r\na=b=c\r\n  \u53f3\u952e\r\n");
  EXPECT_EQ(SplitLines(JoinLines(lines)), lines);
}

}  // namespace
}  // namespace vx
