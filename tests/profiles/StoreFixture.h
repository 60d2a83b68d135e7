#pragma once
// A private world for profile tests: a directory registry and a documents
// folder in a fresh temporary folder, a fixed clock and system language.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include <memory>
#include <optional>

#include "platform/Clock.h"
#include "platform/Errors.h"
#include "platform/Locale.h"
#include "platform/MessageBox.h"
#include "platform/Registry.h"
#include "platform/Shell.h"
#include "platform/Text.h"

namespace vx::test {

inline WStr W(const std::filesystem::path& p) {
  const std::u8string s = p.u8string();
  return FromUtf8(std::string(reinterpret_cast<const char*>(s.data()), s.size()));
}

inline std::string U8(const std::filesystem::path& p) {
  const std::u8string s = p.u8string();
  return std::string(reinterpret_cast<const char*>(s.data()), s.size());
}

class TempDir {
 public:
  TempDir() {
    std::random_device rd;
    path_ = std::filesystem::temp_directory_path() / ("vxtest-" + std::to_string(rd()) + std::to_string(rd()));
    std::filesystem::create_directories(path_);
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

inline constexpr double kFixedNow = 46000.5;  // 2025-12-09 12:00

class StoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(dir.path() / "Documents");
    std::filesystem::create_directories(dir.path() / "bin");
    registry = std::make_unique<DirRegistry>(U8(dir.path() / "registry"));
    SetRegistry(registry.get());
    SetDocumentsFolderOverride(W(dir.path() / "Documents"));
    SetExecutableFolderOverride(W(dir.path() / "bin"));
    SetNowSource([] { return kFixedNow; });
    SetSystemDefaultLangIDSource([] { return static_cast<std::uint16_t>(0x0409); });
    SetMessageBoxSink([this](WView text, WView caption) { boxes.push_back({WStr(text), WStr(caption)}); });
  }
  void TearDown() override {
    SetRegistry(nullptr);
    SetDocumentsFolderOverride({});
    SetExecutableFolderOverride({});
    SetNowSource(nullptr);
    SetSystemDefaultLangIDSource(nullptr);
    SetMessageBoxSink(nullptr);
  }

  std::optional<RegValue> Stored(WView name) {
    return registry->QueryValue(HKEY_CURRENT_USER_, u"software\\Vantorgmmouse", name);
  }
  void Store(WView name, const std::vector<std::uint8_t>& bytes, RegType type = RegType::Binary) {
    ASSERT_TRUE(registry->CreateKey(HKEY_CURRENT_USER_, u"software\\Vantorgmmouse"));
    ASSERT_TRUE(registry->SetValue(HKEY_CURRENT_USER_, u"software\\Vantorgmmouse", name, type, bytes));
  }
  template <typename T>
  void StoreRecord(WView name, const T& record) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(&record);
    Store(name, std::vector<std::uint8_t>(p, p + sizeof(T)));
  }

  TempDir dir;
  std::unique_ptr<DirRegistry> registry;
  std::vector<std::pair<WStr, WStr>> boxes;
};

// Little-endian readers over a byte image, by absolute offset.
inline std::uint16_t U16At(const void* base, std::size_t off) {
  const auto* b = static_cast<const std::uint8_t*>(base) + off;
  return static_cast<std::uint16_t>(b[0] | (b[1] << 8));
}
inline std::uint32_t U32At(const void* base, std::size_t off) {
  const auto* b = static_cast<const std::uint8_t*>(base) + off;
  return static_cast<std::uint32_t>(b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<std::uint32_t>(b[3]) << 24));
}
inline void Put16(std::vector<std::uint8_t>& v, std::size_t off, std::uint16_t x) {
  v[off] = static_cast<std::uint8_t>(x);
  v[off + 1] = static_cast<std::uint8_t>(x >> 8);
}
inline void Put32(std::vector<std::uint8_t>& v, std::size_t off, std::uint32_t x) {
  for (int i = 0; i < 4; ++i) v[off + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(x >> (8 * i));
}
inline void PutText(std::vector<std::uint8_t>& v, std::size_t off, std::u16string_view s) {
  for (std::size_t i = 0; i < s.size(); ++i) Put16(v, off + 2 * i, s[i]);
  Put16(v, off + 2 * s.size(), 0);
}
template <typename T>
std::vector<std::uint8_t> Bytes(const T& record) {
  const auto* p = reinterpret_cast<const std::uint8_t*>(&record);
  return std::vector<std::uint8_t>(p, p + sizeof(T));
}

// First differing offset, for readable failures; npos when equal.
inline std::size_t FirstDiff(const std::vector<std::uint8_t>& a, const std::vector<std::uint8_t>& b) {
  const std::size_t n = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < n; ++i) {
    if (a[i] != b[i]) return i;
  }
  return a.size() == b.size() ? std::string::npos : n;
}

}  // namespace vx::test
