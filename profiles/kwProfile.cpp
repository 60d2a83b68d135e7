#include "profiles/kwProfile.h"

#include <algorithm>
#include <cstring>

#include "platform/Debug.h"
#include "platform/Errors.h"
#include "platform/Files.h"

namespace vx {

std::int32_t TkwProfile::Write(const void* Buffer, std::int32_t Count) {
  FMemoryStream.Position = 0;
  if (Count > 0 && Buffer != nullptr) {
    const auto n = static_cast<std::size_t>(Count);
    if (FMemoryStream.Bytes.size() < n) FMemoryStream.Bytes.resize(n);
    std::memcpy(FMemoryStream.Bytes.data(), Buffer, n);
    FMemoryStream.Position = n;
  } else {
    Count = 0;
  }
  FSize = static_cast<std::int64_t>(FMemoryStream.Size());
  return Count;
}

std::int32_t TkwProfile::Read(void* Buffer, std::int32_t Count) {
  FMemoryStream.Position = 0;
  if (Count <= 0 || Buffer == nullptr) return 0;
  const std::size_t n = std::min(static_cast<std::size_t>(Count), FMemoryStream.Size());
  if (n > 0) std::memcpy(Buffer, FMemoryStream.Bytes.data(), n);
  FMemoryStream.Position = n;
  return static_cast<std::int32_t>(n);
}

void TkwProfile::RestoreToDefault() {
  if (OnRestoreToDefault) OnRestoreToDefault(FMemoryStream);
}

void TkwProfile::SetFilePath(WView v) {
  if (v == FFilePath || !DirectoryExists(v)) return;
  FFilePath = IncludeTrailingBackslash(v);
}

void TkwProfile::SetSize(std::int64_t v) {
  if (v == FSize || v < 0) return;
  FSize = v;
  FMemoryStream.SetSize(static_cast<std::size_t>(v));
}

bool TkwProfile::Allowed(const TkwProfileEvent& hook) {
  bool go = true;
  if (hook) hook(FMemoryStream, go);
  return go;
}

bool TkwProfile::RegistryUsable() const {
  return (FRootKey == HKEY_CURRENT_USER_ || FRootKey == HKEY_LOCAL_MACHINE_) && !FKeyPath.empty() &&
         !FFileName.empty();
}

bool TkwProfile::LoadStreamFromRegistry() {
  if (!Allowed(OnBeforeLoadFromRegistry)) return false;
  if (!RegistryUsable()) return false;
  IRegistry& reg = GetRegistry();
  if (!reg.CreateKey(FRootKey, FKeyPath)) return false;
  auto value = reg.QueryValue(FRootKey, FKeyPath, FFileName);
  if (!value) return false;
  // Reading text or a number as binary data is the store's read error.
  if (value->type == RegType::String || value->type == RegType::ExpandString || value->type == RegType::DWord) {
    throw VXError(VXError::Kind::RegistryRead,
                  "Invalid data type for '" + ToUtf8(FFileName) + "'");
  }
  if (value->data.size() != FMemoryStream.Size() || FMemoryStream.Size() == 0) {
    FMemoryStream.SetSize(value->data.size());
  }
  std::copy(value->data.begin(), value->data.end(), FMemoryStream.Bytes.begin());
  if (OnAfterLoadFromRegistry) OnAfterLoadFromRegistry(FMemoryStream);
  return true;
}

bool TkwProfile::SaveStreamToRegistry() {
  if (!Allowed(OnBeforeSaveToRegistry)) return false;
  if (!RegistryUsable()) return false;
  IRegistry& reg = GetRegistry();
  if (!reg.CreateKey(FRootKey, FKeyPath)) return false;
  if (!reg.SetValue(FRootKey, FKeyPath, FFileName, RegType::Binary, FMemoryStream.Bytes)) {
    DebugOutput(u"Failed to set data for '" + FFileName + u"'");
    return false;
  }
  if (OnAfterSaveToRegistry) OnAfterSaveToRegistry(FMemoryStream);
  return true;
}

void TkwProfile::ReplaceFromFile(WView path) {
  auto data = ReadWholeFile(path);
  if (!data) throw VXError(VXError::Kind::FileOpen, "Cannot open file \"" + ToUtf8(path) + "\"");
  FMemoryStream.Bytes = std::move(*data);
  FMemoryStream.Position = 0;
}

void TkwProfile::WriteToFile(WView path) {
  // Through a temporary file: a crash leaves the old or the new profile.
  if (!WriteFileAtomic(path, FMemoryStream.Bytes)) {
    throw VXError(VXError::Kind::FileCreate, "Cannot create file \"" + ToUtf8(path) + "\"");
  }
}

bool TkwProfile::LoadStreamFromFile() {
  if (!Allowed(OnBeforeLoadFromFile)) return false;
  if (FFilePath.empty()) return false;
  FFilePath = IncludeTrailingBackslash(FFilePath);
  const WStr path = FFilePath + FFileName;
  if (!FileExists(path)) return false;
  ReplaceFromFile(path);
  if (OnAfterLoadFromFile) OnAfterLoadFromFile(FMemoryStream);
  return true;
}

bool TkwProfile::LoadStreamFromFile(WView strFilewithpath) {
  if (!FileExists(strFilewithpath)) return false;
  if (!Allowed(OnBeforeLoadFromFile)) return false;
  if (!FileExists(strFilewithpath)) return false;
  ReplaceFromFile(strFilewithpath);
  if (OnAfterLoadFromFile) OnAfterLoadFromFile(FMemoryStream);
  return true;
}

bool TkwProfile::SaveStreamToFile() {
  if (!Allowed(OnBeforeSaveToFile)) return false;
  if (FFilePath.empty()) return false;
  FFilePath = IncludeTrailingBackslash(FFilePath);
  WriteToFile(FFilePath + FFileName);
  if (OnAfterSaveToFile) OnAfterSaveToFile(FMemoryStream);
  return true;
}

namespace {
bool EnsureFolderOf(WView path) {
  const WStr folder = ExtractFilePath(path);
  if (folder.empty() || DirectoryExists(folder)) return true;
  return CreateDirectoryOneLevel(folder);
}
}  // namespace

bool TkwProfile::SaveStreamToFile(WView strFileWithPath) {
  if (!EnsureFolderOf(strFileWithPath)) return false;
  if (!Allowed(OnBeforeSaveToFile)) return false;
  WriteToFile(strFileWithPath);
  if (OnAfterSaveToFile) OnAfterSaveToFile(FMemoryStream);
  return true;
}

bool TkwProfile::PreSaveStreamToFile(WView strFileWithPath) {
  if (!EnsureFolderOf(strFileWithPath)) return false;
  FFilePath = ExtractFilePath(strFileWithPath);
  FFileName = ExtractFileName(strFileWithPath);
  return true;
}

}  // namespace vx
