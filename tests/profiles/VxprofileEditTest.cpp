// The vxprofile commands that change stored data, run in-process over a
// directory registry: button assignments, refusals, backup and restore, and
// the write to a virtual mouse.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>

#include "app/AppFakes.h"
#include "device/DeviceTestSupport.h"
#include "platform/Files.h"
#include "platform/HookLibrary.h"
#include "platform/VirtualHidBus.h"
#include "profiles/DMUnit.h"
#include "profiles/StoreFixture.h"
#include "tools/vxprofile/Commands.h"
#include "tools/vxprofile/Doctor.h"
#include "tools/vxprofile/ZipWriter.h"
#include "tools/vxprofile/ProfileEdit.h"

namespace vx::test {
namespace {

namespace fs = std::filesystem;

struct Outcome {
  int rc;
  std::string out, err;
};

std::vector<std::uint8_t> FileBytes(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  std::vector<std::uint8_t> b(f ? static_cast<std::size_t>(fs::file_size(p)) : 0);
  f.read(reinterpret_cast<char*>(b.data()), static_cast<std::streamsize>(b.size()));
  return b;
}

class VxprofileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetNowSource([] { return kFixedNow; });
    SetSystemDefaultLangIDSource([] { return static_cast<std::uint16_t>(0x0409); });
    cli::SetCliWindows(&windows);
    ASSERT_EQ(Vx({"init"}).rc, 0);
    // Every slot stored, so "before" is on disk.
    DirRegistry reg(U8(dir.path() / "registry"));
    SetRegistry(&reg);
    SetDocumentsFolderOverride(W(dir.path() / "Documents"));
    {
      auto dm = std::make_unique<TDM>();
      dm->RunCreationSequence();
      dm->SaveBackAllProfileInfo();
    }
    SetRegistry(nullptr);
    SetDocumentsFolderOverride({});
  }
  void TearDown() override {
    cli::SetCliWindows(nullptr);
    SetHidBus(nullptr);
    SetNowSource(nullptr);
    SetSystemDefaultLangIDSource(nullptr);
  }

  Outcome Vx(std::vector<std::string> args, const fs::path& store = {}) {
    args.insert(args.begin(), {"--store", U8(store.empty() ? dir.path() : store)});
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    const int rc = cli::Run(args);
    std::string out = ::testing::internal::GetCapturedStdout();
    return {rc, out, ::testing::internal::GetCapturedStderr()};
  }
  fs::path Key(const fs::path& store = {}) const {
    return (store.empty() ? dir.path() : store) / "registry/HKEY_CURRENT_USER/software/Vantorgmmouse";
  }
  std::unique_ptr<TMouseProfileInfo> Slot(int i) {
    auto p = std::make_unique<TMouseProfileInfo>();
    const auto b = FileBytes(Key() / ("QZ3Profile" + std::to_string(i + 1) + ".pfd=REG_BINARY"));
    EXPECT_EQ(b.size(), sizeof *p);
    if (b.size() == sizeof *p) std::memcpy(p.get(), b.data(), b.size());
    return p;
  }
  // Every file below a folder, by relative path.
  static std::map<std::string, std::vector<std::uint8_t>> Snapshot(const fs::path& root) {
    std::map<std::string, std::vector<std::uint8_t>> files;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
      if (e.is_regular_file()) files[U8(fs::relative(e.path(), root))] = FileBytes(e.path());
    }
    return files;
  }
  std::string MacroFolder() const { return U8(dir.path() / "Documents/Gaming Mouse Vantor/QZ3Profile1_Macros"); }

  TempDir dir;
  FakeWindowSystem windows;
};

using Expect = std::function<void(TBUTTONFUNCINFO& b, const TMouseProfileInfo& defaults)>;

void Fields(TBUTTONFUNCINFO& b, int type, int cls, int code, int id) {
  b.FunctionType = static_cast<std::uint16_t>(type);
  b.FunctionClass = static_cast<std::uint8_t>(cls);
  b.DeviceCode = code;
  b.FunctionID = id;
}

