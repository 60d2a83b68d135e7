// The automatic backups over a fake clock, run inline: when one is taken,
// when it is skipped, what is kept.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <thread>

#include "app/AppFakes.h"
#include "app/AutoBackup.h"
#include "platform/Debug.h"

namespace vx {
namespace {

namespace fs = std::filesystem;

// 2026-12-01 00:00 local, in the schedule's seconds.
constexpr std::int64_t kDay1 = 20788LL * 86400;
constexpr std::int64_t At(int day, int hour, int minute = 0) {
  return kDay1 + (day - 1) * 86400LL + hour * 3600LL + minute * 60LL;
}

enum class Act { Start, Change, Timer, Seed, Restart };

struct Step {
  const char* what;
  std::int64_t now;
  Act act;
  std::optional<std::string> data;  // nullopt: the store cannot be read
  std::set<std::string> added, removed;
  std::uint32_t timerMs = 0;  // 0: the timer is off afterwards
};

TEST(AutoBackup, ScheduleAndRetention) {
  const fs::path dir = fs::temp_directory_path() /
                       ("vxmon-backups-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
  fs::remove_all(dir);
  std::vector<std::u16string> log;
  SetDebugSink([&](WView t) { log.emplace_back(t); });
  test::FakeWindowSystem windows;
  auto timer = windows.CreateTimer([] {});
  std::int64_t now = 0;
  std::optional<std::string> data;
  const TAutoBackup::Deps deps{FromUtf8(dir.string()),
                               [&](std::string& why) -> std::optional<std::vector<std::uint8_t>> {
                                 if (!data) {
                                   why = "the store cannot be read";
                                   return std::nullopt;
                                 }
                                 return std::vector<std::uint8_t>(data->begin(), data->end());
                               },
                               [&] { return now; }, [](std::function<void()> job) { job(); }, timer.get()};
  auto backup = std::make_unique<TAutoBackup>(deps);

  std::set<std::string> seeded;
  for (int d = 1; d <= 8; ++d) seeded.insert(ToUtf8(BackupFileName(At(d, 12))));
  for (int h = 1; h <= 20; ++h) seeded.insert(ToUtf8(BackupFileName(At(9, h))));
  const std::set<std::string> none;
  const Step steps[] = {
      {"first start writes one", At(1, 10), Act::Start, "A", {"20261201-100000.vxbak"}, none},
      {"a change within the hour waits for it", At(1, 10, 10), Act::Change, "B", none, none, 50 * 60 * 1000},
      {"the hour is over", At(1, 11), Act::Timer, "B", {"20261201-110000.vxbak"}, none},
      {"unchanged bytes write nothing", At(1, 12, 30), Act::Change, "B", none, none},
      {"and count as the hour's backup", At(1, 12, 40), Act::Change, "C", none, none, 50 * 60 * 1000},
      {"a timer that fires early waits again", At(1, 13), Act::Timer, "C", none, none, 30 * 60 * 1000},
      {"a second start the same day takes none", At(1, 13, 10), Act::Start, "C", none, none, 30 * 60 * 1000},
      {"first start of the next day", At(2, 8), Act::Start, "C", {"20261202-080000.vxbak"}, none},
      {"a restart takes the newest file's time as the last backup", At(2, 8, 20), Act::Restart, "C", none, none},
      {"so a change within its hour waits", At(2, 8, 30), Act::Change, "C2", none, none, 30 * 60 * 1000},
      {"a failure is retried at the next change", At(2, 10), Act::Change, std::nullopt, none, none},
      {"and logged once", At(2, 10, 2), Act::Change, std::nullopt, none, none},
      {"the retry is not held by the hour", At(2, 10, 5), Act::Change, "D", {"20261202-100500.vxbak"}, none},
      {"a clock set back counts as the hour being over", At(2, 9), Act::Change, "D", none, none},
      {"seed", At(10, 11), Act::Seed, "D", seeded, none},
      {"20 kept, and the newest of each of the last 7 days", At(10, 12), Act::Change, "E",
       {"20261210-120000.vxbak"},
       {"20261201-100000.vxbak", "20261201-110000.vxbak", "20261202-080000.vxbak", "20261202-100500.vxbak",
        "20261201-120000.vxbak",
        "20261202-120000.vxbak", "20261203-120000.vxbak", "20261209-010000.vxbak"}},
  };
  std::set<std::string> files;
  for (const Step& s : steps) {
    SCOPED_TRACE(s.what);
    now = s.now;
    data = s.data;
    switch (s.act) {
      case Act::Restart:
        backup.reset();
        backup = std::make_unique<TAutoBackup>(deps);
        [[fallthrough]];
      case Act::Start:
        backup->Start();
        break;
      case Act::Change:
        backup->Changed();
        break;
      case Act::Timer:
        backup->TimerFired();
        break;
      case Act::Seed:
        for (const auto& f : s.added) std::ofstream(dir / f) << "old";
        break;
    }
    std::set<std::string> after;
    for (const auto& e : fs::directory_iterator(dir)) after.insert(e.path().filename().string());
    std::set<std::string> added, removed;
    for (const auto& f : after) {
      if (!files.count(f)) added.insert(f);
    }
    for (const auto& f : files) {
      if (!after.count(f)) removed.insert(f);
    }
    EXPECT_EQ(added, s.added);
    EXPECT_EQ(removed, s.removed);
    EXPECT_EQ(timer->Enabled() ? timer->Interval() : 0u, s.timerMs);
    files = after;
  }
  // Two failures in a row, one line in the log.
  std::size_t failures = 0;
  for (const auto& l : log) failures += l.find(u"automatic backup failed") != std::u16string::npos;
  EXPECT_EQ(failures, 1u);
  SetDebugSink(nullptr);
  fs::remove_all(dir);
}

// A restore and the backup thread never touch the store at once: a restore
// started while a backup is read waits for it.
TEST(AutoBackup, ARestoreWaitsForTheBackupBeingTaken) {
  const fs::path dir = fs::temp_directory_path() /
                       ("vxmon-backups-gate-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
  fs::remove_all(dir);
  std::mutex m;
  std::condition_variable cv;
  bool reading = false, open = false, restored = false, overlap = false;
  TAutoBackup::Deps deps;
  deps.folder = FromUtf8(dir.string());
  deps.now = [] { return At(1, 10); };
  deps.snapshot = [&](std::string&) -> std::optional<std::vector<std::uint8_t>> {
    std::unique_lock lock(m);
    reading = true;
    cv.notify_all();
    cv.wait(lock, [&] { return open; });
    reading = false;
    return std::vector<std::uint8_t>{1};
  };
  TAutoBackup backup(deps);  // its own thread
  backup.Changed();
  {
    std::unique_lock lock(m);
    cv.wait(lock, [&] { return reading; });
  }
  std::thread restore([&] {
    backup.WhileNoBackup([&] {
      std::lock_guard lock(m);
      overlap = reading;
      restored = true;
      cv.notify_all();
      return true;
    });
  });
  {
    // Long enough for a restore that does not wait to run.
    std::unique_lock lock(m);
    cv.wait_for(lock, std::chrono::milliseconds(200), [&] { return restored; });
    open = true;
    cv.notify_all();
  }
  restore.join();
  backup.WaitIdle();
  EXPECT_TRUE(restored);
  EXPECT_FALSE(overlap) << "the restore ran while the backup read the store";
  fs::remove_all(dir);
}

}  // namespace
}  // namespace vx
