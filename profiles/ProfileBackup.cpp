#include "profiles/ProfileBackup.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <ctime>
#include <filesystem>

#include "platform/Debug.h"
#include "platform/Files.h"
#include "profiles/BackupSchedule.h"

namespace vx {
namespace {

namespace fs = std::filesystem;

constexpr char kMagic[8] = {'V', 'X', 'M', 'O', 'N', 'B', 'A', 'K'};
constexpr std::uint32_t kFormatVersion = 1;


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

bool IsSep(char16_t c) { return c == u'\\' || c == u'/'; }

bool EndsWithText(WView s, WView ext) {
  return s.size() > ext.size() && SameTextIgnoreCase(s.substr(s.size() - ext.size()), ext);
}

// One spelling of a path for comparisons.
WStr Slashed(WView path) {
  WStr p(path);
  for (auto& c : p) c = c == u'/' ? u'\\' : c;
  return p;
}

bool SamePath(WView a, WView b) { return SameTextIgnoreCase(Slashed(a), Slashed(b)); }

bool StartsWithFolder(WView path, WView folder) {
  return !folder.empty() && path.size() > folder.size() + 1 && IsSep(path[folder.size()]) &&
         SamePath(path.substr(0, folder.size()), folder);
}

WStr FullPath(const BackupStore& store, const BackupPart& e) {
  return e.kind == BackupPart::DocumentsFile ? ExcludeTrailingBackslash(store.documents) + u"\\" + e.name : e.name;
}

// A device name Windows keeps whatever the extension ("COM1.pfd").
bool DeviceName(WView part) {
  const WView stem = part.substr(0, part.find(u'.'));
  for (WView d : {u"CON", u"PRN", u"AUX", u"NUL"}) {
    if (SameTextIgnoreCase(stem, d)) return true;
  }
  return stem.size() == 4 &&
         (SameTextIgnoreCase(stem.substr(0, 3), u"COM") || SameTextIgnoreCase(stem.substr(0, 3), u"LPT")) &&
         stem[3] >= u'1' && stem[3] <= u'9';
}

// Every part between separators is a plain name: not empty, not "." or
// "..", no drive or stream colon, no wildcard or control character, no
// device name.
bool PlainParts(WView p) {
  std::size_t start = 0;
  for (;;) {
    std::size_t end = start;
    while (end < p.size() && !IsSep(p[end])) ++end;
    const WView part = p.substr(start, end - start);
    if (part.empty() || part == u"." || part == u".." || DeviceName(part)) return false;
    for (char16_t c : part) {
      if (c < 0x20 || WView(u":*?\"<>|").find(c) != WView::npos) return false;
    }
    if (end == p.size()) return true;
    start = end + 1;
  }
}

// The part of an absolute path after its root ("C:\", "\\server\", "/");
// nullopt for a relative one.
std::optional<WView> AfterRoot(WView p) {
#if defined(_WIN32)
  const bool letter = p.size() > 3 && ((p[0] >= u'A' && p[0] <= u'Z') || (p[0] >= u'a' && p[0] <= u'z'));
  if (letter && p[1] == u':' && IsSep(p[2])) return p.substr(3);
  if (p.size() > 2 && IsSep(p[0]) && IsSep(p[1])) return p.substr(2);
#else
  if (p.size() > 1 && IsSep(p[0])) return p.substr(1);
#endif
  return std::nullopt;
}

// A group record of the right size among `entries`, or nullptr.
std::unique_ptr<TProfileSettingGroup> GroupOf(const BackupParts& entries) {
  for (const auto& e : entries) {
    if (e.kind == BackupPart::Value && SameTextIgnoreCase(e.name, kGroupValueName) &&
        e.type == static_cast<std::uint32_t>(RegType::Binary) && e.data.size() == sizeof(TProfileSettingGroup)) {
      auto g = std::make_unique<TProfileSettingGroup>();
      std::memcpy(g.get(), e.data.data(), sizeof *g);
      return g;
    }
  }
  return nullptr;
}

WStr ProfileFileOf(const TPROFILESTOREINFO& d) {
  return IncludeTrailingBackslash(ReadFixed(d.FilePath)) + ReadFixed(d.FileName);
}

// The only files a restore writes: ".pfd" and ".macro" files below the
// documents folder, or at a full path that `group` names as a slot's
// profile file or macro folder. A backup is untrusted input.
bool AllowedFile(const BackupPart& e, const TProfileSettingGroup* group) {
  if (e.name.empty() || (!EndsWithText(e.name, u".pfd") && !EndsWithText(e.name, u".macro"))) return false;
  if (e.kind == BackupPart::DocumentsFile) return !IsSep(e.name[0]) && PlainParts(e.name);
  const auto rest = AfterRoot(e.name);
  if (!rest || !PlainParts(*rest) || group == nullptr) return false;
  for (const auto& d : group->ProfileSettingList) {
    if (d.StorageType == 1 && SamePath(e.name, ProfileFileOf(d))) return true;
    const WStr macros = ReadFixed(d.MacroPath);
    if (!macros.empty() && EndsWithText(e.name, u".macro") &&
        SamePath(ExtractFilePath(Slashed(e.name)), IncludeTrailingBackslash(Slashed(macros)))) {
      return true;
    }
  }
  return false;
}

const char* TypeName(std::uint32_t type) {
  switch (static_cast<RegType>(type)) {
    case RegType::Binary:
      return "REG_BINARY";
    case RegType::DWord:
      return "REG_DWORD";
    case RegType::String:
      return "REG_SZ";
    default:
      return "";
  }
}

// Empty when a value may be restored; else what is wrong with it. The
// records the system reads must have their type and size, so the monitor
// can load what was restored; other values keep theirs.
std::string ValueProblem(const BackupPart& e, const TProfileSettingGroup* group) {
  std::uint32_t must = static_cast<std::uint32_t>(RegType::Binary);
  std::size_t size = KnownRecordSize(e.name);
  for (int i = 0; size == 0 && group != nullptr && i < kProfileSlots; ++i) {
    const TPROFILESTOREINFO& d = group->ProfileSettingList[i];
    if (d.StorageType == 0 && SameTextIgnoreCase(e.name, ReadFixed(d.FileName))) size = sizeof(TMouseProfileInfo);
  }
  if (SameTextIgnoreCase(e.name, kProfileIDValueName)) {
    must = static_cast<std::uint32_t>(RegType::DWord);
    size = 4;
  }
  const std::string name = ToUtf8(e.name);
  if (size == 0) {
    if (e.type > 11) return name + " is of unknown type " + std::to_string(e.type);
    if ((e.type == 4 && e.data.size() != 4) || (e.type == 11 && e.data.size() != 8)) {
      return name + " holds " + std::to_string(e.data.size()) + " bytes, too many or too few for its type";
    }
    return {};
  }
  if (e.type != must)
    return name + " is of type " + std::to_string(e.type) + ", not " + TypeName(must) + " (" + std::to_string(must) +
           ")";
  if (e.data.size() != size)
    return name + " holds " + std::to_string(e.data.size()) + " bytes, not " + std::to_string(size);
  return {};
}

void AddFile(const BackupStore& store, BackupParts& out, const WStr& path, const TProfileSettingGroup* group) {
  for (const auto& e : out) {
    if (e.kind != BackupPart::Value && SamePath(FullPath(store, e), path)) return;
  }
  auto data = FileExists(path) ? ReadWholeFile(path) : std::nullopt;
  if (!data) return;
  const WStr docs = ExcludeTrailingBackslash(store.documents);
  BackupPart e;
  e.kind = StartsWithFolder(path, docs) ? BackupPart::DocumentsFile : BackupPart::File;
  e.name = e.kind == BackupPart::DocumentsFile ? path.substr(docs.size() + 1) : path;
  e.data = std::move(*data);
  // A backup holds only what a restore of it accepts.
  if (!AllowedFile(e, group)) {
    DebugOutput("backup: left out " + NativePath(path) + ": not a path a restore writes");
    return;
  }
  out.push_back(std::move(e));
}

// The stored state: values of the product key, then each slot's profile
// file and ".macro" files, as the stored group record names them.
std::optional<BackupParts> Collect(const BackupStore& store, std::string& why) {
  BackupParts out;
  IRegistry& reg = store.registry;
  if (reg.KeyExists(HKEY_CURRENT_USER_, kProfileKeyPath)) {
    auto values = reg.EnumValues(HKEY_CURRENT_USER_, kProfileKeyPath);
    if (!values) {
      why = "cannot list the stored values";
      return std::nullopt;
    }
    for (auto& v : *values)
      out.push_back({BackupPart::Value, static_cast<std::uint32_t>(v.value.type), v.name, v.value.data});
  }
  const auto g = GroupOf(out);
  if (!g) return out;
  for (const auto& d : g->ProfileSettingList) {
    if (d.StorageType == 1) AddFile(store, out, ProfileFileOf(d), g.get());
    const WStr folder = ReadFixed(d.MacroPath);
    if (folder.empty() || !DirectoryExists(folder)) continue;
    std::vector<WStr> files;
    std::error_code ec;
    for (const auto& f : fs::directory_iterator(FsPath(folder), ec)) {
      const std::u8string u = f.path().filename().u8string();
      const WStr name = FromUtf8(std::string(reinterpret_cast<const char*>(u.data()), u.size()));
      if (f.is_regular_file(ec) && EndsWithText(name, u".macro"))
        files.push_back(IncludeTrailingBackslash(folder) + name);
    }
    std::sort(files.begin(), files.end());
    for (const auto& f : files) AddFile(store, out, f, g.get());
  }
  return out;
}

void Put32(std::vector<std::uint8_t>& b, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

std::vector<std::uint8_t> Encode(const BackupParts& entries) {
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

// The whole file is read and every entry checked before anything is written.
std::optional<BackupParts> Decode(const BackupStore& store, const std::vector<std::uint8_t>& b, const std::string& file,
                                         std::string& why) {
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
    why = file + " is a backup of format version " + std::to_string(version) +
          ", which this program does not know (it reads version " + std::to_string(kFormatVersion) +
          "); nothing changed";
    return std::nullopt;
  }
  const std::size_t end = b.size() - 4;
  std::size_t at = 16;
  BackupParts out;
  for (std::uint32_t n = get32(12), i = 0; i < n; ++i) {
    if (end - at < 9) return damaged("entry " + std::to_string(i) + " is cut short");
    BackupPart e;
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
    if (e.kind < BackupPart::Value || e.kind > BackupPart::File || e.name.empty() || e.name.find(u'\0') != WStr::npos) {
      return damaged("entry " + std::to_string(i) + " names no value or file");
    }
    out.push_back(std::move(e));
  }
  if (at != end) return damaged("bytes after the last entry");
  const auto group = GroupOf(out);
  for (std::size_t i = 0; i < out.size(); ++i) {
    const BackupPart& e = out[i];
    const auto refused = [&](const std::string& what) {
      why = file + " is refused: " + what + "; nothing changed";
      return std::nullopt;
    };
    for (std::size_t j = 0; j < i; ++j) {
      const bool same =
          (e.kind == BackupPart::Value) == (out[j].kind == BackupPart::Value) &&
          (e.kind == BackupPart::Value ? SameTextIgnoreCase(e.name, out[j].name) : SamePath(FullPath(store, e), FullPath(store, out[j])));
      if (same) return refused("it names " + ToUtf8(e.name) + " twice");
    }
    if (e.kind == BackupPart::Value) {
      const std::string problem = ValueProblem(e, group.get());
      if (!problem.empty()) return refused(problem);
    } else if (!AllowedFile(e, group.get())) {
      return refused("entry " + std::to_string(i) + " \"" + ToUtf8(e.name) +
                     "\" is not a file a restore may write (a .pfd or .macro file below the documents folder, or "
                     "at a full path the backup's group record names as a profile file or macro folder)");
    }
  }
  return out;
}

// What the targets of a restore held before it: every value of the key and,
// for each file it writes, its bytes or that there was none.
struct Before {
  bool keyExisted = false;
  std::vector<RegNamedValue> values;
  std::vector<std::pair<WStr, std::optional<std::vector<std::uint8_t>>>> files;
};

bool TakeBefore(const BackupStore& store, const BackupParts& want, Before& before, std::string& why) {
  IRegistry& reg = store.registry;
  before.keyExisted = reg.KeyExists(HKEY_CURRENT_USER_, kProfileKeyPath);
  if (before.keyExisted) {
    auto values = reg.EnumValues(HKEY_CURRENT_USER_, kProfileKeyPath);
    if (!values) {
      why = "cannot list the stored values";
      return false;
    }
    before.values = std::move(*values);
  }
  for (const auto& e : want) {
    if (e.kind == BackupPart::Value) continue;
    const WStr path = FullPath(store, e);
    std::optional<std::vector<std::uint8_t>> bytes;
    if (FileExists(path)) {
      bytes = ReadWholeFile(path);
      if (!bytes) {
        why = "cannot read " + NativePath(path) + ", which the restore would replace";
        return false;
      }
    } else if (DirectoryExists(path)) {
      why = NativePath(path) + " is a folder, where the backup has a file";
      return false;
    }
    before.files.emplace_back(path, std::move(bytes));
  }
  return true;
}

// Writes a file, creating the folders it needs; the folders created are
// added to `created`, so a rollback can remove them again.
bool WriteFileMakingFolder(const WStr& path, const std::vector<std::uint8_t>& data, std::vector<WStr>& created) {
  std::vector<WStr> missing;
  WStr folder = ExcludeTrailingBackslash(ExtractFilePath(path));
  while (!folder.empty() && !DirectoryExists(folder)) {
    if (FileExists(folder)) return false;
    missing.push_back(folder);
    const WStr parent = ExcludeTrailingBackslash(ExtractFilePath(folder));
    if (parent == folder) break;
    folder = parent;
  }
  for (auto f = missing.rbegin(); f != missing.rend(); ++f) {
    if (!CreateDirectoryOneLevel(*f)) return false;
    created.push_back(*f);
  }
  return WriteFileAtomic(path, data);
}

// Makes the store hold exactly `want`'s values and files (files not named
// are left alone); stops at the first failure and names it.
bool Apply(const BackupStore& store, const BackupParts& want, std::vector<WStr>& created, std::string& failed) {
  IRegistry& reg = store.registry;
  if (!reg.CreateKey(HKEY_CURRENT_USER_, kProfileKeyPath)) {
    failed = "the product key";
    return false;
  }
  for (const auto& e : want) {
    const bool ok = e.kind == BackupPart::Value ? reg.SetValue(HKEY_CURRENT_USER_, kProfileKeyPath, e.name,
                                                         static_cast<RegType>(e.type), e.data)
                                          : WriteFileMakingFolder(FullPath(store, e), e.data, created);
    if (!ok) {
      failed = e.kind == BackupPart::Value ? ToUtf8(e.name) : NativePath(FullPath(store, e));
      return false;
    }
  }
  auto now = reg.EnumValues(HKEY_CURRENT_USER_, kProfileKeyPath);
  if (!now) {
    failed = "the list of values";
    return false;
  }
  for (const auto& v : *now) {
    const bool kept = std::any_of(want.begin(), want.end(), [&](const BackupPart& e) {
      return e.kind == BackupPart::Value && SameTextIgnoreCase(e.name, v.name);
    });
    if (!kept && !reg.DeleteValue(HKEY_CURRENT_USER_, kProfileKeyPath, v.name)) {
      failed = ToUtf8(v.name);
      return false;
    }
  }
  return true;
}

// Puts back exactly what `before` holds: rewrites, recreates or removes
// each target, removes the folders the restore created. Goes on past a
// failure; false names the first.
bool Rollback(const BackupStore& store, const Before& before, const std::vector<WStr>& created, std::string& failed) {
  bool ok = true;
  const auto fail = [&](const std::string& what) {
    if (ok) failed = what;
    ok = false;
  };
  IRegistry& reg = store.registry;
  for (const auto& v : before.values) {
    auto now = reg.QueryValue(HKEY_CURRENT_USER_, kProfileKeyPath, v.name);
    if (now && now->type == v.value.type && now->data == v.value.data) continue;
    if (!reg.SetValue(HKEY_CURRENT_USER_, kProfileKeyPath, v.name, v.value.type, v.value.data)) fail(ToUtf8(v.name));
  }
  if (reg.KeyExists(HKEY_CURRENT_USER_, kProfileKeyPath)) {
    auto now = reg.EnumValues(HKEY_CURRENT_USER_, kProfileKeyPath);
    if (!now) fail("the list of values");
    for (const auto& v : now ? *now : std::vector<RegNamedValue>{}) {
      const bool was = std::any_of(before.values.begin(), before.values.end(),
                                   [&](const RegNamedValue& b) { return SameTextIgnoreCase(b.name, v.name); });
      if (!was && !reg.DeleteValue(HKEY_CURRENT_USER_, kProfileKeyPath, v.name)) fail(ToUtf8(v.name));
    }
  }
  for (auto f = before.files.rbegin(); f != before.files.rend(); ++f) {
    const auto& [path, bytes] = *f;
    if (bytes) {
      auto now = ReadWholeFile(path);
      if ((!now || *now != *bytes) && !WriteFileAtomic(path, *bytes)) fail(NativePath(path));
    } else if (FileExists(path) && !DeleteFileAt(path)) {
      fail(NativePath(path));
    }
  }
  for (auto c = created.rbegin(); c != created.rend(); ++c) {
    std::error_code ec;
    fs::remove(FsPath(*c), ec);  // only when empty
  }
  return ok;
}

// The slot and profile that the store makes current once `want` is in
// place, as the monitor loads them.
std::unique_ptr<TMouseProfileInfo> ProfileAfter(const BackupStore& store, const BackupParts& want, int& slot) {
  auto dm = std::make_unique<TDM>();
  auto g = GroupOf(want);
  if (!g) {
    TkwStream s;
    dm->kwProfileSettingGroupRestoreToDefault(s);
    g = std::make_unique<TProfileSettingGroup>();
    std::memcpy(g.get(), s.Bytes.data(), sizeof *g);
  }
  const int group = TDM::IsProfileGroupIndexInRange(g->CurrentProfileGroup) ? g->CurrentProfileGroup : 0;
  slot = TDM::IsProfileIndexInRange(g->ProfileIndexOfProfileGroup[group]) ? g->ProfileIndexOfProfileGroup[group] : 0;
  const TPROFILESTOREINFO& d = g->ProfileSettingList[slot];
  std::optional<std::vector<std::uint8_t>> bytes;
  for (const auto& e : want) {
    const bool value = e.kind == BackupPart::Value && d.StorageType == 0 && SameTextIgnoreCase(e.name, ReadFixed(d.FileName));
    const bool file = e.kind != BackupPart::Value && d.StorageType == 1 && SamePath(FullPath(store, e), ProfileFileOf(d));
    if (value || file) bytes = e.data;
  }
  if (!bytes && d.StorageType == 1 && FileExists(ProfileFileOf(d))) bytes = ReadWholeFile(ProfileFileOf(d));
  auto p = std::make_unique<TMouseProfileInfo>();
  if (bytes) {
    std::memcpy(p.get(), bytes->data(), std::min(bytes->size(), sizeof *p));
  } else if (d.StorageType <= 1) {
    TkwStream s;
    dm->kwProfileGame1RestoreToDefault(s);
    std::memcpy(p.get(), s.Bytes.data(), sizeof *p);
  }
  return p;
}

std::string TimeStamp() {
  const std::tm tm = LocalCalendarTime(std::chrono::system_clock::to_time_t(std::chrono::system_clock::now()));
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y%m%d-%H%M%S", &tm);
  return buf;
}

}  // namespace

std::size_t KnownRecordSize(WView name) {
  if (SameTextIgnoreCase(name, kGroupValueName)) return sizeof(TProfileSettingGroup);
  if (SameTextIgnoreCase(name, kAllSettingValueName)) return sizeof(TALLGAMESINFO);
  if (SameTextIgnoreCase(name, kRecordMacroValueName)) return sizeof(TMACROKEYINFO);
  if (SameTextIgnoreCase(name, kDefaultGameValueName) || SameTextIgnoreCase(name, kTestValueName)) {
    return sizeof(TMouseProfileInfo);
  }
  for (int i = 0; i < kProfileSlots; ++i) {
    if (SameTextIgnoreCase(name, DefaultSlotValueName(i))) return sizeof(TMouseProfileInfo);
  }
  return 0;
}

std::optional<std::vector<std::uint8_t>> BackupBytes(const BackupStore& store, std::string& why) {
  auto entries = Collect(store, why);
  if (!entries) return std::nullopt;
  return Encode(*entries);
}

bool WriteBackupFile(const BackupStore& store, const WStr& file, std::size_t& values, std::size_t& files,
                     std::string& why) {
  auto entries = Collect(store, why);
  if (!entries) return false;
  if (!WriteFileAtomic(file, Encode(*entries))) {
    why = "cannot write " + NativePath(file);
    return false;
  }
  values = static_cast<std::size_t>(std::count_if(entries->begin(), entries->end(),
                                                  [](const BackupPart& e) { return e.kind == BackupPart::Value; }));
  files = entries->size() - values;
  return true;
}

std::optional<BackupParts> ReadBackupFile(const BackupStore& store, const WStr& file, std::string& why) {
  auto bytes = FileExists(file) ? ReadWholeFile(file) : std::nullopt;
  if (!bytes) {
    why = "cannot read " + NativePath(file);
    return std::nullopt;
  }
  return Decode(store, *bytes, NativePath(file), why);
}

std::optional<std::vector<BackupItem>> ReadBackupItems(const BackupStore& store, const WStr& file,
                                                       std::string& why) {
  auto entries = ReadBackupFile(store, file, why);
  if (!entries) return std::nullopt;
  std::vector<BackupItem> out;
  for (auto& e : *entries) {
    out.push_back({e.kind == BackupPart::Value, e.kind == BackupPart::Value ? e.name : FullPath(store, e),
                   std::move(e.data)});
  }
  return out;
}

std::unique_ptr<TMouseProfileInfo> ProfileAfterRestore(const BackupStore& store, const BackupParts& want,
                                                       int& slot) {
  return ProfileAfter(store, want, slot);
}

bool RestoreBackupParts(const BackupStore& store, const BackupParts& want, const WStr& file, WStr& savedFile,
                        std::string& why) {
  const std::string name = NativePath(file);
  Before before;
  if (!TakeBefore(store, want, before, why)) {
    why += "; nothing changed";
    return false;
  }
  // The data it replaces goes next to the file first: the stored data and
  // every file the restore overwrites.
  auto saved = Collect(store, why);
  if (!saved) {
    why += "; nothing changed";
    return false;
  }
  {
    const auto g = GroupOf(*saved);
    for (const auto& [target, old] : before.files) {
      if (old) AddFile(store, *saved, target, g.get());
    }
  }
  // Never over an earlier automatic backup (two restores in one second).
  std::string savedName = name + ".before-restore-" + TimeStamp();
  for (int n = 2; FileExists(FromNativePath(savedName + ".vxbak")); ++n) {
    savedName = name + ".before-restore-" + TimeStamp() + "-" + std::to_string(n);
  }
  savedName += ".vxbak";
  if (!WriteFileAtomic(FromNativePath(savedName), Encode(*saved))) {
    why = "cannot write the backup of the current data to " + savedName + "; nothing changed";
    return false;
  }
  savedFile = FromNativePath(savedName);
  std::string failed;
  std::vector<WStr> created;
  if (Apply(store, want, created, failed)) return true;
  std::string stuck;
  if (!Rollback(store, before, created, stuck)) {
    why = "restore failed writing " + failed + ", and putting the previous data back failed too, at " + stuck +
          ": the stored data is now mixed, partly from " + name + " and partly from before; restore " + savedName +
          " (the data as it was before) once the cause is fixed";
  } else {
    why = "restore failed writing " + failed + "; the previous data was put back (also saved in " + savedName + ")";
  }
  return false;
}

}  // namespace vx
