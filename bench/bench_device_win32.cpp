// Hand-off latency through the Windows dispatcher: a report queued on a
// virtual mouse, read by its read thread, posted to the message-only window
// and handled by this (main) thread's message loop. Prints median and p99.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "device/kwHIDData.h"
#include "platform/MainThread.h"
#include "platform/VirtualHidBus.h"

int main() {
  using namespace vx;
  auto main = CreatePlatformMainThreadDispatcher();
  VirtualHidBus bus;
  VirtualDeviceDesc d;
  VirtualCollection c;
  c.UsagePage = 0xFFA0;
  c.Usage = 1;
  c.InputReportLength = 8;
  d.Collections = {c};
  const int mouse = bus.Plug(d);
  TkwHIDData hid(&bus, main.get());
  hid.FHidDeviceList.clear();

  LARGE_INTEGER freq, queuedAt;
  ::QueryPerformanceFrequency(&freq);
  std::vector<double> us;
  bool handled = false;
  hid.OnData = [&](const WStr&, const WStr&, std::uint8_t, const std::uint8_t*, std::uint16_t) {
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    us.push_back(1e6 * static_cast<double>(now.QuadPart - queuedAt.QuadPart) / static_cast<double>(freq.QuadPart));
    handled = true;
  };
  hid.HidFindAndReadDevice({1, 0xFFA0}, u"*");
  bus.WaitForReaders(mouse, 0, 1, 5000);
  const std::uint8_t report[8] = {7, 1};
  constexpr int kRounds = 5000;
  for (int i = 0; i < kRounds; ++i) {
    handled = false;
    ::QueryPerformanceCounter(&queuedAt);
    bus.QueueInput(mouse, 0, report);
    MSG msg;
    while (!handled && ::GetMessageW(&msg, nullptr, 0, 0) > 0) {
      ::TranslateMessage(&msg);
      ::DispatchMessageW(&msg);
    }
  }
  hid.HidStopRead();
  std::sort(us.begin(), us.end());
  const auto at = [&](double q) { return us[static_cast<std::size_t>(q * static_cast<double>(us.size() - 1))]; };
  std::printf("read thread -> main thread (Win32 message window), %zu reports: median %.1f us, p99 %.1f us, max %.1f us\n",
              us.size(), at(0.5), at(0.99), at(1.0));
  return 0;
}
