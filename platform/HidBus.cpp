#include "platform/HidBus.h"

#include <cstdio>
#include <mutex>

namespace vx {

namespace {
int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

std::mutex g_busMutex;
IHidBus* g_bus = nullptr;
}  // namespace

std::optional<Guid> ParseGuid(WView text) {
  if (text.size() == 38 && text.front() == u'{' && text.back() == u'}') text = text.substr(1, 36);
  if (text.size() != 36) return std::nullopt;
  // 8-4-4-4-12 hexadecimal digits.
  std::uint8_t bytes[16];
  std::size_t b = 0;
  for (std::size_t i = 0; i < text.size();) {
    if (i == 8 || i == 13 || i == 18 || i == 23) {
      if (text[i] != u'-') return std::nullopt;
      ++i;
      continue;
    }
    const int hi = HexDigit(text[i]);
    const int lo = i + 1 < text.size() ? HexDigit(text[i + 1]) : -1;
    if (hi < 0 || lo < 0 || b >= 16) return std::nullopt;
    bytes[b++] = static_cast<std::uint8_t>(hi * 16 + lo);
    i += 2;
  }
  if (b != 16) return std::nullopt;
  Guid g;
  g.Data1 = (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) | (std::uint32_t{bytes[2]} << 8) |
            bytes[3];
  g.Data2 = static_cast<std::uint16_t>((bytes[4] << 8) | bytes[5]);
  g.Data3 = static_cast<std::uint16_t>((bytes[6] << 8) | bytes[7]);
  for (int i = 0; i < 8; ++i) g.Data4[static_cast<std::size_t>(i)] = bytes[8 + i];
  return g;
}

std::optional<HidVidPid> ParseHidPathIds(WView path) {
  const auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; };
  const auto at = [&](std::size_t i, WView word) {
    if (i + word.size() > path.size()) return false;
    for (std::size_t k = 0; k < word.size(); ++k)
      if (lower(path[i + k]) != word[k]) return false;
    return true;
  };
  const auto hex4 = [&](std::size_t i) -> int {
    if (i + 4 > path.size()) return -1;
    int v = 0;
    for (std::size_t k = 0; k < 4; ++k) {
      const int d = HexDigit(path[i + k]);
      if (d < 0) return -1;
      v = v * 16 + d;
    }
    return v;
  };
  for (std::size_t i = 0; i < path.size(); ++i) {
    if (!at(i, u"vid_") || !at(i + 8, u"&pid_")) continue;
    const int vid = hex4(i + 4);
    const int pid = hex4(i + 13);
    if (vid < 0 || pid < 0) continue;
    return HidVidPid{static_cast<std::uint16_t>(vid), static_cast<std::uint16_t>(pid)};
  }
  return std::nullopt;
}

WStr GuidToString(const Guid& g) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "{%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x}", g.Data1, g.Data2, g.Data3,
                g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
  return FromUtf8(buf);
}

IHidBus& GetHidBus() {
  std::lock_guard lock(g_busMutex);
  return g_bus ? *g_bus : PlatformHidBus();
}

void SetHidBus(IHidBus* bus) {
  std::lock_guard lock(g_busMutex);
  g_bus = bus;
}

}  // namespace vx
