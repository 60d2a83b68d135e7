#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "platform/Registry.h"
#include "profiles/StoreFixture.h"

namespace vx {
namespace {

namespace fs = std::filesystem;
constexpr RegRoot HKCU = HKEY_CURRENT_USER_;

std::vector<std::uint8_t> B(std::initializer_list<std::uint8_t> b) { return b; }

class DirRegistryTest : public ::testing::Test {
 protected:
  test::TempDir dir;
  DirRegistry reg{test::U8(dir.path())};
  std::set<std::string> Files(const fs::path& folder) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.insert(test::U8(e.path().filename()));
    return names;
  }
};

TEST_F(DirRegistryTest, KeysAreFoldersAndValuesAreFilesOfTheirBytes) {
  ASSERT_TRUE(reg.CreateKey(HKCU, u"software\\Vantorgmmouse"));
  ASSERT_TRUE(reg.SetValue(HKCU, u"software\\Vantorgmmouse", u"QZ3PROFILE.pfd", RegType::Binary, B({1, 2, 3})));
  const fs::path key = dir.path() / "HKEY_CURRENT_USER" / "software" / "Vantorgmmouse";
  EXPECT_EQ(Files(key), (std::set<std::string>{"QZ3PROFILE.pfd=REG_BINARY"}));
  EXPECT_EQ(fs::file_size(key / "QZ3PROFILE.pfd=REG_BINARY"), 3u);
  const auto v = reg.QueryValue(HKCU, u"software\\Vantorgmmouse", u"QZ3PROFILE.pfd");
  ASSERT_TRUE(v);
  EXPECT_EQ(v->type, RegType::Binary);
  EXPECT_EQ(v->data, B({1, 2, 3}));
}

TEST_F(DirRegistryTest, TypesAreKept) {
  ASSERT_TRUE(reg.CreateKey(HKCU, u"k"));
  const RegType types[] = {RegType::None,  RegType::String,      RegType::ExpandString, RegType::Binary,
                           RegType::DWord, RegType::MultiString, RegType::QWord,        static_cast<RegType>(42)};
  for (RegType t : types) {
    ASSERT_TRUE(reg.SetValue(HKCU, u"k", u"v", t, B({9})));
    const auto v = reg.QueryValue(HKCU, u"k", u"v");
    ASSERT_TRUE(v);
    EXPECT_EQ(v->type, t);
    // Changing the type leaves exactly one file.
    EXPECT_EQ(Files(dir.path() / "HKEY_CURRENT_USER" / "k").size(), 1u);
  }
}

TEST_F(DirRegistryTest, NamesCompareCaseInsensitivelyAndKeepFirstSpelling) {
  ASSERT_TRUE(reg.CreateKey(HKCU, u"Software\\Vendor"));
  EXPECT_TRUE(reg.KeyExists(HKCU, u"SOFTWARE\\vendor"));
  ASSERT_TRUE(reg.CreateKey(HKCU, u"software\\VENDOR\\Sub"));
  EXPECT_EQ(Files(dir.path() / "HKEY_CURRENT_USER"), (std::set<std::string>{"Software"}));
  EXPECT_EQ(Files(dir.path() / "HKEY_CURRENT_USER" / "Software"), (std::set<std::string>{"Vendor"}));
  ASSERT_TRUE(reg.SetValue(HKCU, u"software\\vendor", u"Value", RegType::Binary, B({1})));
  ASSERT_TRUE(reg.SetValue(HKCU, u"software\\vendor", u"VALUE", RegType::Binary, B({2})));
  EXPECT_EQ(reg.QueryValue(HKCU, u"Software\\Vendor", u"value")->data, B({2}));
  EXPECT_TRUE(Files(dir.path() / "HKEY_CURRENT_USER" / "Software" / "Vendor").count("Value=REG_BINARY"));
  EXPECT_TRUE(reg.DeleteValue(HKCU, u"software\\vendor", u"vAlUe"));
  EXPECT_FALSE(reg.QueryValue(HKCU, u"software\\vendor", u"value"));
  EXPECT_FALSE(reg.DeleteValue(HKCU, u"software\\vendor", u"value"));
}

TEST_F(DirRegistryTest, MissingKeysAndRoots) {
  EXPECT_FALSE(reg.KeyExists(HKCU, u"nothing"));
  EXPECT_FALSE(reg.QueryValue(HKCU, u"nothing", u"v"));
  EXPECT_FALSE(reg.SetValue(HKCU, u"nothing", u"v", RegType::Binary, B({1})));  // keys are created first
  EXPECT_FALSE(reg.CreateKey(0, u"k"));
  EXPECT_FALSE(reg.CreateKey(0x80000003u, u"k"));
  EXPECT_TRUE(reg.CreateKey(HKEY_LOCAL_MACHINE_, u"k"));
  EXPECT_FALSE(reg.KeyExists(HKCU, u"k"));
}

TEST_F(DirRegistryTest, AwkwardNamesAreEscapedAndRoundTrip) {
  ASSERT_TRUE(reg.CreateKey(HKCU, u"k"));
  const WStr names[] = {u"a/b", u"..", u".", u"x=y", u"100%", u"tail.", u"", u"\u4E2D\u6587", u"c:\\d", u"q?*<>|\""};
  for (const auto& n : names) {
    ASSERT_TRUE(reg.SetValue(HKCU, u"k", n, RegType::Binary, std::vector<std::uint8_t>(n.size() + 1, 7))) << ToUtf8(n);
  }
  for (const auto& n : names) {
    const auto v = reg.QueryValue(HKCU, u"k", n);
    ASSERT_TRUE(v) << ToUtf8(n);
    EXPECT_EQ(v->data.size(), n.size() + 1) << ToUtf8(n);
  }
  // Everything stayed inside the key folder.
  EXPECT_EQ(Files(dir.path() / "HKEY_CURRENT_USER" / "k").size(), std::size(names));
  EXPECT_EQ(Files(dir.path() / "HKEY_CURRENT_USER"), (std::set<std::string>{"k"}));
}

TEST_F(DirRegistryTest, WritesReplaceAtomically) {
  ASSERT_TRUE(reg.CreateKey(HKCU, u"k"));
  ASSERT_TRUE(reg.SetValue(HKCU, u"k", u"v", RegType::Binary, std::vector<std::uint8_t>(30964, 1)));
  // An interrupted write leaves a temporary file; it is never taken for a value.
  const fs::path key = dir.path() / "HKEY_CURRENT_USER" / "k";
  { std::ofstream(key / "v=REG_BINARY.tmp123") << "half"; }
  ASSERT_TRUE(reg.SetValue(HKCU, u"k", u"v", RegType::Binary, std::vector<std::uint8_t>(30954, 2)));
  const auto v = reg.QueryValue(HKCU, u"k", u"v");
  EXPECT_EQ(v->data, std::vector<std::uint8_t>(30954, 2));
  EXPECT_FALSE(reg.QueryValue(HKCU, u"k", u"v=REG_BINARY.tmp123"));
  // Only our leftover remains beside the value.
  EXPECT_EQ(Files(key), (std::set<std::string>{"v=REG_BINARY", "v=REG_BINARY.tmp123"}));
}

TEST_F(DirRegistryTest, EmptyValue) {
  ASSERT_TRUE(reg.CreateKey(HKCU, u"k"));
  ASSERT_TRUE(reg.SetValue(HKCU, u"k", u"e", RegType::Binary, {}));
  const auto v = reg.QueryValue(HKCU, u"k", u"e");
  ASSERT_TRUE(v);
  EXPECT_TRUE(v->data.empty());
}

TEST(RegistrySelection, SetRegistryReplacesAndRestores) {
  test::TempDir dir;
  DirRegistry mine(test::U8(dir.path()));
  SetRegistry(&mine);
  EXPECT_EQ(&GetRegistry(), &mine);
  SetRegistry(nullptr);
  EXPECT_EQ(&GetRegistry(), &PlatformRegistry());
}

}  // namespace
}  // namespace vx
