#include "tools/vxprofile/ZipWriter.h"

#include <zlib.h>

#include <limits>

namespace vx {
namespace {

void Put16(std::vector<std::uint8_t>& out, unsigned v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

// Raw deflate (no zlib header), as zip's method 8 wants.
std::optional<std::vector<std::uint8_t>> Deflate(const std::vector<std::uint8_t>& in) {
  z_stream z{};
  if (deflateInit2(&z, Z_BEST_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) return std::nullopt;
  std::vector<std::uint8_t> out(deflateBound(&z, static_cast<uLong>(in.size())));
  z.next_in = const_cast<Bytef*>(in.data());
  z.avail_in = static_cast<uInt>(in.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  const int rc = deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  if (rc != Z_STREAM_END) return std::nullopt;
  return out;
}

}  // namespace

std::optional<std::vector<std::uint8_t>> BuildZip(const std::vector<ZipMember>& members) {
  constexpr std::uint64_t kMax = std::numeric_limits<std::uint32_t>::max() - 1;
  if (members.size() >= 0xFFFF) return std::nullopt;
  std::vector<std::uint8_t> zip, central;
  for (const ZipMember& m : members) {
    if (m.data.size() > kMax || m.name.size() > 0xFFFF) return std::nullopt;
    const std::uint32_t crc =
        static_cast<std::uint32_t>(crc32(crc32(0, nullptr, 0), m.data.data(), static_cast<uInt>(m.data.size())));
    auto deflated = Deflate(m.data);
    if (!deflated) return std::nullopt;
    const bool store = deflated->size() >= m.data.size();
    const std::vector<std::uint8_t>& body = store ? m.data : *deflated;
    const std::uint64_t offset = zip.size();
    if (offset > kMax) return std::nullopt;
    const unsigned method = store ? 0 : 8;
    const unsigned flags = 0x0800;  // names are UTF-8
    // From the version needed to the name's length, both headers agree.
    const auto putShared = [&](std::vector<std::uint8_t>& out) {
      Put16(out, 20);
      Put16(out, flags);
      Put16(out, method);
      Put16(out, m.dosTime);
      Put16(out, m.dosDate);
      Put32(out, crc);
      Put32(out, static_cast<std::uint32_t>(body.size()));
      Put32(out, static_cast<std::uint32_t>(m.data.size()));
      Put16(out, static_cast<unsigned>(m.name.size()));
    };
    // Local file header.
    Put32(zip, 0x04034B50);
    putShared(zip);
    Put16(zip, 0);
    zip.insert(zip.end(), m.name.begin(), m.name.end());
    zip.insert(zip.end(), body.begin(), body.end());
    // Its central directory entry.
    Put32(central, 0x02014B50);
    Put16(central, 20);  // made by: MS-DOS, 2.0
    putShared(central);
    Put16(central, 0);  // extra
    Put16(central, 0);  // comment
    Put16(central, 0);  // disk
    Put16(central, 0);  // internal attributes
    Put32(central, 0);  // external attributes
    Put32(central, static_cast<std::uint32_t>(offset));
    central.insert(central.end(), m.name.begin(), m.name.end());
  }
  if (zip.size() + central.size() > kMax) return std::nullopt;
  const std::uint32_t centralAt = static_cast<std::uint32_t>(zip.size());
  zip.insert(zip.end(), central.begin(), central.end());
  Put32(zip, 0x06054B50);
  Put16(zip, 0);
  Put16(zip, 0);
  Put16(zip, static_cast<unsigned>(members.size()));
  Put16(zip, static_cast<unsigned>(members.size()));
  Put32(zip, static_cast<std::uint32_t>(central.size()));
  Put32(zip, centralAt);
  Put16(zip, 0);
  return zip;
}

}  // namespace vx