TEST_F(VxprofileTest, EveryAssignmentFormGivesTheDefaultBytesOfItsType) {
  const auto like = [](int j) {  // a default button's record, moved to this button
    return [j](TBUTTONFUNCINFO& b, const TMouseProfileInfo& d) { b = d.ConfigInfo.ButtonFuncInfo[j]; };
  };
  struct Row {
    std::vector<std::string> args;
    int button;
    Expect expect;
  };
  const std::vector<Row> rows = {
      {{"key", "LCTRL"}, 0, like(3)},
      {{"play"}, 1, like(6)},
      {{"function", "1"}, 8, like(0)},
      {{"function", "8"}, 0, like(8)},
      {{"record"}, 2,
       [&](TBUTTONFUNCINFO& b, const TMouseProfileInfo& d) {
         like(7)(b, d);
         b.ReportMask[0] = 0x04;
       }},
      {{"macro", "0"}, 9,
       [&](TBUTTONFUNCINFO& b, const TMouseProfileInfo& d) {
         like(6)(b, d);
         Fields(b, 29, 4, 17, 11);
       }},
      {{"mute"}, 9,
       [](TBUTTONFUNCINFO& b, const TMouseProfileInfo&) {
         Fields(b, 28, 11, 19, 1008);
         b.ReportMask[1] = 0x02;
       }},
      {{"combo", "ctrl+shift+S"}, 8,
       [](TBUTTONFUNCINFO& b, const TMouseProfileInfo&) {
         Fields(b, 6, 0, 15, 7);
         b.ComboKey = {0x53, 0, 0, 0, 6};
       }},
      {{"key", "PAGEUP"}, 2,
       [](TBUTTONFUNCINFO& b, const TMouseProfileInfo&) {
         Fields(b, 5, 8, 16, 6);
         b.SingleKey = 0x21;
         b.SingleKeyExtended = 1;
       }},
      {{"key", "numpad7"}, 3, [](TBUTTONFUNCINFO& b, const TMouseProfileInfo&) { b.SingleKey = 0x67; }},
      {{"key", "0xA3"}, 4,
       [](TBUTTONFUNCINFO& b, const TMouseProfileInfo&) {
         b.SingleKey = 0xA3;
         b.SingleKeyExtended = 1;
       }},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.args[0] + " on button " + std::to_string(row.button));
    const auto before = Slot(0);
    std::vector<std::string> args = {"button", "set", std::to_string(row.button)};
    args.insert(args.end(), row.args.begin(), row.args.end());
    const Outcome o = Vx(args);
    ASSERT_EQ(o.rc, 0) << o.err;
    auto expected = std::make_unique<TMouseProfileInfo>(*before);
    TBUTTONFUNCINFO& b = expected->ConfigInfo.ButtonFuncInfo[row.button];
    row.expect(b, *before);
    b.ButtonIndex = static_cast<std::uint16_t>(row.button);
    const auto after = Slot(0);
    EXPECT_EQ(FirstDiff(Bytes(*after), Bytes(*expected)), std::string::npos);
    // The next row starts from the defaults again.
    const auto* raw = reinterpret_cast<const std::uint8_t*>(before.get());
    ASSERT_TRUE(WriteFileAtomic(W(Key() / "QZ3Profile1.pfd=REG_BINARY"),
                                std::vector<std::uint8_t>(raw, raw + sizeof *before)));
  }
}

std::uint32_t Crc(const std::vector<std::uint8_t>& b, std::size_t n) {
  std::uint32_t c = 0xFFFFFFFFu;
  for (std::size_t i = 0; i < n; ++i) {
    c ^= b[i];
    for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
  }
  return ~c;
}

struct BakEntry {
  std::uint8_t kind;  // 1 value, 2 below the documents folder, 3 full path
  std::uint32_t type;
  std::string name;
  std::vector<std::uint8_t> data;
};

// A backup file byte by byte, as README's table gives it.
void WriteBak(const fs::path& p, const std::vector<BakEntry>& entries) {
  std::vector<std::uint8_t> b = {'V', 'X', 'M', 'O', 'N', 'B', 'A', 'K'};
  const auto add = [&](std::uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  };
  add(1);
  add(static_cast<std::uint32_t>(entries.size()));
  for (const auto& e : entries) {
    b.push_back(e.kind);
    add(e.type);
    add(static_cast<std::uint32_t>(e.name.size()));
    b.insert(b.end(), e.name.begin(), e.name.end());
    add(static_cast<std::uint32_t>(e.data.size()));
    b.insert(b.end(), e.data.begin(), e.data.end());
  }
  add(Crc(b, b.size()));
  ASSERT_TRUE(WriteFileAtomic(W(p), b));
}

