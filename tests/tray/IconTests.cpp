// The application's icon file: six images, 48, 32 and 16 pixels, each in
// 256 colours and in 32-bit colour, every image inside the file.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <utility>
#include <vector>

namespace {

std::uint32_t U32(const std::vector<unsigned char>& b, std::size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<std::uint32_t>(b[at + 3]) << 24;
}
std::uint16_t U16(const std::vector<unsigned char>& b, std::size_t at) {
  return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}

TEST(MainIcon, HoldsSixImagesInTwoDepths) {
  std::ifstream in(VX_SOURCE_DIR "/win32/res/VXMon.ico", std::ios::binary);
  ASSERT_TRUE(in) << "icon file missing";
  const std::vector<unsigned char> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_GE(b.size(), 6u);
  EXPECT_EQ(U16(b, 0), 0);
  EXPECT_EQ(U16(b, 2), 1) << "type: icon";
  const int count = U16(b, 4);
  ASSERT_EQ(count, 6);
  ASSERT_GE(b.size(), 6u + 16u * count);
  std::set<std::pair<int, int>> seen;
  for (int i = 0; i < count; ++i) {
    const std::size_t e = 6 + 16 * static_cast<std::size_t>(i);
    const int size = b[e] == 0 ? 256 : b[e];
    EXPECT_EQ(b[e + 1], b[e]) << "square";
    const int bpp = U16(b, e + 6);
    const std::uint32_t bytes = U32(b, e + 8), offset = U32(b, e + 12);
    ASSERT_LE(static_cast<std::uint64_t>(offset) + bytes, b.size());
    // The image is a bitmap header of twice the height (colour + mask).
    EXPECT_EQ(U32(b, offset), 40u);
    EXPECT_EQ(U32(b, offset + 4), static_cast<std::uint32_t>(size));
    EXPECT_EQ(U32(b, offset + 8), static_cast<std::uint32_t>(size * 2));
    EXPECT_EQ(U16(b, offset + 14), bpp);
    const std::uint32_t palette = bpp == 8 ? 256 * 4 : 0;
    const std::uint32_t stride = (static_cast<std::uint32_t>(size * bpp) + 31) / 32 * 4;
    const std::uint32_t mask = (static_cast<std::uint32_t>(size) + 31) / 32 * 4;
    EXPECT_EQ(bytes, 40 + palette + (stride + mask) * size);
    seen.insert({size, bpp});
  }
  EXPECT_EQ(seen, (std::set<std::pair<int, int>>{{48, 8}, {48, 32}, {32, 8}, {32, 32}, {16, 8}, {16, 32}}));
}

}  // namespace
