// The arrival notifier's logic over a fake window and timer.
#include <gtest/gtest.h>

#include <cstring>

#include "DeviceTestSupport.h"
#include "device/kwHIDEvent.h"

namespace vx {
namespace {

constexpr USAGE_AND_PAGE kMouse{0x0001, 0xFFA0};

struct FakeHost final : IDeviceArrivalHost {
  struct Log {
    std::vector<std::array<std::uint8_t, 32>> Filters;
    std::vector<std::pair<std::uint32_t, std::intptr_t>> Posted;
    std::vector<std::uint32_t> TimerStarts;
    int TimerStops = 0;
    bool Refuse = false;
    DeviceArrivalCallbacks Callbacks;
  };
  explicit FakeHost(Log& log) : log_(log) {}
  bool RegisterNotification(const std::array<std::uint8_t, 32>& f) override {
    log_.Filters.push_back(f);
    return !log_.Refuse;
  }
  void PostDeviceChange(std::uint32_t code, std::intptr_t param) override { log_.Posted.push_back({code, param}); }
  void StartTimer(std::uint32_t ms) override { log_.TimerStarts.push_back(ms); }
  void StopTimer() override { ++log_.TimerStops; }
  Log& log_;
};

class ArrivalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetDeviceArrivalHostFactory([this](DeviceArrivalCallbacks cb) {
      log_.Callbacks = std::move(cb);
      return std::make_unique<FakeHost>(log_);
    });
  }
  void TearDown() override { SetDeviceArrivalHostFactory({}); }

  // What the window's queue delivers later: the posted messages.
  void DeliverPosted() {
    for (auto [code, param] : log_.Posted) log_.Callbacks.OnDeviceChange(code, param);
    log_.Posted.clear();
  }

  static std::array<std::uint8_t, 12> Header(std::uint32_t type) {
    std::array<std::uint8_t, 12> h{};
    const std::uint32_t size = 12;
    std::memcpy(h.data(), &size, 4);
    std::memcpy(h.data() + 4, &type, 4);
    return h;
  }

  FakeHost::Log log_;
};

TEST_F(ArrivalTest, CreationRegistersPostsAndStartsTheTimer) {
  TkwHIDEvent e;
  EXPECT_EQ(e.FUsbGuid, u"{4d1e55b2-f16f-11cf-88cb-001111000030}");
  ASSERT_EQ(log_.Filters.size(), 1u);
  EXPECT_EQ(test::Hex({log_.Filters[0].begin(), log_.Filters[0].end()}),
            "20000000" "05000000" "00000000" "b2551e4d6ff1cf1188cb001111000030" "00000000");
  ASSERT_EQ(log_.Posted.size(), 1u);
  EXPECT_EQ(log_.Posted[0].first, kDbtDevNodesChanged);
  EXPECT_EQ(log_.Posted[0].second, -1);
  EXPECT_EQ(log_.TimerStarts, (std::vector<std::uint32_t>{1500}));
  EXPECT_TRUE(e.StartTimerEnabled());
  EXPECT_TRUE(e.Registered());
}

TEST_F(ArrivalTest, WithoutDeviceActivityOneChangeAndOneStartUpArrival) {
  TkwHIDEvent e;
  int arrivals = 0, changes = 0;
  e.OnDeviceArrival = [&](TkwHIDEvent& sender) {
    EXPECT_EQ(&sender, &e);
    ++arrivals;
  };
  e.OnDeviceChange = [&](TkwHIDEvent&) { ++changes; };
  DeliverPosted();
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(arrivals, 0);
  log_.Callbacks.OnTimer();
  EXPECT_EQ(arrivals, 1);
  EXPECT_FALSE(e.StartTimerEnabled());
  EXPECT_EQ(log_.TimerStops, 1);
}

