// A ".macro" file of any size and content: loaded, edited through the macro
// model, played with a virtual clock and saved again. Playback never looks
// at more than 128 actions, and a saved macro lands in its folder as one
// file whatever its name holds.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>

#include "FuzzSupport.h"
#include "app/AppFakes.h"
#include "app/MacroPlayer.h"
#include "platform/Errors.h"
#include "platform/Files.h"
#include "profiles/kwMacroClassUnit.h"

namespace {
constexpr const char* kName = "fuzz_macro_file";
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const auto& scratch = vx::fuzz::ScratchFolder(kName);
  static const bool ready = [] {
    vx::fuzz::Quiet();
    return true;
  }();
  (void)ready;
  vx::fuzz::EmptyFolder(scratch);

  const auto file = scratch / "in.macro";
  {
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  const vx::TMACROKEYINFO macro = vx::TkwMacroClass::LoadMacroFromFile(vx::FromUtf8(file.string()));
  std::filesystem::remove(file);

  vx::TkwMacroClass model;
  model.InsertMacro(macro, 0);
  model.SetMacroListIndex(0);
  if (auto* actions = model.CurrentMacroAction()) {
    if (actions->GetCount() > vx::kMaxMacroActions) vx::fuzz::Fault(kName, "more actions than a macro holds");
    if (actions->GetCount() > 0) {
      actions->SetDelayValue(0, 10);
      actions->CopyAction(0);
      actions->PasteAction(0);
      actions->MoveDownAction(0);
      actions->DeleteAction(actions->GetCount() - 1);
    }
    actions->CheckErrors();
  }
  model.CheckAllErrors();

  vx::test::FakeInput input;
  vx::test::FakePreciseTimer timer;
  const int looked = vx::PlayMacroActions(macro, {0, 0}, input, timer);
  if (looked < 0 || looked > vx::kMaxMacroActions) vx::fuzz::Fault(kName, "playback looked past the action list");

  vx::TMACROKEYINFOLIST list{};
  list.MacroInfos[0] = macro;
  list.nMacroInfoCount = 1;
  const auto out = scratch / "out";
  try {
    vx::TkwMacroClass::SaveMacroKeyInfoListToMacroFiles(list, vx::FromUtf8(out.string()));
  } catch (const vx::VXError&) {
    return 0;  // a name the file system refuses
  }
  int files = 0;
  for (const auto& e : std::filesystem::recursive_directory_iterator(out)) {
    if (!e.is_regular_file()) vx::fuzz::Fault(kName, "saving created a folder");
    if (e.path().parent_path() != out) vx::fuzz::Fault(kName, "macro saved outside its folder");
    ++files;
  }
  if (files != 1) vx::fuzz::Fault(kName, "saving did not leave exactly one file");
  return 0;
}
