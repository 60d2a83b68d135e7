#pragma once
// File layer. Paths are the system's UTF-16 texts with backslashes; on the
// Linux host a backslash is taken as the folder separator.
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/Text.h"

namespace vx {

bool FileExists(WView path);
bool DirectoryExists(WView path);
// One level, like CreateDirectoryW: false when it fails (parent missing...).
bool CreateDirectoryOneLevel(WView path);
// Whole file, or nullopt when it cannot be opened.
std::optional<std::vector<std::uint8_t>> ReadWholeFile(WView path);
// Replaces the file's content with the bytes through a temporary file in the
// same folder, so a crash leaves the old or the new content, never a mix.
// false when the file cannot be created.
bool WriteFileAtomic(WView path, std::span<const std::uint8_t> bytes);
bool DeleteFileAt(WView path);

// Folder part with its trailing backslash, and the name part.
WStr ExtractFilePath(WView path);
WStr ExtractFileName(WView path);
WStr IncludeTrailingBackslash(WView path);
WStr ExcludeTrailingBackslash(WView path);

// The native form of a path (UTF-8 with '/' on Linux).
std::string NativePath(WView path);
WStr FromNativePath(const std::string& path);

}  // namespace vx
