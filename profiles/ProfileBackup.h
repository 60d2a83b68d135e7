#pragma once
// Backup and restore of the stored profiles: every value of the product key
// and the slots' profile and macro files in one checked file (format in
// README.md, "Backup file"). Works on the registry and documents folder it
// is given, never on a process-wide one, so the monitor's backup thread and
// vxprofile share it.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/Registry.h"
#include "platform/Text.h"
#include "profiles/DMUnit.h"

namespace vx {

// Where a backup reads from and a restore writes to.
struct BackupStore {
  IRegistry& registry;
  WStr documents;  // files below it are kept relative to it
};

// One entry of a backup file.
struct BackupPart {
  enum : std::uint8_t { Value = 1, DocumentsFile = 2, File = 3 };
  std::uint8_t kind = 0;
  std::uint32_t type = 0;  // registry type of a value
  WStr name;               // value name, path below the documents folder, or full path
  std::vector<std::uint8_t> data;
};
using BackupParts = std::vector<BackupPart>;

// A backup's entries: values by name, files by full path.
struct BackupItem {
  bool value = false;
  WStr name;
  std::vector<std::uint8_t> data;
};

// Size of the record a value the system names stands for; 0 for others.
std::size_t KnownRecordSize(WView valueName);

// The stored data in the backup format; nullopt with the reason.
std::optional<std::vector<std::uint8_t>> BackupBytes(const BackupStore& store, std::string& why);
// Writes BackupBytes to `file`; counts what it holds.
bool WriteBackupFile(const BackupStore& store, const WStr& file, std::size_t& values, std::size_t& files,
                     std::string& why);
// Reads and checks a whole backup: a damaged file, a value of the wrong type
// or size, a name given twice or a file path outside what a restore may
// write is refused (nullopt with the reason).
std::optional<BackupParts> ReadBackupFile(const BackupStore& store, const WStr& file, std::string& why);
std::optional<std::vector<BackupItem>> ReadBackupItems(const BackupStore& store, const WStr& file,
                                                       std::string& why);
// The slot and profile the store makes current once `want` is in place.
std::unique_ptr<TMouseProfileInfo> ProfileAfterRestore(const BackupStore& store, const BackupParts& want,
                                                       int& slot);
// Puts `want` (read from `file`) in place: saves the data it replaces next to
// `file` first (its name into `savedFile`), and on a failed write puts back
// exactly what was there. false with the whole message in `why`.
bool RestoreBackupParts(const BackupStore& store, const BackupParts& want, const WStr& file, WStr& savedFile,
                        std::string& why);

}  // namespace vx
