// The file layer on the Linux host.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>

#include "platform/Files.h"

namespace vx {

std::string NativePath(WView path) {
  std::string p = ToUtf8(path);
  for (auto& c : p) {
    if (c == '\\') c = '/';
  }
  return p;
}

WStr FromNativePath(const std::string& path) { return FromUtf8(path); }

bool FileExists(WView path) {
  struct stat st {};
  return !path.empty() && ::stat(NativePath(path).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirectoryExists(WView path) {
  struct stat st {};
  return !path.empty() && ::stat(NativePath(path).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool CreateDirectoryOneLevel(WView path) {
  std::string p = NativePath(path);
  while (p.size() > 1 && p.back() == '/') p.pop_back();
  return !p.empty() && ::mkdir(p.c_str(), 0777) == 0;
}

std::optional<std::vector<std::uint8_t>> ReadWholeFile(WView path) {
  if (!FileExists(path)) return std::nullopt;
  std::ifstream in(NativePath(path), std::ios::binary);
  if (!in) return std::nullopt;
  std::vector<std::uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return data;
}

bool WriteFileAtomic(WView path, std::span<const std::uint8_t> bytes) {
  const std::string target = NativePath(path);
  if (target.empty() || target.back() == '/') return false;
  std::random_device rd;
  const std::string tmp = target + ".tmp" + std::to_string(rd() & 0xFFFFFF);
  const int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
  if (fd < 0) return false;
  std::size_t done = 0;
  bool ok = true;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  ok = ok && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (!ok || ::rename(tmp.c_str(), target.c_str()) != 0) {
    ::unlink(tmp.c_str());
    return false;
  }
  return true;
}

bool DeleteFileAt(WView path) { return ::unlink(NativePath(path).c_str()) == 0; }

}  // namespace vx
