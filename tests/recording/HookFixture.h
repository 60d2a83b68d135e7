#pragma once
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/MessageBox.h"
#include "recording/FakeHookLibrary.h"
#include "recording/kwHook.h"

namespace vx::test {

// What one recording event carried.
struct Fired {
  int type = 0;
  int button = 0;
  int state = 0;
  int x = 0;
  int y = 0;
  double time = 0;
  std::string text;
  std::string stateText;
  std::size_t listCount = 0;
  unsigned totalTime = 0;
};

class HookTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetMessageBoxSink([this](WView text, WView caption) {
      boxes.push_back(ToUtf8(text) + "|" + ToUtf8(caption));
    });
    SetKeyStateSource([this](std::int32_t vk) -> std::int16_t {
      auto it = keysDown.find(vk);
      // GetAsyncKeyState: the most significant bit while the key is down.
      return (it != keysDown.end() && it->second) ? static_cast<std::int16_t>(0x8000) : 0;
    });
  }
  void TearDown() override {
    hook.reset();
    SetMessageBoxSink(nullptr);
    SetKeyStateSource(nullptr);
  }

  TkwHook& Hook() {
    if (!hook) hook = std::make_unique<TkwHook>();
    return *hook;
  }

  void RecordMouse() {
    Hook().OnRecordMouseMacroKey = [this](std::uint16_t type, TMouseButtons button, std::int32_t state,
                                          std::uint16_t x, std::uint16_t y, double time, WView text,
                                          WView stateText, TMouseMacroKeyList& list) {
      fired.push_back(Fired{type, button, state, x, y, time, ToUtf8(text), ToUtf8(stateText),
                            list.Count(), 0});
    };
    Hook().RecordMouseMacro();
  }

  const TMOUSEMACROKEY& MouseEntry(std::size_t i) {
    return Hook().MouseMacroKeyList().Object(i).FMOUSEMacroKey;
  }
  const TMACROKEYHOOK& KeyEntry(std::size_t i) { return Hook().MacroKeyList().Object(i).FMacroKey; }

  FakeHookLibrary lib;
  std::unique_ptr<TkwHook> hook;
  std::vector<std::string> boxes;
  std::map<std::int32_t, bool> keysDown;
  std::vector<Fired> fired;
};

}  // namespace vx::test
