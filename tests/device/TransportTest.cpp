// The HID transport on the virtual bus: matching, read threads, delivery to
// the main thread, stop, unplug, and the report length rules.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <thread>

#include "DeviceTestSupport.h"
#include "device/kwHIDData.h"
#include "platform/Files.h"
#include "platform/Shell.h"

namespace vx {
namespace {

using namespace std::chrono_literals;

constexpr USAGE_AND_PAGE kMouse{0x0001, 0xFFA0};

struct Delivery {
  WStr DeviceID;
  WStr DevicePath;
  std::uint8_t ReportID;
  std::vector<std::uint8_t> Data;
  std::thread::id Thread;
};

class TransportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    hid_ = std::make_unique<TkwHIDData>(&bus_, &main_);
    hid_->FHidDeviceList.clear();
    hid_->OnData = [this](const WStr& id, const WStr& path, std::uint8_t reportId, const std::uint8_t* data,
                          std::uint16_t size) {
      std::lock_guard lock(mutex_);
      deliveries_.push_back({id, path, reportId, {data, data + size}, std::this_thread::get_id()});
    };
  }

  void TearDown() override {
    if (hid_) hid_->HidStopRead();
    hid_.reset();
  }

  std::size_t Delivered() {
    std::lock_guard lock(mutex_);
    return deliveries_.size();
  }

  // Plays the main thread until n reports have been delivered.
  bool PumpUntil(std::size_t n, std::uint32_t ms = 5000) {
    return main_.RunUntil([&] { return Delivered() >= n; }, ms);
  }

  // A thread is counted until it has released everything, a moment after
  // its handle closed.
  bool WaitForNoThreads() {
    for (int i = 0; i < 500; ++i) {
      if (hid_->RunningReadThreads() == 0) return true;
      std::this_thread::sleep_for(10ms);
    }
    return false;
  }

  void Queue(int device, std::size_t collection, std::vector<std::uint8_t> report) {
    bus_.QueueInput(device, collection, report);
  }

  VirtualHidBus bus_;
  QueuedMainThread main_;
  std::unique_ptr<TkwHIDData> hid_;
  std::mutex mutex_;
  std::vector<Delivery> deliveries_;
};

TEST_F(TransportTest, IncludeListMatching) {
  struct Case {
    std::vector<WStr> list;
    bool passes;
  };
  const std::vector<WStr> ids = {u"HID\\VID_1234&PID_5678&REV_0100", u"HID\\VID_1234&PID_5678"};
  const Case cases[] = {
      {{}, true},
      {{u"HID\\VID_1234&PID_5678"}, true},
      {{u"hid\\vid_1234&pid_5678&rev_0100"}, true},  // case ignored
      {{u"HID\\VID_1234"}, false},                   // a prefix is not a match
      {{u"HID\\VID_1234&PID_5678&REV_0100&MI_00"}, false},
      {{u"HID\\VID_9999&PID_0001", u"HID\\VID_1234&PID_5678"}, true},
  };
  for (const auto& c : cases) {
    hid_->FHidDeviceList = c.list;
    EXPECT_EQ(hid_->PassesIncludeList(ids), c.passes) << (c.list.empty() ? "" : ToUtf8(c.list[0]));
  }
  hid_->FHidDeviceList = {u"HID\\VID_1234"};
  EXPECT_FALSE(hid_->PassesIncludeList({}));
}

TEST_F(TransportTest, OnlyMatchingCollectionsPassingTheListAreRead) {
  auto mouse = test::MouseDevice();
  auto keyboard = test::MouseDevice();
  keyboard.HardwareIds = {u"HID\\VID_AAAA&PID_0001"};
  keyboard.Collections[0].UsagePage = 0x0001;
  keyboard.Collections[0].Usage = 0x0006;
  auto other = test::MouseDevice();  // another vendor's device with the same collection
  other.HardwareIds = {u"HID\\VID_BBBB&PID_0002"};
  const int m = bus_.Plug(mouse);
  const int k = bus_.Plug(keyboard);
  const int o = bus_.Plug(other);

  hid_->HidFindAndReadDevice(kMouse, u"*");
  EXPECT_EQ(hid_->RunningReadThreads(), 2u);  // empty list: every vendor
  EXPECT_EQ(bus_.OpenReaders(k, 0), 0u);
  hid_->HidStopRead();
  EXPECT_TRUE(WaitForNoThreads());

  hid_->FHidDeviceList = {u"hid\\vid_1234&pid_5678&mi_01"};
  hid_->HidFindAndReadDevice(kMouse, u"*");
  EXPECT_EQ(hid_->RunningReadThreads(), 1u);
  EXPECT_TRUE(bus_.WaitForReaders(m, 0, 1, 1000));
  EXPECT_EQ(bus_.OpenReaders(o, 0), 0u);
}