TEST_F(VxprofileTest, RefusedChangesExitTwoAndChangeNothing) {
  const fs::path t = dir.path() / "files";
  fs::create_directories(t);
  ASSERT_EQ(Vx({"macro", "export", "0", U8(t / "good.macro")}).rc, 0);
  auto macro = FileBytes(t / "good.macro");
  ASSERT_EQ(macro.size(), 892u);
  Put32(macro, 880, 258);  // Version
  ASSERT_TRUE(WriteFileAtomic(W(t / "old.macro"), macro));
  macro.resize(600);
  ASSERT_TRUE(WriteFileAtomic(W(t / "short.macro"), macro));
  ASSERT_EQ(Vx({"backup", U8(t / "b.vxbak")}).rc, 0);
  auto backup = FileBytes(t / "b.vxbak");
  backup[40] ^= 1;
  ASSERT_TRUE(WriteFileAtomic(W(t / "damaged.vxbak"), backup));
  backup[40] ^= 1;
  Put32(backup, 8, 2);  // format version
  Put32(backup, backup.size() - 4, Crc(backup, backup.size() - 4));
  ASSERT_TRUE(WriteFileAtomic(W(t / "future.vxbak"), backup));
  Put32(backup, 8, 1);
  const auto sealed = [&](std::vector<std::uint8_t> b) {
    Put32(b, b.size() - 4, Crc(b, b.size() - 4));
    return b;
  };
  auto longName = backup;
  Put32(longName, 21, 0xFFFFFFF0u);  // the first entry's name length
  ASSERT_TRUE(WriteFileAtomic(W(t / "longname.vxbak"), sealed(longName)));
  auto trailing = backup;
  trailing.insert(trailing.end() - 4, {0, 0, 0});
  ASSERT_TRUE(WriteFileAtomic(W(t / "trailing.vxbak"), sealed(trailing)));
  // A file no record names, and a plain file where a folder would have to be.
  const fs::path documents = dir.path() / "Documents";
  ASSERT_TRUE(WriteFileAtomic(W(documents / "precious.pfd"), std::vector<std::uint8_t>{'o', 'l', 'd'}));
  ASSERT_TRUE(WriteFileAtomic(W(documents / "blocker.pfd"), std::vector<std::uint8_t>{'b'}));
  WriteBak(t / "blocked.vxbak", {{2, 0, "precious.pfd", {'n', 'e', 'w'}}, {2, 0, "blocker.pfd\\x.pfd", {'x'}}});
  WriteBak(t / "escape.vxbak", {{3, 0, "../../escape.pfd", {'x'}}});
  WriteBak(t / "elsewhere.vxbak", {{3, 0, U8(dir.path() / "elsewhere.pfd"), {'x'}}});
  WriteBak(t / "up.vxbak", {{2, 0, "Gaming Mouse Vantor/../../up.pfd", {'x'}}});
  WriteBak(t / "device.vxbak", {{2, 0, "Gaming Mouse Vantor/com1.pfd", {'x'}}});
  const auto all = FileBytes(Key() / "QZ3PROFILE.pfd=REG_BINARY");
  WriteBak(t / "text.vxbak", {{1, 1, "QZ3PROFILE.pfd", all}});
  WriteBak(t / "binaryid.vxbak", {{1, 3, "ProfileID", {1, 0, 0, 0}}});
  WriteBak(t / "one.vxbak", {{1, 3, "QZ3PROFILE.pfd", all}});
  WriteBak(t / "twice.vxbak", {{1, 3, "QZ3PROFILE.pfd", all}, {1, 3, "qz3profile.PFD", all}});
  WriteBak(t / "twicefile.vxbak", {{2, 0, "a.pfd", {'x'}}, {2, 0, "A.PFD", {'y'}}});
  // Relative full paths would be taken from the current folder.
  fs::create_directories(dir.path() / "a/b");
  const fs::path cwd = fs::current_path();
  fs::current_path(dir.path() / "a/b");

  struct Row {
    std::vector<std::string> args;
    const char* says;
    bool configRunning = false;
    const char* blocked = nullptr;  // a value file replaced by a non-empty folder
  };
  const std::vector<Row> rows = {
      {{"button", "set", "3", "key", "NOSUCHKEY"}, "unknown key name"},
      {{"button", "set", "3", "key", "BROWSER_BACK"}, "no keyboard code"},
      {{"button", "set", "10", "play"}, "not 0 to 9"},
      {{"button", "set", "0", "macro", "21"}, "not 0 to 20"},
      {{"button", "set", "0", "macro", "1"}, "has no macro 1"},
      {{"button", "set", "0", "combo", "S"}, "at least one modifier"},
      {{"button", "set", "0", "jump"}, "valid assignments: key NAME"},
      {{"macro", "import", U8(t / "old.macro")}, "known version"},
      {{"macro", "import", U8(t / "short.macro")}, "damaged"},
      {{"macro", "import", U8(t / "good.macro"), "--as", "21"}, "--as takes"},
      {{"macro", "import", U8(t / "good.macro"), "--as", "2"}, "holds 1 macros"},
      {{"macro", "delete", "0"}, "assigned to button 6"},
      {{"profile", "switch", "2"}, "not 0 or 1"},
      {{"restore", U8(t / "damaged.vxbak")}, "damaged"},
      {{"restore", U8(t / "future.vxbak")}, "format version 2"},
      {{"restore", U8(t / "longname.vxbak")}, "entry 0 is cut short"},
      {{"restore", U8(t / "trailing.vxbak")}, "bytes after the last entry"},
      {{"restore", U8(t / "twice.vxbak")}, "names qz3profile.PFD twice"},
      {{"restore", U8(t / "twicefile.vxbak")}, "names A.PFD twice"},
      {{"restore", U8(t / "blocked.vxbak")}, "the previous data was put back"},
      {{"restore", U8(t / "escape.vxbak")}, "not a file a restore may write"},
      {{"restore", U8(t / "elsewhere.vxbak")}, "not a file a restore may write"},
      {{"restore", U8(t / "up.vxbak")}, "not a file a restore may write"},
      {{"restore", U8(t / "device.vxbak")}, "not a file a restore may write"},
      {{"restore", U8(t / "text.vxbak")}, "type 1, not REG_BINARY"},
      {{"restore", U8(t / "binaryid.vxbak")}, "type 3, not REG_DWORD"},
      {{"restore", "--write", U8(t / "one.vxbak")}, "none is present"},
      {{"button", "set", "3", "key", "A", "--write"}, "none is present"},
      {{"button", "set", "3", "key", "A", "--slot", "2", "--write"}, "onboard profiles 0 and 1"},
      {{"button", "set", "3", "key", "A"}, "configuration application is running", true},
      {{"restore", U8(t / "b.vxbak")}, "configuration application is running", true},
      {{"button", "set", "3", "key", "F5"}, "\"QZ3Profile1.pfd\" could not be written", false, "QZ3Profile1.pfd"},
      {{"macro", "import", U8(t / "good.macro")}, "\"QZ3Profile1.pfd\" could not be written", false, "QZ3Profile1.pfd"},
      {{"profile", "switch", "1"}, "\"QZ3ProfileSettingGroup.pfd\" could not be written", false, "QZ3ProfileSettingGroup.pfd"},
      {{"profile", "assign", "0", "2"}, "\"QZ3PROFILE.pfd\" could not be written", false, "QZ3PROFILE.pfd"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.args[0] + " " + row.args[1] + " " + row.args.back());
    windows.byClass.clear();
    windows.byClass[u"TVXMonMain"] = 9;
    if (row.configRunning) windows.byClass[u"TVXCfgMain"] = 7;
    const fs::path blocked = Key() / (std::string(row.blocked ? row.blocked : "") + "=REG_BINARY");
    const auto kept = FileBytes(blocked);
    if (row.blocked) {
      fs::remove(blocked);
      fs::create_directories(blocked);
      ASSERT_TRUE(WriteFileAtomic(W(blocked / "x"), std::vector<std::uint8_t>{1}));
    }
    const auto before = Snapshot(dir.path() / "registry");
    const auto docs = Snapshot(dir.path() / "Documents");
    const Outcome o = Vx(row.args);
    EXPECT_EQ(o.rc, 2);
    EXPECT_NE(o.err.find(row.says), std::string::npos) << o.err;
    EXPECT_EQ(std::count(o.err.begin(), o.err.end(), '\n'), 1) << o.err;
    EXPECT_TRUE(before == Snapshot(dir.path() / "registry"));
    EXPECT_TRUE(docs == Snapshot(dir.path() / "Documents"));
    EXPECT_TRUE(windows.TakePosted(9).empty());  // no monitor told
    if (row.blocked) {
      fs::remove_all(blocked);
      ASSERT_TRUE(WriteFileAtomic(W(blocked), kept));
    }
  }
  fs::current_path(cwd);
  EXPECT_FALSE(fs::exists(dir.path() / "escape.pfd"));
  EXPECT_FALSE(fs::exists(dir.path() / "elsewhere.pfd"));
  // The automatic backup of the failed restore holds the file it replaced.
  int holding = 0;
  for (const auto& e : fs::directory_iterator(t)) {
    if (U8(e.path().filename()).starts_with("blocked.vxbak.before-restore-")) {
      const auto b = FileBytes(e.path());
      holding += std::search(b.begin(), b.end(), std::begin("precious.pfd"), std::end("precious.pfd") - 1) != b.end();
    }
  }
  EXPECT_EQ(holding, 1);
  // With --force the same edit goes through, and the monitor is told.
  windows.byClass[u"TVXMonMain"] = 9;
  ASSERT_TRUE(WriteFileAtomic(W(Key() / "ProfileID=REG_DWORD"), std::vector<std::uint8_t>{1, 0, 0, 0}));
  const Outcome forced = Vx({"button", "set", "3", "key", "A", "--force"});
  EXPECT_EQ(forced.rc, 0) << forced.err;
  EXPECT_EQ(Slot(0)->ConfigInfo.ButtonFuncInfo[3].SingleKey, 0x41);
  const auto posted = windows.TakePosted(9);
  ASSERT_EQ(posted.size(), 1u);
  EXPECT_EQ(posted[0].msg, 7035u);
  EXPECT_EQ(posted[0].lparam, 1);  // the stored ProfileID, so it stays
}

