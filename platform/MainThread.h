#pragma once
// Main-thread dispatch. Every handler of the system runs on the main thread;
// a worker (a HID read thread) hands a call over and waits until it has run.
//
//   IMainThreadDispatcher& d = GetMainThreadDispatcher();
//   auto r = d.Invoke([&] { handle(report); }, stop);   // from a worker
//   if (r == DispatchResult::Stopped) ...                // fn never ran
//
// Windows: the dispatcher owns a hidden message-only window created on the
// main thread; Invoke posts it a message and waits on a completion event and
// the stop event together. The main thread's message loop (or
// ProcessPending) runs the call. Elsewhere: QueuedMainThread below, pumped by
// whoever plays the main thread.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/StopSignal.h"

namespace vx {

enum class DispatchResult {
  Handled,  // fn ran on the main thread (an exception from it is rethrown)
  Stopped,  // the stop signal came first; fn never ran and never will
  Refused,  // the main thread could not be reached (its queue full); fn never ran
};

class IMainThreadDispatcher {
 public:
  virtual ~IMainThreadDispatcher() = default;
  // Runs fn on the main thread and waits until it has returned. fn does not
  // start once `stop` is set: a call that is still queued then is dropped and
  // Invoke returns Stopped. A call that has already started is waited for.
  // Called on the main thread itself, runs fn directly.
  virtual DispatchResult Invoke(const std::function<void()>& fn, const StopSignal& stop) = 0;
  // Handles whatever is waiting for the main thread (window messages and
  // queued calls), then returns. Main thread only.
  virtual void ProcessPending() = 0;
  virtual bool IsMainThread() const = 0;
};

// The dispatcher of the process: the one set, or the platform's, created on
// first use by the thread that asks (which becomes the main thread).
IMainThreadDispatcher& GetMainThreadDispatcher();
// Replaces it (tests); nullptr returns to the platform's. Not owned.
void SetMainThreadDispatcher(IMainThreadDispatcher* dispatcher);
// The platform's dispatcher bound to the calling thread.
std::unique_ptr<IMainThreadDispatcher> CreatePlatformMainThreadDispatcher();

// One handed-over call, shared by the waiting worker and the main thread.
// Exactly one side decides its fate: the main thread starts it, or the
// worker withdraws it because the stop came first. A call that has run may
// be held: its worker wakes when the main thread releases it, after what
// the call posted has been handled (one cross-thread wake less on a
// report's path), or at once when the stop comes.
class DispatchItem {
 public:
  explicit DispatchItem(const std::function<void()>& fn, const StopSignal& stop) : fn_(fn), stop_(stop) {}
  // Main thread: runs the call unless it was withdrawn or the stop is set;
  // with release false its worker keeps waiting until Release.
  void RunOnMainThread(bool release = true);
  // Main thread: wakes the worker of a held call.
  void Release();
  // Worker: withdraws the call if it has not started; false when it has
  // (then wait for Finished()).
  bool TryWithdraw();
  // The call has run (released or held).
  bool Finished() const;
  // Worker, once the stop came: waits until a started call has returned,
  // not for its release.
  void WaitReturned();
  // Rethrows the call's exception, if any (once).
  void Rethrow();
  // Worker side of the wait: blocks until released or stopped. Portable
  // form for dispatchers without OS events.
  DispatchResult Wait();

 private:
  enum class State { Queued, Running, Done, Released, Withdrawn };
  mutable std::mutex mutex_;
  std::condition_variable done_;
  State state_ = State::Queued;
  const std::function<void()>& fn_;
  const StopSignal& stop_;
  std::exception_ptr error_;
};

// A dispatcher whose main thread is whichever thread calls ProcessPending /
// RunUntil (the thread that created it by default). Used on the Linux host
// and by tests.
class QueuedMainThread final : public IMainThreadDispatcher {
 public:
  // holdReleases: a worker whose call has run waits until ReleaseHeld or the
  // next turn of ProcessPending, as on Windows it waits until the messages
  // its call posted have been handled.
  explicit QueuedMainThread(bool holdReleases = false);
  DispatchResult Invoke(const std::function<void()>& fn, const StopSignal& stop) override;
  void ProcessPending() override;
  bool IsMainThread() const override { return std::this_thread::get_id() == owner_; }
  // Runs queued calls as they come until pred() holds or the timeout passes;
  // true when pred() held.
  bool RunUntil(const std::function<bool()>& pred, std::uint32_t timeoutMs);
  // Makes the calling thread the main thread.
  void BindToCurrentThread() { owner_ = std::this_thread::get_id(); }
  std::size_t Pending() const;
  // Wakes the workers of the calls that have run.
  void ReleaseHeld();

 private:
  bool holdReleases_;
  std::vector<std::shared_ptr<DispatchItem>> held_;  // main thread only
  mutable std::mutex mutex_;
  std::condition_variable cv_;
  std::deque<std::shared_ptr<DispatchItem>> queue_;
  std::thread::id owner_;
};

}  // namespace vx
