// Device-interface notifications on Windows: a hidden top-level window (the
// DBT_DEVNODES_CHANGED broadcast reaches top-level windows only), registered
// with RegisterDeviceNotificationW, and a SetTimer timer on the same window.
#include <windows.h>
#include <dbt.h>

#include <cstddef>
#include <cstring>

#include "platform/DeviceArrival.h"
#include "platform/EntryGuard.h"

static_assert(offsetof(DEV_BROADCAST_HANDLE, dbch_handle) == offsetof(vx::DevBroadcastHandleHead, Handle));
static_assert(offsetof(DEV_BROADCAST_HANDLE, dbch_hdevnotify) == offsetof(vx::DevBroadcastHandleHead, Notification));

namespace vx {

namespace {

constexpr wchar_t kClassName[] = L"VXDeviceArrivalWindow";
constexpr UINT_PTR kTimerId = 1;

class Win32DeviceArrivalHost final : public IDeviceArrivalHost {
 public:
  explicit Win32DeviceArrivalHost(DeviceArrivalCallbacks callbacks) : callbacks_(std::move(callbacks)) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = WndProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.lpszClassName = kClassName;
    ::RegisterClassExW(&wc);
    hwnd_ = ::CreateWindowExW(WS_EX_TOOLWINDOW, kClassName, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                              wc.hInstance, nullptr);
    if (hwnd_) ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }

  ~Win32DeviceArrivalHost() override {
    if (notification_) ::UnregisterDeviceNotification(notification_);
    if (hwnd_) {
      ::KillTimer(hwnd_, kTimerId);
      ::SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
      ::DestroyWindow(hwnd_);
    }
  }

  bool RegisterNotification(const std::array<std::uint8_t, 32>& filter) override {
    if (!hwnd_) return false;
    DEV_BROADCAST_DEVICEINTERFACE_W f{};
    static_assert(sizeof f >= 32);
    std::memcpy(&f, filter.data(), 32);
    notification_ = ::RegisterDeviceNotificationW(hwnd_, &f, DEVICE_NOTIFY_WINDOW_HANDLE);
    return notification_ != nullptr;
  }

  std::intptr_t RegisterHandle(std::intptr_t handle) override {
    if (!hwnd_ || handle == 0) return 0;
    DEV_BROADCAST_HANDLE f{};
    f.dbch_size = sizeof f;
    f.dbch_devicetype = DBT_DEVTYP_HANDLE;
    f.dbch_handle = reinterpret_cast<HANDLE>(handle);
    return reinterpret_cast<std::intptr_t>(::RegisterDeviceNotificationW(hwnd_, &f, DEVICE_NOTIFY_WINDOW_HANDLE));
  }

  void UnregisterHandle(std::intptr_t registration) override {
    if (registration != 0) ::UnregisterDeviceNotification(reinterpret_cast<HDEVNOTIFY>(registration));
  }

  void PostDeviceChange(std::uint32_t code, std::intptr_t param) override {
    if (hwnd_) ::PostMessageW(hwnd_, WM_DEVICECHANGE, code, static_cast<LPARAM>(param));
  }

  void StartTimer(std::uint32_t intervalMs) override {
    if (hwnd_) ::SetTimer(hwnd_, kTimerId, intervalMs, nullptr);
  }

  void StopTimer() override {
    if (hwnd_) ::KillTimer(hwnd_, kTimerId);
  }

 private:
  static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    auto* self = reinterpret_cast<Win32DeviceArrivalHost*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self) {
      if (msg == WM_DEVICECHANGE) {
        Guarded("device change", [&] {
          if (self->callbacks_.OnDeviceChange) {
            self->callbacks_.OnDeviceChange(static_cast<std::uint32_t>(wp), static_cast<std::intptr_t>(lp));
          }
        });
        return 0;
      }
      if (msg == WM_TIMER && wp == kTimerId) {
        Guarded("device arrival timer", [&] {
          if (self->callbacks_.OnTimer) self->callbacks_.OnTimer();
        });
        return 0;
      }
    }
    return ::DefWindowProcW(hwnd, msg, wp, lp);
  }

  DeviceArrivalCallbacks callbacks_;
  HWND hwnd_ = nullptr;
  HDEVNOTIFY notification_ = nullptr;
};

}  // namespace

std::unique_ptr<IDeviceArrivalHost> CreatePlatformDeviceArrivalHost(DeviceArrivalCallbacks callbacks) {
  return std::make_unique<Win32DeviceArrivalHost>(std::move(callbacks));
}

}  // namespace vx