TEST_F(VxprofileTest, BackupRestoresByteIdenticalIntoAnEmptyStore) {
  const fs::path t = dir.path() / "files";
  fs::create_directories(t);
  ASSERT_EQ(Vx({"macro", "export", "0", MacroFolder() + "/User Recorded.macro"}).rc, 0);
  ASSERT_EQ(Vx({"macro", "import", MacroFolder() + "/User Recorded.macro"}).rc, 0);
  ASSERT_EQ(Vx({"button", "set", "--slot", "3", "5", "combo", "alt+F4"}).rc, 0);
  ASSERT_EQ(Vx({"profile", "assign", "1", "3"}).rc, 0);
  ASSERT_EQ(Vx({"profile", "switch", "1"}).rc, 0);
  EXPECT_EQ(Vx({"profile", "current"}).out.rfind("slot 3, group 1\n", 0), 0u);
  const Outcome b = Vx({"backup", U8(t / "all.vxbak")});
  ASSERT_EQ(b.rc, 0) << b.err;
  EXPECT_NE(b.out.find("7 values and 1 files"), std::string::npos) << b.out;

  TempDir other;
  const Outcome r = Vx({"restore", U8(t / "all.vxbak")}, other.path());
  ASSERT_EQ(r.rc, 0) << r.err;
  EXPECT_TRUE(Snapshot(Key()) == Snapshot(Key(other.path())));
  const std::string macro = "Documents/Gaming Mouse Vantor/QZ3Profile1_Macros/User Recorded.macro";
  EXPECT_EQ(FileBytes(other.path() / macro), FileBytes(dir.path() / macro));
  // Each restore first saves the data it replaces next to the backup, never
  // over an earlier one.
  ASSERT_EQ(Vx({"restore", U8(t / "all.vxbak")}, other.path()).rc, 0);
  EXPECT_TRUE(Snapshot(Key()) == Snapshot(Key(other.path())));
  int saved = 0;
  for (const auto& e : fs::directory_iterator(t)) saved += U8(e.path().filename()).find(".before-restore-") != std::string::npos;
  EXPECT_EQ(saved, 2);
}

