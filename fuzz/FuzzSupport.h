#pragma once
// Shared pieces of the fuzz targets: a scratch folder, quiet sinks and a
// loud failure.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/Debug.h"
#include "platform/MessageBox.h"
#include "platform/Text.h"

namespace vx::fuzz {

[[noreturn]] inline void Fault(const char* target, const char* what) {
  std::fprintf(stderr, "%s: %s\n", target, what);
  std::abort();
}

// A fresh folder under the temporary directory (TMPDIR), made once per
// process; scripts/fuzz gives each run its own TMPDIR and removes it.
inline const std::filesystem::path& ScratchFolder(const char* name) {
  static const std::filesystem::path folder = [name] {
    std::string tmpl = (std::filesystem::temp_directory_path() / (std::string(name) + "-XXXXXX")).string();
    if (!mkdtemp(tmpl.data())) Fault(name, "cannot create a scratch folder");
    return std::filesystem::path(tmpl);
  }();
  return folder;
}

// Empties the folder but keeps it.
inline void EmptyFolder(const std::filesystem::path& folder) {
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(folder, ec)) std::filesystem::remove_all(e.path(), ec);
}

inline WStr AsWinFolder(const std::filesystem::path& p) { return FromUtf8(p.string() + "/"); }

inline void Quiet() {
  SetDebugSink([](WView) {});
  SetMessageBoxSink([](WView, WView) {});
}

}  // namespace vx::fuzz
