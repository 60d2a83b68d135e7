// VXMon.exe: the monitor with the system's HID bus.
#include <windows.h>

#include "win32/app/MonitorProgram.h"
#include "win32/ui/MonitorUi.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  vx::win::MonitorProgramOptions options;
  vx::ui::MonitorUi ui;
  ui.Install(options);
  return vx::win::RunMonitorProgram(instance, options);
}