// The automatic backups: each listed with what changed since the one before,
// and put back by number.
TEST_F(VxprofileTest, BackupListSaysWhatChangedAndRestoreNPutsThatOneBack) {
  const fs::path b = dir.path() / "backups";
  fs::create_directories(b);
  const auto slot3 = FileBytes(Key() / "QZ3Profile4.pfd=REG_BINARY");
  ASSERT_EQ(Vx({"backup", U8(b / "20261201-100000.vxbak")}).rc, 0);
  ASSERT_EQ(Vx({"macro", "export", "0", MacroFolder() + "/Fire.macro"}).rc, 0);
  ASSERT_EQ(Vx({"button", "set", "--slot", "3", "5", "combo", "alt+F4"}).rc, 0);
  ASSERT_EQ(Vx({"backup", U8(b / "20261201-110000.vxbak")}).rc, 0);
  ASSERT_EQ(Vx({"profile", "switch", "1"}).rc, 0);
  ASSERT_EQ(Vx({"backup", U8(b / "20261202-090000.vxbak")}).rc, 0);
  std::ofstream(b / "notes.txt") << "not a backup";

  const Outcome list = Vx({"backup", "list"});
  ASSERT_EQ(list.rc, 0) << list.err;
  const std::vector<std::string> want = {
      "  1  2026-12-02 09:00:00", "other values QZ3PROFILE.pfd, QZ3ProfileSettingGroup.pfd\n",
      "  2  2026-12-01 11:00:00", "slot 3; macros +Fire.macro\n",
      "  3  2026-12-01 10:00:00", "oldest kept\n"};
  std::size_t at = 0;
  for (const auto& w : want) {
    const std::size_t found = list.out.find(w, at);
    ASSERT_NE(found, std::string::npos) << w << " in\n" << list.out;
    at = found + w.size();
  }
  EXPECT_EQ(list.out.find("notes"), std::string::npos);

  const Outcome none = Vx({"restore", "4"});
  EXPECT_EQ(none.rc, 2);
  EXPECT_NE(none.err.find("there are 3 automatic backups, not 4"), std::string::npos) << none.err;
  const Outcome r = Vx({"restore", "3"});
  ASSERT_EQ(r.rc, 0) << r.err;
  EXPECT_NE(r.out.find("restoring the automatic backup of 2026-12-01 10:00:00"), std::string::npos) << r.out;
  EXPECT_EQ(FileBytes(Key() / "QZ3Profile4.pfd=REG_BINARY"), slot3);
  ASSERT_EQ(Vx({"restore", "--latest"}).rc, 0);
  EXPECT_NE(FileBytes(Key() / "QZ3Profile4.pfd=REG_BINARY"), slot3);
  EXPECT_NE(list.out.find("restore \"TIME\" names one for good"), std::string::npos) << list.out;
  // The time backup list printed still names that backup after a newer one.
  ASSERT_EQ(Vx({"backup", U8(b / "20261203-090000.vxbak")}).rc, 0);
  const Outcome byTime = Vx({"restore", "2026-12-01 10:00:00"});
  ASSERT_EQ(byTime.rc, 0) << byTime.err;
  EXPECT_EQ(FileBytes(Key() / "QZ3Profile4.pfd=REG_BINARY"), slot3);
  EXPECT_EQ(Vx({"restore", "2026-11-30 10:00:00"}).rc, 2);
  // A file named like a number wins over the number.
  const fs::path cwd = fs::current_path();
  fs::current_path(dir.path());
  fs::copy_file(b / "20261203-090000.vxbak", dir.path() / "2");
  const Outcome byName = Vx({"restore", "2"});
  fs::current_path(cwd);
  ASSERT_EQ(byName.rc, 0) << byName.err;
  EXPECT_EQ(byName.out.find("restoring the automatic backup"), std::string::npos) << byName.out;
  EXPECT_NE(FileBytes(Key() / "QZ3Profile4.pfd=REG_BINARY"), slot3);
}

