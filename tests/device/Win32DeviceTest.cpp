// The device seams on real Windows (under wine on the build host): HID
// enumeration without a mouse, the message-window dispatcher, the arrival
// window and its start-up timer.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "DeviceTestSupport.h"
#include "device/kwHIDData.h"
#include "device/kwHIDEvent.h"
#include "platform/MainThread.h"

namespace vx {
namespace {

constexpr USAGE_AND_PAGE kMouse{0x0001, 0xFFA0};

// Handles this thread's messages until pred() holds or the time is up.
bool PumpUntil(IMainThreadDispatcher& d, const std::function<bool()>& pred, DWORD ms) {
  const DWORD start = ::GetTickCount();
  while (!pred()) {
    if (::GetTickCount() - start > ms) return false;
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    d.ProcessPending();
  }
  return true;
}

TEST(Win32HidBusTest, EnumerationRunsAndFindsNoMouse) {
  IHidBus& bus = PlatformHidBus();
  EXPECT_EQ(bus.HidGuid(), kHidInterfaceClassGuid);
  const auto interfaces = bus.Enumerate(bus.HidGuid());
  ASSERT_TRUE(interfaces.has_value());
  auto main = CreatePlatformMainThreadDispatcher();
  TkwHIDData hid(&bus, main.get());
  hid.FHidDeviceList.clear();
  hid.HidFindAndReadDevice(kMouse, u"*");
  EXPECT_EQ(hid.RunningReadThreads(), 0u);
  auto p = std::make_unique<THIDDataParam>();
  p->UsageAndPage = kMouse;
  p->Data.ReportID = 2;
  p->Data.DATASIZE = 16;
  EXPECT_FALSE(hid.IsDeviceExist(*p));
  EXPECT_NE(hid.HidFindAndSetFeatureReport(*p), 0u);
  hid.HidStopRead();
  EXPECT_EQ(bus.Open(u"\\\\?\\hid#no_such_device#0", false), nullptr);
}

// The overlapped read of the real device, over a named pipe in place of a
// HID collection: completion, cancel on stop, errors.
TEST(Win32HidBusTest, OverlappedReadCompletesCancelsOnStopAndReportsErrors) {
  const wchar_t* name = L"\\\\.\\pipe\\vx-hid-read-test";
  HANDLE server = ::CreateNamedPipeW(name, PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT, 2, 64, 64, 0, nullptr);
  ASSERT_NE(server, INVALID_HANDLE_VALUE);
  const WStr path = u"\\\\.\\pipe\\vx-hid-read-test";
  auto device = PlatformHidBus().Open(path, true);
  ASSERT_NE(device, nullptr);
  ::ConnectNamedPipe(server, nullptr);  // the client is connected already
  const auto send = [&](std::uint8_t id) {
    const std::uint8_t report[8] = {id, 1, 2, 3, 4, 5, 6, 7};
    DWORD put = 0;
    ASSERT_TRUE(::WriteFile(server, report, 8, &put, nullptr));
  };
  std::uint8_t buffer[8] = {};
  StopSignal stop;
  send(7);
  HidReadResult r = device->Read(buffer, stop);
  EXPECT_FALSE(r.Stopped);
  EXPECT_EQ(r.Error, 0u);
  EXPECT_EQ(r.BytesRead, 8u);
  EXPECT_EQ(buffer[0], 7);

  // Pending when the stop comes: cancelled, and what comes later waits for
  // the next read.
  std::thread stopper([&] {
    ::Sleep(100);
    stop.Set();
  });
  r = device->Read(buffer, stop);
  stopper.join();
  EXPECT_TRUE(r.Stopped);
  StopSignal again;
  send(8);
  r = device->Read(buffer, again);
  EXPECT_EQ(r.BytesRead, 8u);
  EXPECT_EQ(buffer[0], 8);

  // The other end gone: the read fails at once with the system's code.
  ::CloseHandle(server);
  r = device->Read(buffer, again);
  EXPECT_FALSE(r.Stopped);
  EXPECT_EQ(r.Error, static_cast<std::uint32_t>(ERROR_BROKEN_PIPE));

  // Opened for the one-shot operations, not for reading.
  server = ::CreateNamedPipeW(name, PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT, 2, 64, 64, 0, nullptr);
  ASSERT_NE(server, INVALID_HANDLE_VALUE);
  auto plain = PlatformHidBus().Open(path, false);
  ASSERT_NE(plain, nullptr);
  EXPECT_EQ(plain->Read(buffer, again).Error, static_cast<std::uint32_t>(ERROR_INVALID_HANDLE));
  plain.reset();
  ::CloseHandle(server);
}

TEST(Win32MainThreadTest, DeliversOnTheMainThreadAndPassesExceptionsBack) {
  auto main = CreatePlatformMainThreadDispatcher();
  EXPECT_TRUE(main->IsMainThread());
  StopSignal stop;
  EXPECT_NE(stop.NativeHandle(), nullptr);
  DWORD ranOn = 0;
  std::atomic<int> done{0};
  bool caught = false;
  std::thread worker([&] {
    EXPECT_FALSE(main->IsMainThread());
    EXPECT_EQ(main->Invoke([&] { ranOn = ::GetCurrentThreadId(); }, stop), DispatchResult::Handled);
    try {
      main->Invoke([] { throw std::runtime_error("x"); }, stop);
    } catch (const std::runtime_error&) {
      caught = true;
    }
    done = 1;
  });
  EXPECT_TRUE(PumpUntil(*main, [&] { return done.load() == 1; }, 5000));
  worker.join();
  EXPECT_EQ(ranOn, ::GetCurrentThreadId());
  EXPECT_TRUE(caught);
}

TEST(Win32MainThreadTest, StopWithdrawsAPostedCall) {
  auto main = CreatePlatformMainThreadDispatcher();
  StopSignal stop;
  bool ran = false;
  DispatchResult result = DispatchResult::Handled;
  std::thread worker([&] { result = main->Invoke([&] { ran = true; }, stop); });
  ::Sleep(50);  // posted, not handled: this thread handles no messages meanwhile
  stop.Set();
  worker.join();
  EXPECT_EQ(result, DispatchResult::Stopped);
  main->ProcessPending();
  EXPECT_FALSE(ran);
}

// The worker wakes after what its call posted has been handled (a report's
// button message and its action), and at once on a stop.
TEST(Win32MainThreadTest, TheWorkerWakesAfterTheMessagesItsCallPosted) {
  auto main = CreatePlatformMainThreadDispatcher();
  StopSignal stop;
  std::vector<std::string> order;
  std::mutex m;
  const auto note = [&](const char* what) {
    std::lock_guard lock(m);
    order.emplace_back(what);
  };
  constexpr UINT kAction = WM_APP + 7;
  std::atomic<bool> done{false};
  std::thread worker([&] {
    main->Invoke([&] { ::PostThreadMessageW(::GetCurrentThreadId(), kAction, 0, 0); }, stop);
    note("worker woke");
    done = true;
  });
  const DWORD start = ::GetTickCount();
  while (!done && ::GetTickCount() - start < 5000) {
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == kAction) {
        ::Sleep(30);  // the action takes a while: the worker must still wait
        note("action");
      }
      ::DispatchMessageW(&msg);
    }
  }
  worker.join();
  EXPECT_EQ(order, (std::vector<std::string>{"action", "worker woke"}));

