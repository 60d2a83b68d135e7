// The log file on the Linux host (vxprofile log, tests).
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>

#include "platform/Files.h"
#include "platform/Log.h"
#include "platform/SeamsInternal.h"

namespace vx::detail {

void* OpenAppendFile(WView path, std::uint64_t& size) {
  const int fd = ::open(NativePath(path).c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return nullptr;
  struct stat st{};
  size = ::fstat(fd, &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
  return reinterpret_cast<void*>(static_cast<std::intptr_t>(fd) + 1);
}

bool AppendToFile(void* file, const char* data, std::size_t size) {
  const int fd = static_cast<int>(reinterpret_cast<std::intptr_t>(file) - 1);
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(fd, data + done, size - done);
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

void CloseAppendFile(void* file) { ::close(static_cast<int>(reinterpret_cast<std::intptr_t>(file) - 1)); }

bool ReplaceFileByRename(WView from, WView to) {
  return std::rename(NativePath(from).c_str(), NativePath(to).c_str()) == 0;
}

bool TruncateFile(WView path) { return ::truncate(NativePath(path).c_str(), 0) == 0; }

WStr PlatformAppDataFolder() { return FromUtf8(PosixDataFolder()); }

double PlatformLocalOleDate(std::int64_t systemMicros) {
  const std::time_t t = static_cast<std::time_t>(systemMicros / 1000000);
  std::tm local{};
  localtime_r(&t, &local);
  // Seconds east of UTC at that moment, then days since 1899-12-30.
  const double localSeconds = static_cast<double>(systemMicros) / 1e6 + static_cast<double>(local.tm_gmtoff);
  return localSeconds / 86400.0 + 25569.0;
}

std::uint32_t PlatformThreadId() { return static_cast<std::uint32_t>(::syscall(SYS_gettid)); }

}  // namespace vx::detail