TEST_F(TransportTest, InterfacesThatFailAreSkipped) {
  for (auto fail : {&VirtualDeviceDesc::FailOpen, &VirtualDeviceDesc::FailAttributes, &VirtualDeviceDesc::FailCaps}) {
    auto d = test::MouseDevice();
    d.*fail = true;
    bus_.Plug(d);
  }
  hid_->HidFindAndReadDevice(kMouse, u"*");
  EXPECT_EQ(hid_->RunningReadThreads(), 0u);
  THIDDataParam p;
  p.UsageAndPage = kMouse;
  // The presence test needs no access: only the one held by another program is there.
  EXPECT_TRUE(hid_->IsDeviceExist(p));
  bus_.Unplug(1);
  EXPECT_FALSE(hid_->IsDeviceExist(p));
}

TEST_F(TransportTest, EightByteReportArrivesAsIdAndSeven) {
  const int m = bus_.Plug(test::MouseDevice());
  hid_->HidFindAndReadDevice(kMouse, u"*");
  ASSERT_TRUE(bus_.WaitForReaders(m, 0, 1, 1000));
  Queue(m, 0, {7, 1, 2, 3, 4, 5, 6, 7});
  ASSERT_TRUE(PumpUntil(1));
  const Delivery d = deliveries_[0];
  EXPECT_EQ(d.ReportID, 7);
  EXPECT_EQ(d.Data, (std::vector<std::uint8_t>{1, 2, 3, 4, 5, 6, 7}));
  EXPECT_EQ(d.Thread, std::this_thread::get_id());  // on the main thread
  EXPECT_EQ(d.DeviceID, u"HID\\VID_1234&PID_5678&REV_0100&MI_01");
  EXPECT_EQ(d.DevicePath, bus_.PathOf(m, 0));
}

TEST_F(TransportTest, TwoCollectionsGiveTwoThreadsWithTheirOwnIdentity) {
  auto d = test::MouseDevice();
  d.Collections.push_back(test::MouseCollection());
  d.Collections[0].HardwareIds = {u"HID\\VID_1234&PID_5678&Col01"};
  d.Collections[1].HardwareIds = {u"HID\\VID_1234&PID_5678&Col02"};
  const int m = bus_.Plug(d);
  hid_->HidFindAndReadDevice(kMouse, u"*");
  EXPECT_EQ(hid_->RunningReadThreads(), 2u);
  ASSERT_TRUE(bus_.WaitForReaders(m, 1, 1, 1000));
  Queue(m, 1, {7, 0x22});
  ASSERT_TRUE(PumpUntil(1));
  Queue(m, 0, {7, 0x11});
  ASSERT_TRUE(PumpUntil(2));
  EXPECT_EQ(deliveries_[0].Data[0], 0x22);
  EXPECT_EQ(deliveries_[0].DeviceID, u"HID\\VID_1234&PID_5678&Col02");
  EXPECT_EQ(deliveries_[0].DevicePath, bus_.PathOf(m, 1));
  EXPECT_EQ(deliveries_[1].Data[0], 0x11);
  EXPECT_EQ(deliveries_[1].DeviceID, u"HID\\VID_1234&PID_5678&Col01");
  EXPECT_EQ(deliveries_[1].DevicePath, bus_.PathOf(m, 0));
}

TEST_F(TransportTest, ReportsOfOneInterfaceArriveInOrder) {
  const int m = bus_.Plug(test::MouseDevice());
  hid_->HidFindAndReadDevice(kMouse, u"*");
  ASSERT_TRUE(bus_.WaitForReaders(m, 0, 1, 1000));
  for (std::uint8_t i = 0; i < 50; ++i) Queue(m, 0, {7, i});
  ASSERT_TRUE(PumpUntil(50));
  for (std::uint8_t i = 0; i < 50; ++i) EXPECT_EQ(deliveries_[i].Data[0], i);
}

TEST_F(TransportTest, ReadingTwiceDeliversEveryReportTwiceUntilStopped) {
  const int m = bus_.Plug(test::MouseDevice());
  hid_->HidFindAndReadDevice(kMouse, u"*");
  hid_->HidFindAndReadDevice(kMouse, u"*");
  EXPECT_EQ(hid_->RunningReadThreads(), 2u);
  ASSERT_TRUE(bus_.WaitForReaders(m, 0, 2, 1000));
  Queue(m, 0, {7, 5});
  ASSERT_TRUE(PumpUntil(2));
  EXPECT_EQ(deliveries_[0].Data, deliveries_[1].Data);
  hid_->HidStopRead();
  Queue(m, 0, {7, 6});
  main_.RunUntil([] { return false; }, 50);
  EXPECT_EQ(Delivered(), 2u);
}

