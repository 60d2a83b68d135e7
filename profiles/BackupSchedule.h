#pragma once
// When the monitor backs the profiles up, and which backups it keeps. Times
// are local wall-clock seconds since 1970-01-01 00:00 (as if local were UTC),
// so that a day is a plain division and names sort by time.
#include <cstdint>
#include <ctime>
#include <optional>
#include <vector>

#include "platform/Text.h"

namespace vx {

inline constexpr std::int64_t kBackupMinIntervalS = 3600;
inline constexpr std::size_t kBackupsKept = 20;
inline constexpr int kBackupDailyDays = 7;
inline constexpr char16_t kBackupExtension[] = u".vxbak";

struct BackupEntry {
  WStr name;  // file name in the backups folder
  std::int64_t time = 0;
  std::uint64_t size = 0;
};

// The calendar date and time of seconds counted as BackupDay counts them.
struct Civil {
  std::int64_t y;
  unsigned m, d, hh, mm, ss;
};
Civil CivilFromSeconds(std::int64_t t);
// The local calendar time of `t`.
std::tm LocalCalendarTime(std::time_t t);
// The local time now (the platform's clock).
std::int64_t LocalSecondsNow();
// "20261211-081502.vxbak"; a second backup in the same second gets "-2".
WStr BackupFileName(std::int64_t time, int sequence = 1);
// The time a backup's name carries; nullopt for other files.
std::optional<std::int64_t> BackupFileTime(WView name);
// "2026-12-11 08:15:02".
WStr BackupTimeText(std::int64_t time);
inline std::int64_t BackupDay(std::int64_t time) { return time >= 0 ? time / 86400 : (time - 86399) / 86400; }

// The backups to delete: all but the newest kBackupsKept and the newest of
// each of the last kBackupDailyDays days (today included).
std::vector<WStr> BackupsToDelete(std::vector<BackupEntry> backups, std::int64_t now);

// Each true answer begins a backup that counts as the last one until
// Finished says it failed.
class TBackupSchedule {
 public:
  // At start: a backup now unless one was taken today.
  bool AtStart(std::int64_t now, std::optional<std::int64_t> newest);
  // The stored data changed: true to back up now; otherwise DueAt() says
  // when (the hour since the last one is not over).
  bool Changed(std::int64_t now);
  // The timer for DueAt fired: true to back up now.
  bool Due(std::int64_t now);
  // Written, or equal to the newest: taken. A failure is retried at the
  // next change, unhindered by the hour.
  void Finished(bool taken);
  std::optional<std::int64_t> DueAt() const { return due_; }

 private:
  bool Begin(std::int64_t now);
  std::optional<std::int64_t> last_;
  std::optional<std::int64_t> before_;  // last_ before the backup in flight
  std::optional<std::int64_t> due_;
};

}  // namespace vx
