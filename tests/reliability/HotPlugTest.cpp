// Arrival storms and plug/unplug cycles of the virtual mouse.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

#include "MonitorRig.h"
#include "ProcessCounters.h"

namespace vx {
namespace {

namespace fs = std::filesystem;

class HotPlug : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("vx-hotplug-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    rig = std::make_unique<test::MonitorRig>(dir);
    rig->Start();
  }
  void TearDown() override {
    rig.reset();
    fs::remove_all(dir);
  }
  bool Reading(int dev) { return rig->bus.OpenReaders(dev, 0) == 1; }
  // The monitor handled one report from the mouse: a profile switch.
  bool ReportHandled(int dev, std::uint8_t profile) {
    const std::uint8_t report[8] = {8, 1, profile, 0, 0, 0, 0, 0};
    if (rig->bus.QueueInput(dev, 0, report) != 1) return false;
    if (!rig->main.RunUntil([&] { return rig->ButtonPosted(); }, 5000)) return false;
    rig->Pump();
    const auto v = rig->reg.QueryValue(HKEY_CURRENT_USER_, kProfileKeyPath, u"ProfileID");
    return v && v->data.size() == 4 && v->data[0] == profile;
  }

  fs::path dir;
  std::unique_ptr<test::MonitorRig> rig;
};

TEST_F(HotPlug, HundredArrivalsInOneSecondGiveOneReopen1500msAfterTheLast) {
  const int dev = rig->bus.Plug(test::RigMouse());
  const std::uint64_t start = rig->windows.now;
  for (int i = 0; i < 100; ++i) {
    rig->Arrival();
    if (i < 99) rig->windows.Advance(10);
  }
  const std::uint64_t last = rig->windows.now;
  EXPECT_EQ(last - start, 990u);
  rig->windows.Advance(1499);
  EXPECT_TRUE(rig->windows.pumps.empty()) << "reopened before the interval after the last arrival";
  EXPECT_FALSE(Reading(dev));
  rig->windows.Advance(1);
  ASSERT_EQ(rig->windows.pumps.size(), 1u);
  EXPECT_EQ(rig->windows.pumps[0], last + 1500);
  ASSERT_TRUE(rig->bus.WaitForReaders(dev, 0, 1, 5000));
  rig->windows.Advance(10000);
  EXPECT_EQ(rig->windows.pumps.size(), 1u) << "the debounce timer fired again";
  EXPECT_EQ(rig->bus.OpenReaders(dev, 0), 1u);
  EXPECT_TRUE(ReportHandled(dev, 1));
}

TEST_F(HotPlug, ArrivalsSpreadWiderThanTheIntervalReopenEachTime) {
  rig->bus.Plug(test::RigMouse());
  for (int i = 0; i < 3; ++i) {
    rig->Arrival();
    rig->windows.Advance(1600);
  }
  EXPECT_EQ(rig->windows.pumps.size(), 3u);
}

TEST_F(HotPlug, ThousandPlugCyclesLeaveNoThreadDescriptorOrMemoryBehind) {
  // One warm-up cycle so that lazily created state exists before counting.
  auto cycle = [&](int round) {
    const int dev = rig->bus.Plug(test::RigMouse());
    rig->Arrival();
    rig->windows.Advance(1500);
    ASSERT_TRUE(rig->bus.WaitForReaders(dev, 0, 1, 5000)) << "round " << round;
    if (round % 50 == 0) {
      ASSERT_TRUE(ReportHandled(dev, static_cast<std::uint8_t>(round / 50 % 2))) << round;
    }
    rig->bus.Unplug(dev);
    // The read thread ends on its own, reporting through the main thread.
    ASSERT_TRUE(rig->RunUntil([&] { return rig->mon->kwHIDData1->RunningReadThreads() == 0; }))
        << "round " << round;
  };
  // What the virtual bus itself keeps per plugged device, to tell it apart.
  long long busGrowth = 0;
  {
    VirtualHidBus other;
    const std::size_t before = test::HeapInUse();
    for (int i = 0; i < 1000; ++i) other.Unplug(other.Plug(test::RigMouse()));
    busGrowth = static_cast<long long>(test::HeapInUse()) - static_cast<long long>(before);
  }
  cycle(0);
  rig->windows.Advance(3000);
  const std::size_t threads = test::ThreadCount();
  const std::size_t fds = test::DescriptorCount();
  const std::size_t heap = test::HeapInUse();
  for (int round = 1; round <= 1000; ++round) {
    cycle(round);
    if (HasFatalFailure()) return;
  }
  // The last reopen's state is released by a final arrival with no mouse.
  rig->Arrival();
  rig->windows.Advance(1500);
  EXPECT_EQ(rig->mon->kwHIDData1->RunningReadThreads(), 0u);
  EXPECT_EQ(test::ThreadCount(), threads);
  EXPECT_EQ(test::DescriptorCount(), fds);
  if (test::kHeapCountsAreReal) {
    // Only what the bus keeps may grow, give or take allocator slack.
    const auto grown = static_cast<long long>(test::HeapInUse()) - static_cast<long long>(heap);
    RecordProperty("heap_growth_bytes", std::to_string(grown));
    RecordProperty("bus_growth_bytes", std::to_string(busGrowth));
    EXPECT_LT(grown, busGrowth + 64 * 1024) << grown << " bytes over 1000 cycles, the bus alone " << busGrowth;
  }
}

}  // namespace
}  // namespace vx
