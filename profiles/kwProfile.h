#pragma once
// A byte stream persisted as one binary registry value or as one file.
// The owner writes a record image into the stream, loads or saves it, and
// reads the image back; hooks may veto or follow every load and save.
#include <cstdint>
#include <functional>
#include <vector>

#include "platform/Registry.h"
#include "platform/Text.h"

namespace vx {

// The in-memory stream: bytes plus a position, as the hooks see it.
struct TkwStream {
  std::vector<std::uint8_t> Bytes;
  std::size_t Position = 0;

  std::size_t Size() const { return Bytes.size(); }
  // Grows with zero bytes or shrinks; position back to 0.
  void SetSize(std::size_t n) {
    Bytes.resize(n);
    Position = 0;
  }
  std::uint8_t* Memory() { return Bytes.data(); }
  const std::uint8_t* Memory() const { return Bytes.data(); }
};

using TkwProfileOnRestoreToDefault = std::function<void(TkwStream& AStream)>;
using TkwProfileEvent = std::function<void(TkwStream& AStream, bool& bContinue)>;
using TkwProfileEvent2 = std::function<void(TkwStream& AStream)>;

class TkwProfile {
 public:
  TkwProfile() = default;
  TkwProfile(const TkwProfile&) = delete;
  TkwProfile& operator=(const TkwProfile&) = delete;

  // Positions at 0 and writes Count bytes there; a longer stream keeps its
  // extra bytes. FSize records the resulting stream size.
  std::int32_t Write(const void* Buffer, std::int32_t Count);
  // Copies up to Count bytes from position 0; fewer when the stream is shorter.
  std::int32_t Read(void* Buffer, std::int32_t Count);
  void RestoreToDefault();

  bool LoadStreamFromRegistry();
  // false, with a debug line, when the value cannot be set.
  bool SaveStreamToRegistry();
  bool LoadStreamFromFile();
  bool LoadStreamFromFile(WView strFilewithpath);
  bool SaveStreamToFile();
  bool SaveStreamToFile(WView strFileWithPath);
  bool PreSaveStreamToFile(WView strFileWithPath);

  // Properties.
  RegRoot RootKey() const { return FRootKey; }
  void SetRootKey(RegRoot v) { FRootKey = v; }
  const WStr& KeyPath() const { return FKeyPath; }
  void SetKeyPath(WView v) { FKeyPath = WStr(v); }
  const WStr& FileName() const { return FFileName; }
  void SetFileName(WView v) { FFileName = WStr(v); }
  const WStr& FilePath() const { return FFilePath; }
  // Taken only when it names an existing folder; a backslash is appended.
  void SetFilePath(WView v);
  std::int64_t Size() const { return FSize; }
  void SetSize(std::int64_t v);

  TkwStream& Stream() { return FMemoryStream; }
  const TkwStream& Stream() const { return FMemoryStream; }

  // Hooks; an empty function is an unassigned event.
  TkwProfileOnRestoreToDefault OnRestoreToDefault;
  TkwProfileEvent OnBeforeSaveToRegistry;
  TkwProfileEvent OnBeforeSaveToFile;
  TkwProfileEvent OnBeforeLoadFromRegistry;
  TkwProfileEvent OnBeforeLoadFromFile;
  TkwProfileEvent2 OnAfterSaveToRegistry;
  TkwProfileEvent2 OnAfterSaveToFile;
  TkwProfileEvent2 OnAfterLoadFromRegistry;
  TkwProfileEvent2 OnAfterLoadFromFile;

 private:
  bool RegistryUsable() const;
  bool Allowed(const TkwProfileEvent& hook);
  void ReplaceFromFile(WView path);
  void WriteToFile(WView path);

  TkwStream FMemoryStream;
  RegRoot FRootKey = 0;
  WStr FKeyPath;
  WStr FFileName;
  WStr FFilePath;
  std::int64_t FSize = 0;
};

}  // namespace vx
