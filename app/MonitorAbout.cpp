#include "app/MonitorAbout.h"

namespace vx {

namespace {
constexpr int kShowHide = 0;  // SW_HIDE
}

TMonitorAbout::TMonitorAbout(IWindowSystem& windows, WindowHandle monitorWindow,
                             std::function<void()> processMessages)
    : windows_(windows), window_(monitorWindow), processMessages_(std::move(processMessages)) {}

void TMonitorAbout::About1Click() {
  windows_.ShowWindowCmd(window_, kShowShow);
  if (processMessages_) processMessages_();
  windows_.BringToForeground(window_);
}

void TMonitorAbout::BtnOKClick() { windows_.ShowWindowCmd(window_, kShowHide); }

void TMonitorAbout::BtnGoWebClick() { windows_.ShellOpen(window_, TextWeb(), u"", u"", kShowNormal); }

}  // namespace vx