TEST_F(TransportTest, StopReachesAThreadWaitingForTheMainThread) {
  const int m = bus_.Plug(test::MouseDevice());
  hid_->HidFindAndReadDevice(kMouse, u"*");
  ASSERT_TRUE(bus_.WaitForReaders(m, 0, 1, 1000));
  Queue(m, 0, {7, 1});
  while (main_.Pending() == 0) std::this_thread::yield();  // handed over, not yet handled
  hid_->HidStopRead();
  hid_->HidFindAndReadDevice(kMouse, u"*");
  ASSERT_TRUE(bus_.WaitForReaders(m, 0, 1, 1000));
  Queue(m, 0, {7, 2});
  ASSERT_TRUE(PumpUntil(1));
  main_.RunUntil([] { return false; }, 50);
  ASSERT_EQ(Delivered(), 1u);  // the stopped thread's report never runs
  EXPECT_EQ(deliveries_[0].Data[0], 2);
  EXPECT_EQ(hid_->RunningReadThreads(), 1u);
}

TEST_F(TransportTest, StopWithoutReadsReturns) {
  const auto t0 = std::chrono::steady_clock::now();
  hid_->HidStopRead();
  EXPECT_LT(std::chrono::steady_clock::now() - t0, 2s);
  EXPECT_EQ(hid_->RunningReadThreads(), 0u);
}

TEST_F(TransportTest, ExceptionInAHandlerEndsThatThread) {
  const int m = bus_.Plug(test::MouseDevice());
  test::DebugLines debug;
  int calls = 0;
  hid_->OnData = [&](const WStr&, const WStr&, std::uint8_t, const std::uint8_t*, std::uint16_t) {
    ++calls;
    throw std::runtime_error("handler failed");
  };
  hid_->HidFindAndReadDevice(kMouse, u"*");
  ASSERT_TRUE(bus_.WaitForReaders(m, 0, 1, 1000));
  Queue(m, 0, {7, 1});
  ASSERT_TRUE(main_.RunUntil([&] { return calls == 1; }, 5000));
  ASSERT_TRUE(bus_.WaitForReaders(m, 0, 0, 5000));  // the thread closed its handle
  EXPECT_TRUE(WaitForNoThreads());
  EXPECT_EQ(bus_.QueueInput(m, 0, std::vector<std::uint8_t>{7, 2}), 0u);
  EXPECT_TRUE(debug.Contains("handler raised")) << debug.All();
}

TEST_F(TransportTest, UnplugEndsTheThreadWithDeviceNotConnected) {
  const int m = bus_.Plug(test::MouseDevice());
  test::DebugLines debug;
  std::atomic<int> notConnected{0};
  WStr path;
  hid_->OnDeviceNotConnected = [&](const WStr&, const WStr& p) {
    path = p;
    ++notConnected;
  };
  hid_->HidFindAndReadDevice(kMouse, u"*");
  ASSERT_TRUE(bus_.WaitForReaders(m, 0, 1, 1000));
  bus_.Unplug(m);
  ASSERT_TRUE(bus_.WaitForReaders(m, 0, 0, 5000));
  EXPECT_EQ(notConnected.load(), 1);
  EXPECT_EQ(path, bus_.PathOf(m, 0));
  EXPECT_TRUE(debug.Contains("ERROR_DEVICE_NOT_CONNECTED++++++++++++++++"));
  EXPECT_TRUE(WaitForNoThreads());
}

TEST_F(TransportTest, UnplugAfterStopRaisesNothing) {
  const int m = bus_.Plug(test::MouseDevice());
  std::atomic<int> notConnected{0};
  hid_->OnDeviceNotConnected = [&](const WStr&, const WStr&) { ++notConnected; };
  hid_->HidFindAndReadDevice(kMouse, u"*");
  ASSERT_TRUE(bus_.WaitForReaders(m, 0, 1, 1000));
  hid_->HidStopRead();
  bus_.Unplug(m);
  EXPECT_TRUE(WaitForNoThreads());
  EXPECT_EQ(notConnected.load(), 0);
}

