// vxprofile backup FILE | restore [--write] [--force] FILE: every value of
// the product key and the profile and macro files of the five slots in one
// checked file (profiles/ProfileBackup).
#include <cstdio>
#include <string>

#include "platform/Files.h"
#include "platform/Shell.h"
#include "profiles/ProfileBackup.h"
#include "tools/vxprofile/ProfileEdit.h"

namespace vx::cli {
namespace {

int Backup(Context& ctx) {
  if (ctx.args.size() == 1 && ctx.args[0] == "list") return BackupList(ctx);
  if (ctx.args.size() != 1) return Fail("usage: backup FILE | backup list");
  std::size_t values = 0, files = 0;
  std::string why;
  if (!WriteBackupFile(CliBackupStore(), FromNativePath(ctx.args[0]), values, files, why)) return Fail(why);
  std::printf("backed up %zu values and %zu files to %s\n", values, files, ctx.args[0].c_str());
  return 0;
}

int Restore(Context& ctx) {
  ChangeOptions o;
  int rc = 0;
  if (!TakeChangeOptions(ctx, o, false, rc)) return rc;
  if (ctx.args.size() != 1) return Fail("usage: restore [--write] [--force] FILE | TIME | --latest | N");
  std::string file = ctx.args[0];
  if (!ResolveAutomaticBackup(ctx, file, rc)) return rc;
  return RestoreBackupFile(ctx, o, file);
}

}  // namespace

BackupStore CliBackupStore() { return {GetRegistry(), DocumentsFolder()}; }

int RestoreBackupFile(const Context& ctx, const ChangeOptions& o, const std::string& file) {
  const BackupStore store = CliBackupStore();
  std::string why;
  auto want = ReadBackupFile(store, FromNativePath(file), why);
  if (!want) return Fail(why);
  int rc = 0;
  // --write: the profile the restored data makes current must go into the mouse.
  int slot = 0;
  const auto after = o.write ? ProfileAfterRestore(store, *want, slot) : nullptr;
  if (!CheckChangeAllowed(o, after.get(), slot, rc)) return rc;
  WStr saved;
  const bool ok = RestoreBackupParts(store, *want, FromNativePath(file), saved, why);
  if (!saved.empty()) std::printf("the current data was saved to %s\n", NativePath(saved).c_str());
  if (!ok) return Fail(why);
  auto dm = LoadManager(ctx, true);
  return FinishChange(*dm, o, dm->FCurrentProfileInfo, dm->CurrentSlot(),
                      "restored " + std::to_string(want->size()) + " values and files from " + file);
}

VX_COMMAND("backup", "backup FILE | list   every stored value, profile and macro file in one file; list: the automatic backups", Backup);
VX_COMMAND("restore", "restore FILE | TIME | --latest | N  put a backup back (the current data is saved next to it first); TIME or N as backup list prints them", Restore);

}  // namespace vx::cli
