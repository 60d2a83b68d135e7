#pragma once
// What the process holds right now: threads, open descriptors and heap in use.
#include <malloc.h>

#include <cstddef>
#include <filesystem>

namespace vx::test {

inline std::size_t CountEntries(const char* folder) {
  std::size_t n = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(folder)) ++n;
  return n;
}

inline std::size_t ThreadCount() { return CountEntries("/proc/self/task"); }
// The directory iterator's own descriptor is counted too, the same each time.
inline std::size_t DescriptorCount() { return CountEntries("/proc/self/fd"); }

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr bool kHeapCountsAreReal = false;
#else
inline constexpr bool kHeapCountsAreReal = true;
#endif
inline std::size_t HeapInUse() { return mallinfo2().uordblks; }

}  // namespace vx::test