TEST_F(ArrivalTest, DeviceChangeCodes) {
  struct Case {
    std::uint32_t code;
    int type;  // -1: no header
    int arrivals, removals, changes;
  };
  const Case cases[] = {
      {kDbtDeviceArrival, 5, 1, 0, 0},
      {kDbtDeviceArrival, 2, 0, 0, 0},  // a volume
      {kDbtDeviceRemoveComplete, 5, 0, 1, 0},
      {kDbtDeviceRemoveComplete, 3, 0, 0, 0},  // a port
      {kDbtDevNodesChanged, -1, 0, 0, 1},
      {0x8006, 5, 0, 0, 0},
      {kDbtDeviceArrival, -1, 0, 0, 0},
  };
  for (const auto& c : cases) {
    TkwHIDEvent e;
    int a = 0, r = 0, ch = 0;
    e.OnDeviceArrival = [&](TkwHIDEvent&) { ++a; };
    e.OnDeviceRemove = [&](TkwHIDEvent&) { ++r; };
    e.OnDeviceChange = [&](TkwHIDEvent&) { ++ch; };
    auto h = Header(static_cast<std::uint32_t>(c.type));
    e.WMDeviceChange(c.code, c.type < 0 ? 0 : reinterpret_cast<std::intptr_t>(h.data()));
    EXPECT_EQ(a, c.arrivals) << std::hex << c.code << " type " << c.type;
    EXPECT_EQ(r, c.removals) << std::hex << c.code << " type " << c.type;
    EXPECT_EQ(ch, c.changes) << std::hex << c.code << " type " << c.type;
  }
}

TEST_F(ArrivalTest, EveryArrivingInterfaceRaisesItsOwnArrival) {
  TkwHIDEvent e;
  int arrivals = 0, removals = 0;
  e.OnDeviceArrival = [&](TkwHIDEvent&) { ++arrivals; };
  e.OnDeviceRemove = [&](TkwHIDEvent&) { ++removals; };
  auto h = Header(kDbtDevTypDeviceInterface);
  for (int i = 0; i < 3; ++i) e.WMDeviceChange(kDbtDeviceArrival, reinterpret_cast<std::intptr_t>(h.data()));
  for (int i = 0; i < 3; ++i) e.WMDeviceChange(kDbtDeviceRemoveComplete, reinterpret_cast<std::intptr_t>(h.data()));
  EXPECT_EQ(arrivals, 3);
  EXPECT_EQ(removals, 3);
}

// Only the mouse's interfaces restart the reopen: a headset or keyboard
// arriving or going leaves the reads alone and is logged once.
TEST_F(ArrivalTest, OtherDevicesInterfacesRaiseNothing) {
  VirtualHidBus bus;
  QueuedMainThread main;
  TkwHIDData hid(&bus, &main);
  auto keyboardAndMouse = test::MouseDevice();
  VirtualCollection keyboard;
  keyboard.UsagePage = 0x0001;
  keyboard.Usage = 0x0006;
  keyboardAndMouse.Collections.insert(keyboardAndMouse.Collections.begin(), keyboard);
  const int dev = bus.Plug(keyboardAndMouse);
  const auto broadcast = [](const WStr& name) {
    std::vector<std::uint8_t> b(28 + 2 * (name.size() + 1), 0);
    const auto size = static_cast<std::uint32_t>(b.size());
    const std::uint32_t type = kDbtDevTypDeviceInterface;
    std::memcpy(b.data(), &size, 4);
    std::memcpy(b.data() + 4, &type, 4);
    std::memcpy(b.data() + 28, name.data(), 2 * name.size());
    return b;
  };
  const WStr mouse = u"\\\\?\\HID#VID_1234&PID_5678&MI_01&Col02#8&1&0&0001#{4d1e55b2-f16f-11cf-88cb-001111000030}";
  const WStr headset = u"\\\\?\\HID#VID_046D&PID_0A87&MI_03#9&2&0&0000#{4d1e55b2-f16f-11cf-88cb-001111000030}";
  const struct {
    std::vector<WStr> includeList;
    WStr path;
    int raised;  // arrivals + removals
    int logged;
  } rows[] = {
      {{u"HID\\VID_1234&PID_5678"}, mouse, 2, 0},
      {{u"HID\\VID_1234&PID_5678"}, headset, 0, 1},
      {{u"HID\\VID_1234&PID_5678"}, u"\\\\?\\HID#Virtual_1", 2, 0},  // no IDs: cannot tell
      {{}, bus.PathOf(dev, 1), 1, 1},   // the vendor collection arrives; its removal: not read
      {{}, bus.PathOf(dev, 0), 0, 1},   // the keyboard collection
  };
  for (const auto& row : rows) {
    test::DebugLines log;
    hid.FHidDeviceList = row.includeList;
    TkwHIDEvent e;
    e.ConcernsDevice = [&](WView path, bool arrived) { return hid.ConcernsDevice(path, arrived, kMouse); };
    int raised = 0;
    e.OnDeviceArrival = [&](TkwHIDEvent&) { ++raised; };
    e.OnDeviceRemove = [&](TkwHIDEvent&) { ++raised; };
    auto b = broadcast(row.path);
    for (int i = 0; i < 2; ++i) {
      e.WMDeviceChange(kDbtDeviceArrival, reinterpret_cast<std::intptr_t>(b.data()));
      e.WMDeviceChange(kDbtDeviceRemoveComplete, reinterpret_cast<std::intptr_t>(b.data()));
    }
    EXPECT_EQ(raised, 2 * row.raised) << ToUtf8(row.path);
    int logged = 0;
    for (const auto& line : log.Lines()) logged += line.find("another device") != std::string::npos;
    EXPECT_EQ(logged, row.logged) << ToUtf8(row.path) << log.All();
  }
  // A collection being read counts also on its removal.
  hid.FHidDeviceList.clear();
  hid.HidFindAndReadDevice(kMouse, u"*");
  ASSERT_TRUE(bus.WaitForReaders(dev, 1, 1, 1000));
  EXPECT_TRUE(hid.ConcernsDevice(bus.PathOf(dev, 1), false, kMouse));
  hid.HidStopRead();
}

