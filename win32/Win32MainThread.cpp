// Main-thread dispatch on Windows: a message-only window created on the main
// thread. A worker posts it a message carrying the call and waits on the
// call's completion event and the stop event together.
#include <windows.h>

#include <memory>

#include "platform/MainThread.h"
#include "win32/Win32Handle.h"

namespace vx {

namespace {

constexpr UINT kRunCallMessage = WM_APP + 0x3A1;
constexpr UINT kReleaseCallMessage = WM_APP + 0x3A2;
constexpr wchar_t kClassName[] = L"VXMainThreadDispatch";

// What a posted message carries; the worker holds the same two references,
// so the event stays open until both sides are done with it.
struct PostedCall {
  std::shared_ptr<DispatchItem> Item;
  std::shared_ptr<win::UniqueHandle> Done;
};

LRESULT CALLBACK DispatchWndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == kRunCallMessage) {
    std::unique_ptr<PostedCall> call(reinterpret_cast<PostedCall*>(lp));
    call->Item->RunOnMainThread(false);
    // The worker wakes once what the call posted (a report's button
    // message) has been handled: the release queues up behind it. Its
    // action then runs before the worker competes for the processor, and
    // a handler that waits for messages (a macro's pause) releases it.
    if (call->Item->Finished() &&
        ::PostMessageW(hwnd, kReleaseCallMessage, 0, reinterpret_cast<LPARAM>(call.get()))) {
      call.release();
      return 0;
    }
    call->Item->Release();
    ::SetEvent(call->Done->get());
    return 0;
  }
  if (msg == kReleaseCallMessage) {
    std::unique_ptr<PostedCall> call(reinterpret_cast<PostedCall*>(lp));
    call->Item->Release();
    ::SetEvent(call->Done->get());
    return 0;
  }
  return ::DefWindowProcW(hwnd, msg, wp, lp);
}

class Win32MainThread final : public IMainThreadDispatcher {
 public:
  Win32MainThread() : thread_(::GetCurrentThreadId()) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = DispatchWndProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = kClassName;
    ::RegisterClassExW(&wc);  // fails harmlessly when a second dispatcher registers again
    hwnd_ = ::CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
  }

  ~Win32MainThread() override {
    if (hwnd_) ::DestroyWindow(hwnd_);
  }

  DispatchResult Invoke(const std::function<void()>& fn, const StopSignal& stop) override {
    if (IsMainThread()) {
      if (stop.IsSet()) return DispatchResult::Stopped;
      fn();
      return DispatchResult::Handled;
    }
    if (stop.IsSet()) return DispatchResult::Stopped;
    auto done = std::make_shared<win::UniqueHandle>(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!*done || !hwnd_) return DispatchResult::Refused;
    auto item = std::make_shared<DispatchItem>(fn, stop);
    auto* message = new PostedCall{item, done};
    if (!::PostMessageW(hwnd_, kRunCallMessage, 0, reinterpret_cast<LPARAM>(message))) {
      delete message;
      return DispatchResult::Refused;
    }
    HANDLE waits[2] = {done->get(), static_cast<HANDLE>(stop.NativeHandle())};
    const DWORD n = waits[1] ? 2 : 1;
    const DWORD w = ::WaitForMultipleObjects(n, waits, FALSE, INFINITE);
    // The main thread drops a withdrawn call when its message comes.
    if (w == WAIT_OBJECT_0 + 1 && item->TryWithdraw()) return DispatchResult::Stopped;
    // Started before the stop: wait until it has returned, not for a
    // release that may be queued behind a loop that has ended.
    if (w != WAIT_OBJECT_0) item->WaitReturned();
    if (!item->Finished()) return DispatchResult::Stopped;  // dropped by the main thread after the stop
    item->Rethrow();
    return DispatchResult::Handled;
  }

  void ProcessPending() override {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        // Leave the quit for the real message loop.
        ::PostQuitMessage(static_cast<int>(msg.wParam));
        break;
      }
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
  }

  bool IsMainThread() const override { return ::GetCurrentThreadId() == thread_; }

 private:
  DWORD thread_;
  HWND hwnd_ = nullptr;
};

}  // namespace

std::unique_ptr<IMainThreadDispatcher> CreatePlatformMainThreadDispatcher() {
  return std::make_unique<Win32MainThread>();
}

}  // namespace vx
