#include "platform/MainThread.h"

#include <chrono>

namespace vx {

void DispatchItem::RunOnMainThread(bool release) {
  {
    std::lock_guard lock(mutex_);
    // A withdrawn item's worker may be gone with its stop signal: look at
    // nothing else then.
    if (state_ != State::Queued) return;
    if (stop_.IsSet()) {
      state_ = State::Withdrawn;
      done_.notify_all();
      return;
    }
    state_ = State::Running;
  }
  std::exception_ptr error;
  try {
    fn_();
  } catch (...) {
    error = std::current_exception();
  }
  bool wake = false;
  {
    std::lock_guard lock(mutex_);
    // Hand the exception over whole: the worker alone holds it from here on.
    error_ = std::move(error);
    state_ = release ? State::Released : State::Done;
    // A worker that got the stop waits only for the return.
    wake = release || stop_.IsSet();
  }
  // The caller's reference keeps the item alive; the worker wakes to a free
  // lock.
  if (wake) done_.notify_all();
}

void DispatchItem::Release() {
  {
    std::lock_guard lock(mutex_);
    if (state_ != State::Done) return;
    state_ = State::Released;
  }
  done_.notify_all();
}

bool DispatchItem::TryWithdraw() {
  std::lock_guard lock(mutex_);
  if (state_ == State::Queued || state_ == State::Withdrawn) {
    state_ = State::Withdrawn;
    return true;
  }
  return false;
}

bool DispatchItem::Finished() const {
  std::lock_guard lock(mutex_);
  return state_ == State::Done || state_ == State::Released;
}

void DispatchItem::WaitReturned() {
  std::unique_lock lock(mutex_);
  done_.wait(lock, [this] { return state_ != State::Queued && state_ != State::Running; });
}

void DispatchItem::Rethrow() {
  std::exception_ptr error;
  {
    std::lock_guard lock(mutex_);
    error = std::move(error_);
  }
  if (error) std::rethrow_exception(error);
}

DispatchResult DispatchItem::Wait() {
  StopSignal::Registration wake(stop_, [this] {
    std::lock_guard lock(mutex_);
    done_.notify_all();
  });
  std::unique_lock lock(mutex_);
  done_.wait(lock, [this] {
    if (state_ == State::Released || state_ == State::Withdrawn) return true;
    return (state_ == State::Queued || state_ == State::Done) && stop_.IsSet();
  });
  if (state_ == State::Released || state_ == State::Done) return DispatchResult::Handled;
  state_ = State::Withdrawn;
  return DispatchResult::Stopped;
}

QueuedMainThread::QueuedMainThread(bool holdReleases)
    : holdReleases_(holdReleases), owner_(std::this_thread::get_id()) {}

DispatchResult QueuedMainThread::Invoke(const std::function<void()>& fn, const StopSignal& stop) {
  if (IsMainThread()) {
    if (stop.IsSet()) return DispatchResult::Stopped;
    fn();
    return DispatchResult::Handled;
  }
  auto item = std::make_shared<DispatchItem>(fn, stop);
  {
    std::lock_guard lock(mutex_);
    queue_.push_back(item);
  }
  cv_.notify_all();
  const DispatchResult r = item->Wait();
  if (r == DispatchResult::Handled) item->Rethrow();
  return r;
}

void QueuedMainThread::ProcessPending() {
  // Only what is queued now: a call queued by a handler waits for the next turn.
  std::deque<std::shared_ptr<DispatchItem>> batch;
  {
    std::lock_guard lock(mutex_);
    batch.swap(queue_);
  }
  ReleaseHeld();
  for (auto& item : batch) {
    item->RunOnMainThread(!holdReleases_);
    if (holdReleases_) held_.push_back(item);
  }
}

void QueuedMainThread::ReleaseHeld() {
  for (auto& item : held_) item->Release();
  held_.clear();
}

bool QueuedMainThread::RunUntil(const std::function<bool()>& pred, std::uint32_t timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    ProcessPending();
    if (pred()) return true;
    // Held workers are released by the next turn.
    if (!held_.empty()) continue;
    std::unique_lock lock(mutex_);
    if (!queue_.empty()) continue;
    if (cv_.wait_until(lock, deadline) == std::cv_status::timeout && queue_.empty()) {
      lock.unlock();
      return pred();
    }
  }
}

std::size_t QueuedMainThread::Pending() const {
  std::lock_guard lock(mutex_);
  return queue_.size();
}

namespace {
std::mutex g_dispatcherMutex;
IMainThreadDispatcher* g_dispatcher = nullptr;
std::unique_ptr<IMainThreadDispatcher> g_platformDispatcher;
}  // namespace

IMainThreadDispatcher& GetMainThreadDispatcher() {
  std::lock_guard lock(g_dispatcherMutex);
  if (g_dispatcher) return *g_dispatcher;
  if (!g_platformDispatcher) g_platformDispatcher = CreatePlatformMainThreadDispatcher();
  return *g_platformDispatcher;
}

void SetMainThreadDispatcher(IMainThreadDispatcher* dispatcher) {
  std::lock_guard lock(g_dispatcherMutex);
  g_dispatcher = dispatcher;
}

}  // namespace vx
