// The seams on the Linux host: debug lines, clocks, locale, folders.
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include "platform/SeamsInternal.h"

namespace vx::detail {

void PlatformDebugOutput(WView text) {
  if (std::getenv("VX_DEBUG") != nullptr) {
    std::fprintf(stderr, "[debug] %s\n", ToUtf8(text).c_str());
  }
}

void PlatformMessageBox(WView text, WView caption, bool /*errorIcon*/) {
  std::fprintf(stderr, "[%s] %s\n", ToUtf8(caption).c_str(), ToUtf8(text).c_str());
}

std::uint32_t PlatformTickCount() {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now().time_since_epoch());
  return static_cast<std::uint32_t>(ms.count());
}

double PlatformNowAsOleDate() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t t = std::chrono::system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&t, &local);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  // Days from 1899-12-30 to the local calendar date, plus the time of day.
  const int y = local.tm_year + 1900;
  const int m = local.tm_mon + 1;
  const int d = local.tm_mday;
  // Days since 1970-01-01 of a civil date (Howard Hinnant's algorithm).
  const int yy = y - (m <= 2 ? 1 : 0);
  const int era = (yy >= 0 ? yy : yy - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(yy - era * 400);
  const unsigned doy = (153 * static_cast<unsigned>(m + (m > 2 ? -3 : 9)) + 2) / 5 + static_cast<unsigned>(d) - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const long days1970 = static_cast<long>(era) * 146097 + static_cast<long>(doe) - 719468;
  const double dayFraction = (local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec + ms / 1000.0) / 86400.0;
  return static_cast<double>(days1970 + 25569) + dayFraction;
}

std::uint16_t PlatformSystemDefaultLangID() {
  const char* vars[] = {"LC_ALL", "LC_MESSAGES", "LANG"};
  std::string loc;
  for (const char* v : vars) {
    const char* s = std::getenv(v);
    if (s != nullptr && *s != 0) {
      loc = s;
      break;
    }
  }
  const std::string base = loc.substr(0, loc.find_first_of(".@"));
  if (base == "zh_CN" || base == "zh_SG") return 0x0804;
  if (base == "zh_TW" || base == "zh_HK") return 0x0404;
  if (base.rfind("de", 0) == 0) return 0x0407;
  if (base.rfind("fr", 0) == 0) return 0x040C;
  if (base.rfind("ja", 0) == 0) return 0x0411;
  if (base.rfind("en_GB", 0) == 0) return 0x0809;
  return 0x0409;
}

std::string PosixDataFolder() {
  const char* xdg = std::getenv("XDG_DATA_HOME");
  if (xdg != nullptr && *xdg != 0) return std::string(xdg) + "/vxmon";
  const char* home = std::getenv("HOME");
  return std::string(home != nullptr ? home : "/tmp") + "/.local/share/vxmon";
}

WStr PlatformDocumentsFolder() { return FromUtf8(PosixDataFolder() + "/Documents"); }

WStr PlatformExecutableFolder() {
  char buf[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return u"./";
  std::string p(buf, static_cast<std::size_t>(n));
  p = p.substr(0, p.rfind('/') + 1);
  return FromUtf8(p);
}

}  // namespace vx::detail