  // Stopped while its release waits in a queue nobody reads: it returns.
  StopSignal stop2;
  DispatchResult result = DispatchResult::Stopped;
  std::atomic<bool> ran{false};
  std::thread held([&] { result = main->Invoke([&] { ran = true; }, stop2); });
  const DWORD t0 = ::GetTickCount();
  MSG msg;
  while (!ran && ::GetTickCount() - t0 < 5000) {
    // Only the call's own message: its release stays queued.
    if (::PeekMessageW(&msg, nullptr, WM_APP + 0x3A1, WM_APP + 0x3A1, PM_REMOVE)) ::DispatchMessageW(&msg);
    ::Sleep(1);
  }
  ::Sleep(50);
  stop2.Set();
  held.join();
  EXPECT_EQ(result, DispatchResult::Handled);
  main->ProcessPending();
}

TEST(Win32MainThreadTest, AMainThreadThatCannotBeReachedRefuses) {
  std::unique_ptr<IMainThreadDispatcher> gone;
  std::thread([&] { gone = CreatePlatformMainThreadDispatcher(); }).join();  // its window went with its thread
  StopSignal stop;
  bool ran = false;
  EXPECT_EQ(gone->Invoke([&] { ran = true; }, stop), DispatchResult::Refused);
  EXPECT_FALSE(ran);
}

TEST(Win32MainThreadTest, ReadThreadsDeliverThroughTheWindow) {
  auto main = CreatePlatformMainThreadDispatcher();
  VirtualHidBus bus;
  const int m = bus.Plug(test::MouseDevice());
  TkwHIDData hid(&bus, main.get());
  hid.FHidDeviceList.clear();
  std::vector<std::uint8_t> got;
  DWORD thread = 0;
  hid.OnData = [&](const WStr&, const WStr&, std::uint8_t id, const std::uint8_t* data, std::uint16_t size) {
    got.assign(data, data + size);
    got.insert(got.begin(), id);
    thread = ::GetCurrentThreadId();
  };
  hid.HidFindAndReadDevice(kMouse, u"*");
  ASSERT_TRUE(bus.WaitForReaders(m, 0, 1, 5000));
  const std::uint8_t report[8] = {7, 1, 2, 3, 4, 5, 6, 7};
  bus.QueueInput(m, 0, report);
  ASSERT_TRUE(PumpUntil(*main, [&] { return !got.empty(); }, 5000));
  EXPECT_EQ(got, (std::vector<std::uint8_t>{7, 1, 2, 3, 4, 5, 6, 7}));
  EXPECT_EQ(thread, ::GetCurrentThreadId());

  // A report waiting for the main thread when the stop comes never runs.
  got.clear();
  bus.QueueInput(m, 0, report);
  ::Sleep(50);
  hid.HidStopRead();
  PumpUntil(*main, [] { return false; }, 100);
  EXPECT_TRUE(got.empty());
}

TEST(Win32DeviceArrivalTest, StartUpChangeAndArrival) {
  auto main = CreatePlatformMainThreadDispatcher();
  TkwHIDEvent e;
  int arrivals = 0, changes = 0;
  e.OnDeviceArrival = [&](TkwHIDEvent&) { ++arrivals; };
  e.OnDeviceChange = [&](TkwHIDEvent&) { ++changes; };
  const DWORD start = ::GetTickCount();
  ASSERT_TRUE(PumpUntil(*main, [&] { return arrivals == 1; }, 10000));
  const DWORD elapsed = ::GetTickCount() - start;
  EXPECT_GE(elapsed + 50, 1500u);
  EXPECT_EQ(changes, 1);
  PumpUntil(*main, [] { return false; }, 300);
  EXPECT_EQ(arrivals, 1);  // once only
}

}  // namespace
}  // namespace vx
