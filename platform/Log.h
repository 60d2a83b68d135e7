#pragma once
// The log a user can send: every debug-output line also goes, with its local
// time and thread id, to a file in the user's local application data. The
// caller only queues the line; a thread of the writer's own does the file
// work, so the main thread never waits on the disk.
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/Text.h"

namespace vx {

inline constexpr std::uint64_t kLogRotateBytes = 1024 * 1024;

struct LogLine {
  double time = 0;  // local time, OLE date (NowAsOleDate); 0: from systemMicros
  std::uint32_t threadId = 0;
  WStr text;
  // The system clock (UTC microseconds since 1970), cheap to read: the
  // conversion to local time is left to the writer's thread.
  std::int64_t systemMicros = 0;
};

class ILogWriter {
 public:
  virtual ~ILogWriter() = default;
  // Called on any thread; must not block on the file.
  virtual void Write(LogLine line) = 0;
};

// Where DebugOutput's lines also go; nullptr ends logging. Not owned: clear
// it before the writer goes away.
void SetLogWriter(ILogWriter* writer);
ILogWriter* CurrentLogWriter();

// "2026-12-10 02:51:57.123 [1234] text" in UTF-8, ending in CR LF.
std::string FormatLogLine(const LogLine& line);
// Lines that arrive together are written together: after the first line wakes
// the writer, it gathers for this long, so a burst costs one wake-up.
inline constexpr std::uint32_t kLogGatherMs = 20;
// The calling thread's system id (GetCurrentThreadId, gettid).
std::uint32_t CurrentThreadId();

// %LOCALAPPDATA%\VXMon (the data folder on the Linux host), no trailing
// separator; and the files in it.
WStr AppDataFolder();
WStr LogFilePath();     // VXMon.log
WStr OldLogFilePath();  // VXMon.old.log: the one rotated file kept
WStr CrashFolder();     // crash

// Appends formatted lines to a file from its own thread. When the file would
// pass rotateBytes it becomes the old log (replacing the previous one) and a
// new file starts. When that rename fails (on Windows a program holding
// either file without delete sharing), the file is emptied and starts with a
// line saying so; the rename is tried again at the next limit only. When
// even that fails, logging stops until the next start. Failures to open or
// write lose lines, never block.
class FileLogWriter final : public ILogWriter {
 public:
  // Renames `from` to `to`, replacing it; tests pass one that fails.
  using RenameFn = std::function<bool(WView from, WView to)>;
  explicit FileLogWriter(WStr path, std::uint64_t rotateBytes = kLogRotateBytes, RenameFn rename = {});
  // Writes what is queued, then ends the thread.
  ~FileLogWriter() override;
  FileLogWriter(const FileLogWriter&) = delete;
  FileLogWriter& operator=(const FileLogWriter&) = delete;

  void Write(LogLine line) override;
  // Waits until every line queued so far is in the file.
  void Flush();
  const WStr& Path() const { return path_; }

 private:
  void Run();
  void WriteBatch(std::vector<LogLine>& batch);
  bool Rotate(const LogLine& at);

  WStr path_;
  WStr oldPath_;
  std::uint64_t rotateBytes_;
  RenameFn rename_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable done_;
  std::vector<LogLine> queue_;
  std::uint64_t queued_ = 0;   // lines handed in
  std::uint64_t written_ = 0;  // lines through the file
  bool stop_ = false;
  bool flush_ = false;
  bool idle_ = false;  // the thread waits: only then is it woken
  void* file_ = nullptr;
  std::uint64_t size_ = 0;
  bool stopped_ = false;  // the file could be neither rotated nor emptied
  std::thread thread_;
};

// The last `count` lines of a text file (CR LF or LF), oldest first; empty
// when it cannot be read.
std::vector<std::string> LastLinesOfFile(WView path, std::size_t count);

namespace detail {
// An append-only file handle of each build; nullptr when it cannot be opened.
void* OpenAppendFile(WView path, std::uint64_t& size);
bool AppendToFile(void* file, const char* data, std::size_t size);
void CloseAppendFile(void* file);
// Renames, replacing the target.
bool ReplaceFileByRename(WView from, WView to);
// Empties an existing file that others may hold open for reading or writing.
bool TruncateFile(WView path);
WStr PlatformAppDataFolder();
std::uint32_t PlatformThreadId();
double PlatformLocalOleDate(std::int64_t systemMicros);
}  // namespace detail

}  // namespace vx