// Refuses to put one value's old bytes back: the rollback of a failed
// restore then fails too.
class NoPutBack final : public IRegistry {
 public:
  NoPutBack(IRegistry& inner, WStr name, std::vector<std::uint8_t> old)
      : inner_(inner), name_(std::move(name)), old_(std::move(old)) {}
  bool CreateKey(RegRoot r, WView p) override { return inner_.CreateKey(r, p); }
  bool KeyExists(RegRoot r, WView p) override { return inner_.KeyExists(r, p); }
  std::optional<RegValue> QueryValue(RegRoot r, WView p, WView n) override { return inner_.QueryValue(r, p, n); }
  bool SetValue(RegRoot r, WView p, WView n, RegType t, std::span<const std::uint8_t> d) override {
    if (SameTextIgnoreCase(n, name_) && std::equal(d.begin(), d.end(), old_.begin(), old_.end())) return false;
    return inner_.SetValue(r, p, n, t, d);
  }
  bool DeleteValue(RegRoot r, WView p, WView n) override { return inner_.DeleteValue(r, p, n); }
  std::optional<std::vector<RegNamedValue>> EnumValues(RegRoot r, WView p) override { return inner_.EnumValues(r, p); }

 private:
  IRegistry& inner_;
  WStr name_;
  std::vector<std::uint8_t> old_;
};

TEST_F(VxprofileTest, AFailedRollbackSaysTheDataIsMixedAndNamesTheAutomaticBackup) {
  const fs::path t = dir.path() / "files";
  const fs::path documents = dir.path() / "Documents";
  fs::create_directories(t);
  ASSERT_TRUE(WriteFileAtomic(W(documents / "blocker.pfd"), std::vector<std::uint8_t>{'b'}));
  const auto registry = Snapshot(dir.path() / "registry");
  const auto docs = Snapshot(documents);
  const auto slot0 = FileBytes(Key() / "QZ3Profile1.pfd=REG_BINARY");
  auto changed = slot0;
  changed[100] ^= 1;
  // The backup's group record names a macro folder outside the documents folder.
  auto group = std::make_unique<TProfileSettingGroup>();
  const auto stored = FileBytes(Key() / "QZ3ProfileSettingGroup.pfd=REG_BINARY");
  ASSERT_EQ(stored.size(), sizeof *group);
  std::memcpy(group.get(), stored.data(), sizeof *group);
  WriteFixed(group->ProfileSettingList[1].MacroPath, W(dir.path() / "elsewhere"));
  WriteBak(t / "b.vxbak", {{1, 3, "QZ3ProfileSettingGroup.pfd", Bytes(*group)},
                           {1, 3, "QZ3Profile1.pfd", changed},
                           {3, 0, U8(dir.path() / "elsewhere" / "x.macro"), {'m'}},
                           {2, 0, "blocker.pfd\\x.pfd", {'x'}}});
  DirRegistry reg(U8(dir.path() / "registry"));
  NoPutBack flaky(reg, u"QZ3Profile1.pfd", slot0);
  SetRegistry(&flaky);
  SetDocumentsFolderOverride(W(documents));
  cli::Context ctx;
  ctx.storeDir = U8(dir.path());
  ::testing::internal::CaptureStdout();
  ::testing::internal::CaptureStderr();
  const int rc = cli::RestoreBackupFile(ctx, {}, U8(t / "b.vxbak"));
  const std::string out = ::testing::internal::GetCapturedStdout();
  const std::string err = ::testing::internal::GetCapturedStderr();
  SetRegistry(nullptr);
  SetDocumentsFolderOverride({});
  EXPECT_EQ(rc, 2);
  const std::string savedAt = "the current data was saved to ";
  ASSERT_EQ(out.rfind(savedAt, 0), 0u) << out;
  const std::string saved = out.substr(savedAt.size(), out.find('\n') - savedAt.size());
  // Past the macro file the group record allows, stopped at the blocked one.
  EXPECT_NE(err.find("failed writing " + U8(documents / "blocker.pfd" / "x.pfd")), std::string::npos) << err;
  EXPECT_NE(err.find("failed too, at QZ3Profile1.pfd: the stored data is now mixed"), std::string::npos) << err;
  EXPECT_NE(err.find("restore " + saved + " (the data as it was before)"), std::string::npos) << err;
  EXPECT_FALSE(fs::exists(dir.path() / "elsewhere"));
  // The automatic backup puts everything back.
  const Outcome back = Vx({"restore", saved});
  EXPECT_EQ(back.rc, 0) << back.err;
  EXPECT_TRUE(registry == Snapshot(dir.path() / "registry"));
  EXPECT_TRUE(docs == Snapshot(documents));
}

