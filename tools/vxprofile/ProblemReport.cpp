#include "tools/vxprofile/ProblemReport.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "platform/Files.h"
#include "platform/Shell.h"
#include "profiles/BackupSchedule.h"
#include "profiles/ProfileBackup.h"
#include "tools/vxprofile/Commands.h"
#include "tools/vxprofile/Doctor.h"
#include "tools/vxprofile/ProfileEdit.h"
#include "tools/vxprofile/ZipWriter.h"

namespace vx::cli {
namespace {

namespace fs = std::filesystem;

fs::path PathOf(WView w) {
  const std::string n = NativePath(w);
  return fs::path(std::u8string(reinterpret_cast<const char8_t*>(n.data()), n.size()));
}

std::vector<std::uint8_t> Bytes(const std::string& s) { return {s.begin(), s.end()}; }

ZipMember Member(std::string name, std::vector<std::uint8_t> data, std::int64_t localSeconds) {
  ZipMember m{std::move(name), std::move(data)};
  const Civil c = CivilFromSeconds(localSeconds);
  if (c.y >= 1980 && c.y < 2108) {
    m.dosDate = static_cast<std::uint16_t>(((c.y - 1980) << 9) | (c.m << 5) | c.d);
    m.dosTime = static_cast<std::uint16_t>((c.hh << 11) | (c.mm << 5) | (c.ss / 2));
  }
  return m;
}

}  // namespace

WStr ReportFileName(std::int64_t localSeconds) {
  WStr stamp = BackupFileName(localSeconds);
  stamp.resize(stamp.size() - (sizeof kBackupExtension / sizeof kBackupExtension[0] - 1));
  return u"VXMon-report-" + stamp + u".zip";
}

bool WriteProblemReport(const Context& ctx, const WStr& file, std::vector<std::string>& names, std::string& why) {
  const std::int64_t now = LocalSecondsNow();
  const doctor::Inputs in = DoctorInputs(ctx);
  const doctor::Report r = doctor::Run(in);
  std::vector<ZipMember> members;
  members.push_back(Member("doctor.txt", Bytes(r.Text()), now));
  members.push_back(Member("doctor.json", Bytes(r.Json()), now));
  const auto addFile = [&](const WStr& path, const std::string& name) {
    if (auto bytes = ReadWholeFile(path)) members.push_back(Member(name, std::move(*bytes), now));
  };
  addFile(in.logPath, "VXMon.log");
  addFile(in.oldLogPath, "VXMon.old.log");
  // The crash reports (one line each) and the newest dumps they name.
  addFile(in.crashFolder + u"\\crash.log", "crash/crash.log");
  std::vector<fs::path> dumps;
  std::error_code ec;
  for (fs::directory_iterator it(PathOf(in.crashFolder), ec), end; !ec && it != end; it.increment(ec)) {
    if (it->path().extension() == ".dmp") dumps.push_back(it->path());
  }
  // The names carry the time: newest last.
  std::sort(dumps.begin(), dumps.end());
  for (std::size_t i = dumps.size() > kReportDumps ? dumps.size() - kReportDumps : 0; i < dumps.size(); ++i) {
    const std::u8string n = dumps[i].filename().u8string();
    addFile(FromNativePath(dumps[i].string()), "crash/" + std::string(n.begin(), n.end()));
  }
  addFile(in.configIni, "config.ini");
  std::string backupWhy;
  if (auto backup = BackupBytes(CliBackupStore(), backupWhy)) {
    members.push_back(Member("profiles.vxbak", std::move(*backup), now));
  } else {
    members.push_back(Member("profiles-not-saved.txt", Bytes(backupWhy + "\n"), now));
  }
  const auto zip = BuildZip(members);
  if (!zip) {
    why = "the report is too large for a zip";
    return false;
  }
  if (!WriteFileAtomic(file, *zip)) {
    why = "cannot write " + ToUtf8(file) + " (disk full, or the folder is missing or read-only)";
    return false;
  }
  names.clear();
  for (const auto& m : members) names.push_back(m.name);
  return true;
}

}  // namespace vx::cli
