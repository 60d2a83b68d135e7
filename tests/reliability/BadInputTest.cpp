// Whatever reaches the running monitor from outside, it keeps running and
// the profile data it keeps stays as it was.
#include <gtest/gtest.h>

#include <unistd.h>

#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "MonitorRig.h"
#include "app/ConfigLink.h"
#include "i18n/kwLanguage.h"

namespace vx {
namespace {

namespace fs = std::filesystem;
// Stored values by key and name: type and bytes.
using Values = std::map<std::pair<WStr, WStr>, std::pair<RegType, std::vector<std::uint8_t>>>;

class BadInput : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("vx-badinput-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    rig = std::make_unique<test::MonitorRig>(dir);
  }
  void TearDown() override {
    rig.reset();
    fs::remove_all(dir);
  }
  void WriteFile(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(dir / name, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  }
  // The stored values other than the one the monitor itself writes.
  Values Stored() {
    Values v;
    for (const auto& [key, value] : rig->reg.values) {
      if (key.second != u"PROFILEID") v[key] = {value.type, value.data};
    }
    return v;
  }
  // The monitor still answers a profile-switch report read from the mouse.
  void ExpectStillWorking() {
    const int dev = rig->bus.Plug(test::RigMouse());
    rig->Arrival();
    rig->windows.Advance(1500);
    ASSERT_TRUE(rig->bus.WaitForReaders(dev, 0, 1, 5000));
    const std::uint8_t report[8] = {8, 1, 1, 0, 0, 0, 0, 0};
    ASSERT_EQ(rig->bus.QueueInput(dev, 0, report), 1u);
    ASSERT_TRUE(rig->main.RunUntil([&] { return rig->ButtonPosted(); }, 5000));
    rig->Pump();
    const auto v = rig->reg.QueryValue(HKEY_CURRENT_USER_, kProfileKeyPath, u"ProfileID");
    ASSERT_TRUE(v.has_value());
    EXPECT_EQ(v->data, (std::vector<std::uint8_t>{1, 0, 0, 0}));
  }

  fs::path dir;
  std::unique_ptr<test::MonitorRig> rig;
};

struct MessageCase {
  std::uint32_t msg;
  std::uintptr_t wparam;
  std::intptr_t lparam;
};

TEST_F(BadInput, ReloadMessagesWithAnyParametersKeepTheStoredData) {
  rig->Start();
  rig->boxes.clear();  // the hook library is absent on this host
  const Values before = Stored();
  ASSERT_FALSE(before.empty());
  const auto current = rig->dm->FCurrentProfileInfo;
  const MessageCase cases[] = {
      {WM_VX_RELOAD_PROFILES, 0, 0},          {WM_VX_RELOAD_PROFILES, 0, 4},
      {WM_VX_RELOAD_PROFILES, 0, 5},          {WM_VX_RELOAD_PROFILES, 0, -1},
      {WM_VX_RELOAD_PROFILES, ~0u, INT_MIN},  {WM_VX_RELOAD_PROFILES, 12345, INT_MAX},
      {WM_VX_RELOAD_PROFILES, 1, 0x100000000LL}, {WM_VX_RELOAD_SETTINGS, 0, 0},
      {WM_VX_RELOAD_SETTINGS, ~0u, -1},       {WM_VX_RELOAD_SETTINGS, 7, INT_MAX},
  };
  for (const auto& c : cases) {
    EXPECT_TRUE(rig->mon->HandleMessage(c.msg, c.wparam, c.lparam)) << c.msg;
    EXPECT_EQ(Stored(), before) << "message " << c.msg << " lparam " << c.lparam;
    EXPECT_EQ(0, std::memcmp(&rig->dm->FCurrentProfileInfo, &current, sizeof current)) << c.msg;
    EXPECT_TRUE(TDM::IsProfileIndexInRange(rig->dm->CurrentSlot()));
  }
  EXPECT_TRUE(rig->boxes.empty());
  ExpectStillWorking();
}

TEST_F(BadInput, ReportsOfEveryIdAndLengthPostOnlyKnownCodes) {
  rig->Start();
  const Values before = Stored();
  std::vector<std::uint8_t> data(1024);
  std::mt19937 rng(42);
  std::size_t posted = 0;
  for (int id = 0; id < 256; ++id) {
    for (std::size_t len : {0u, 1u, 6u, 7u, 8u, 63u, 64u, 65u, 1023u, 1024u}) {
      for (int fill = 0; fill < 4; ++fill) {
        for (auto& b : data) b = static_cast<std::uint8_t>(fill == 0 ? 0 : fill == 1 ? 0xFF : rng());
        if (fill == 3) data[0] = 1, data[1] = 0;  // a profile switch when the rest fits
        rig->mon->kwHIDData1Data(u"dev", u"path", static_cast<std::uint8_t>(id), data.data(),
                                 static_cast<std::uint16_t>(len));
      }
    }
    for (const auto& m : rig->windows.posted) {
      ++posted;
      EXPECT_EQ(m.msg, WM_VX_BUTTON_EVENT);
      EXPECT_TRUE(id == 7 || id == 8) << "report " << id << " posted an event";
      EXPECT_LT(m.wparam, ButtonReportTable.size());  // the table's codes, 21 and 22 included
    }
    rig->Pump();
  }
  EXPECT_GT(posted, 0u);  // random and filled reports do reach real codes
  EXPECT_EQ(Stored(), before);
  // A null buffer with a length is refused, not read.
  rig->mon->kwHIDData1Data(u"dev", u"path", 7, nullptr, 7);
  EXPECT_TRUE(rig->windows.posted.empty());
  ExpectStillWorking();
}

TEST_F(BadInput, ConfigIniWith200EntriesAndJunkIsReadToTheLimit) {
  std::string ini = "[IncludeHIDDeviceList]\r\nid1=HID\\VID_1234&PID_5678&MI_01&Col02\r\n";
  for (int i = 2; i <= 200; ++i) ini += "id" + std::to_string(i) + "=HID\\VID_" + std::to_string(1000 + i) + "\r\n";
  std::vector<std::uint8_t> bytes(ini.begin(), ini.end());
  std::mt19937 rng(3);
  for (int i = 0; i < 4096; ++i) bytes.push_back(static_cast<std::uint8_t>(rng()));
  WriteFile("config.ini", bytes);
  rig->Start();
  EXPECT_EQ(rig->mon->kwHIDData1->FHidDeviceList.size(), 101u);
  EXPECT_EQ(rig->mon->kwHIDData1->FHidDeviceList.front(), u"HID\\VID_1234&PID_5678&MI_01&Col02");
  ExpectStillWorking();
}

TEST_F(BadInput, ConfigIniOfRandomBytesStillLetsTheMouseBeRead) {
  std::vector<std::uint8_t> bytes(65536);
  std::mt19937 rng(5);
  for (auto& b : bytes) b = static_cast<std::uint8_t>(rng());
  WriteFile("config.ini", bytes);
  rig->Start();
  EXPECT_TRUE(rig->mon->kwHIDData1->FHidDeviceList.empty());
  ExpectStillWorking();
}

TEST_F(BadInput, LanguageFileOfRandomBytesIsRefusedAndTheMonitorRuns) {
  for (std::size_t size : {1u, 16u, 4096u, 200000u}) {
    std::vector<std::uint8_t> bytes(size);
    std::mt19937 rng(static_cast<unsigned>(size));
    for (auto& b : bytes) b = static_cast<std::uint8_t>(rng());
    WriteFile("kw.local", bytes);
    auto language = TkwLanguage::CreateWithEmbeddedSet(nullptr);
    language->SetLang(u"English");
    EXPECT_FALSE(language->LoadFromFile(FromUtf8((dir / "kw.local").string()))) << size;
  }
  rig->Start();
  const Values before = Stored();
  rig->mon->UpdateLanguageAndCaptions();
  rig->mon->HandleMessage(WM_VX_RELOAD_SETTINGS, 0, 0);
  EXPECT_EQ(Stored(), before);
  // The embedded set is still there to translate from.
  EXPECT_FALSE(rig->mon->kwLanguage1->GetLanguageShortIDByIndex(0).empty());
  ExpectStillWorking();
}

}  // namespace
}  // namespace vx
