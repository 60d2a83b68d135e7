// A program that asks the system for what the idle monitor holds, and nothing
// of its own: COM, a hidden popup and a hidden top-level window with a device
// notification, a tray icon, GDI+, the capture endpoint's volume with a change
// notification, a HID enumeration, one thread blocked on an event, and a
// message loop. Its memory is the system's share; the monitor's idle memory
// less this is the monitor's own. Ends on WM_CLOSE to "TVXIdleBaseline" or
// after the seconds given on its command line (60).
#include <windows.h>
#include <dbt.h>
#include <endpointvolume.h>
#include <gdiplus.h>
#include <mmdeviceapi.h>
#include <setupapi.h>
#include <shellapi.h>

#include <cstdio>
#include <cwchar>
#include <thread>

namespace {

constexpr CLSID kClsidEnumerator = {0xBCDE0395, 0xE52F, 0x467C, {0x8E, 0x3D, 0xC4, 0x57, 0x92, 0x91, 0x69, 0x2E}};
constexpr IID kIidEnumerator = {0xA95664D2, 0x9614, 0x4F35, {0xA7, 0x46, 0xDE, 0x8D, 0xB6, 0x36, 0x17, 0xE6}};
constexpr IID kIidVolume = {0x5CDF2C82, 0x841E, 0x4546, {0x97, 0x22, 0x0C, 0xF7, 0x40, 0x78, 0x22, 0x9A}};
constexpr GUID kHidInterface = {0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

class Sink final : public IAudioEndpointVolumeCallback {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** out) override {
    *out = this;
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE OnNotify(PAUDIO_VOLUME_NOTIFICATION_DATA) override { return S_OK; }
};

LRESULT CALLBACK Proc(HWND h, UINT m, WPARAM w, LPARAM l) {
  if (m == WM_CLOSE || (m == WM_TIMER && w == 1)) {
    ::PostQuitMessage(0);
    return 0;
  }
  return ::DefWindowProcW(h, m, w, l);
}

HWND Window(HINSTANCE instance, const wchar_t* cls, DWORD exStyle) {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = Proc;
  wc.hInstance = instance;
  wc.lpszClassName = cls;
  ::RegisterClassExW(&wc);
  return ::CreateWindowExW(exStyle, cls, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, instance, nullptr);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR cmd, int) {
  const UINT seconds = cmd && *cmd ? static_cast<UINT>(std::wcstoul(cmd, nullptr, 10)) : 60;
  ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);

  HWND main = Window(instance, L"TVXIdleBaseline", WS_EX_TOOLWINDOW);
  HWND arrival = Window(instance, L"TVXIdleArrival", 0);
  DEV_BROADCAST_DEVICEINTERFACE_W filter{};
  filter.dbcc_size = sizeof filter;
  filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  filter.dbcc_classguid = kHidInterface;
  HDEVNOTIFY notify = ::RegisterDeviceNotificationW(arrival, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);

  NOTIFYICONDATAW tray{};
  tray.cbSize = sizeof tray;
  tray.hWnd = main;
  tray.uID = 1;
  tray.uFlags = NIF_ICON | NIF_TIP;
  tray.hIcon = ::LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
  std::wcscpy(tray.szTip, L"baseline");
  ::Shell_NotifyIconW(NIM_ADD, &tray);

  ULONG_PTR gdiplus = 0;
  Gdiplus::GdiplusStartupInput gdiplusInput;
  Gdiplus::GdiplusStartup(&gdiplus, &gdiplusInput, nullptr);

  IMMDeviceEnumerator* enumerator = nullptr;
  IMMDevice* device = nullptr;
  IAudioEndpointVolume* volume = nullptr;
  Sink sink;
  if (SUCCEEDED(::CoCreateInstance(kClsidEnumerator, nullptr, CLSCTX_ALL, kIidEnumerator,
                                   reinterpret_cast<void**>(&enumerator))) &&
      SUCCEEDED(enumerator->GetDefaultAudioEndpoint(eCapture, eConsole, &device)) &&
      SUCCEEDED(device->Activate(kIidVolume, CLSCTX_ALL, nullptr, reinterpret_cast<void**>(&volume)))) {
    volume->RegisterControlChangeNotify(&sink);
  }

  HDEVINFO set = ::SetupDiGetClassDevsW(&kHidInterface, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
  if (set != INVALID_HANDLE_VALUE) ::SetupDiDestroyDeviceInfoList(set);

  HANDLE stop = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::thread reader([stop] { ::WaitForSingleObject(stop, INFINITE); });

  ::SetTimer(main, 1, seconds * 1000, nullptr);
  std::printf("ready\n");
  std::fflush(stdout);
  MSG msg;
  while (::GetMessageW(&msg, nullptr, 0, 0) > 0) ::DispatchMessageW(&msg);

  ::SetEvent(stop);
  reader.join();
  ::CloseHandle(stop);
  if (volume) {
    volume->UnregisterControlChangeNotify(&sink);
    volume->Release();
  }
  if (device) device->Release();
  if (enumerator) enumerator->Release();
  Gdiplus::GdiplusShutdown(gdiplus);
  ::Shell_NotifyIconW(NIM_DELETE, &tray);
  if (notify) ::UnregisterDeviceNotification(notify);
  ::DestroyWindow(arrival);
  ::DestroyWindow(main);
  ::CoUninitialize();
  return 0;
}
