#include "platform/Log.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <deque>

#include "platform/Files.h"

namespace vx {
namespace {

std::atomic<ILogWriter*> g_writer{nullptr};

// Civil date of a day count since 1970-01-01 (Howard Hinnant's algorithm).
void CivilFromDays(long long z, int& y, unsigned& m, unsigned& d) {
  z += 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y = static_cast<int>(yoe + era * 400 + (m <= 2 ? 1 : 0));
}

}  // namespace

void SetLogWriter(ILogWriter* writer) { g_writer.store(writer); }
ILogWriter* CurrentLogWriter() { return g_writer.load(std::memory_order_relaxed); }

std::uint32_t CurrentThreadId() {
  thread_local const std::uint32_t id = detail::PlatformThreadId();
  return id;
}

std::string FormatLogLine(const LogLine& line) {
  // OLE dates count days from 1899-12-30; 25569 days before 1970-01-01.
  const double time = line.time != 0 ? line.time : detail::PlatformLocalOleDate(line.systemMicros);
  const long long totalMs = std::llround(time * 86400000.0);
  long long days = totalMs / 86400000;
  long long msOfDay = totalMs % 86400000;
  if (msOfDay < 0) {
    msOfDay += 86400000;
    --days;
  }
  int y = 0;
  unsigned mo = 0, d = 0;
  CivilFromDays(days - 25569, y, mo, d);
  char head[64];
  std::snprintf(head, sizeof head, "%04d-%02u-%02u %02lld:%02lld:%02lld.%03lld [%u] ", y, mo, d,
                msOfDay / 3600000, msOfDay / 60000 % 60, msOfDay / 1000 % 60, msOfDay % 1000,
                static_cast<unsigned>(line.threadId));
  std::string out = head;
  // One entry is one line: breaks inside the text would fake new entries.
  for (char c : ToUtf8(line.text)) out += (c == '\r' || c == '\n') ? ' ' : c;
  out += "\r\n";
  return out;
}

WStr AppDataFolder() { return detail::PlatformAppDataFolder(); }
WStr LogFilePath() { return AppDataFolder() + u"\\VXMon.log"; }
WStr OldLogFilePath() { return AppDataFolder() + u"\\VXMon.old.log"; }
WStr CrashFolder() { return AppDataFolder() + u"\\crash"; }

FileLogWriter::FileLogWriter(WStr path, std::uint64_t rotateBytes, RenameFn rename)
    : path_(std::move(path)),
      rotateBytes_(rotateBytes),
      rename_(rename ? std::move(rename) : RenameFn(detail::ReplaceFileByRename)) {
  const WStr folder = ExcludeTrailingBackslash(ExtractFilePath(path_));
  WStr name = ExtractFileName(path_);
  const std::size_t dot = name.rfind(u'.');
  oldPath_ = IncludeTrailingBackslash(folder) +
             (dot == WStr::npos ? name + u".old" : name.substr(0, dot) + u".old" + name.substr(dot));
  thread_ = std::thread([this] { Run(); });
}

FileLogWriter::~FileLogWriter() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_one();
  if (thread_.joinable()) thread_.join();
  if (file_ != nullptr) detail::CloseAppendFile(file_);
}

void FileLogWriter::Write(LogLine line) {
  bool wake = false;
  {
    std::lock_guard lock(mutex_);
    queue_.push_back(std::move(line));
    ++queued_;
    // A busy writer takes the line with its next batch: no wake-up per line.
    wake = idle_;
    idle_ = false;
  }
  if (wake) wake_.notify_one();
}

void FileLogWriter::Flush() {
  std::unique_lock lock(mutex_);
  const std::uint64_t target = queued_;
  flush_ = true;
  wake_.notify_one();
  done_.wait(lock, [&] { return written_ >= target || stop_; });
  flush_ = false;
}

void FileLogWriter::Run() {
  std::vector<LogLine> batch;
  std::unique_lock lock(mutex_);
  for (;;) {
    if (queue_.empty()) {
      if (stop_) return;
      idle_ = true;
      wake_.wait(lock, [&] { return !queue_.empty() || stop_; });
      // Gather the rest of a burst; a flush or the end does not wait.
      wake_.wait_for(lock, std::chrono::milliseconds(kLogGatherMs), [&] { return stop_ || flush_; });
      continue;
    }
    batch.swap(queue_);
    lock.unlock();
    WriteBatch(batch);
    const std::size_t n = batch.size();
    batch.clear();
    lock.lock();
    written_ += n;
    done_.notify_all();
  }
}

bool FileLogWriter::Rotate(const LogLine& at) {
  detail::CloseAppendFile(file_);
  file_ = nullptr;
  std::string notice;
  if (!rename_(path_, oldPath_)) {
    // Keeping the file would let it grow without limit, and retrying on each
    // line would close and reopen it for every line.
    if (!detail::TruncateFile(path_)) {
      stopped_ = true;
      return false;
    }
    notice = FormatLogLine({at.time, CurrentThreadId(),
                            u"log: the lines before could not be kept as " + ExtractFileName(oldPath_) +
                                u" (another program holds the log); the log started again",
                            at.systemMicros});
    if (notice.size() * 2 > rotateBytes_) notice.clear();
  }
  file_ = detail::OpenAppendFile(path_, size_);
  if (file_ == nullptr) {
    stopped_ = true;
    return false;
  }
  if (!notice.empty() && detail::AppendToFile(file_, notice.data(), notice.size())) size_ += notice.size();
  return true;
}

void FileLogWriter::WriteBatch(std::vector<LogLine>& batch) {
  if (stopped_) return;
  if (file_ == nullptr) {
    CreateDirectoryOneLevel(ExcludeTrailingBackslash(ExtractFilePath(path_)));
    file_ = detail::OpenAppendFile(path_, size_);
    if (file_ == nullptr) return;
  }
  // One write per batch, except where a line would pass the size: the file
  // is rotated just before that line.
  std::string chunk;
  auto put = [&] {
    if (!chunk.empty() && detail::AppendToFile(file_, chunk.data(), chunk.size())) size_ += chunk.size();
    chunk.clear();
  };
  for (const LogLine& line : batch) {
    const std::string text = FormatLogLine(line);
    if (size_ + chunk.size() > 0 && size_ + chunk.size() + text.size() > rotateBytes_) {
      put();
      if (!Rotate(line)) return;
    }
    chunk += text;
  }
  put();
}

std::vector<std::string> LastLinesOfFile(WView path, std::size_t count) {
  std::vector<std::string> out;
  const auto bytes = ReadWholeFile(path);
  if (!bytes || count == 0) return out;
  std::deque<std::string> last;
  std::string current;
  auto push = [&] {
    if (!current.empty() && current.back() == '\r') current.pop_back();
    last.push_back(std::move(current));
    current.clear();
    if (last.size() > count) last.pop_front();
  };
  for (std::uint8_t b : *bytes) {
    if (b == '\n') {
      push();
    } else {
      current += static_cast<char>(b);
    }
  }
  if (!current.empty()) push();
  out.assign(last.begin(), last.end());
  return out;
}

}  // namespace vx
