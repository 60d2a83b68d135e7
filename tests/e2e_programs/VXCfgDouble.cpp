// A stand-in for the configuration application in end-to-end tests: a small
// window of class "TVXCfgMain" captioned "VX_CONFIG_EX" that writes every
// message it receives from the monitor to "<its own path>.log".
//   VXCfgDouble.exe              run the window until closed
//   VXCfgDouble.exe hang         the same, but it stops answering (for a
//                                minute) once it has logged a first message
//   VXCfgDouble.exe send MSG [LPARAM] [post]
//                                send (or post) MSG to the monitor window and end
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

std::wstring g_log;
bool g_hang = false;

void Log(const wchar_t* fmt, ...) {
  wchar_t line[256];
  va_list args;
  va_start(args, fmt);
  std::vswprintf(line, 256, fmt, args);
  va_end(args);
  FILE* f = _wfopen(g_log.c_str(), L"a");
  if (!f) return;
  std::fwprintf(f, L"%ls\n", line);
  std::fclose(f);
}

LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg >= WM_USER && msg < 0xC000) {
    Log(L"%u %llu %lld", msg, static_cast<unsigned long long>(wp), static_cast<long long>(lp));
    if (g_hang) {
      Log(L"hanging");
      ::Sleep(60000);
    }
    return 0;
  }
  switch (msg) {
    case WM_ACTIVATE:
      if (LOWORD(wp) != WA_INACTIVE) Log(L"activate");
      break;
    case WM_SHOWWINDOW:
      if (wp) Log(L"show");
      break;
    case WM_DESTROY:
      Log(L"closed");
      ::PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return ::DefWindowProcW(hwnd, msg, wp, lp);
}

int Send(int argc, wchar_t** argv) {
  const UINT msg = static_cast<UINT>(std::wcstoul(argv[2], nullptr, 10));
  const LPARAM lp = argc > 3 ? static_cast<LPARAM>(std::wcstoll(argv[3], nullptr, 10)) : 0;
  const bool post = argc > 4 && std::wcscmp(argv[4], L"post") == 0;
  HWND monitor = ::FindWindowW(L"TVXMonMain", nullptr);
  if (!monitor) {
    std::fputs("no monitor window\n", stderr);
    return 1;
  }
  if (post) {
    ::PostMessageW(monitor, msg, 0, lp);
  } else {
    ::SendMessageW(monitor, msg, 0, lp);
  }
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc >= 3 && std::wcscmp(argv[1], L"send") == 0) return Send(argc, argv);
  g_hang = argc >= 2 && std::wcscmp(argv[1], L"hang") == 0;

  wchar_t path[MAX_PATH];
  ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  g_log = std::wstring(path) + L".log";
  Log(L"started");

  HINSTANCE instance = ::GetModuleHandleW(nullptr);
  WNDCLASSW wc{};
  wc.lpfnWndProc = WndProc;
  wc.hInstance = instance;
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  wc.lpszClassName = L"TVXCfgMain";
  ::RegisterClassW(&wc);
  HWND hwnd = ::CreateWindowExW(0, L"TVXCfgMain", L"VX_CONFIG_EX", WS_OVERLAPPEDWINDOW, 40, 40, 320, 200,
                                nullptr, nullptr, instance, nullptr);
  if (!hwnd) return 1;
  ::ShowWindow(hwnd, SW_SHOWNORMAL);
  Log(L"ready");
  MSG msg;
  while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  return 0;
}