TEST_F(VxprofileTest, WriteSaysWhatTheMouseTook) {
  const std::string empty = U8(dir.path() / "empty.macro");
  ASSERT_EQ(Vx({"macro", "export", "0", empty}).rc, 0);
  auto macro = FileBytes(empty);
  Put32(macro, 768, 0);  // MacroListCount
  ASSERT_TRUE(WriteFileAtomic(W(empty), macro));
  ASSERT_EQ(Vx({"macro", "import", "--slot", "1", empty, "--as", "0"}).rc, 0);
  struct Row {
    const char* slot;
    bool plugged;
    std::uint32_t sendError;
    int rc;
    std::size_t sent;
    const char* says;
  };
  const Row rows[] = {
      {"0", true, 0, 0, 4, "4 reports, 1120 bytes"},
      {"0", true, 31, 2, 0, "4 of 4 reports were not taken"},
      {"2", true, 0, 2, 0, "onboard profiles 0 and 1 only"},
      {"1", true, 0, 2, 0, "first macro is empty"},
      {"0", false, 0, 2, 0, "no mouse"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(std::string("slot ") + row.slot);
    VirtualHidBus bus;
    if (row.plugged) bus.Plug(MouseDevice());
    bus.SetSendError(row.sendError);
    SetHidBus(&bus);
    const Outcome o = Vx({"write", "--slot", row.slot});
    SetHidBus(nullptr);
    EXPECT_EQ(o.rc, row.rc) << o.err;
    EXPECT_EQ(bus.Sent().size(), row.sent);
    EXPECT_NE((o.out + o.err).find(row.says), std::string::npos) << o.out << o.err;
  }
}


// ---- doctor

struct FakeDoctorProbe final : IDoctorProbe {
  DoctorFacts facts;
  bool hookFile = true;
  IHookLibraryLoader* hook = nullptr;
  IHookLibraryLoader& HookLoader() override { return *hook; }
  DoctorFacts Gather() override { return facts; }
  bool HookLibraryPresent() override { return hookFile; }
  std::string DesktopFolder() override { return {}; }
  bool SelectInExplorer(const std::string&) override { return false; }
};

struct FakeHookLoader final : IHookLibraryLoader {
  bool loads = true;
  int token = 0;
  bool LoadModule() override { return loads; }
  void* FindExport(const char*) override { return &token; }
  void UnloadModule() override {}
  std::uint32_t LastLoadError() const override { return 126; }
};

// Every open fails as when another program holds the collection without sharing.
struct HeldBus final : IHidBus {
  IHidBus& inner;
  explicit HeldBus(IHidBus& b) : inner(b) {}
  Guid HidGuid() override { return inner.HidGuid(); }
  std::optional<std::vector<HidInterfaceInfo>> Enumerate(const Guid& g) override { return inner.Enumerate(g); }
  std::unique_ptr<IHidDevice> Open(WView, bool, std::uint32_t* error) override {
    if (error) *error = 32;
    return nullptr;
  }
  std::unique_ptr<IHidDevice> Probe(WView path) override { return inner.Probe(path); }
};

[[maybe_unused]] bool JsonParses(const std::string& json, const fs::path& file) {
  std::ofstream(file, std::ios::binary) << json;
  return std::system(("python3 -m json.tool '" + file.string() + "' >/dev/null").c_str()) == 0;
}

TEST_F(VxprofileTest, DoctorGivesEachCheckItsStatusAndTheExitCode) {
  struct Row {
    const char* name;
    std::function<void(FakeDoctorProbe&, FakeHookLoader&, bool& plugged, bool& held)> change;
    int rc;
    const char* check;   // the check the row is about
    const char* status;  // its status
    const char* says;
  };
  const Row rows[] = {
      {"all well", [](auto&, auto&, bool&, bool&) {}, 0, "mouse", "OK", "1 of 1 interface(s) of the mouse"},
      {"mouse absent", [](auto&, auto&, bool& plugged, bool&) { plugged = false; }, 2, "mouse", "FAIL",
       "no interface of the mouse (vendor collection FFA0:0001) is present"},
      {"mouse held", [](auto&, auto&, bool&, bool& held) { held = true; }, 2, "mouse", "FAIL",
       "error 32 held by another program"},
      {"hook library missing", [](FakeDoctorProbe& p, auto&, bool&, bool&) { p.hookFile = false; }, 2,
       "hook library", "FAIL", "kwHook.dll is missing"},
      {"hook library blocked", [](auto&, FakeHookLoader& h, bool&, bool&) { h.loads = false; }, 2, "hook library",
       "FAIL", "error 126"},
      {"wrong-sized value",
       [this](auto&, auto&, bool&, bool&) {
         std::ofstream(Key() / "QZ3PROFILE.pfd=REG_BINARY", std::ios::binary | std::ios::trunc) << "short";
       },
       2, "data", "FAIL", "QZ3PROFILE.pfd is 5 bytes, not"},
      {"elevated foreground",
       [](FakeDoctorProbe& p, auto&, bool&, bool&) {
         p.facts.foregroundIntegrity = 0x3000;
         p.facts.foregroundName = "game.exe";
       },
       1, "monitor", "WARN", "the program in front (game.exe) runs elevated"},
      {"startup switched off", [](FakeDoctorProbe& p, auto&, bool&, bool&) { p.facts.startupDisabled = true; }, 1,
       "program", "WARN", "turned off in Startup apps"},
      {"no microphone", [](FakeDoctorProbe& p, auto&, bool&, bool&) { p.facts.microphone.reset(); }, 1,
       "microphone", "WARN", "no default capture device"},
  };
  const auto good = Snapshot(Key());
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    for (const auto& [name, bytes] : good) ASSERT_TRUE(WriteFileAtomic(W(Key() / name), bytes));
    FakeDoctorProbe probe;
    probe.facts.runValue = "\"C:\\VXMon\\VXMon.exe\"";
    probe.facts.monitorPid = 42;
    probe.facts.monitorAnswers = true;
    probe.facts.monitorIntegrity = 0x2000;
    probe.facts.microphone = "Headset";
    FakeHookLoader hook;
    bool plugged = true, held = false;
    row.change(probe, hook, plugged, held);
    VirtualHidBus bus;
    if (plugged) bus.Plug(MouseDevice());
    HeldBus heldBus(bus);
    SetHidBus(held ? static_cast<IHidBus*>(&heldBus) : &bus);
    probe.hook = &hook;
    cli::DoctorProbeOverride() = &probe;
    const Outcome text = Vx({"doctor"});
    const Outcome json = Vx({"doctor", "--json"});
    cli::DoctorProbeOverride() = nullptr;
    SetHidBus(nullptr);
    EXPECT_EQ(text.rc, row.rc) << text.out;
    EXPECT_EQ(json.rc, row.rc);
    // "STATUS name  detail" on the check's own line.
    const std::string head = std::string(row.status) + std::string(5 - std::strlen(row.status), ' ') + row.check;
    const std::string all = "\n" + text.out;
    const auto at = all.find("\n" + head);
    ASSERT_NE(at, std::string::npos) << text.out;
    const std::string line = all.substr(at + 1, all.find('\n', at + 1) - at - 1);
    EXPECT_NE(line.find(row.says), std::string::npos) << text.out;
    EXPECT_NE(json.out.find("{\"name\":\"" + std::string(row.check) + "\",\"status\":\"" + row.status + "\""),
              std::string::npos)
        << json.out;
    EXPECT_NE(json.out.find("\"exitCode\":" + std::to_string(row.rc)), std::string::npos);
#ifndef _WIN32  // the host's python parses it; under wine there is none
    EXPECT_TRUE(JsonParses(json.out, dir.path() / "doctor.json")) << json.out;
#endif
  }
}


