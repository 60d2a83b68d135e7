#pragma once
// What the commands that change stored data share: their options, loading
// the profile manager, the refusal while the configuration application
// runs, storing a slot, the monitor's reload and the write to the mouse.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/Registry.h"
#include "platform/WindowSystem.h"
#include "profiles/DMUnit.h"
#include "profiles/ProfileBackup.h"
#include "tools/vxprofile/Commands.h"

namespace vx::cli {

// Lets a command look at the store exactly as the monitor would load it
// while never writing a value.
class ReadOnlyRegistry final : public IRegistry {
 public:
  explicit ReadOnlyRegistry(IRegistry& inner) : inner_(inner) {}
  bool CreateKey(RegRoot root, WView path) override { return inner_.KeyExists(root, path); }
  bool KeyExists(RegRoot root, WView path) override { return inner_.KeyExists(root, path); }
  std::optional<RegValue> QueryValue(RegRoot root, WView path, WView name) override {
    return inner_.QueryValue(root, path, name);
  }
  bool SetValue(RegRoot, WView, WView, RegType, std::span<const std::uint8_t>) override { return true; }
  bool DeleteValue(RegRoot, WView, WView) override { return true; }
  std::optional<std::vector<RegNamedValue>> EnumValues(RegRoot root, WView path) override {
    return inner_.EnumValues(root, path);
  }

 private:
  IRegistry& inner_;
};

struct ChangeOptions {
  int slot = -1;  // --slot N; -1: the current slot
  bool write = false;
  bool force = false;
};

// Takes --slot N (when allowSlot), --write and --force out of ctx.args.
// On a bad option: false, with rc set by Fail.
bool TakeChangeOptions(Context& ctx, ChangeOptions& o, bool allowSlot, int& rc);
// Parses a whole decimal number in [lo, hi].
std::optional<int> ParseIndex(const std::string& text, int lo, int hi);

// The profile manager as the monitor creates it at start-up. Read-only: the
// registry is never written (defaults stay in memory).
std::unique_ptr<TDM> LoadManager(const Context& ctx, bool readOnly);

// The windows vxprofile looks for (the monitor's, the configuration
// application's); none on a host without them. Tests replace it.
IWindowSystem* CliWindows();
void SetCliWindows(IWindowSystem* windows);

// The checks every change passes before anything is stored: the
// configuration application is not running (unless --force), and with
// --write the slot's profile can go into the mouse and a mouse is there.
bool CheckChangeAllowed(const ChangeOptions& o, const TMouseProfileInfo* toWrite, int slot, int& rc);
// Stores one slot: its registry value, and its file when it is file-stored.
// false with `error` naming the value or file that could not be written.
bool StoreSlot(TDM& dm, const TMouseProfileInfo& profile, int slot, std::string& error);
// The end of the message for a value a change could not save.
std::string UnsavedValue(WView value);
// After a change was stored: prints `done`, tells a running monitor to
// reload (7035 with the stored ProfileID) and, with --write, writes the
// slot into the mouse. Returns the exit code.
int FinishChange(const TDM& dm, const ChangeOptions& o, const TMouseProfileInfo& profile, int slot,
                 const std::string& done);
// The reload message to a running monitor; false when none runs.
bool NotifyMonitor(const TDM& dm);
// Backups (cmd_backup.cpp): the store vxprofile works on (its registry and
// documents folder).
BackupStore CliBackupStore();
// Puts the backup `file` back, as `restore` does (see RestoreBackupParts),
// and with --write refuses a slot that cannot go into the mouse. Returns the
// exit code.
int RestoreBackupFile(const Context& ctx, const ChangeOptions& o, const std::string& file);

// The automatic backups (cmd_backup_list.cpp): the folder vxprofile reads,
// DIR/backups with --store DIR; `backup list`; and the backup that `restore
// --latest` or `restore N` names (1 is the newest), put into `file`.
WStr CliBackupFolder(const Context& ctx);
int BackupList(const Context& ctx);
bool ResolveAutomaticBackup(const Context& ctx, std::string& file, int& rc);
// What changed from one backup to the next: "slots 0, 2; macros: +a, ~b, -c;
// other values: X"; "no change" when nothing did.
std::string BackupDifference(const std::vector<BackupItem>& before, const std::vector<BackupItem>& after);
// Writes a profile into onboard profile `slot`, printing every report sent.
// Exit code 2 (with the reason) when nothing or not everything was written.
int WriteToMouse(const TMouseProfileInfo& profile, int slot);

}  // namespace vx::cli
