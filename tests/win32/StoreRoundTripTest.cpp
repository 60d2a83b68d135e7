// The stores against the real Windows registry and file system.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <thread>

#include "platform/Clock.h"
#include "platform/Files.h"
#include "platform/Shell.h"
#include "platform/Registry.h"
#include "profiles/DMUnit.h"
#include "profiles/StoreFixture.h"
#include "profiles/kwProfile.h"

namespace vx {
namespace {

class Win32Store : public ::testing::Test {
 protected:
  void SetUp() override {
    SetRegistry(nullptr);  // the real registry
    key = u"Software\\VXMonTest" + IntToWStr(GetCurrentProcessId()) + u"_" + IntToWStr(GetTickCount());
  }
  void TearDown() override {
    RegDeleteTreeW(HKEY_CURRENT_USER, reinterpret_cast<const wchar_t*>(key.c_str()));
  }
  WStr key;
};

TEST_F(Win32Store, ProfileRoundTripThroughTheRegistry) {
  TkwStream s;
  s.SetSize(sizeof(TMouseProfileInfo));
  auto dm = std::make_unique<TDM>();
  dm->kwProfileGame1RestoreToDefault(s);

  TkwProfile writer;
  writer.SetRootKey(HKEY_CURRENT_USER_);
  writer.SetKeyPath(key);
  writer.SetFileName(u"QZ3Profile1.pfd");
  writer.Write(s.Bytes.data(), static_cast<std::int32_t>(s.Size()));
  ASSERT_TRUE(writer.SaveStreamToRegistry());

  // What the registry holds, read with the plain API.
  DWORD type = 0;
  DWORD size = 0;
  ASSERT_EQ(RegGetValueW(HKEY_CURRENT_USER, reinterpret_cast<const wchar_t*>(key.c_str()), L"QZ3Profile1.pfd",
                         RRF_RT_ANY, &type, nullptr, &size),
            ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_BINARY));
  EXPECT_EQ(size, 109816u);

  TkwProfile reader;
  reader.SetRootKey(HKEY_CURRENT_USER_);
  reader.SetKeyPath(key);
  reader.SetFileName(u"qz3profile1.PFD");  // names compare like Windows does
  const TMACROKEYINFO small{};
  reader.Write(&small, sizeof small);
  ASSERT_TRUE(reader.LoadStreamFromRegistry());
  EXPECT_EQ(reader.Stream().Bytes, s.Bytes);

  // A text value read as binary is the read error.
  const wchar_t text[] = L"abc";
  ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, reinterpret_cast<const wchar_t*>(key.c_str()), L"Text", REG_SZ, text,
                            sizeof text),
            ERROR_SUCCESS);
  reader.SetFileName(u"Text");
  EXPECT_THROW(reader.LoadStreamFromRegistry(), VXError);

  // Missing value: false, key still there.
  reader.SetFileName(u"Missing");
  EXPECT_FALSE(reader.LoadStreamFromRegistry());
  EXPECT_TRUE(GetRegistry().DeleteValue(HKEY_CURRENT_USER_, key, u"Text"));
  EXPECT_FALSE(GetRegistry().DeleteValue(HKEY_CURRENT_USER_, key, u"Text"));
}

