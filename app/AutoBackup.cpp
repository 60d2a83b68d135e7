#include "app/AutoBackup.h"

#include <algorithm>
#include <filesystem>

#include "platform/Debug.h"
#include "platform/Files.h"
#include "platform/Log.h"

namespace vx {

namespace {
namespace fs = std::filesystem;

fs::path FsPath(WView path) {
  const std::string n = NativePath(path);
  return fs::path(std::u8string(reinterpret_cast<const char8_t*>(n.data()), n.size()));
}

WStr NameOf(const fs::path& p) {
  const std::u8string u = p.filename().u8string();
  return FromUtf8(std::string(reinterpret_cast<const char*>(u.data()), u.size()));
}
}  // namespace

std::vector<BackupEntry> ListBackupFiles(WView folder) {
  std::vector<BackupEntry> out;
  std::error_code ec;
  for (const auto& f : fs::directory_iterator(FsPath(folder), ec)) {
    const WStr name = NameOf(f.path());
    const auto time = BackupFileTime(name);
    if (!time || !f.is_regular_file(ec)) continue;
    const auto size = f.file_size(ec);
    out.push_back({name, *time, ec ? 0 : static_cast<std::uint64_t>(size)});
  }
  std::sort(out.begin(), out.end(), [](const BackupEntry& a, const BackupEntry& b) {
    return a.time != b.time ? a.time < b.time : a.name < b.name;
  });
  return out;
}

WStr AutoBackupFolder() { return AppDataFolder() + u"\\backups"; }

TAutoBackup::TAutoBackup(Deps deps) : deps_(std::move(deps)) {
  if (!deps_.run) thread_ = std::thread([this] { Worker(); });
  if (deps_.timer) deps_.timer->SetEnabled(false);
}

TAutoBackup::~TAutoBackup() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  // A backup being written is finished: the file is whole either way.
  if (thread_.joinable()) thread_.join();
}

void TAutoBackup::Start() {
  const auto backups = ListBackupFiles(deps_.folder);
  std::optional<std::int64_t> newest;
  if (!backups.empty()) newest = backups.back().time;
  std::unique_lock lock(mutex_);
  const bool now = schedule_.AtStart(deps_.now(), newest);
  lock.unlock();
  if (now) Begin();
}

void TAutoBackup::Changed() {
  std::unique_lock lock(mutex_);
  const bool now = schedule_.Changed(deps_.now());
  lock.unlock();
  if (now) {
    Begin();
  } else {
    ArmTimer();
  }
}

void TAutoBackup::TimerFired() {
  if (deps_.timer) deps_.timer->SetEnabled(false);
  std::unique_lock lock(mutex_);
  const bool now = schedule_.Due(deps_.now());
  lock.unlock();
  if (now) {
    Begin();
  } else {
    ArmTimer();
  }
}

void TAutoBackup::ArmTimer() {
  if (!deps_.timer) return;
  std::unique_lock lock(mutex_);
  const auto due = schedule_.DueAt();
  const std::int64_t now = deps_.now();
  lock.unlock();
  if (!due) return;
  // Runs only while a deferred backup waits: nothing is woken otherwise.
  const std::int64_t wait = std::clamp<std::int64_t>(*due - now, 1, kBackupMinIntervalS);
  deps_.timer->SetInterval(static_cast<std::uint32_t>(wait * 1000));
  deps_.timer->SetEnabled(true);
}

void TAutoBackup::Begin() {
  // A backup now makes any deferred one pointless.
  if (deps_.timer) deps_.timer->SetEnabled(false);
  const std::int64_t startedAt = deps_.now();
  if (deps_.run) {
    {
      std::lock_guard lock(mutex_);
      busy_ = true;
    }
    deps_.run([this, startedAt] { Job(startedAt); });
    return;
  }
  {
    std::lock_guard lock(mutex_);
    queued_ = startedAt;
    busy_ = true;
  }
  wake_.notify_all();
}

void TAutoBackup::Worker() {
  std::unique_lock lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stop_ || queued_.has_value(); });
    if (stop_) return;
    const std::int64_t startedAt = *queued_;
    queued_.reset();
    lock.unlock();
    Job(startedAt);
    lock.lock();
  }
}

bool TAutoBackup::WhileNoBackup(const std::function<bool()>& restore) {
  std::lock_guard hold(store_);
  return restore();
}

void TAutoBackup::Job(std::int64_t startedAt) {
  std::string why;
  bool taken = false;
  std::unique_lock hold(store_);
  auto bytes = deps_.snapshot ? deps_.snapshot(why) : std::nullopt;
  WStr written;
  if (bytes) {
    std::error_code ec;
    fs::create_directories(FsPath(deps_.folder), ec);
    const auto backups = ListBackupFiles(deps_.folder);
    const WStr dir = IncludeTrailingBackslash(deps_.folder);
    const auto newest = backups.empty() ? std::nullopt : ReadWholeFile(dir + backups.back().name);
    if (newest && *newest == *bytes) {
      taken = true;  // nothing changed since
    } else {
      WStr name = BackupFileName(startedAt);
      for (int n = 2; FileExists(dir + name); ++n) name = BackupFileName(startedAt, n);
      // Through a temporary file and a rename: only whole backups appear.
      taken = WriteFileAtomic(dir + name, *bytes);
      if (taken) {
        written = name;
        auto all = ListBackupFiles(deps_.folder);
        for (const WStr& old : BackupsToDelete(std::move(all), startedAt)) DeleteFileAt(dir + old);
      } else {
        why = "cannot write " + ToUtf8(dir + name);
      }
    }
  }
  hold.unlock();
  std::lock_guard lock(mutex_);
  schedule_.Finished(taken);
  busy_ = false;
  if (!written.empty()) DebugOutput(u"profiles backed up to " + IncludeTrailingBackslash(deps_.folder) + written);
  if (!taken && !failureLogged_) {
    // Once until a backup succeeds again: a full disk must not fill the log.
    DebugOutput("automatic backup failed: " + why + "; it is tried again at the next change");
  }
  failureLogged_ = !taken;
  idle_.notify_all();
}

void TAutoBackup::WaitIdle() {
  std::unique_lock lock(mutex_);
  idle_.wait(lock, [this] { return !busy_; });
}

}  // namespace vx
