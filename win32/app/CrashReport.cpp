#include "win32/app/CrashReport.h"

#include <dbghelp.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <exception>
#include <string>

#include "app/MonitorStart.h"
#include "platform/Files.h"
#include "platform/Log.h"

#ifndef VX_VERSION
#define VX_VERSION "0"
#endif

namespace vx::win {
namespace {

// Everything the report needs is made ready at start-up: a crashing thread
// may have no stack left, may hold the heap's or the log writer's lock, so
// the work is done by a thread of its own that allocates nothing and takes
// no lock of the program's.

constexpr std::size_t kKeptReports = 5;
// How long the crashed thread waits for the report before it ends the
// process anyway; shorter than the new monitor's wait for the old one.
constexpr DWORD kReportWaitMs = 12000;
constexpr DWORD kReporterStackBytes = 256 * 1024;

using MiniDumpWriteDumpFn = BOOL(WINAPI*)(HANDLE, DWORD, HANDLE, MINIDUMP_TYPE, PMINIDUMP_EXCEPTION_INFORMATION,
                                          PMINIDUMP_USER_STREAM_INFORMATION, PMINIDUMP_CALLBACK_INFORMATION);

struct Request {
  EXCEPTION_POINTERS* exception;
  DWORD threadId;
  const char* what;
};

struct State {
  MiniDumpWriteDumpFn writeDump = nullptr;
  wchar_t folder[MAX_PATH] = {};    // %LOCALAPPDATA%\VXMon\crash
  wchar_t userLog[MAX_PATH] = {};   // VXMon.log ("" when the log is off)
  wchar_t program[MAX_PATH] = {};   // this executable
  HANDLE request = nullptr;         // set by the crashed thread
  HANDLE done = nullptr;            // set by the reporter
  DWORD reporterId = 0;
  Request pending{};
  // Scratch for crash.log and the restart record, taken once.
  char text[16384] = {};
  char line[1024] = {};
};
State g;
std::atomic<bool> g_reporting{false};
std::atomic<bool> g_restart{false};

bool Copy(wchar_t (&to)[MAX_PATH], WView from) {
  if (from.size() >= MAX_PATH) return false;
  std::memcpy(to, from.data(), from.size() * sizeof(wchar_t));
  to[from.size()] = 0;
  return true;
}

// Taken from System32 by full path: a crash must not depend on a library
// loaded from wherever the search order finds one.
MiniDumpWriteDumpFn ResolveMiniDumpWriteDump() {
  wchar_t system[MAX_PATH] = {};
  const UINT n = ::GetSystemDirectoryW(system, MAX_PATH);
  if (n == 0 || n >= MAX_PATH - 16) return nullptr;
  std::wcscat(system, L"\\dbghelp.dll");
  HMODULE dbghelp = ::LoadLibraryExW(system, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (dbghelp == nullptr) return nullptr;
  return reinterpret_cast<MiniDumpWriteDumpFn>(reinterpret_cast<void*>(::GetProcAddress(dbghelp, "MiniDumpWriteDump")));
}

// folder + "\" + name into out; false when too long.
bool InFolder(wchar_t (&out)[MAX_PATH], const wchar_t* name) {
  return std::swprintf(out, MAX_PATH, L"%ls\\%ls", g.folder, name) > 0;
}

// Leaves room for one more: the oldest dumps go (the names sort by time).
void PruneDumps() {
  wchar_t pattern[MAX_PATH];
  if (!InFolder(pattern, L"VXMon-*.dmp")) return;
  for (;;) {
    WIN32_FIND_DATAW found{};
    HANDLE find = ::FindFirstFileW(pattern, &found);
    if (find == INVALID_HANDLE_VALUE) return;
    std::size_t count = 0;
    wchar_t oldest[MAX_PATH] = {};
    do {
      ++count;
      if (oldest[0] == 0 || std::wcscmp(found.cFileName, oldest) < 0) std::wcscpy(oldest, found.cFileName);
    } while (::FindNextFileW(find, &found));
    ::FindClose(find);
    wchar_t path[MAX_PATH];
    if (count < kKeptReports || !InFolder(path, oldest) || !::DeleteFileW(path)) return;
  }
}

std::size_t ReadSmallFile(const wchar_t* path, char* out, std::size_t capacity) {
  HANDLE f = ::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return 0;
  LARGE_INTEGER size{};
  DWORD got = 0;
  if (::GetFileSizeEx(f, &size)) {
    // The end of a file too large to hold.
    if (static_cast<std::uint64_t>(size.QuadPart) > capacity) {
      LARGE_INTEGER at;
      at.QuadPart = size.QuadPart - static_cast<LONGLONG>(capacity);
      ::SetFilePointerEx(f, at, nullptr, FILE_BEGIN);
    }
    if (!::ReadFile(f, out, static_cast<DWORD>(capacity), &got, nullptr)) got = 0;
  }
  ::CloseHandle(f);
  return got;
}

// Written beside the target and renamed over it: a reader sees the old or
// the new file.
bool ReplaceFile(const wchar_t* path, const char* data, std::size_t size) {
  wchar_t temp[MAX_PATH];
  if (std::swprintf(temp, MAX_PATH, L"%ls.tmp", path) <= 0) return false;
  HANDLE f = ::CreateFileW(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  DWORD put = 0;
  const bool ok = ::WriteFile(f, data, static_cast<DWORD>(size), &put, nullptr) && put == size;
  ::CloseHandle(f);
  return ok && ::MoveFileExW(temp, path, MOVEFILE_REPLACE_EXISTING);
}

bool AppendToFile(const wchar_t* path, const char* data, std::size_t size) {
  // The log writer's own handle shares writing; appends do not interleave
  // within a line.
  HANDLE f = ::CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  DWORD put = 0;
  const bool ok = ::WriteFile(f, data, static_cast<DWORD>(size), &put, nullptr) && put == size;
  ::CloseHandle(f);
  return ok;
}

std::int64_t NowSeconds() {
  FILETIME ft{};
  ::GetSystemTimeAsFileTime(&ft);
  const std::uint64_t ticks = (static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
  return static_cast<std::int64_t>(ticks / 10000000u) - 11644473600LL;
}

// Whether a new monitor may start, recorded when it may; `why` says why not.
bool MayRestart(char* why, std::size_t whySize) {
  if (!g_restart.load()) {
    std::snprintf(why, whySize, "not restarted: the monitor was ending");
    return false;
  }
  wchar_t path[MAX_PATH];
  if (!InFolder(path, L"restarts.txt")) return false;
  std::int64_t earlier[kCrashRestartsKept] = {};
  const std::size_t size = ReadSmallFile(path, g.text, 4096);
  const std::size_t count = ParseCrashRestarts(g.text, size, earlier, kCrashRestartsKept);
  const std::int64_t now = NowSeconds();
  const CrashRestartVerdict v = DecideCrashRestart(earlier, count, now);
  if (v.what == CrashRestart::TooSoon) {
    std::snprintf(why, whySize, "not restarted: the last crash restart was %lld s ago (none within %lld s)",
                  static_cast<long long>(v.secondsSinceLast), static_cast<long long>(kCrashRestartQuietSeconds));
    return false;
  }
  if (v.what == CrashRestart::TooMany) {
    std::snprintf(why, whySize, "not restarted: %zu crash restarts in the last hour already", kCrashRestartsPerHour);
    return false;
  }
  const std::size_t n = FormatCrashRestarts(earlier, count, now, g.text, 4096);
  // Without the record there is no limit: no restart then either.
  if (n == 0 || !ReplaceFile(path, g.text, n)) {
    std::snprintf(why, whySize, "not restarted: the restart record could not be written");
    return false;
  }
  return true;
}

// The same program, told to wait for this process to end before it takes
// the single-instance mutex.
bool StartNewMonitor() {
  wchar_t command[MAX_PATH + 32];
  if (std::swprintf(command, MAX_PATH + 32, L"\"%ls\" /after:%lu", g.program, ::GetCurrentProcessId()) <= 0) {
    return false;
  }
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!::CreateProcessW(g.program, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return false;
  ::CloseHandle(pi.hThread);
  ::CloseHandle(pi.hProcess);
  return true;
}

// The crash line, formatted like the log's lines.
std::size_t CrashLine(const Request& r, const wchar_t* dumpName, bool dumped, const char* restart) {
  SYSTEMTIME t{};
  ::GetLocalTime(&t);
  char detail[96] = "";
  if (r.exception != nullptr && r.exception->ExceptionRecord != nullptr) {
    std::snprintf(detail, sizeof detail, " 0x%08lX at %p", r.exception->ExceptionRecord->ExceptionCode,
                  r.exception->ExceptionRecord->ExceptionAddress);
  }
  char dump[MAX_PATH] = "not written";
  if (dumped) ::WideCharToMultiByte(CP_UTF8, 0, dumpName, -1, dump, sizeof dump, nullptr, nullptr);
  const int n = std::snprintf(g.line, sizeof g.line,
                              "%04u-%02u-%02u %02u:%02u:%02u.%03u [%lu] VXMon %s crashed: %s%s; dump %s; %s\r\n",
                              t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds, r.threadId,
                              VX_VERSION, r.what, detail, dump, restart);
  return n > 0 ? std::min<std::size_t>(static_cast<std::size_t>(n), sizeof g.line - 1) : 0;
}

// crash.log keeps as many lines as there are dumps.
void AppendCrashLog(const char* line, std::size_t size) {
  wchar_t path[MAX_PATH];
  if (!InFolder(path, L"crash.log")) return;
  const std::size_t capacity = sizeof g.text - sizeof g.line;
  std::size_t have = ReadSmallFile(path, g.text, capacity);
  if (have > 0 && g.text[have - 1] != '\n') g.text[have++] = '\n';
  // Drop the oldest lines until kKeptReports - 1 remain.
  std::size_t lines = 0;
  for (std::size_t i = 0; i < have; ++i) lines += g.text[i] == '\n' ? 1 : 0;
  std::size_t from = 0;
  while (lines >= kKeptReports && from < have) {
    while (from < have && g.text[from] != '\n') ++from;
    ++from;
    --lines;
  }
  std::memmove(g.text, g.text + from, have - from);
  have -= from;
  std::memcpy(g.text + have, line, size);
  ReplaceFile(path, g.text, have + size);
}

void Report(const Request& r) {
  ::CreateDirectoryW(g.folder, nullptr);
  PruneDumps();
  SYSTEMTIME t{};
  ::GetLocalTime(&t);
  wchar_t name[96];
  std::swprintf(name, 96, L"VXMon-%04u%02u%02u-%02u%02u%02u-%03u-%lu.dmp", t.wYear, t.wMonth, t.wDay, t.wHour,
                t.wMinute, t.wSecond, t.wMilliseconds, ::GetCurrentProcessId());
  bool dumped = false;
  wchar_t path[MAX_PATH];
  if (g.writeDump != nullptr && InFolder(path, name)) {
    HANDLE file = ::CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      MINIDUMP_EXCEPTION_INFORMATION info{};
      info.ThreadId = r.threadId;
      info.ExceptionPointers = r.exception;
      info.ClientPointers = FALSE;
      dumped = g.writeDump(::GetCurrentProcess(), ::GetCurrentProcessId(), file,
                           static_cast<MINIDUMP_TYPE>(MiniDumpNormal | MiniDumpWithThreadInfo),
                           r.exception != nullptr ? &info : nullptr, nullptr, nullptr) != FALSE;
      ::CloseHandle(file);
    }
  }
  char restart[160] = "a new monitor is started";
  if (MayRestart(restart, sizeof restart) && !StartNewMonitor()) {
    std::snprintf(restart, sizeof restart, "not restarted: error %lu starting the program", ::GetLastError());
  }
  const std::size_t size = CrashLine(r, name, dumped, restart);
  AppendCrashLog(g.line, size);
  // The user's log gets it too (its writer's lock may be the crashed one's).
  if (g.userLog[0] != 0) AppendToFile(g.userLog, g.line, size);
}

DWORD WINAPI ReporterThread(void*) {
  if (::WaitForSingleObject(g.request, INFINITE) == WAIT_OBJECT_0) {
    Report(g.pending);
    ::SetEvent(g.done);
  }
  return 0;
}

// Called on the crashed thread: as little as it takes to hand over.
void ReportAndEnd(EXCEPTION_POINTERS* exception, const char* what, UINT exitCode) {
  const DWORD self = ::GetCurrentThreadId();
  if (self == g.reporterId || g_reporting.exchange(true)) {
    // A second crash, or one in the report itself: the first one ends the
    // process.
    if (self == g.reporterId) ::TerminateProcess(::GetCurrentProcess(), exitCode);
    ::Sleep(INFINITE);
  }
  if (g.request != nullptr && g.done != nullptr) {
    g.pending = Request{exception, self, what};
    ::SetEvent(g.request);
    ::WaitForSingleObject(g.done, kReportWaitMs);
  }
  ::TerminateProcess(::GetCurrentProcess(), exitCode);
}

LONG WINAPI OnUnhandledException(EXCEPTION_POINTERS* info) {
  ReportAndEnd(info, "unhandled exception", 0xE0000001u);
  return EXCEPTION_EXECUTE_HANDLER;
}

// Fatal runtime errors carry no exception: the thread's state at the call.
void ReportHere(const char* what, UINT exitCode) {
  static CONTEXT context;
  static EXCEPTION_RECORD record;
  static EXCEPTION_POINTERS pointers;
  ::RtlCaptureContext(&context);
  record = EXCEPTION_RECORD{};
  record.ExceptionCode = exitCode;
  record.ExceptionAddress = reinterpret_cast<void*>(context.Rip);
  pointers = EXCEPTION_POINTERS{&record, &context};
  ReportAndEnd(&pointers, what, exitCode);
}

[[noreturn]] void OnTerminate() {
  ReportHere("fatal error (terminate)", 0xE0000002u);
  for (;;) ::Sleep(INFINITE);
}

void OnPureCall() { ReportHere("fatal error (pure virtual call)", 0xE0000003u); }

}  // namespace

void InstallCrashReport() {
  const WStr folder = CrashFolder();
  Copy(g.folder, folder);
  CreateDirectoryOneLevel(AppDataFolder());
  CreateDirectoryOneLevel(folder);
  const DWORD n = ::GetModuleFileNameW(nullptr, g.program, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) g.program[0] = 0;
  g.writeDump = ResolveMiniDumpWriteDump();
  g.request = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  g.done = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  // Waits without waking until a crash.
  HANDLE reporter = ::CreateThread(nullptr, kReporterStackBytes, ReporterThread, nullptr,
                                   STACK_SIZE_PARAM_IS_A_RESERVATION, &g.reporterId);
  if (reporter != nullptr) ::CloseHandle(reporter);
  // Room on the main thread for the filter after a stack overflow.
  ULONG guarantee = 64 * 1024;
  ::SetThreadStackGuarantee(&guarantee);

  ::SetUnhandledExceptionFilter(OnUnhandledException);
  std::set_terminate(OnTerminate);
  _set_purecall_handler(OnPureCall);
  // No "program has stopped working" box: the report is written and the
  // monitor starts again itself.
  ::SetErrorMode(::GetErrorMode() | SEM_NOGPFAULTERRORBOX);
}

void SetCrashReportLog(WView userLogPath) {
  if (userLogPath.empty() || !Copy(g.userLog, userLogPath)) g.userLog[0] = 0;
}

void SetCrashRestart(bool enabled) { g_restart = enabled && g.program[0] != 0; }

}  // namespace vx::win
