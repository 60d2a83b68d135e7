// vmouse.exe: drives the virtual mouse of a running VXMonE2E.exe.
//   vmouse report HEX   one input report, report ID first (e.g. 0740000000000000)
//   vmouse features     every feature report received so far, one per line
//   vmouse plug|unplug  attach or detach it, with an arrival notification
//   vmouse wait [MS]    wait until the monitor reads it (default 10000 ms)
//   vmouse linger MS    hold up the monitor's teardown after Exit by MS ms
//   vmouse drophook     remove the monitor's mouse hook behind its library
//   vmouse crash        make the monitor crash
//   vmouse mic [hold|free]  the virtual microphone's state (VX_E2E_MIC set);
//                       held, it keeps its state whatever it is asked
#include <windows.h>

#include <cstdio>
#include <string>

#include "win32/app/VMousePipe.h"

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    std::fputs("usage: vmouse report HEX | features | plug | unplug | wait [MS] | linger MS\n", stderr);
    return 2;
  }
  std::string line;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) line += ' ';
    for (const wchar_t* p = argv[i]; *p; ++p) line += static_cast<char>(*p < 128 ? *p : '?');
  }
  line += '\n';

  HANDLE pipe = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 100 && pipe == INVALID_HANDLE_VALUE; ++attempt) {
    pipe = ::CreateFileW(kVMousePipeName, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (pipe == INVALID_HANDLE_VALUE) {
      const DWORD err = ::GetLastError();
      if (err == ERROR_PIPE_BUSY) {
        ::WaitNamedPipeW(kVMousePipeName, 2000);
      } else {
        ::Sleep(100);  // the server is between two connections, or not up yet
      }
    }
  }
  if (pipe == INVALID_HANDLE_VALUE) {
    std::fputs("error: VXMonE2E.exe is not running\n", stderr);
    return 3;
  }
  DWORD put = 0;
  ::WriteFile(pipe, line.data(), static_cast<DWORD>(line.size()), &put, nullptr);
  std::string reply;
  char buf[4096];
  DWORD got = 0;
  while (::ReadFile(pipe, buf, sizeof(buf), &got, nullptr) && got > 0) reply.append(buf, got);
  ::CloseHandle(pipe);

  const bool ok = reply.rfind("ok", 0) == 0;
  // The status line goes to stderr; what follows it (feature reports) to stdout.
  const std::size_t eol = reply.find('\n');
  const std::string status = reply.substr(0, eol == std::string::npos ? reply.size() : eol + 1);
  const std::string body = eol == std::string::npos ? std::string() : reply.substr(eol + 1);
  std::fputs(status.c_str(), stderr);
  std::fputs(body.c_str(), stdout);
  return ok ? 0 : 1;
}
