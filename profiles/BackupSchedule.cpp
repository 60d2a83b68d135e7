#include "profiles/BackupSchedule.h"

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <set>

namespace vx {

namespace {

// Days since 1970-01-01 of a civil date (proleptic Gregorian).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

}  // namespace

Civil CivilFromSeconds(std::int64_t t) {
  const std::int64_t days = BackupDay(t);
  const std::int64_t secs = t - days * 86400;
  const std::int64_t z = days + 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  return {static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2), m, d, static_cast<unsigned>(secs / 3600),
          static_cast<unsigned>(secs / 60 % 60), static_cast<unsigned>(secs % 60)};
}

std::tm LocalCalendarTime(std::time_t t) {
  std::tm tm{};
#if defined(_WIN32)
  localtime_s(&tm, &t);
#else
  localtime_r(&t, &tm);
#endif
  return tm;
}

std::int64_t LocalSecondsNow() {
  const std::tm tm = LocalCalendarTime(std::time(nullptr));
  return DaysFromCivil(tm.tm_year + 1900, static_cast<unsigned>(tm.tm_mon + 1), static_cast<unsigned>(tm.tm_mday)) *
             86400 +
         tm.tm_hour * 3600 + tm.tm_min * 60 + tm.tm_sec;
}

WStr BackupFileName(std::int64_t time, int sequence) {
  const Civil c = CivilFromSeconds(time);
  char buf[64];
  const int n = std::snprintf(buf, sizeof buf, "%04lld%02u%02u-%02u%02u%02u", static_cast<long long>(c.y), c.m, c.d,
                              c.hh, c.mm, c.ss);
  if (sequence > 1 && n > 0) std::snprintf(buf + n, sizeof buf - static_cast<std::size_t>(n), "-%d", sequence);
  return FromUtf8(std::string(buf) + ".vxbak");
}

std::optional<std::int64_t> BackupFileTime(WView name) {
  const WView ext = kBackupExtension;
  if (name.size() < 15 + ext.size() || !SameTextIgnoreCase(name.substr(name.size() - ext.size()), ext)) {
    return std::nullopt;
  }
  unsigned v[6] = {};
  const int widths[6] = {4, 2, 2, 2, 2, 2};
  std::size_t at = 0;
  for (int i = 0; i < 6; ++i) {
    if (i == 3) {
      if (name[at] != u'-') return std::nullopt;
      ++at;
    }
    for (int k = 0; k < widths[i]; ++k, ++at) {
      if (name[at] < u'0' || name[at] > u'9') return std::nullopt;
      v[i] = v[i] * 10 + static_cast<unsigned>(name[at] - u'0');
    }
  }
  // Nothing but an optional "-N" before the extension.
  const WView rest = name.substr(at, name.size() - ext.size() - at);
  if (!rest.empty()) {
    if (rest.size() < 2 || rest[0] != u'-') return std::nullopt;
    for (char16_t c : rest.substr(1)) {
      if (c < u'0' || c > u'9') return std::nullopt;
    }
  }
  if (v[1] < 1 || v[1] > 12 || v[2] < 1 || v[2] > 31 || v[3] > 23 || v[4] > 59 || v[5] > 59) return std::nullopt;
  return DaysFromCivil(v[0], v[1], v[2]) * 86400 + v[3] * 3600 + v[4] * 60 + v[5];
}

WStr BackupTimeText(std::int64_t time) {
  const Civil c = CivilFromSeconds(time);
  char buf[48];
  std::snprintf(buf, sizeof buf, "%04lld-%02u-%02u %02u:%02u:%02u", static_cast<long long>(c.y), c.m, c.d, c.hh,
                c.mm, c.ss);
  return FromUtf8(buf);
}

std::vector<WStr> BackupsToDelete(std::vector<BackupEntry> backups, std::int64_t now) {
  // Newest first; equal times by name, so "-2" counts as the newer.
  std::sort(backups.begin(), backups.end(), [](const BackupEntry& a, const BackupEntry& b) {
    return a.time != b.time ? a.time > b.time : a.name > b.name;
  });
  std::set<std::int64_t> daysSeen;
  const std::int64_t today = BackupDay(now);
  std::vector<WStr> out;
  for (std::size_t i = 0; i < backups.size(); ++i) {
    const std::int64_t day = BackupDay(backups[i].time);
    const bool recentDay = day > today - kBackupDailyDays && day <= today;
    const bool newestOfDay = recentDay && daysSeen.insert(day).second;
    if (i < kBackupsKept || newestOfDay) continue;
    out.push_back(backups[i].name);
  }
  return out;
}

bool TBackupSchedule::Begin(std::int64_t now) {
  before_ = last_;
  last_ = now;
  due_.reset();
  return true;
}

bool TBackupSchedule::AtStart(std::int64_t now, std::optional<std::int64_t> newest) {
  if (newest) last_ = *newest;
  if (newest && BackupDay(*newest) == BackupDay(now)) return false;
  return Begin(now);
}

bool TBackupSchedule::Changed(std::int64_t now) {
  // A clock set back counts as the hour being over.
  if (last_ && now >= *last_ && now - *last_ < kBackupMinIntervalS) {
    due_ = *last_ + kBackupMinIntervalS;
    return false;
  }
  return Begin(now);
}

bool TBackupSchedule::Due(std::int64_t now) {
  if (!due_ || now < *due_) return false;  // a timer that fired early waits again
  return Begin(now);
}

void TBackupSchedule::Finished(bool taken) {
  if (!taken) last_ = before_;
}

}  // namespace vx
