// The log: the line format, DebugOutput's lines reaching the writer, and the
// rotation that keeps one old file.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/Clock.h"
#include "platform/Debug.h"
#include "platform/Files.h"
#include "platform/Log.h"
#include "profiles/StoreFixture.h"

namespace vx {
namespace {

TEST(Log, LineFormat) {
  struct Case {
    double time;
    std::uint32_t thread;
    const char16_t* text;
    const char* line;
  };
  const Case cases[] = {
      {46000.5 + 1.234 / 86400, 77, u"KeyIndex = 6 postmessage record!",
       "2025-12-09 12:00:01.234 [77] KeyIndex = 6 postmessage record!\r\n"},
      {36526.0, 4294967295u, u"two\r\nlines", "2000-01-01 00:00:00.000 [4294967295] two  lines\r\n"},
      {46023.0 - 0.001 / 86400, 1, u"\u00e9", "2025-12-31 23:59:59.999 [1] \xc3\xa9\r\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(FormatLogLine({c.time, c.thread, c.text}), c.line);
}

TEST(Log, DebugLinesGoToTheFileWhichRotatesKeepingOneOldFile) {
  test::TempDir dir;
  const WStr path = FromNativePath(test::U8(dir.path() / "VXMon" / "VXMon.log"));
  const auto old = dir.path() / "VXMon" / "VXMon.old.log";
  SetNowSource([] { return 46000.5; });
  SetDebugSink([](WView) {});
  // Room for the first line and three more, not for a fifth.
  const std::size_t lineSize = FormatLogLine({46000.5, CurrentThreadId(), u"line 0"}).size();
  const std::size_t rotate = lineSize + 4 + 3 * lineSize + lineSize / 2;
  {
    FileLogWriter writer(path, rotate);  // its folder is created on the first line
    SetLogWriter(&writer);
    DebugOutput(u"play macro");
    writer.Flush();
    const std::string first = "2025-12-09 12:00:00.000 [" + std::to_string(CurrentThreadId()) + "] play macro";
    EXPECT_EQ(LastLinesOfFile(path, 5), std::vector<std::string>{first});
    for (int i = 0; i < 4; ++i) DebugOutput(u"line " + IntToWStr(i));
    writer.Flush();
    ASSERT_TRUE(std::filesystem::exists(old));
    const std::string stamp = first.substr(0, first.size() - 10);
    EXPECT_EQ(LastLinesOfFile(FromNativePath(test::U8(old)), 5),
              (std::vector<std::string>{first, stamp + "line 0", stamp + "line 1", stamp + "line 2"}));
    EXPECT_EQ(LastLinesOfFile(path, 5), std::vector<std::string>{stamp + "line 3"});
    for (int i = 0; i < 8; ++i) DebugOutput(u"more " + IntToWStr(i));
    SetLogWriter(nullptr);
    DebugOutput(u"not logged");
  }  // the writer's end writes what was queued
  EXPECT_LE(std::filesystem::file_size(old), rotate);
  EXPECT_LE(std::filesystem::file_size(dir.path() / "VXMon" / "VXMon.log"), rotate);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path() / "VXMon"), {}), 2);
  EXPECT_TRUE(LastLinesOfFile(path, 1).back().ends_with("] more 7"));
  SetDebugSink(nullptr);
  SetNowSource(nullptr);
}

TEST(Log, ARotationThatCannotRenameStartsTheFileAgainAndTriesAtTheNextLimitOnly) {
  test::TempDir dir;
  const WStr path = FromNativePath(test::U8(dir.path() / "VXMon.log"));
  int renames = 0;
  std::size_t total = 0;
  {
    // As on Windows while a viewer holds the file without delete sharing.
    FileLogWriter writer(path, 4096, [&](WView, WView) {
      ++renames;
      return false;
    });
    for (int i = 0; i < 2000; ++i) {
      LogLine line{46000.5, 1, u"play macro " + IntToWStr(i)};
      total += FormatLogLine(line).size();
      writer.Write(std::move(line));
    }
    writer.Flush();
  }
  EXPECT_LE(std::filesystem::file_size(dir.path() / "VXMon.log"), 4096u);
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "VXMon.old.log"));
  // One try per 4 KB of lines (less the notice), never one per line.
  EXPECT_GE(renames, static_cast<int>(total / 4096));
  EXPECT_LE(renames, static_cast<int>(total / (4096 - 200)) + 1);
  const auto lines = LastLinesOfFile(path, 1000);
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines.front().substr(lines.front().find("] ") + 2),
            "log: the lines before could not be kept as VXMon.old.log (another program holds the log); the log "
            "started again");
  EXPECT_EQ(lines.back(), "2025-12-09 12:00:00.000 [1] play macro 1999");
}

}  // namespace
}  // namespace vx
