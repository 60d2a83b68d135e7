// The monitor's automatic backups from the command line: `backup list` and
// the backup that `restore --latest` or `restore N` puts back.
#include <cstdio>
#include <cstring>
#include <map>
#include <set>

#include "app/AutoBackup.h"
#include "platform/Files.h"
#include "tools/vxprofile/ProfileEdit.h"

namespace vx::cli {

namespace {

bool EndsWith(WView s, WView ext) {
  return s.size() > ext.size() && SameTextIgnoreCase(s.substr(s.size() - ext.size()), ext);
}

const BackupItem* Find(const std::vector<BackupItem>& items, bool value, WView name) {
  for (const auto& i : items) {
    if (i.value == value && SameTextIgnoreCase(i.name, name)) return &i;
  }
  return nullptr;
}

// Slot i's bytes as the backup's own group record places them.
std::vector<const BackupItem*> Slots(const std::vector<BackupItem>& items) {
  std::vector<const BackupItem*> out(kProfileSlots, nullptr);
  const BackupItem* g = Find(items, true, kGroupValueName);
  if (!g || g->data.size() != sizeof(TProfileSettingGroup)) return out;
  auto group = std::make_unique<TProfileSettingGroup>();
  std::memcpy(group.get(), g->data.data(), sizeof *group);
  for (int i = 0; i < kProfileSlots; ++i) {
    const TPROFILESTOREINFO& d = group->ProfileSettingList[i];
    const WStr name = ReadFixed(d.FileName);
    out[i] = d.StorageType == 1 ? Find(items, false, IncludeTrailingBackslash(ReadFixed(d.FilePath)) + name)
                                : Find(items, true, name);
  }
  return out;
}

// Appends only: gcc 12 at -O3 warns wrongly on literal + string.
std::string Cat(std::initializer_list<std::string_view> parts) {
  std::string out;
  for (auto p : parts) out.append(p);
  return out;
}

std::string Join(const std::vector<std::string>& parts, const char* sep) {
  std::string out;
  for (const auto& p : parts) {
    if (!out.empty()) out.append(sep);
    out.append(p);
  }
  return out;
}

}  // namespace

std::string BackupDifference(const std::vector<BackupItem>& before, const std::vector<BackupItem>& after) {
  std::vector<std::string> parts;
  const auto a = Slots(before), b = Slots(after);
  std::vector<std::string> slots;
  std::set<const BackupItem*> slotItems;
  for (int i = 0; i < kProfileSlots; ++i) {
    slotItems.insert(a[i]);
    slotItems.insert(b[i]);
    const bool same = (a[i] == nullptr) == (b[i] == nullptr) && (a[i] == nullptr || a[i]->data == b[i]->data);
    if (!same) slots.push_back(std::to_string(i));
  }
  if (!slots.empty()) parts.push_back(Cat({slots.size() == 1 ? "slot " : "slots ", Join(slots, ", ")}));
  // Macro files by name: + new, ~ changed, - gone; other values by name.
  std::map<WStr, char> macros;
  std::set<WStr> others;
  for (const auto& item : after) {
    if (slotItems.count(&item) != 0) continue;
    const BackupItem* old = Find(before, item.value, item.name);
    const char mark = old == nullptr ? '+' : old->data != item.data ? '~' : 0;
    if (mark == 0) continue;
    if (!item.value && EndsWith(item.name, u".macro")) {
      macros[ExtractFileName(item.name)] = mark;
    } else {
      others.insert(item.value ? item.name : ExtractFileName(item.name));
    }
  }
  for (const auto& item : before) {
    if (slotItems.count(&item) != 0 || Find(after, item.value, item.name) != nullptr) continue;
    if (!item.value && EndsWith(item.name, u".macro")) {
      macros[ExtractFileName(item.name)] = '-';
    } else {
      others.insert(item.value ? item.name : ExtractFileName(item.name));
    }
  }
  std::vector<std::string> m;
  for (const auto& [name, mark] : macros) m.push_back(Cat({std::string_view(&mark, 1), ToUtf8(name)}));
  if (!m.empty()) parts.push_back(Cat({"macros ", Join(m, ", ")}));
  std::vector<std::string> o;
  for (const auto& name : others) o.push_back(ToUtf8(name));
  if (!o.empty()) parts.push_back(Cat({"other values ", Join(o, ", ")}));
  return parts.empty() ? "no change" : Join(parts, "; ");
}

WStr CliBackupFolder(const Context& ctx) {
  if (ctx.storeDir.empty()) return AutoBackupFolder();
  return IncludeTrailingBackslash(FromUtf8(ctx.storeDir)) + u"backups";
}

int BackupList(const Context& ctx) {
  const WStr folder = CliBackupFolder(ctx);
  const auto backups = ListBackupFiles(folder);
  if (backups.empty()) {
    std::printf("no automatic backups in %s\n", NativePath(folder).c_str());
    return 0;
  }
  std::printf("automatic backups in %s, newest first:\n", NativePath(folder).c_str());
  std::printf("(restore \"TIME\" names one for good; restore N counts from the newest, so N moves when a backup is added)\n");
  // Each against the one before it in time.
  std::vector<std::optional<std::vector<BackupItem>>> items;
  for (const auto& b : backups) {
    std::string why;
    items.push_back(ReadBackupItems(CliBackupStore(), IncludeTrailingBackslash(folder) + b.name, why));
  }
  for (std::size_t k = backups.size(); k-- > 0;) {
    std::string change;
    if (!items[k]) {
      change = "damaged: cannot be restored";
    } else if (k == 0) {
      change = "oldest kept";
    } else if (!items[k - 1]) {
      change = "the one before is damaged";
    } else {
      change = BackupDifference(*items[k - 1], *items[k]);
    }
    std::printf("%3zu  %s  %8llu bytes  %s\n", backups.size() - k, ToUtf8(BackupTimeText(backups[k].time)).c_str(),
                static_cast<unsigned long long>(backups[k].size), change.c_str());
  }
  return 0;
}

bool ResolveAutomaticBackup(const Context& ctx, std::string& file, int& rc) {
  const bool latest = file == "--latest";
  const auto n = ParseIndex(file, 1, 1000000);
  // A file of that name wins over a number or a time.
  if (!latest && FileExists(FromNativePath(file))) return true;
  const WStr folder = CliBackupFolder(ctx);
  const auto backups = ListBackupFiles(folder);
  std::size_t index = 0;  // 1 is the newest
  if (latest || n) {
    index = latest ? 1 : static_cast<std::size_t>(*n);
    if (index > backups.size()) {
      rc = Fail(backups.empty() ? Cat({"no automatic backups in ", NativePath(folder)})
                                : Cat({"there are ", std::to_string(backups.size()), " automatic backups, not ",
                                       std::to_string(index), " (see backup list)"}));
      return false;
    }
  } else {
    // The time backup list prints names one backup whatever is added later.
    const WStr time = FromUtf8(file);
    for (std::size_t k = 0; k < backups.size(); ++k) {
      if (BackupTimeText(backups[k].time) != time) continue;
      if (index != 0) {
        rc = Fail(Cat({"several automatic backups were taken at ", file, "; name the file in ", NativePath(folder)}));
        return false;
      }
      index = backups.size() - k;
    }
    if (index == 0) return true;  // a file name: its own errors follow
  }
  file = NativePath(IncludeTrailingBackslash(folder) + backups[backups.size() - index].name);
  std::printf("restoring the automatic backup of %s\n",
              ToUtf8(BackupTimeText(backups[backups.size() - index].time)).c_str());
  return true;
}

}  // namespace vx::cli
