// Test program for the hook engine on Windows.
//   hook_probe load
//       creates a TkwHook and prints "loaded=<0|1> boxes=<n>".
//   hook_probe search
//       prints "default_search=<0|1>": whether LoadLibraryW("kwHook.dll")
//       with the default search order finds a library from here.
//   hook_probe record OUT READY STOP
//       records a mouse macro: first injects a middle click over its own
//       window with SendInput, then writes READY and records real input
//       until the file STOP appears; writes every recording event to OUT.
#include <windows.h>

#include <cstdio>
#include <string>

#include "platform/MessageBox.h"
#include "recording/kwHook.h"

namespace {

int g_boxes = 0;
int g_middleDowns = 0;

LRESULT CALLBACK ProbeWndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_MBUTTONDOWN) ++g_middleDowns;
  return DefWindowProcW(hwnd, msg, wp, lp);
}

void PumpFor(DWORD ms) {
  const DWORD start = GetTickCount();
  MSG m;
  while (GetTickCount() - start < ms) {
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&m);
      DispatchMessageW(&m);
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
}

bool Exists(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

void Touch(const char* path) {
  if (FILE* f = std::fopen(path, "w")) std::fclose(f);
}

INPUT MouseInput(DWORD flags, LONG dx = 0, LONG dy = 0, DWORD data = 0) {
  INPUT in{};
  in.type = INPUT_MOUSE;
  in.mi.dx = dx;
  in.mi.dy = dy;
  in.mi.mouseData = data;
  in.mi.dwFlags = flags;
  return in;
}

int Load() {
  vx::SetMessageBoxSink([](vx::WView, vx::WView) { ++g_boxes; });
  vx::TkwHook hook;
  std::printf("loaded=%d boxes=%d\n", hook.DLLLoaded() ? 1 : 0, g_boxes);
  return 0;
}

int Record(const char* outPath, const char* readyPath, const char* stopPath) {
  vx::SetMessageBoxSink([](vx::WView, vx::WView) { ++g_boxes; });
  WNDCLASSW wc{};
  wc.lpfnWndProc = ProbeWndProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"VXHookProbe";
  wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  RegisterClassW(&wc);
  HWND wnd = CreateWindowExW(WS_EX_TOPMOST, wc.lpszClassName, L"hook probe", WS_POPUP | WS_VISIBLE,
                             0, 0, 200, 200, nullptr, nullptr, wc.hInstance, nullptr);
  SetForegroundWindow(wnd);
  PumpFor(300);

  FILE* out = std::fopen(outPath, "w");
  if (out == nullptr) return 2;
  vx::TkwHook hook;
  std::fprintf(out, "loaded %d\n", hook.DLLLoaded() ? 1 : 0);
  int events = 0;
  hook.OnRecordMouseMacroKey = [&](std::uint16_t type, vx::TMouseButtons button, std::int32_t state,
                                   std::uint16_t x, std::uint16_t y, double time, vx::WView text,
                                   vx::WView stateText, vx::TMouseMacroKeyList& list) {
    ++events;
    std::fprintf(out, "event %u %d %d %u %u %.0f [%s] [%s] %zu\n", type, static_cast<int>(button),
                 state, x, y, time, vx::ToUtf8(text).c_str(), vx::ToUtf8(stateText).c_str(),
                 list.Count());
    std::fflush(out);
  };
  hook.RecordMouseMacro();

  // Injected input: a move onto the probe window and a middle click there.
  // The window sees the click; the recording must not.
  const LONG nx = 100 * 65535 / (GetSystemMetrics(SM_CXSCREEN) - 1);
  const LONG ny = 100 * 65535 / (GetSystemMetrics(SM_CYSCREEN) - 1);
  INPUT injected[] = {MouseInput(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE, nx, ny),
                      MouseInput(MOUSEEVENTF_MIDDLEDOWN), MouseInput(MOUSEEVENTF_MIDDLEUP),
                      MouseInput(MOUSEEVENTF_WHEEL, 0, 0, static_cast<DWORD>(-WHEEL_DELTA))};
  const UINT sent = SendInput(4, injected, sizeof(INPUT));
  PumpFor(700);
  std::fprintf(out, "injected %u seen_by_window %d events_after_injection %d\n", sent, g_middleDowns,
               events);
  std::fflush(out);
  Touch(readyPath);

  const DWORD start = GetTickCount();
  while (!Exists(stopPath) && GetTickCount() - start < 120000) PumpFor(50);
  std::size_t stopped = 0;
  hook.OnStopRecordMouseMacroKey = [&](vx::TMouseMacroKeyList& list) { stopped = list.Count(); };
  hook.StopRecordMouseMacro();
  std::fprintf(out, "stopped %zu\n", stopped);
  for (std::size_t i = 0; i < hook.MouseMacroKeyList().Count(); ++i) {
    const auto& e = hook.MouseMacroKeyList().Object(i).FMOUSEMacroKey;
    std::fprintf(out, "entry %s %u %u %d %u %u %u\n",
                 vx::ToUtf8(hook.MouseMacroKeyList().Key(i)).c_str(), e.nKeyType, e.nKeyState,
                 static_cast<int>(e.MouseButton), e.X, e.Y, e.TimeValue);
  }
  std::fprintf(out, "end\n");
  std::fclose(out);
  DestroyWindow(wnd);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "load") return Load();
  if (mode == "search") {
    std::printf("default_search=%d\n", LoadLibraryW(L"kwHook.dll") != nullptr ? 1 : 0);
    return 0;
  }
  if (mode == "record" && argc == 5) return Record(argv[2], argv[3], argv[4]);
  std::fprintf(stderr, "usage: hook_probe load | search | record OUT READY STOP\n");
  return 2;
}