TEST(HidPathIds, VendorAndProductFromTheInterfacePath) {
  struct Case {
    const char16_t* path;
    std::optional<HidVidPid> ids;
  };
  const Case cases[] = {
      {u"\\\\?\\hid#vid_046d&pid_c08b&mi_01&col02#7&1a2b3c&0&0001#{4d1e55b2-f16f-11cf-88cb-001111000030}",
       HidVidPid{0x046D, 0xC08B}},
      {u"\\\\?\\HID#VID_1A2B&PID_3C4D#6&0#{4d1e55b2-f16f-11cf-88cb-001111000030}", HidVidPid{0x1A2B, 0x3C4D}},
      {u"hid#Vid_00fF&PiD_0001", HidVidPid{0x00FF, 0x0001}},
      // Bluetooth LE paths name them another way; virtual paths not at all.
      {u"\\\\?\\hid#{00001812-0000-1000-8000-00805f9b34fb}_dev_vid&02046d_pid&b015_rev&0004#9", std::nullopt},
      {u"\\\\?\\hid#virtual_1&col01#0", std::nullopt},
      {u"hid#vid_12g4&pid_5678", std::nullopt},
      {u"hid#vid_1234&pid_567", std::nullopt},
      {u"hid#vid_1234_pid_5678", std::nullopt},
      {u"vid_zzzz&pid_0000#vid_0102&pid_0304", HidVidPid{0x0102, 0x0304}},
      {u"", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseHidPathIds(c.path), c.ids) << ToUtf8(c.path);
  EXPECT_EQ(HardwareIdOf({0x046D, 0xC08B}), u"HID\\VID_046D&PID_C08B");
}

TEST_F(TransportTest, OnlyTheMatchingCollectionIsOpenedAndAFailedOpenIsLogged) {
  test::DebugLines debug;
  VirtualDeviceDesc keyboard = test::MouseDevice();
  keyboard.Collections[0].UsagePage = 0x0001;
  keyboard.Collections[0].Usage = 0x0006;
  const int k = bus_.Plug(keyboard);
  VirtualDeviceDesc held = test::MouseDevice();
  held.FailOpen = true;  // another program holds it
  const int h = bus_.Plug(held);
  const int m = bus_.Plug(test::MouseDevice());
  hid_->HidFindAndReadDevice(kMouse, u"*");
  ASSERT_TRUE(bus_.WaitForReaders(m, 0, 1, 1000));
  EXPECT_EQ(bus_.AccessOpens(k, 0), 0u);  // probed only
  EXPECT_EQ(bus_.AccessOpens(m, 0), 1u);
  EXPECT_EQ(hid_->RunningReadThreads(), 1u);
  EXPECT_TRUE(debug.Contains("HID open failed, error 32: " + ToUtf8(bus_.PathOf(h, 0)))) << debug.All();
  // A presence test reads attributes only: the held collection counts, nothing is opened.
  hid_->HidStopRead();
  bus_.Unplug(m);
  auto p = std::make_unique<THIDDataParam>();
  p->UsageAndPage = kMouse;
  EXPECT_TRUE(hid_->IsDeviceExist(*p));
  EXPECT_EQ(bus_.AccessOpens(h, 0) + bus_.AccessOpens(k, 0), 0u);
}

TEST_F(TransportTest, TheSameReadErrorManyTimesInARowEndsTheReadAndAsksForAReopen) {
  std::vector<std::uint32_t> failed;
  std::thread::id failedOn;
  hid_->OnReadFailed = [&](const WStr&, const WStr&, std::uint32_t error) {
    failed.push_back(error);
    failedOn = std::this_thread::get_id();
  };
  const int m = bus_.Plug(test::MouseDevice());
  hid_->HidFindAndReadDevice(kMouse, u"*");
  ASSERT_TRUE(bus_.WaitForReaders(m, 0, 1, 1000));
  // Fewer than the limit, or changing codes: read on.
  for (int i = 0; i < 49; ++i) bus_.QueueReadError(m, 0, 31);
  Queue(m, 0, {7, 1});
  for (int i = 0; i < 30; ++i) {
    bus_.QueueReadError(m, 0, 31);
    bus_.QueueReadError(m, 0, 23);
  }
  Queue(m, 0, {7, 2});
  ASSERT_TRUE(PumpUntil(2));
  EXPECT_TRUE(failed.empty());
  for (int i = 0; i < 50; ++i) bus_.QueueReadError(m, 0, 31);
  ASSERT_TRUE(main_.RunUntil([&] { return !failed.empty(); }, 5000));
  EXPECT_EQ(failed, std::vector<std::uint32_t>{31});
  EXPECT_EQ(failedOn, std::this_thread::get_id());  // on the main thread
  EXPECT_TRUE(WaitForNoThreads());
}

TEST_F(TransportTest, ReadErrorsEndTheReadOrAreRetried) {
  struct Case {
    std::uint32_t error;
    bool ends, notConnected;
  };
  // 995 and 1167 whether the read fails at once or on completion: the
  // platform's Read reports both the same way.
  const Case cases[] = {
      {6, true, false}, {995, true, true}, {1167, true, true}, {31, false, false}, {23, false, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.error);
    test::DebugLines debug;
    std::atomic<int> notConnected{0};
    hid_->OnDeviceNotConnected = [&](const WStr&, const WStr&) { ++notConnected; };
    const int m = bus_.Plug(test::MouseDevice());
    hid_->HidFindAndReadDevice(kMouse, u"*");
    ASSERT_TRUE(bus_.WaitForReaders(m, 0, 1, 1000));
    const std::size_t before = Delivered();
    bus_.QueueReadError(m, 0, c.error);
    Queue(m, 0, {7, 1});
    if (c.ends) {
      ASSERT_TRUE(bus_.WaitForReaders(m, 0, 0, 5000));
      main_.RunUntil([] { return false; }, 20);
      EXPECT_EQ(Delivered(), before);
    } else {
      ASSERT_TRUE(PumpUntil(before + 1));
      EXPECT_EQ(bus_.OpenReaders(m, 0), 1u);
    }
    EXPECT_EQ(notConnected.load(), c.notConnected ? 1 : 0);
    EXPECT_EQ(debug.Contains("ERROR_DEVICE_NOT_CONNECTED++++++++++++++++"), c.notConnected);
    hid_->HidStopRead();
    bus_.Unplug(m);
  }
}

// A main thread that refuses hand-offs, as one whose queue is full does.
class RefusingMainThread final : public IMainThreadDispatcher {
 public:
  RefusingMainThread(IMainThreadDispatcher& inner, int refusals) : inner_(inner), refusals_(refusals) {}
  DispatchResult Invoke(const std::function<void()>& fn, const StopSignal& stop) override {
    if (refusals_.fetch_sub(1) > 0) return DispatchResult::Refused;
    return inner_.Invoke(fn, stop);
  }
  void ProcessPending() override { inner_.ProcessPending(); }
  bool IsMainThread() const override { return inner_.IsMainThread(); }

 private:
  IMainThreadDispatcher& inner_;
  std::atomic<int> refusals_;
};

TEST_F(TransportTest, RefusedHandOffDropsThatReportAndReadsOn) {
  RefusingMainThread refusing(main_, 1);
  hid_ = std::make_unique<TkwHIDData>(&bus_, &refusing);
  hid_->FHidDeviceList.clear();
  hid_->OnData = [this](const WStr& id, const WStr& path, std::uint8_t reportId, const std::uint8_t* data,
                        std::uint16_t size) {
    deliveries_.push_back({id, path, reportId, {data, data + size}, std::this_thread::get_id()});
  };
  test::DebugLines debug;
  const int m = bus_.Plug(test::MouseDevice());
  hid_->HidFindAndReadDevice(kMouse, u"*");
  ASSERT_TRUE(bus_.WaitForReaders(m, 0, 1, 1000));
  Queue(m, 0, {7, 1});
  Queue(m, 0, {7, 2});
  ASSERT_TRUE(PumpUntil(1));
  EXPECT_EQ(deliveries_[0].Data[0], 2);
  EXPECT_TRUE(debug.Contains("HID report dropped")) << debug.All();
  hid_->HidStopRead();
  hid_.reset();
}

TEST_F(TransportTest, DestroyWhileANotConnectedHandlerWaitsForTheMainThread) {
  const int m = bus_.Plug(test::MouseDevice());
  std::atomic<bool> entered{false};
  bool ran = false;
  StopSignal never;
  hid_->OnDeviceNotConnected = [&](const WStr&, const WStr&) {
    entered = true;
    main_.Invoke([&] { ran = true; }, never);
  };
  hid_->HidFindAndReadDevice(kMouse, u"*");
  ASSERT_TRUE(bus_.WaitForReaders(m, 0, 1, 1000));
  bus_.Unplug(m);
  while (!entered.load()) std::this_thread::yield();
  hid_.reset();  // must not wait for the handler while the handler waits for it
  EXPECT_TRUE(ran);
}

TEST_F(TransportTest, StopFromAFastHandlerEndsTheReads) {
  const int m = bus_.Plug(test::MouseDevice());
  hid_->FastOnData = true;
  std::atomic<int> calls{0};
  hid_->OnData = [&](const WStr&, const WStr&, std::uint8_t, const std::uint8_t*, std::uint16_t) {
    ++calls;
    hid_->HidStopRead();
  };
  hid_->HidFindAndReadDevice(kMouse, u"*");
  ASSERT_TRUE(bus_.WaitForReaders(m, 0, 1, 1000));
  Queue(m, 0, {7, 1});
  Queue(m, 0, {7, 2});
  while (calls.load() == 0) std::this_thread::yield();
  hid_->HidStopRead();  // the main thread stops the reads at the same moment
  EXPECT_TRUE(WaitForNoThreads());
  EXPECT_EQ(calls.load(), 1);
  hid_->HidFindAndReadDevice(kMouse, u"*");
  EXPECT_TRUE(bus_.WaitForReaders(m, 0, 1, 1000));
}

TEST_F(TransportTest, ParsedDataReportsButtonChanges) {
  auto d = test::MouseDevice();
  d.Collections[0].ButtonReportId = 7;
  d.Collections[0].ButtonCount = 16;
  const int m = bus_.Plug(d);
  std::vector<std::uint32_t> changes;
  hid_->OnParsedData = [&](const WStr&, const WStr&, std::uint8_t, std::uint32_t buttons) {
    changes.push_back(buttons);
  };
  hid_->HidFindAndReadDevice(kMouse, u"*");
  ASSERT_TRUE(bus_.WaitForReaders(m, 0, 1, 1000));
  const std::vector<std::vector<std::uint8_t>> reports = {
      {7, 0x01, 0}, {7, 0x05, 0}, {7, 0x05, 0}, {7, 0x04, 0}, {7, 0x00, 0x80}, {8, 0, 0}};
  for (const auto& r : reports) Queue(m, 0, r);
  ASSERT_TRUE(PumpUntil(reports.size()));
  EXPECT_EQ(changes, (std::vector<std::uint32_t>{
                         0x00010000,  // button 1 pressed
                         0x00030000,  // button 3 pressed
                         0,           // nothing changed
                         1,           // button 1 released
                         3,           // release wins over the press of 16 in the same report
                         0,           // a report without buttons
                     }));
}

TEST_F(TransportTest, FastOnDataDeliversOnTheReadThread) {
  const int m = bus_.Plug(test::MouseDevice());
  hid_->FastOnData = true;
  hid_->HidFindAndReadDevice(kMouse, u"*");
  ASSERT_TRUE(bus_.WaitForReaders(m, 0, 1, 1000));
  Queue(m, 0, {7, 9});
  for (int i = 0; i < 500 && Delivered() == 0; ++i) std::this_thread::sleep_for(10ms);
  ASSERT_EQ(Delivered(), 1u);
  EXPECT_NE(deliveries_[0].Thread, std::this_thread::get_id());
  EXPECT_EQ(main_.Pending(), 0u);
}

TEST_F(TransportTest, FeatureReportLengthRule) {
  const int m = bus_.Plug(test::MouseDevice(64));
  auto p = std::make_unique<THIDDataParam>();
  p->UsageAndPage = kMouse;
  p->Data.ReportID = 3;
  p->Data.DATAReally[0] = 0xAB;
  p->Data.DATASIZE = 65;
  EXPECT_NE(hid_->HidFindAndSetFeatureReport(*p), 0u);
  EXPECT_TRUE(bus_.Sent().empty());
  p->Data.DATASIZE = 64;
  EXPECT_EQ(hid_->HidFindAndSetFeatureReport(*p), 0u);
  ASSERT_EQ(bus_.Sent().size(), 1u);
  EXPECT_EQ(bus_.Sent()[0].Bytes.size(), 64u);
  EXPECT_EQ(bus_.Sent()[0].Bytes[0], 3);
  EXPECT_EQ(bus_.Sent()[0].Bytes[1], 0xAB);
  EXPECT_NE(p->DeviceHandle, 0u);

  bus_.SetSendError(31);
  EXPECT_EQ(hid_->HidFindAndSetFeatureReport(*p), 31u);
  bus_.SetSendError(0);
  bus_.Unplug(m);
  EXPECT_EQ(hid_->HidFindAndSetFeatureReport(*p), kErrDeviceNotConnected);  // nothing matched
}

// The class driver takes only buffers of the collection's length (4096
// here) and sends the report ID's own bytes on to the mouse.
TEST_F(TransportTest, FeatureReportsTravelInTheCollectionsLength) {
  bus_.Plug(test::MouseDevice(4096));
  test::DebugLines log;
  const struct {
    std::uint8_t id;
    std::uint32_t length;
  } rows[] = {{2, 16}, {3, 64}, {4, 1024}, {6, 4096}};
  for (const auto& row : rows) {
    bus_.ClearSent();
    auto p = std::make_unique<THIDDataParam>();
    p->UsageAndPage = kMouse;
    p->Data.ReportID = row.id;
    p->Data.DATAReally[0] = 0x02;
    p->Data.DATAReally[row.length - 2] = 0x5A;
    p->Data.DATAReally[row.length - 1] = 0xA5;  // beyond the report: not sent
    p->Data.DATASIZE = row.length;
    EXPECT_EQ(hid_->HidFindAndSetFeatureReport(*p), 0u) << int(row.id);
    const auto sent = bus_.Sent();
    ASSERT_EQ(sent.size(), 1u) << int(row.id);
    EXPECT_EQ(sent[0].Bytes.size(), row.length);
    EXPECT_EQ(sent[0].Bytes[0], row.id);
    EXPECT_EQ(sent[0].Bytes[1], 0x02);
    EXPECT_EQ(sent[0].Bytes[row.length - 1], 0x5A);
  }
  // A refused report is logged with its ID and the error.
  bus_.SetSendError(31);
  auto p = std::make_unique<THIDDataParam>();
  p->UsageAndPage = kMouse;
  p->Data.ReportID = 4;
  p->Data.DATASIZE = 1024;
  EXPECT_EQ(hid_->HidFindAndSetFeatureReport(*p), 31u);
  EXPECT_TRUE(log.Contains("Feature report 4 (1024 bytes) not written to the mouse, error 31")) << log.All();
}

// A mouse that never answers: the request ends at the time limit, is
// cancelled, and the next report goes through.
TEST_F(TransportTest, FeatureWriteThatNeverCompletesTimesOut) {
  bus_.Plug(test::MouseDevice(4096));
  test::DebugLines log;
  hid_->WriteTimeoutMs = 20;
  bus_.SetSendHang(1);
  auto p = std::make_unique<THIDDataParam>();
  p->UsageAndPage = kMouse;
  p->Data.ReportID = 2;
  p->Data.DATASIZE = 16;
  EXPECT_EQ(hid_->HidFindAndSetFeatureReport(*p), kErrTimeout);
  EXPECT_EQ(bus_.CancelledSends(), 1u);
  EXPECT_TRUE(bus_.Sent().empty());
  EXPECT_TRUE(log.Contains("error 1460 (no answer in time)")) << log.All();
  EXPECT_EQ(hid_->HidFindAndSetFeatureReport(*p), 0u);
  EXPECT_EQ(bus_.Sent().size(), 1u);
}

// A removal request closes the read handle but keeps its registration; a
// refused removal unregisters it and asks for the mouse to be opened again.
TEST_F(TransportTest, RemovalRequestClosesAndARefusedRemovalReopens) {
  const int m = bus_.Plug(test::MouseDevice());
  std::vector<std::intptr_t> registered, unregistered;
  hid_->RegisterHandle = [&](std::intptr_t h) {
    registered.push_back(h);
    return h + 1;
  };
  hid_->UnregisterHandle = [&](std::intptr_t r) { unregistered.push_back(r); };
  hid_->HidFindAndReadDevice(kMouse, u"*");
  ASSERT_TRUE(bus_.WaitForReaders(m, 0, 1, 1000));
  ASSERT_EQ(registered.size(), 1u);
  EXPECT_FALSE(hid_->DeviceRemovalEvent(0x8001, registered[0] + 7, 0));  // another handle
  EXPECT_EQ(bus_.OpenReaders(m, 0), 1u);
  EXPECT_FALSE(hid_->DeviceRemovalEvent(0x8001, registered[0], registered[0] + 1));
  EXPECT_EQ(bus_.OpenReaders(m, 0), 0u);
  EXPECT_TRUE(unregistered.empty());
  EXPECT_TRUE(hid_->DeviceRemovalEvent(0x8002, registered[0], registered[0] + 1));
  EXPECT_EQ(unregistered, (std::vector<std::intptr_t>{registered[0] + 1}));
  EXPECT_FALSE(hid_->DeviceRemovalEvent(0x8002, registered[0], registered[0] + 1));  // once
  // An ordinary stop unregisters before the handle closes.
  hid_->HidFindAndReadDevice(kMouse, u"*");
  ASSERT_TRUE(bus_.WaitForReaders(m, 0, 1, 1000));
  hid_->HidStopRead();
  EXPECT_EQ(unregistered.size(), 2u);
}

TEST_F(TransportTest, FeatureReportGoesToEveryMatchingInterface) {
  const int a = bus_.Plug(test::MouseDevice(16));
  const int b = bus_.Plug(test::MouseDevice(16));
  auto p = std::make_unique<THIDDataParam>();
  p->UsageAndPage = kMouse;
  p->Data.ReportID = 2;
  p->Data.DATASIZE = 16;
  EXPECT_EQ(hid_->HidFindAndSetFeatureReport(*p), 0u);
  const auto sent = bus_.Sent();
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0].Device, a);
  EXPECT_EQ(sent[1].Device, b);
}

