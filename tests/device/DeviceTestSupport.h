#pragma once
// Shared pieces of the device tests: a virtual mouse on a virtual bus, a
// queued main thread, and the debug lines written meanwhile.
#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "device/kwHIDData.h"
#include "platform/Debug.h"
#include "platform/MainThread.h"
#include "platform/VirtualHidBus.h"

namespace vx::test {

inline VirtualCollection MouseCollection(std::uint16_t featureLength = 4096) {
  VirtualCollection c;
  c.UsagePage = 0xFFA0;
  c.Usage = 0x0001;
  c.InputReportLength = 8;
  c.OutputReportLength = 8;
  c.FeatureReportLength = featureLength;
  c.FeatureReportLengths = FramedFeatureReportLengths(featureLength);
  return c;
}

inline VirtualDeviceDesc MouseDevice(std::uint16_t featureLength = 4096) {
  VirtualDeviceDesc d;
  d.HardwareIds = {u"HID\\VID_1234&PID_5678&REV_0100&MI_01", u"HID\\VID_1234&PID_5678&MI_01"};
  d.Attributes = {0x1234, 0x5678, 0x0100};
  d.Collections = {MouseCollection(featureLength)};
  return d;
}

class DebugLines {
 public:
  DebugLines() {
    SetDebugSink([this](WView line) {
      std::lock_guard lock(mutex_);
      lines_.push_back(ToUtf8(line));
    });
  }
  ~DebugLines() { SetDebugSink({}); }
  std::vector<std::string> Lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
  }
  bool Contains(const std::string& part) const {
    for (const auto& l : Lines()) {
      if (l.find(part) != std::string::npos) return true;
    }
    return false;
  }
  std::string All() const {
    std::string s;
    for (const auto& l : Lines()) s += l + "\n";
    return s;
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
};

inline std::string Hex(const std::vector<std::uint8_t>& bytes) {
  static const char* digits = "0123456789abcdef";
  std::string s;
  for (auto b : bytes) {
    s += digits[b >> 4];
    s += digits[b & 15];
  }
  return s;
}

// Hex bytes ("02 06 00") followed by zeros up to `length` bytes.
inline std::string HexPadded(const std::string& spaced, std::size_t length) {
  std::string s;
  for (char c : spaced) {
    if (c != ' ') s += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  if (s.size() < 2 * length) s.append(2 * length - s.size(), '0');
  return s;
}

}  // namespace vx::test
