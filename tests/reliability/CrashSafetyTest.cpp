// A process killed at any moment while it saves a profile file or a
// directory-registry value leaves the old bytes or the new ones, never a
// mix or a truncation.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>
#include <vector>

#include "platform/Files.h"
#include "platform/Registry.h"
#include "profiles/kwProfile.h"
#include "profiles/pubunit_lumari.h"

namespace vx {
namespace {

namespace fs = std::filesystem;

constexpr int kRounds = 200;
constexpr char16_t kKey[] = u"software\\Vantorgmmouse";
constexpr char16_t kValue[] = u"QZ3Profile1.pfd";

// Two contents that differ in every byte and in size, so a torn or cut
// write can be told from both.
std::vector<std::uint8_t> Content(bool second) {
  const std::size_t size = second ? sizeof(TMouseProfileInfo) : sizeof(TMouseProfileInfo) - 4096;
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(second ? (i * 7 + 3) | 1 : (i * 5) & 0xFE);
  return bytes;
}

std::vector<std::uint8_t> ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

class CrashSafety : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("vx-crash-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "registry");
  }
  void TearDown() override { fs::remove_all(dir); }

  // Runs `save` over and over in a child (alternating the two contents)
  // and kills it after a random pause; returns after the child is gone.
  // The kills must land before, inside and after saves, whatever a save
  // costs on this machine (a sanitizer build under load takes several ms):
  // the pauses span the fork and four saves, timed here. Four saves leave
  // the first content in place.
  template <typename Save>
  int PauseSpanUs(Save save) {
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < 4; ++i) save(i % 2 == 0);
    const auto took = std::chrono::steady_clock::now() - start;
    return 3000 + static_cast<int>(std::chrono::duration_cast<std::chrono::microseconds>(took).count());
  }

  template <typename Save>
  void KillWhileSaving(Save save, std::mt19937& rng, int spanUs) {
    std::uniform_int_distribution<int> pause(0, spanUs);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      for (bool second = true;; second = !second) save(second);
    }
    std::this_thread::sleep_for(std::chrono::microseconds(pause(rng)));
    ::kill(pid, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status));
  }

  fs::path dir;
};

TEST_F(CrashSafety, ProfileFileIsOldOrNewAfterAKill) {
  const auto a = Content(false);
  const auto b = Content(true);
  const WStr file = FromUtf8((dir / "Game1.pfd").string());
  ASSERT_TRUE(WriteFileAtomic(file, a));
  std::mt19937 rng(20261209);
  const auto save = [&](bool second) {
    TkwProfile store;
    const auto& bytes = second ? b : a;
    store.Write(bytes.data(), static_cast<std::int32_t>(bytes.size()));
    store.SaveStreamToFile(file);
  };
  const int span = PauseSpanUs(save);
  int sawNew = 0;
  for (int round = 0; round < kRounds; ++round) {
    KillWhileSaving(save, rng, span);
    const auto now = ReadAll(dir / "Game1.pfd");
    ASSERT_TRUE(now == a || now == b) << "round " << round << ": " << now.size() << " bytes";
    sawNew += now == b;
  }
  // Both outcomes happen, so the kills land at different moments.
  EXPECT_GT(sawNew, 0);
  EXPECT_LT(sawNew, kRounds);
}

TEST_F(CrashSafety, DirectoryRegistryValueIsOldOrNewAfterAKill) {
  const auto a = Content(false);
  const auto b = Content(true);
  DirRegistry reg((dir / "registry").string());
  ASSERT_TRUE(reg.CreateKey(HKEY_CURRENT_USER_, kKey));
  ASSERT_TRUE(reg.SetValue(HKEY_CURRENT_USER_, kKey, kValue, RegType::Binary, a));
  std::mt19937 rng(7);
  const auto save = [&](bool second) {
    DirRegistry child((dir / "registry").string());
    child.SetValue(HKEY_CURRENT_USER_, kKey, kValue, RegType::Binary, second ? b : a);
  };
  const int span = PauseSpanUs(save);
  int sawNew = 0;
  for (int round = 0; round < kRounds; ++round) {
    KillWhileSaving(save, rng, span);
    DirRegistry after((dir / "registry").string());
    const auto v = after.QueryValue(HKEY_CURRENT_USER_, kKey, kValue);
    ASSERT_TRUE(v.has_value()) << "round " << round;
    EXPECT_EQ(v->type, RegType::Binary);
    ASSERT_TRUE(v->data == a || v->data == b) << "round " << round << ": " << v->data.size() << " bytes";
    sawNew += v->data == b;
  }
  EXPECT_GT(sawNew, 0);
  EXPECT_LT(sawNew, kRounds);
}

}  // namespace
}  // namespace vx
