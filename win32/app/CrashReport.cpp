#include "win32/app/CrashReport.h"

#include <dbghelp.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/Log.h"

#ifndef VX_VERSION
#define VX_VERSION "0"
#endif

namespace vx::win {
namespace {

constexpr std::size_t kKeptReports = 5;
std::atomic<bool> g_reporting{false};

std::wstring Wide(WView s) { return std::wstring(reinterpret_cast<const wchar_t*>(s.data()), s.size()); }

// Oldest first: the names carry the date and time.
std::vector<std::wstring> DumpsIn(const std::wstring& folder) {
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found{};
  HANDLE find = ::FindFirstFileW((folder + L"\\VXMon-*.dmp").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    names.emplace_back(found.cFileName);
  } while (::FindNextFileW(find, &found));
  ::FindClose(find);
  std::sort(names.begin(), names.end());
  return names;
}

using MiniDumpWriteDumpFn = BOOL(WINAPI*)(HANDLE, DWORD, HANDLE, MINIDUMP_TYPE, PMINIDUMP_EXCEPTION_INFORMATION,
                                          PMINIDUMP_USER_STREAM_INFORMATION, PMINIDUMP_CALLBACK_INFORMATION);

// Taken from System32 by full path now, not at start-up: a crash must not
// depend on a library loaded from wherever the search order finds one.
MiniDumpWriteDumpFn ResolveMiniDumpWriteDump() {
  wchar_t system[MAX_PATH] = {};
  const UINT n = ::GetSystemDirectoryW(system, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return nullptr;
  const std::wstring path = std::wstring(system) + L"\\dbghelp.dll";
  HMODULE dbghelp = ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (dbghelp == nullptr) return nullptr;
  return reinterpret_cast<MiniDumpWriteDumpFn>(reinterpret_cast<void*>(::GetProcAddress(dbghelp, "MiniDumpWriteDump")));
}

LONG WINAPI OnUnhandledException(EXCEPTION_POINTERS* info) {
  WriteCrashReport(info, "unhandled exception");
  ::TerminateProcess(::GetCurrentProcess(), 0xE0000001u);
  return EXCEPTION_EXECUTE_HANDLER;
}

[[noreturn]] void OnTerminate() {
  WriteCrashReport(nullptr, "fatal error (terminate)");
  ::TerminateProcess(::GetCurrentProcess(), 0xE0000002u);
  for (;;) ::Sleep(INFINITE);
}

void OnPureCall() {
  WriteCrashReport(nullptr, "fatal error (pure virtual call)");
  ::TerminateProcess(::GetCurrentProcess(), 0xE0000003u);
}

}  // namespace

bool WriteCrashReport(EXCEPTION_POINTERS* exception, const char* what) {
  // A crash inside the report ends the process without a second one.
  if (g_reporting.exchange(true)) return false;
  CreateDirectoryOneLevel(AppDataFolder());
  const WStr folder = CrashFolder();
  CreateDirectoryOneLevel(folder);
  const std::wstring wfolder = Wide(folder);

  std::vector<std::wstring> old = DumpsIn(wfolder);
  while (old.size() >= kKeptReports) {
    ::DeleteFileW((wfolder + L"\\" + old.front()).c_str());
    old.erase(old.begin());
  }

  SYSTEMTIME t{};
  ::GetLocalTime(&t);
  wchar_t name[96];
  std::swprintf(name, 96, L"VXMon-%04u%02u%02u-%02u%02u%02u-%03u-%lu.dmp", t.wYear, t.wMonth, t.wDay, t.wHour,
                t.wMinute, t.wSecond, t.wMilliseconds, ::GetCurrentProcessId());
  bool dumped = false;
  if (MiniDumpWriteDumpFn write = ResolveMiniDumpWriteDump()) {
    HANDLE file = ::CreateFileW((wfolder + L"\\" + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      MINIDUMP_EXCEPTION_INFORMATION info{};
      info.ThreadId = ::GetCurrentThreadId();
      info.ExceptionPointers = exception;
      info.ClientPointers = FALSE;
      dumped = write(::GetCurrentProcess(), ::GetCurrentProcessId(), file,
                     static_cast<MINIDUMP_TYPE>(MiniDumpNormal | MiniDumpWithThreadInfo),
                     exception != nullptr ? &info : nullptr, nullptr, nullptr) != FALSE;
      ::CloseHandle(file);
    }
  }

  char detail[160] = "";
  if (exception != nullptr && exception->ExceptionRecord != nullptr) {
    std::snprintf(detail, sizeof detail, " 0x%08lX at %p", exception->ExceptionRecord->ExceptionCode,
                  exception->ExceptionRecord->ExceptionAddress);
  }
  const std::string text = std::string("VXMon ") + VX_VERSION + " crashed: " + what + detail + "; dump " +
                           (dumped ? ToUtf8(WStr(reinterpret_cast<const char16_t*>(name))) : std::string("not written"));
  const LogLine line{NowAsOleDate(), ::GetCurrentThreadId(), FromUtf8(text)};
  // The crash log keeps as many lines as there are dumps.
  const WStr logPath = folder + u"\\crash.log";
  std::string content;
  for (const std::string& l : LastLinesOfFile(logPath, kKeptReports - 1)) content += l + "\r\n";
  content += FormatLogLine(line);
  const bool logged = WriteFileAtomic(logPath, std::span(reinterpret_cast<const std::uint8_t*>(content.data()), content.size()));
  // The user's log gets it too, if its writer can still take it.
  if (ILogWriter* log = CurrentLogWriter()) log->Write(line);
  return dumped || logged;
}

void InstallCrashReport() {
  ::SetUnhandledExceptionFilter(OnUnhandledException);
  std::set_terminate(OnTerminate);
  _set_purecall_handler(OnPureCall);
  // No "program has stopped working" box: the report is written, the
  // restart registration brings the monitor back.
  ::SetErrorMode(::GetErrorMode() | SEM_NOGPFAULTERRORBOX);
}

}  // namespace vx::win
