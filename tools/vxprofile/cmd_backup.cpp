// vxprofile backup FILE | restore [--write] [--force] FILE: every value of
// the product key and the profile and macro files of the five slots in one
// checked file (format in README.md, "Backup file").
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <string>

#include "platform/Files.h"
#include "platform/Shell.h"
#include "tools/vxprofile/ProfileEdit.h"

namespace vx::cli {
namespace {

namespace fs = std::filesystem;

constexpr char kMagic[8] = {'V', 'X', 'M', 'O', 'N', 'B', 'A', 'K'};
constexpr std::uint32_t kFormatVersion = 1;
enum : std::uint8_t { kEntryValue = 1, kEntryDocumentsFile = 2, kEntryFile = 3 };

struct Entry {
  std::uint8_t kind = 0;
  std::uint32_t type = 0;  // registry type of a value
  WStr name;               // value name, path below the documents folder, or full path
  std::vector<std::uint8_t> data;
};

std::uint32_t Crc32(const std::uint8_t* p, std::size_t n) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (std::size_t i = 0; i < n; ++i) {
    crc ^= p[i];
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

fs::path FsPath(WView path) {
  const std::string n = NativePath(path);
  return fs::path(std::u8string(reinterpret_cast<const char8_t*>(n.data()), n.size()));
}

bool StartsWithFolder(WView path, WView folder) {
  return !folder.empty() && path.size() > folder.size() + 1 && path[folder.size()] == u'\\' &&
         SameTextIgnoreCase(path.substr(0, folder.size()), folder);
}

WStr FullPath(const Entry& e) {
  return e.kind == kEntryDocumentsFile ? ExcludeTrailingBackslash(DocumentsFolder()) + u"\\" + e.name : e.name;
}

void AddFile(std::vector<Entry>& out, const WStr& path) {
  for (const auto& e : out) {
    if (e.kind != kEntryValue && SameTextIgnoreCase(FullPath(e), path)) return;
  }
  auto data = FileExists(path) ? ReadWholeFile(path) : std::nullopt;
  if (!data) return;
  const WStr docs = ExcludeTrailingBackslash(DocumentsFolder());
  Entry e;
  e.kind = StartsWithFolder(path, docs) ? kEntryDocumentsFile : kEntryFile;
  e.name = e.kind == kEntryDocumentsFile ? path.substr(docs.size() + 1) : path;
  e.data = std::move(*data);
  out.push_back(std::move(e));
}

// The stored state: values of the product key, then each slot's profile
// file and ".macro" files, as the stored group record names them.
std::optional<std::vector<Entry>> Collect(std::string& why) {
  std::vector<Entry> out;
  IRegistry& reg = GetRegistry();
  if (reg.KeyExists(HKEY_CURRENT_USER_, kProfileKeyPath)) {
    auto values = reg.EnumValues(HKEY_CURRENT_USER_, kProfileKeyPath);
    if (!values) {
      why = "cannot list the stored values";
      return std::nullopt;
    }
    for (auto& v : *values) out.push_back({kEntryValue, static_cast<std::uint32_t>(v.value.type), v.name, v.value.data});
  }
  auto group = reg.QueryValue(HKEY_CURRENT_USER_, kProfileKeyPath, kGroupValueName);
  if (!group || group->data.size() != sizeof(TProfileSettingGroup)) return out;
  auto g = std::make_unique<TProfileSettingGroup>();
  std::memcpy(g.get(), group->data.data(), sizeof *g);
  for (const auto& d : g->ProfileSettingList) {
    if (d.StorageType == 1) AddFile(out, IncludeTrailingBackslash(ReadFixed(d.FilePath)) + ReadFixed(d.FileName));
    const WStr folder = ReadFixed(d.MacroPath);
    if (folder.empty() || !DirectoryExists(folder)) continue;
    std::vector<WStr> files;
    std::error_code ec;
    for (const auto& f : fs::directory_iterator(FsPath(folder), ec)) {
      const std::u8string u = f.path().filename().u8string();
      const WStr name = FromUtf8(std::string(reinterpret_cast<const char*>(u.data()), u.size()));
      if (f.is_regular_file(ec) && name.size() > 6 && SameTextIgnoreCase(name.substr(name.size() - 6), u".macro")) {
        files.push_back(IncludeTrailingBackslash(folder) + name);
      }
    }
    std::sort(files.begin(), files.end());
    for (const auto& f : files) AddFile(out, f);
  }
  return out;
}

void Put32(std::vector<std::uint8_t>& b, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

std::vector<std::uint8_t> Encode(const std::vector<Entry>& entries) {
  std::vector<std::uint8_t> b(kMagic, kMagic + 8);
  Put32(b, kFormatVersion);
  Put32(b, static_cast<std::uint32_t>(entries.size()));
  for (const auto& e : entries) {
    b.push_back(e.kind);
    Put32(b, e.type);
    const std::string name = ToUtf8(e.name);
    Put32(b, static_cast<std::uint32_t>(name.size()));
    b.insert(b.end(), name.begin(), name.end());
    Put32(b, static_cast<std::uint32_t>(e.data.size()));
    b.insert(b.end(), e.data.begin(), e.data.end());
  }
  Put32(b, Crc32(b.data(), b.size()));
  return b;
}

// Only names a restore may write: a value, or a ".pfd"/".macro" file that
// stays inside the documents folder when it is relative.
bool SafeName(const Entry& e) {
  if (e.name.empty() || e.name.find(u'\0') != WStr::npos) return false;
  if (e.kind == kEntryValue) return true;
  const auto endsWith = [&](WView ext) {
    return e.name.size() > ext.size() && SameTextIgnoreCase(WView(e.name).substr(e.name.size() - ext.size()), ext);
  };
  if (!endsWith(u".pfd") && !endsWith(u".macro")) return false;
  if (e.kind == kEntryFile) return true;
  if (e.name[0] == u'\\' || e.name[0] == u'/' || e.name.find(u':') != WStr::npos) return false;
  std::size_t start = 0;
  while (start <= e.name.size()) {
    std::size_t end = e.name.find_first_of(u"\\/", start);
    if (end == WStr::npos) end = e.name.size();
    if (WView(e.name).substr(start, end - start) == u"..") return false;
    start = end + 1;
  }
  return true;
}

std::optional<std::vector<Entry>> Decode(const std::vector<std::uint8_t>& b, const std::string& file, std::string& why) {
  const auto damaged = [&](const std::string& what) {
    why = file + " is damaged (" + what + "); nothing changed";
    return std::nullopt;
  };
  if (b.size() < 20 || std::memcmp(b.data(), kMagic, 8) != 0) {
    why = file + " is not a backup file; nothing changed";
    return std::nullopt;
  }
  const auto get32 = [&](std::size_t at) {
    return static_cast<std::uint32_t>(b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) |
                                      (static_cast<std::uint32_t>(b[at + 3]) << 24));
  };
  if (Crc32(b.data(), b.size() - 4) != get32(b.size() - 4)) return damaged("checksum mismatch");
  const std::uint32_t version = get32(8);
  if (version != kFormatVersion) {
    why = file + " is a backup of format version " + std::to_string(version) + ", which this program does not know (it reads version " +
          std::to_string(kFormatVersion) + "); nothing changed";
    return std::nullopt;
  }
  const std::size_t end = b.size() - 4;
  std::size_t at = 16;
  std::vector<Entry> out;
  for (std::uint32_t n = get32(12), i = 0; i < n; ++i) {
    if (end - at < 9) return damaged("entry " + std::to_string(i) + " is cut short");
    Entry e;
    e.kind = b[at];
    e.type = get32(at + 1);
    const std::uint32_t nameLen = get32(at + 5);
    at += 9;
    if (end - at < nameLen || end - at - nameLen < 4) return damaged("entry " + std::to_string(i) + " is cut short");
    e.name = FromUtf8(std::string(reinterpret_cast<const char*>(b.data() + at), nameLen));
    at += nameLen;
    const std::uint32_t dataLen = get32(at);
    at += 4;
    if (end - at < dataLen) return damaged("entry " + std::to_string(i) + " is cut short");
    e.data.assign(b.begin() + static_cast<std::ptrdiff_t>(at), b.begin() + static_cast<std::ptrdiff_t>(at + dataLen));
    at += dataLen;
    if (e.kind < kEntryValue || e.kind > kEntryFile || !SafeName(e)) return damaged("entry " + std::to_string(i) + " names no value or profile file");
    const std::size_t size = KnownRecordSize(e.name);
    if (e.kind == kEntryValue && size != 0 && e.data.size() != size) {
      return damaged(ToUtf8(e.name) + " holds " + std::to_string(e.data.size()) + " bytes, not " + std::to_string(size));
    }
    out.push_back(std::move(e));
  }
  if (at != end) return damaged("bytes after the last entry");
  return out;
}

bool WriteFileMakingFolder(const WStr& path, const std::vector<std::uint8_t>& data) {
  std::error_code ec;
  fs::create_directories(FsPath(ExtractFilePath(path)), ec);
  return WriteFileAtomic(path, data);
}

// Makes the store hold exactly `want`'s values and files (files not named
// are left alone); stops at the first failure and names it.
bool Apply(const std::vector<Entry>& want, std::string& failed) {
  IRegistry& reg = GetRegistry();
  if (!reg.CreateKey(HKEY_CURRENT_USER_, kProfileKeyPath)) {
    failed = "the product key";
    return false;
  }
  for (const auto& e : want) {
    const bool ok = e.kind == kEntryValue
                        ? reg.SetValue(HKEY_CURRENT_USER_, kProfileKeyPath, e.name, static_cast<RegType>(e.type), e.data)
                        : WriteFileMakingFolder(FullPath(e), e.data);
    if (!ok) {
      failed = ToUtf8(e.kind == kEntryValue ? e.name : FullPath(e));
      return false;
    }
  }
  auto now = reg.EnumValues(HKEY_CURRENT_USER_, kProfileKeyPath);
  if (!now) {
    failed = "the list of values";
    return false;
  }
  for (const auto& v : *now) {
    const bool kept = std::any_of(want.begin(), want.end(), [&](const Entry& e) {
      return e.kind == kEntryValue && SameTextIgnoreCase(e.name, v.name);
    });
    if (!kept && !reg.DeleteValue(HKEY_CURRENT_USER_, kProfileKeyPath, v.name)) {
      failed = ToUtf8(v.name);
      return false;
    }
  }
  return true;
}

std::string TimeStamp() {
  const std::time_t t = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  std::tm tm{};
#if defined(_WIN32)
  localtime_s(&tm, &t);
#else
  localtime_r(&t, &tm);
#endif
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y%m%d-%H%M%S", &tm);
  return buf;
}

int Backup(Context& ctx) {
  if (ctx.args.size() != 1) return Fail("usage: backup FILE");
  std::string why;
  auto entries = Collect(why);
  if (!entries) return Fail(why);
  if (!WriteFileAtomic(FromNativePath(ctx.args[0]), Encode(*entries))) return Fail("cannot write " + ctx.args[0]);
  std::size_t values = 0;
  for (const auto& e : *entries) values += e.kind == kEntryValue ? 1 : 0;
  std::printf("backed up %zu values and %zu files to %s\n", values, entries->size() - values, ctx.args[0].c_str());
  return 0;
}

int Restore(Context& ctx) {
  ChangeOptions o;
  int rc = 0;
  if (!TakeChangeOptions(ctx, o, false, rc)) return rc;
  if (ctx.args.size() != 1) return Fail("usage: restore [--write] [--force] FILE");
  const std::string& file = ctx.args[0];
  const WStr path = FromNativePath(file);
  auto bytes = FileExists(path) ? ReadWholeFile(path) : std::nullopt;
  if (!bytes) return Fail("cannot read " + file);
  std::string why;
  auto want = Decode(*bytes, file, why);
  if (!want) return Fail(why);
  if (!CheckChangeAllowed(o, nullptr, 0, rc)) return rc;
  // The data it replaces goes next to the file first.
  auto before = Collect(why);
  if (!before) return Fail(why + "; nothing changed");
  // Never over an earlier automatic backup (two restores in one second).
  std::string saved = file + ".before-restore-" + TimeStamp();
  for (int n = 2; FileExists(FromNativePath(saved + ".vxbak")); ++n) {
    saved = file + ".before-restore-" + TimeStamp() + "-" + std::to_string(n);
  }
  saved += ".vxbak";
  if (!WriteFileAtomic(FromNativePath(saved), Encode(*before))) {
    return Fail("cannot write the backup of the current data to " + saved + "; nothing changed");
  }
  std::printf("the current data was saved to %s\n", saved.c_str());
  std::string failed;
  if (!Apply(*want, failed)) {
    // All or nothing: put back what was there, and remove files that were not.
    std::string ignored;
    Apply(*before, ignored);
    for (const auto& e : *want) {
      if (e.kind == kEntryValue) continue;
      const WStr p = FullPath(e);
      const bool existed = std::any_of(before->begin(), before->end(), [&](const Entry& b) {
        return b.kind != kEntryValue && SameTextIgnoreCase(FullPath(b), p);
      });
      if (!existed) DeleteFileAt(p);
    }
    return Fail("restore failed writing " + failed + "; the previous data was put back (also saved in " + saved + ")");
  }
  auto dm = LoadManager(ctx, true);
  return FinishChange(*dm, o, dm->FCurrentProfileInfo, dm->CurrentSlot(),
                      "restored " + std::to_string(want->size()) + " values and files from " + file);
}

}  // namespace

VX_COMMAND("backup", "backup FILE          every stored value, profile and macro file in one file", Backup);
VX_COMMAND("restore", "restore FILE         put a backup back (the current data is saved next to FILE first)", Restore);

}  // namespace vx::cli
