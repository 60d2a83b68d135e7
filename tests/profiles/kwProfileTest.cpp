#include "profiles/kwProfile.h"

#include <gtest/gtest.h>

#include "platform/Errors.h"
#include "platform/Files.h"
#include "StoreFixture.h"

namespace vx {
namespace {

using test::W;

class KwProfileTest : public test::StoreTest {
 protected:
  void Configure(TkwProfile& p, WView name = u"Value.pfd") {
    p.SetRootKey(HKEY_CURRENT_USER_);
    p.SetKeyPath(u"software\\Vantorgmmouse");
    p.SetFileName(name);
  }
  std::vector<std::uint8_t> Image(std::size_t n, std::uint8_t seed) {
    std::vector<std::uint8_t> v(n);
    for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<std::uint8_t>(seed + i * 7);
    return v;
  }
};

TEST_F(KwProfileTest, WriteKeepsExtraBytesAndRecordsTheStreamSize) {
  TkwProfile p;
  const auto big = Image(109816, 1);
  EXPECT_EQ(p.Write(big.data(), 109816), 109816);
  const auto small = Image(892, 50);
  EXPECT_EQ(p.Write(small.data(), 892), 892);
  EXPECT_EQ(p.Stream().Size(), 109816u);
  EXPECT_EQ(p.Size(), 109816);
  EXPECT_EQ(p.Stream().Bytes[891], small[891]);
  EXPECT_EQ(p.Stream().Bytes[892], big[892]);
}

TEST_F(KwProfileTest, ReadCopiesAtMostTheStream) {
  TkwProfile p;
  const auto img = Image(10, 3);
  p.Write(img.data(), 10);
  std::vector<std::uint8_t> out(20, 0xEE);
  EXPECT_EQ(p.Read(out.data(), 20), 10);
  EXPECT_TRUE(std::equal(img.begin(), img.end(), out.begin()));
  EXPECT_EQ(out[10], 0xEE);  // the rest of the buffer is untouched
  EXPECT_EQ(p.Read(out.data(), 4), 4);
}

TEST_F(KwProfileTest, SizePropertyResizesOnlyOnChange) {
  TkwProfile p;
  const auto img = Image(8, 1);
  p.Write(img.data(), 8);
  p.Stream().Position = 5;
  p.SetSize(8);  // same as FSize: nothing happens
  EXPECT_EQ(p.Stream().Position, 5u);
  p.SetSize(4);
  EXPECT_EQ(p.Stream().Size(), 4u);
  EXPECT_EQ(p.Stream().Position, 0u);
  EXPECT_EQ(p.Size(), 4);
}

TEST_F(KwProfileTest, RegistryOperationsNeedRootKeyPathAndName) {
  struct Case {
    RegRoot root;
    const char16_t* key;
    const char16_t* name;
  };
  const Case cases[] = {{0, u"software\\Vantorgmmouse", u"A"},
                        {0x80000003u, u"software\\Vantorgmmouse", u"A"},
                        {HKEY_CURRENT_USER_, u"", u"A"},
                        {HKEY_CURRENT_USER_, u"software\\Vantorgmmouse", u""}};
  for (const auto& c : cases) {
    TkwProfile p;
    p.SetRootKey(c.root);
    p.SetKeyPath(c.key);
    p.SetFileName(c.name);
    const auto img = Image(4, 1);
    p.Write(img.data(), 4);
    EXPECT_FALSE(p.SaveStreamToRegistry());
    EXPECT_FALSE(p.LoadStreamFromRegistry());
  }
  // Nothing was created: not even the key.
  EXPECT_FALSE(registry->KeyExists(HKEY_CURRENT_USER_, u"software\\Vantorgmmouse"));
}

TEST_F(KwProfileTest, RegistryRoundTripAndSizes) {
  TkwProfile writer;
  Configure(writer);
  const auto img = Image(30964, 9);
  writer.Write(img.data(), static_cast<std::int32_t>(img.size()));
  ASSERT_TRUE(writer.SaveStreamToRegistry());
  ASSERT_EQ(Stored(u"Value.pfd")->type, RegType::Binary);
  EXPECT_EQ(Stored(u"Value.pfd")->data, img);

  // A larger stream shrinks to the stored size.
  TkwProfile reader;
  Configure(reader);
  const auto big = Image(109816, 2);
  reader.Write(big.data(), static_cast<std::int32_t>(big.size()));
  ASSERT_TRUE(reader.LoadStreamFromRegistry());
  EXPECT_EQ(reader.Stream().Bytes, img);
  EXPECT_EQ(reader.Size(), 109816);  // loads leave FSize alone

  // Same size: read over the content in place.
  const auto other = Image(30964, 77);
  reader.Write(other.data(), static_cast<std::int32_t>(other.size()));
  ASSERT_TRUE(reader.LoadStreamFromRegistry());
  EXPECT_EQ(reader.Stream().Bytes, img);
}

TEST_F(KwProfileTest, ZeroLengthValueLoadsAsEmptyStream) {
  Store(u"Empty.pfd", {});
  TkwProfile p;
  Configure(p, u"Empty.pfd");
  const auto img = Image(892, 4);
  p.Write(img.data(), 892);
  ASSERT_TRUE(p.LoadStreamFromRegistry());
  EXPECT_EQ(p.Stream().Size(), 0u);
  std::vector<std::uint8_t> out(8, 0xAB);
  EXPECT_EQ(p.Read(out.data(), 8), 0);
  EXPECT_EQ(out, std::vector<std::uint8_t>(8, 0xAB));
}

TEST_F(KwProfileTest, MissingValueFailsButCreatesTheKey) {
  TkwProfile p;
  Configure(p, u"Missing.pfd");
  const auto img = Image(16, 4);
  p.Write(img.data(), 16);
  EXPECT_FALSE(p.LoadStreamFromRegistry());
  EXPECT_TRUE(registry->KeyExists(HKEY_CURRENT_USER_, u"software\\Vantorgmmouse"));
  EXPECT_EQ(p.Stream().Bytes, img);
}

TEST_F(KwProfileTest, TextAndNumberValuesRaiseTheReadError) {
  for (RegType t : {RegType::String, RegType::ExpandString, RegType::DWord}) {
    Store(u"Typed.pfd", {1, 0, 0, 0}, t);
    TkwProfile p;
    Configure(p, u"Typed.pfd");
    const auto img = Image(16, 4);
    p.Write(img.data(), 16);
    try {
      p.LoadStreamFromRegistry();
      ADD_FAILURE() << "no error for type " << static_cast<int>(t);
    } catch (const VXError& e) {
      EXPECT_EQ(e.kind(), VXError::Kind::RegistryRead);
    }
    EXPECT_EQ(p.Stream().Bytes, img);  // raised before the stream changed
  }
  // Other types read as bytes.
  Store(u"Typed.pfd", {1, 2, 3}, RegType::MultiString);
  TkwProfile p;
  Configure(p, u"Typed.pfd");
  EXPECT_TRUE(p.LoadStreamFromRegistry());
  EXPECT_EQ(p.Stream().Bytes, (std::vector<std::uint8_t>{1, 2, 3}));
}

TEST_F(KwProfileTest, HooksVetoAndFollow) {
  TkwProfile p;
  Configure(p);
  const auto img = Image(32, 1);
  p.Write(img.data(), 32);
  int after = 0;
  p.OnBeforeSaveToRegistry = [](TkwStream&, bool& go) { go = false; };
  p.OnAfterSaveToRegistry = [&](TkwStream&) { ++after; };
  EXPECT_FALSE(p.SaveStreamToRegistry());
  EXPECT_FALSE(Stored(u"Value.pfd").has_value());
  EXPECT_EQ(after, 0);

  p.OnBeforeSaveToRegistry = [](TkwStream&, bool& go) { EXPECT_TRUE(go); };
  EXPECT_TRUE(p.SaveStreamToRegistry());
  EXPECT_EQ(after, 1);

  int loaded = 0;
  p.OnAfterLoadFromRegistry = [&](TkwStream& s) { loaded = static_cast<int>(s.Size()); };
  p.OnBeforeLoadFromRegistry = [](TkwStream&, bool& go) { go = false; };
  EXPECT_FALSE(p.LoadStreamFromRegistry());
  EXPECT_EQ(loaded, 0);
  p.OnBeforeLoadFromRegistry = nullptr;
  EXPECT_TRUE(p.LoadStreamFromRegistry());
  EXPECT_EQ(loaded, 32);

  int restored = 0;
  p.RestoreToDefault();  // unassigned: nothing
  p.OnRestoreToDefault = [&](TkwStream& s) { restored = static_cast<int>(s.Size()); };
  p.RestoreToDefault();
  EXPECT_EQ(restored, 32);
}

TEST_F(KwProfileTest, FilePathTakesOnlyExistingFolders) {
  TkwProfile p;
  const WStr docs = W(dir.path() / "Documents");
  p.SetFilePath(docs);
  EXPECT_EQ(p.FilePath(), docs + u"\\");
  p.SetFilePath(W(dir.path() / "nowhere"));
  EXPECT_EQ(p.FilePath(), docs + u"\\");
}

TEST_F(KwProfileTest, FileRoundTripWritesExactBytes) {
  TkwProfile p;
  p.SetFilePath(W(dir.path() / "Documents"));
  p.SetFileName(u"Slot.pfd");
  const auto img = Image(109816, 5);
  p.Write(img.data(), static_cast<std::int32_t>(img.size()));
  int saved = 0;
  p.OnAfterSaveToFile = [&](TkwStream&) { ++saved; };
  ASSERT_TRUE(p.SaveStreamToFile());
  EXPECT_EQ(saved, 1);
  const WStr file = W(dir.path() / "Documents") + u"\\Slot.pfd";
  EXPECT_EQ(*ReadWholeFile(file), img);
  // No temporary file is left beside it.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path() / "Documents"),
                          std::filesystem::directory_iterator()),
            1);