TEST_F(Win32Store, RegistrySeamKeysTypesAndEmptyValues) {
  IRegistry& reg = GetRegistry();
  ASSERT_TRUE(reg.CreateKey(HKEY_CURRENT_USER_, key + u"\\Sub\\Deeper"));
  EXPECT_TRUE(reg.KeyExists(HKEY_CURRENT_USER_, key + u"\\sub"));
  const std::vector<std::uint8_t> dword = {1, 0, 0, 0};
  ASSERT_TRUE(reg.SetValue(HKEY_CURRENT_USER_, key, u"N", RegType::DWord, dword));
  const auto v = reg.QueryValue(HKEY_CURRENT_USER_, key, u"n");
  ASSERT_TRUE(v);
  EXPECT_EQ(v->type, RegType::DWord);
  EXPECT_EQ(v->data, dword);
  ASSERT_TRUE(reg.SetValue(HKEY_CURRENT_USER_, key, u"Empty", RegType::Binary, {}));
  EXPECT_TRUE(reg.QueryValue(HKEY_CURRENT_USER_, key, u"Empty")->data.empty());
  EXPECT_FALSE(reg.SetValue(HKEY_CURRENT_USER_, key + u"\\NoSuchKey", u"x", RegType::Binary, dword));
  // Listing: both values with their types and bytes, no subkeys.
  const auto all = reg.EnumValues(HKEY_CURRENT_USER_, key);
  ASSERT_TRUE(all);
  ASSERT_EQ(all->size(), 2u);
  for (const auto& nv : *all) {
    EXPECT_TRUE(nv.name == u"N" ? nv.value.type == RegType::DWord && nv.value.data == dword
                                : nv.name == u"Empty" && nv.value.data.empty());
  }
  EXPECT_FALSE(reg.EnumValues(HKEY_CURRENT_USER_, key + u"\\NoSuchKey"));
}

TEST(Win32Files, AtomicWriteReplacesWholeFiles) {
  test::TempDir dir;
  const WStr file = test::W(dir.path()) + u"\\profile.pfd";
  std::vector<std::uint8_t> a(109816, 0xA1);
  std::vector<std::uint8_t> b(892, 0xB2);
  ASSERT_TRUE(WriteFileAtomic(file, a));
  EXPECT_EQ(*ReadWholeFile(file), a);
  ASSERT_TRUE(WriteFileAtomic(file, b));
  EXPECT_EQ(*ReadWholeFile(file), b);
  ASSERT_TRUE(WriteFileAtomic(file, {}));
  EXPECT_TRUE(ReadWholeFile(file)->empty());
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), std::filesystem::directory_iterator()), 1);
  EXPECT_FALSE(WriteFileAtomic(test::W(dir.path()) + u"\\missing\\x.pfd", b));
  EXPECT_FALSE(WriteFileAtomic(test::W(dir.path()) + u"\\", b));
  EXPECT_TRUE(FileExists(file));
  EXPECT_FALSE(DirectoryExists(file));
  EXPECT_TRUE(DirectoryExists(test::W(dir.path())));
  EXPECT_TRUE(CreateDirectoryOneLevel(test::W(dir.path()) + u"\\one\\"));
  EXPECT_FALSE(CreateDirectoryOneLevel(test::W(dir.path()) + u"\\two\\three"));
  EXPECT_FALSE(ReadWholeFile(test::W(dir.path()) + u"\\none"));
  EXPECT_TRUE(DeleteFileAt(file));
  EXPECT_FALSE(FileExists(file));
}

// The configuration application may be reading the value being replaced.
TEST(Win32Files, AtomicWriteWaitsForAReaderToLetGo) {
  test::TempDir dir;
  const WStr file = test::W(dir.path()) + u"\\profile.pfd";
  const std::vector<std::uint8_t> a(30964, 0xA1), b(30964, 0xB2);
  ASSERT_TRUE(WriteFileAtomic(file, a));
  HANDLE reader = CreateFileW(reinterpret_cast<const wchar_t*>(file.c_str()), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE);
  std::thread release([reader] {
    Sleep(150);
    CloseHandle(reader);
  });
  const bool written = WriteFileAtomic(file, b);
  release.join();
  EXPECT_TRUE(written);
  EXPECT_EQ(*ReadWholeFile(file), b);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), std::filesystem::directory_iterator()), 1);
}

TEST(Win32Seams, ShellFoldersAndClock) {
  EXPECT_FALSE(DocumentsFolder().empty());
  const WStr exe = ExecutableFolder();
  ASSERT_FALSE(exe.empty());
  EXPECT_EQ(exe.back(), u'\\');
  EXPECT_TRUE(DirectoryExists(exe));
  const double now = NowAsOleDate();
  EXPECT_GT(now, 45000.0);  // after 2023
  EXPECT_LT(now, 80000.0);
}

}  // namespace
}  // namespace vx