TEST_F(TransportTest, GetFeatureReportCopiesBack) {
  const int m = bus_.Plug(test::MouseDevice(16));
  bus_.SetFeatureResponse(m, 0, {2, 0x10, 0x20, 0x30});
  auto p = std::make_unique<THIDDataParam>();
  p->UsageAndPage = kMouse;
  p->Data.ReportID = 2;
  p->Data.DATAReally[5] = 0x77;
  p->Data.DATASIZE = 16;
  EXPECT_EQ(hid_->HidFindAndGetFeatureReport(*p), 0u);
  EXPECT_EQ(p->Data.ReportID, 2);
  EXPECT_EQ(p->Data.DATAReally[0], 0x10);
  EXPECT_EQ(p->Data.DATAReally[2], 0x30);
  EXPECT_EQ(p->Data.DATAReally[5], 0);  // the whole report came back
  // Read through the collection's 64 bytes; only the requested 16 come back.
  const int wide = bus_.Plug(test::MouseDevice(64));
  std::vector<std::uint8_t> response(64, 0x44);
  response[0] = 2;
  bus_.SetFeatureResponse(wide, 0, response);
  bus_.Unplug(m);
  p->Data.DATAReally[15] = 0x77;
  EXPECT_EQ(hid_->HidFindAndGetFeatureReport(*p), 0u);
  EXPECT_EQ(p->Data.DATAReally[14], 0x44);
  EXPECT_EQ(p->Data.DATAReally[15], 0x77);
  p->Data.DATASIZE = 65;
  EXPECT_NE(hid_->HidFindAndGetFeatureReport(*p), 0u);
}

