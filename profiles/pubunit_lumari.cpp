#include "profiles/pubunit_lumari.h"

namespace vx {

USAGE_AND_PAGE DeviceUsageAndPage{0, 0};

namespace {
constexpr std::array<TButtonFunctionRow, kFunctionTypeCount> MakeFunctionTable() {
  std::array<TButtonFunctionRow, kFunctionTypeCount> t{};
  constexpr int fixed[][3] = {{0, 1, 1}, {1, 2, 2}, {2, 3, 3}, {3, 5, 4}, {4, 4, 5}, {5, 16, 6}, {6, 15, 7}};
  for (const auto& r : fixed) t[static_cast<std::size_t>(r[0])] = {r[0], r[1], r[2]};
  for (int ty = 7; ty <= 14; ++ty) t[static_cast<std::size_t>(ty)] = {ty, 15, 794 + ty};
  for (int ty = 15; ty <= 20; ++ty) t[static_cast<std::size_t>(ty)] = {ty, 15, 886 + ty};
  for (int ty = 21; ty <= 27; ++ty) t[static_cast<std::size_t>(ty)] = {ty, 14, 980 + ty};
  constexpr int tail[][3] = {{28, 19, 1008}, {29, 17, 11}, {30, 8, 12}, {31, 17, 13}, {32, 19, 14},
                             {33, 10, 15},   {34, 9, 16},  {35, 13, 17}, {36, 14, 18}};
  for (const auto& r : tail) t[static_cast<std::size_t>(r[0])] = {r[0], r[1], r[2]};
  return t;
}

constexpr std::array<std::array<std::uint8_t, 4>, 24> MakeReportTable() {
  std::array<std::array<std::uint8_t, 4>, 24> t{};
  for (int i = 0; i < 24; ++i) {
    const std::uint32_t mask = 1u << i;
    t[static_cast<std::size_t>(i)] = {7, static_cast<std::uint8_t>(mask & 0xFF),
                                      static_cast<std::uint8_t>((mask >> 8) & 0xFF),
                                      static_cast<std::uint8_t>((mask >> 16) & 0xFF)};
  }
  return t;
}
}  // namespace

const std::array<TButtonFunctionRow, kFunctionTypeCount> ButtonFunctionTable = MakeFunctionTable();
const std::array<std::array<std::uint8_t, 4>, 24> ButtonReportTable = MakeReportTable();

}  // namespace vx
