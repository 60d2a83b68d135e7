// Handing calls to the main thread and withdrawing them on stop.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/MainThread.h"

namespace vx {
namespace {

TEST(QueuedMainThreadTest, RunsTheCallOnTheMainThreadAndWaits) {
  QueuedMainThread main;
  StopSignal stop;
  std::thread::id ranOn;
  std::atomic<bool> returned{false};
  std::thread worker([&] {
    EXPECT_EQ(main.Invoke([&] { ranOn = std::this_thread::get_id(); }, stop), DispatchResult::Handled);
    returned = true;
  });
  while (main.Pending() == 0) std::this_thread::yield();
  EXPECT_FALSE(returned.load());  // waits until handled
  main.ProcessPending();
  worker.join();
  EXPECT_EQ(ranOn, std::this_thread::get_id());
}

TEST(QueuedMainThreadTest, ExceptionTravelsBackToTheWorker) {
  QueuedMainThread main;
  StopSignal stop;
  std::atomic<bool> caught{false};
  std::thread worker([&] {
    try {
      main.Invoke([] { throw std::runtime_error("bad report"); }, stop);
    } catch (const std::runtime_error& e) {
      caught = std::string(e.what()) == "bad report";
    }
  });
  main.RunUntil([&] { return main.Pending() == 0 && caught; }, 5000);
  worker.join();
  EXPECT_TRUE(caught.load());
}

TEST(QueuedMainThreadTest, StopWithdrawsAQueuedCall) {
  QueuedMainThread main;
  StopSignal stop;
  bool ran = false;
  DispatchResult result = DispatchResult::Handled;
  std::thread worker([&] { result = main.Invoke([&] { ran = true; }, stop); });
  while (main.Pending() == 0) std::this_thread::yield();
  stop.Set();
  worker.join();
  EXPECT_EQ(result, DispatchResult::Stopped);
  main.ProcessPending();  // the message still comes, the call does not run
  EXPECT_FALSE(ran);
}

// Also when releases are held (the Win32 way: after the handler's posted
// messages): a stop that came during the call lets the worker go at its
// return, as no release may follow (Exit or session end).
TEST(QueuedMainThreadTest, StopSetWhileTheCallRunsWaitsForIt) {
  for (const bool hold : {false, true}) {
    SCOPED_TRACE(hold ? "held releases" : "released at return");
    QueuedMainThread main(hold);
    StopSignal stop;
    std::atomic<bool> finished{false};
    std::atomic<bool> returned{false};
    DispatchResult result = DispatchResult::Stopped;
    std::thread worker([&] {
      result = main.Invoke(
          [&] {
            stop.Set();
            std::this_thread::sleep_for(std::chrono::milliseconds(20));  // the worker saw it running
            finished = true;
          },
          stop);
      returned = true;
    });
    while (main.Pending() == 0) std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // the worker waits by now
    main.ProcessPending();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!returned && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
    EXPECT_TRUE(returned.load()) << "left waiting for a release";
    main.ReleaseHeld();  // lets a stuck worker end the test
    worker.join();
    EXPECT_TRUE(finished.load());
    EXPECT_EQ(result, DispatchResult::Handled);
  }
}

TEST(QueuedMainThreadTest, HeldReleasesWakeTheWorkerOnlyWhenReleasedOrStopped) {
  QueuedMainThread main(true);
  StopSignal stop;
  std::atomic<bool> returned{false};
  std::thread worker([&] {
    main.Invoke([] {}, stop);
    returned = true;
  });
  while (main.Pending() == 0) std::this_thread::yield();
  main.ProcessPending();
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_FALSE(returned.load());  // its posted messages are not handled yet
  main.ReleaseHeld();
  worker.join();
  EXPECT_TRUE(returned.load());

  DispatchResult result = DispatchResult::Stopped;
  std::thread stopped([&] { result = main.Invoke([] {}, stop); });
  while (main.Pending() == 0) std::this_thread::yield();
  main.ProcessPending();
  stop.Set();  // never released: the stop lets it go
  stopped.join();
  EXPECT_EQ(result, DispatchResult::Handled);
}

TEST(QueuedMainThreadTest, OnTheMainThreadItRunsDirectly) {
  QueuedMainThread main;
  StopSignal stop;
  int runs = 0;
  EXPECT_EQ(main.Invoke([&] { ++runs; }, stop), DispatchResult::Handled);
  stop.Set();
  EXPECT_EQ(main.Invoke([&] { ++runs; }, stop), DispatchResult::Stopped);
  EXPECT_EQ(runs, 1);
}

TEST(StopSignalTest, WakesRegisteredWaitersOnceAndStaysSet) {
  StopSignal s;
  int wakes = 0;
  {
    StopSignal::Registration r(s, [&] { ++wakes; });
    EXPECT_FALSE(s.WaitFor(1));
    s.Set();
    s.Set();
  }
  EXPECT_EQ(wakes, 1);
  EXPECT_TRUE(s.IsSet());
  EXPECT_TRUE(s.WaitFor(0));
  StopSignal::Registration late(s, [&] { ++wakes; });  // already set: runs at once
  EXPECT_EQ(wakes, 2);
}

}  // namespace
}  // namespace vx
