#pragma once
// Automatic backups of the stored profiles into a folder of their own
// (%LOCALAPPDATA%\VXMon\backups): one at the first start of a day, one after
// a change of the stored data at most once an hour, none when the data
// equals the newest backup. The data is read and written on a thread of the
// backup's own; the main thread only decides and arms a timer.
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/Text.h"
#include "platform/WindowSystem.h"
#include "profiles/BackupSchedule.h"

namespace vx {

// The backups of a folder, oldest first.
std::vector<BackupEntry> ListBackupFiles(WView folder);
// %LOCALAPPDATA%\VXMon\backups.
WStr AutoBackupFolder();

class TAutoBackup {
 public:
  struct Deps {
    WStr folder;
    // The stored data in the backup format; nullopt (with the reason) when
    // it cannot be read.
    std::function<std::optional<std::vector<std::uint8_t>>(std::string& why)> snapshot;
    std::function<std::int64_t()> now = LocalSecondsNow;
    // Runs a job; a thread of the backup's own when empty.
    std::function<void(std::function<void()>)> run;
    // The timer for a deferred backup (main thread); none when null.
    ITimer* timer = nullptr;
  };
  explicit TAutoBackup(Deps deps);
  ~TAutoBackup();
  TAutoBackup(const TAutoBackup&) = delete;
  TAutoBackup& operator=(const TAutoBackup&) = delete;

  // Main thread.
  void Start();
  void Changed();
  void TimerFired();

  // Runs `restore` while no backup is written: it waits for one being
  // written, and a backup due meanwhile waits for it. Main thread.
  bool WhileNoBackup(const std::function<bool()>& restore);

  const WStr& Folder() const { return deps_.folder; }
  // For tests: the job in flight has ended.
  void WaitIdle();

 private:
  void Begin();
  void Job(std::int64_t startedAt);
  void ArmTimer();
  void Worker();

  Deps deps_;
  std::mutex mutex_;
  // Held while the store is read or written: by a backup job, by a restore.
  std::mutex store_;
  std::condition_variable wake_;
  std::condition_variable idle_;
  TBackupSchedule schedule_;
  bool busy_ = false;
  bool failureLogged_ = false;
  std::optional<std::int64_t> queued_;
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace vx
