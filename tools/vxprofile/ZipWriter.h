#pragma once
// A zip archive in memory: deflated members (stored when that is smaller),
// UTF-8 names, no ZIP64 (members and archive under 4 GiB).
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vx {

struct ZipMember {
  std::string name;  // '/' separated
  std::vector<std::uint8_t> data;
  // MS-DOS date and time (as in a zip header) of the member.
  std::uint16_t dosTime = 0, dosDate = 0x21;  // 1980-01-01 00:00
};

// nullopt when a member or the whole would need ZIP64, or zlib fails.
std::optional<std::vector<std::uint8_t>> BuildZip(const std::vector<ZipMember>& members);

}  // namespace vx