TEST_F(VxprofileTest, ReportIsOneZipWithTheListedFilesAndSaysWhenItCannotBeWritten) {
  // One stored member: the bytes of its local header and of the end record.
  const auto tiny = BuildZip({ZipMember{"a", {'x'}}});
  ASSERT_TRUE(tiny);
  const std::vector<std::uint8_t> local{0x50, 0x4B, 0x03, 0x04, 0x14, 0, 0x00, 0x08, 0, 0, 0, 0, 0x21, 0,
                                        0x83, 0x16, 0xDC, 0x8C, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 'a', 'x'};
  const std::vector<std::uint8_t> end{0x50, 0x4B, 0x05, 0x06, 0, 0, 0, 0, 1, 0, 1, 0, 0x2F, 0, 0, 0, 0x20, 0, 0, 0, 0, 0};
  EXPECT_EQ(std::vector<std::uint8_t>(tiny->begin(), tiny->begin() + 32), local);
  EXPECT_EQ(std::vector<std::uint8_t>(tiny->end() - 22, tiny->end()), end);
  EXPECT_EQ(tiny->size(), 32u + 47u + 22u);

  fs::create_directories(dir.path() / "crash");
  std::ofstream(dir.path() / "VXMon.log") << "2026-12-11 10:00:00.000 [1] a line\n";
  std::ofstream(dir.path() / "VXMon.old.log") << "older\n";
  std::ofstream(dir.path() / "crash/crash.log") << "crashed\n";
  for (int i = 1; i <= 4; ++i)
    std::ofstream(dir.path() / ("crash/VXMon-2026121" + std::to_string(i) + "-100000-000-1.dmp")) << std::string(3000, 'd');
  const fs::path zip = dir.path() / "r.zip";
  const Outcome o = Vx({"report", U8(zip)});
  ASSERT_EQ(o.rc, 0) << o.err;
#ifndef _WIN32  // the host's unzip reads it back; under wine there is none
  ASSERT_EQ(std::system(("unzip -tq '" + zip.string() + "' >/dev/null").c_str()), 0);
  ASSERT_EQ(std::system(("unzip -Z1 '" + zip.string() + "' >'" + (dir.path() / "names").string() + "'").c_str()), 0);
  std::ifstream names(dir.path() / "names");
  std::vector<std::string> listed;
  for (std::string line; std::getline(names, line);) listed.push_back(line);
  // The three newest dumps; no config.ini beside the test program.
  EXPECT_EQ(listed, (std::vector<std::string>{"doctor.txt", "doctor.json", "VXMon.log", "VXMon.old.log", "crash/crash.log",
                                              "crash/VXMon-20261212-100000-000-1.dmp",
                                              "crash/VXMon-20261213-100000-000-1.dmp",
                                              "crash/VXMon-20261214-100000-000-1.dmp", "profiles.vxbak"}));
#endif
  const Outcome bad = Vx({"report", U8(dir.path() / "no/such/folder/r.zip")});
  EXPECT_EQ(bad.rc, 2);
  EXPECT_NE(bad.err.find("cannot write"), std::string::npos) << bad.err;
}

}  // namespace
}  // namespace vx::test