TEST_F(ArrivalTest, UnboundEventsDoNothing) {
  TkwHIDEvent e;
  auto h = Header(kDbtDevTypDeviceInterface);
  e.WMDeviceChange(kDbtDeviceRemoveComplete, reinterpret_cast<std::intptr_t>(h.data()));
  DeliverPosted();
  log_.Callbacks.OnTimer();
  SUCCEED();
}

TEST_F(ArrivalTest, HandlerExceptionIsReportedAndLaterNotificationsGoOn) {
  test::DebugLines debug;
  TkwHIDEvent e;
  int calls = 0;
  e.OnDeviceChange = [&](TkwHIDEvent&) {
    ++calls;
    throw std::runtime_error("boom");
  };
  e.WMDeviceChange(kDbtDevNodesChanged, -1);
  e.WMDeviceChange(kDbtDevNodesChanged, -1);
  EXPECT_EQ(calls, 2);
  EXPECT_TRUE(debug.Contains("OnDeviceChange: boom")) << debug.All();
}

TEST_F(ArrivalTest, RefusedOrBadRegistrationStillGivesTheStartUpArrival) {
  log_.Refuse = true;
  {
    TkwHIDEvent e;
    EXPECT_FALSE(e.Registered());
    int arrivals = 0;
    e.OnDeviceArrival = [&](TkwHIDEvent&) { ++arrivals; };
    log_.Callbacks.OnTimer();
    EXPECT_EQ(arrivals, 1);
  }
  log_ = {};
  test::DebugLines debug;
  TkwHIDEvent bad(u"{not-a-guid}");
  EXPECT_TRUE(log_.Filters.empty());
  EXPECT_EQ(log_.Posted.size(), 1u);
  EXPECT_EQ(log_.TimerStarts.size(), 1u);
  EXPECT_TRUE(debug.Contains("bad interface class")) << debug.All();
}

TEST_F(ArrivalTest, OtherInterfaceClassGoesIntoTheFilter) {
  TkwHIDEvent e(u"{A5DCBF10-6530-11D2-901F-00C04FB951ED}");
  ASSERT_EQ(log_.Filters.size(), 1u);
  EXPECT_EQ(test::Hex({log_.Filters[0].begin() + 12, log_.Filters[0].begin() + 28}),
            "10bfdca53065d211901f00c04fb951ed");
}

TEST(GuidTest, ParseAndFormat) {
  const auto g = ParseGuid(u"{4D1E55B2-F16F-11CF-88CB-001111000030}");
  ASSERT_TRUE(g);
  EXPECT_EQ(*g, kHidInterfaceClassGuid);
  EXPECT_EQ(GuidToString(*g), u"{4d1e55b2-f16f-11cf-88cb-001111000030}");
  EXPECT_TRUE(ParseGuid(u"4d1e55b2-f16f-11cf-88cb-001111000030"));
  for (const char16_t* bad : {u"", u"{4d1e55b2-f16f-11cf-88cb-00111100003}", u"{4d1e55b2+f16f-11cf-88cb-001111000030}",
                              u"{4d1e55b2-f16f-11cf-88cb-00111100003g}", u"{4d1e55b2-f16f-11cf-88cb-001111000030"}) {
    EXPECT_FALSE(ParseGuid(bad)) << ToUtf8(bad);
  }
}

}  // namespace
}  // namespace vx
