// Sustained input: 10,000 reports a second through the virtual bus, each
// handled on the main thread exactly once and in order. The run lasts
// VX_LOAD_SECONDS (10 by default; the soak run uses 60).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

#include "MonitorRig.h"
#include "device/kwHIDData.h"
#include "platform/Debug.h"
#include "platform/MainThread.h"
#include "platform/VirtualHidBus.h"
#include "profiles/pubunit_lumari.h"

namespace vx {
namespace {

int LoadSeconds() {
  const char* s = std::getenv("VX_LOAD_SECONDS");
  const int v = s ? std::atoi(s) : 0;
  return v > 0 ? v : 10;
}

TEST(Load, TenThousandReportsASecondAreEachHandledOnceInOrder) {
  constexpr int kPerSecond = 10000;
  const int seconds = LoadSeconds();
  const std::uint32_t total = static_cast<std::uint32_t>(kPerSecond * seconds);

  SetDebugSink([](WView) {});
  VirtualHidBus bus;
  const int dev = bus.Plug(test::RigMouse());
  // The Windows transport enlarges the HID ring too; here it only has to
  // ride out a CI machine that starves the main thread for a moment, since
  // what is under test is the hand-off, not the ring.
  bus.SetInputRingSize(1u << 17);

  QueuedMainThread main;
  TkwHIDData hid(&bus, &main);
  hid.FHidDeviceList.clear();
  std::uint32_t expected = 0;
  std::uint32_t outOfOrder = 0;
  hid.OnData = [&](const WStr&, const WStr&, std::uint8_t id, const std::uint8_t* data, std::uint16_t size) {
    if (id != 3 || size != 7) {
      ++outOfOrder;
      return;
    }
    const std::uint32_t seq = data[0] | data[1] << 8 | data[2] << 16 | static_cast<std::uint32_t>(data[3]) << 24;
    if (seq != expected) ++outOfOrder;
    expected = seq + 1;
  };
  hid.HidFindAndReadDevice({1, 0xFFA0}, u"*");
  ASSERT_TRUE(bus.WaitForReaders(dev, 0, 1, 5000));

  // Ten reports every millisecond against an absolute schedule.
  std::atomic<std::uint32_t> queued{0};
  std::atomic<std::uint32_t> missedHandles{0};
  std::thread producer([&] {
    const auto start = std::chrono::steady_clock::now();
    for (std::uint32_t seq = 0; seq < total; ++seq) {
      if (seq % 10 == 0) std::this_thread::sleep_until(start + std::chrono::microseconds(seq * 100));
      std::uint8_t report[8] = {3, static_cast<std::uint8_t>(seq), static_cast<std::uint8_t>(seq >> 8),
                                static_cast<std::uint8_t>(seq >> 16), static_cast<std::uint8_t>(seq >> 24), 0, 0, 0};
      if (bus.QueueInput(dev, 0, report) != 1) missedHandles.fetch_add(1);
      queued.fetch_add(1);
    }
  });
  const auto started = std::chrono::steady_clock::now();
  const bool all = main.RunUntil([&] { return expected == total; },
                                 static_cast<std::uint32_t>(seconds * 1000 + 30000));
  producer.join();
  const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  hid.HidStopRead();

  EXPECT_TRUE(all) << "handled up to " << expected << " of " << total;
  EXPECT_EQ(missedHandles.load(), 0u);
  EXPECT_EQ(outOfOrder, 0u) << "reports lost, repeated or reordered";
  EXPECT_EQ(expected, total);
  RecordProperty("reports", std::to_string(total));
  RecordProperty("seconds", std::to_string(elapsed));
  SetDebugSink(nullptr);
}

}  // namespace
}  // namespace vx