  TkwProfile q;
  q.SetFilePath(W(dir.path() / "Documents"));
  q.SetFileName(u"Slot.pfd");
  ASSERT_TRUE(q.LoadStreamFromFile());
  EXPECT_EQ(q.Stream().Bytes, img);
  TkwProfile r;
  ASSERT_TRUE(r.LoadStreamFromFile(file));
  EXPECT_EQ(r.Stream().Bytes, img);
  EXPECT_TRUE(r.FileName().empty());  // the path form leaves the names alone
}

TEST_F(KwProfileTest, FileOperationsFailWithoutPathOrFile) {
  TkwProfile p;
  p.SetFileName(u"x.pfd");
  EXPECT_FALSE(p.SaveStreamToFile());
  EXPECT_FALSE(p.LoadStreamFromFile());
  EXPECT_FALSE(p.LoadStreamFromFile(W(dir.path() / "missing.pfd")));
  p.SetFilePath(W(dir.path()));
  EXPECT_FALSE(p.LoadStreamFromFile());
  p.OnBeforeSaveToFile = [](TkwStream&, bool& go) { go = false; };
  EXPECT_FALSE(p.SaveStreamToFile());
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "x.pfd"));
}

TEST_F(KwProfileTest, SaveToPathCreatesOneFolderLevel) {
  TkwProfile p;
  const auto img = Image(10, 1);
  p.Write(img.data(), 10);
  EXPECT_TRUE(p.SaveStreamToFile(W(dir.path() / "new") + u"\\a.pfd"));
  EXPECT_EQ(std::filesystem::file_size(dir.path() / "new" / "a.pfd"), 10u);
  EXPECT_FALSE(p.SaveStreamToFile(W(dir.path() / "x" / "y") + u"\\a.pfd"));
  EXPECT_TRUE(p.FilePath().empty());
}

TEST_F(KwProfileTest, UnwritableTargetRaisesTheCreateError) {
  TkwProfile p;
  const auto img = Image(10, 1);
  p.Write(img.data(), 10);
  std::filesystem::create_directories(dir.path() / "blocked.pfd");  // a folder where the file should go
  try {
    p.SaveStreamToFile(W(dir.path()) + u"\\blocked.pfd");
    ADD_FAILURE() << "no error";
  } catch (const VXError& e) {
    EXPECT_EQ(e.kind(), VXError::Kind::FileCreate);
  }
}

TEST_F(KwProfileTest, PreSaveSplitsThePath) {
  TkwProfile p;
  const WStr folder = W(dir.path() / "pre");
  EXPECT_TRUE(p.PreSaveStreamToFile(folder + u"\\name.pfd"));
  EXPECT_EQ(p.FilePath(), folder + u"\\");
  EXPECT_EQ(p.FileName(), u"name.pfd");
  EXPECT_TRUE(std::filesystem::is_directory(dir.path() / "pre"));
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "pre" / "name.pfd"));
  EXPECT_FALSE(p.PreSaveStreamToFile(W(dir.path() / "a" / "b") + u"\\n.pfd"));
}

}  // namespace
}  // namespace vx
