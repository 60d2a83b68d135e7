// The engine's loading of kwHook.dll on Windows.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/MessageBox.h"
#include "platform/Shell.h"
#include "recording/kwHook.h"

namespace {

namespace fs = std::filesystem;

class EngineLoad : public ::testing::Test {
 protected:
  void SetUp() override {
    vx::SetMessageBoxSink([this](vx::WView text, vx::WView caption) {
      boxes.push_back(vx::ToUtf8(text) + "|" + vx::ToUtf8(caption));
    });
    empty = fs::temp_directory_path() / ("vx-hook-empty-" + std::to_string(GetCurrentProcessId()));
    fs::create_directories(empty);
  }
  void TearDown() override {
    vx::SetExecutableFolderOverride(u"");
    vx::SetMessageBoxSink(nullptr);
    std::error_code ec;
    fs::remove_all(empty, ec);
  }
  fs::path empty;
  std::vector<std::string> boxes;
};

TEST_F(EngineLoad, FindsTheLibraryBesideTheExecutable) {
  vx::TkwHook hook;
  EXPECT_TRUE(hook.DLLLoaded());
  EXPECT_TRUE(boxes.empty());
  hook.RecordMouseMacro();
  hook.StopRecordMouseMacro();
  EXPECT_NE(GetModuleHandleW(L"kwHook.dll"), nullptr);
}

TEST_F(EngineLoad, MissingLibraryIsReportedOnceAndTheModesStayInert) {
  vx::SetExecutableFolderOverride(vx::FromUtf8(empty.string() + "\\"));
  // A kwHook.dll in the working folder does not count.
  const fs::path before = fs::current_path();
  wchar_t exe[MAX_PATH];
  GetModuleFileNameW(nullptr, exe, MAX_PATH);
  const fs::path planted = fs::temp_directory_path() / "vx-hook-planted";
  fs::create_directories(planted);
  fs::copy_file(fs::path(exe).parent_path() / "kwHook.dll", planted / "kwHook.dll",
                fs::copy_options::overwrite_existing);
  fs::current_path(planted);
  {
    vx::TkwHook hook;
    EXPECT_FALSE(hook.DLLLoaded());
    std::size_t handed = 99;
    hook.OnStopRecordMouseMacroKey = [&](vx::TMouseMacroKeyList& l) { handed = l.Count(); };
    hook.RecordMouseMacro();
    hook.StartHookKeyboard();
    hook.RecordKeyboardMacroKeyEx();
    hook.StopRecordMouseMacro();
    EXPECT_EQ(handed, 0u);
  }
  fs::current_path(before);
  EXPECT_EQ(boxes, std::vector<std::string>{"kwHook.dll can not be found!|Error"});
  EXPECT_EQ(GetModuleHandleW((planted / "kwHook.dll").wstring().c_str()), nullptr);
}

}  // namespace