TEST_F(TransportTest, OutputWriteLengthRules) {
  auto d = test::MouseDevice();
  d.Collections[0].OutputReportLength = 9;
  d.HardwareIds = {u"HID\\VID_1234&PID_5678"};
  bus_.Plug(d);
  hid_->FHidDeviceList = {u"HID\\VID_0000&PID_0000"};  // excludes the mouse
  auto p = std::make_unique<THIDDataParam>();
  p->UsageAndPage = kMouse;
  p->Data.ReportID = 1;
  p->Data.DATASIZE = 8;
  p->Data.DATAReally[7] = 0xEE;  // past BYHID's DATASIZE, inside WriteDevice's
  EXPECT_FALSE(hid_->HidFindAndWriteDevice(*p));  // include list applies
  EXPECT_TRUE(hid_->HidFindAndWriteDeviceBYHID(*p));  // it does not
  hid_->FHidDeviceList.clear();
  EXPECT_TRUE(hid_->HidFindAndWriteDevice(*p));
  auto sent = bus_.Sent();
  ASSERT_EQ(sent.size(), 2u);
  // Both travel in a buffer of the collection's output length: BYHID's
  // DATASIZE bytes then a zero, WriteDevice's one byte more than DATASIZE.
  ASSERT_EQ(sent[0].Bytes.size(), 9u);
  EXPECT_EQ(sent[0].Bytes[8], 0);
  ASSERT_EQ(sent[1].Bytes.size(), 9u);
  EXPECT_EQ(sent[1].Bytes[8], 0xEE);
  EXPECT_EQ(sent[1].What, VirtualSent::Kind::Output);

  p->Data.DATASIZE = 10;  // longer than the output report
  EXPECT_FALSE(hid_->HidFindAndWriteDevice(*p));
  EXPECT_FALSE(hid_->HidFindAndWriteDeviceBYHID(*p));

  p->Data.DATASIZE = 8;
  p->DeviceID = u"hid\\vid_1234&pid_5678";
  EXPECT_TRUE(hid_->HidFindAndWriteDeviceBYHID(*p));
  p->DeviceID = u"HID\\VID_4321&PID_0001";
  EXPECT_FALSE(hid_->HidFindAndWriteDeviceBYHID(*p));
  EXPECT_EQ(bus_.Sent().size(), 3u);
}

