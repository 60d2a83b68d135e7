#pragma once
// Registry seam: the few key and value operations the system uses.
// Win32Registry (windows build) and DirRegistry (a folder on disk) implement it.
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "platform/Text.h"

namespace vx {

using RegRoot = std::uint32_t;
inline constexpr RegRoot HKEY_CURRENT_USER_ = 0x80000001u;
inline constexpr RegRoot HKEY_LOCAL_MACHINE_ = 0x80000002u;

// Value types as Windows numbers them.
enum class RegType : std::uint32_t {
  None = 0, String = 1, ExpandString = 2, Binary = 3, DWord = 4, MultiString = 7, QWord = 11
};

struct RegValue {
  RegType type = RegType::None;
  std::vector<std::uint8_t> data;
};

struct RegNamedValue {
  WStr name;
  RegValue value;
};

class IRegistry {
 public:
  virtual ~IRegistry() = default;
  // Opens the key, creating it (and missing parents) when absent.
  virtual bool CreateKey(RegRoot root, WView path) = 0;
  // Opens an existing key only.
  virtual bool KeyExists(RegRoot root, WView path) = 0;
  // nullopt when the key or the value does not exist.
  virtual std::optional<RegValue> QueryValue(RegRoot root, WView path, WView name) = 0;
  // Writes into an existing key (callers create it first); false on failure.
  virtual bool SetValue(RegRoot root, WView path, WView name, RegType type,
                        std::span<const std::uint8_t> data) = 0;
  virtual bool DeleteValue(RegRoot root, WView path, WView name) = 0;
  // Every value of an existing key (subkeys not included); nullopt when the
  // key cannot be opened or listed. Test fakes that never list keep this.
  virtual std::optional<std::vector<RegNamedValue>> EnumValues(RegRoot root, WView path);
};

// The process-wide registry. Defaults to the platform's own (the Windows
// registry, or on Linux a DirRegistry under $XDG_DATA_HOME/vxmon/registry).
IRegistry& GetRegistry();
// Replaces it (tests, --store); nullptr returns to the default. Not owned.
void SetRegistry(IRegistry* registry);
// The platform's own registry, created on first use.
IRegistry& PlatformRegistry();

// A registry kept in a folder: one folder per key (names as given, compared
// case-insensitively like Windows), one file per value. See README.md.
class DirRegistry final : public IRegistry {
 public:
  explicit DirRegistry(std::string rootFolder);
  bool CreateKey(RegRoot root, WView path) override;
  bool KeyExists(RegRoot root, WView path) override;
  std::optional<RegValue> QueryValue(RegRoot root, WView path, WView name) override;
  bool SetValue(RegRoot root, WView path, WView name, RegType type,
                std::span<const std::uint8_t> data) override;
  bool DeleteValue(RegRoot root, WView path, WView name) override;
  std::optional<std::vector<RegNamedValue>> EnumValues(RegRoot root, WView path) override;
  const std::string& folder() const { return root_; }

 private:
  std::optional<std::string> KeyFolder(RegRoot root, WView path, bool create);
  std::string root_;
};

}  // namespace vx