TEST_F(TransportTest, IncludeListFromConfigIni) {
  const std::string dir = ::testing::TempDir() + "vx_hid_config/";
  std::filesystem::create_directories(dir);
  const std::string ini =
      "[OtherConfig]\r\nid1=wrong\r\n[IncludeHIDDeviceList]\r\nid1=HID\\VID_1111\r\nID2=HID\\VID_2222\r\n"
      "id4=HID\\VID_4444\r\n";
  {
    std::FILE* f = std::fopen((dir + "config.ini").c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(ini.data(), 1, ini.size(), f);
    std::fclose(f);
  }
  SetExecutableFolderOverride(FromNativePath(dir));
  TkwHIDData withList(&bus_, &main_);
  SetExecutableFolderOverride({});
  EXPECT_EQ(withList.FHidDeviceList, (std::vector<WStr>{u"HID\\VID_1111", u"HID\\VID_2222"}));
  std::filesystem::remove_all(dir);
}

// Stop and reopen over and over while reports flood in: every report is
// delivered at most once, nothing arrives between a stop and the next
// open, and nothing hangs.
TEST_F(TransportTest, StopAndReopenUnderFloodDeliversNoReportTwice) {
  const int m = bus_.Plug(test::MouseDevice());
  std::map<std::uint32_t, int> seen;
  std::atomic<bool> stopped{false};
  std::atomic<int> afterStop{0};
  hid_->OnData = [&](const WStr&, const WStr&, std::uint8_t, const std::uint8_t* data, std::uint16_t) {
    std::uint32_t seq = 0;
    std::memcpy(&seq, data, 4);
    ++seen[seq];
    if (stopped.load()) ++afterStop;
  };
  std::atomic<bool> flooding{true};
  std::thread flood([&] {
    std::uint32_t seq = 0;
    while (flooding.load()) {
      std::uint8_t r[8] = {7};
      ++seq;
      std::memcpy(r + 1, &seq, 4);
      bus_.QueueInput(m, 0, r);
      if (seq % 64 == 0) std::this_thread::yield();
    }
  });
  for (int round = 0; round < 150; ++round) {
    stopped = false;
    hid_->HidFindAndReadDevice(kMouse, u"*");
    main_.RunUntil([] { return false; }, static_cast<std::uint32_t>(round % 4));
    hid_->HidStopRead();
    stopped = true;
    main_.ProcessPending();  // whatever the stopped threads had queued
    main_.RunUntil([] { return false; }, 1);
  }
  flooding = false;
  flood.join();
  EXPECT_EQ(afterStop.load(), 0);
  for (const auto& [seq, n] : seen) ASSERT_EQ(n, 1) << "report " << seq;
  EXPECT_GT(seen.size(), 0u);
  EXPECT_TRUE(WaitForNoThreads());
}

}  // namespace
}  // namespace vx
