// A stored value of any size and content in place of one profile store:
// the creation sequence loads it (or writes the defaults), the macro model
// walks the current profile's macros and the encoder turns the current
// profile into device memory. Nothing may read or write outside a record,
// and the indexes the rest of the system trusts must stay in range.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <algorithm>
#include <filesystem>
#include <memory>
#include <vector>

#include "FuzzSupport.h"
#include "app/MemRegistry.h"
#include "device/DevicePayload.h"
#include "platform/Errors.h"
#include "platform/Files.h"
#include "platform/Registry.h"
#include "platform/Shell.h"
#include "profiles/DMUnit.h"
#include "profiles/kwMacroClassUnit.h"

namespace {

constexpr const char* kName = "fuzz_profile_store";

const char16_t* const kValueNames[] = {
    vx::kGroupValueName, vx::kAllSettingValueName, u"QZ3Profile1.pfd", u"QZ3Profile2.pfd",
    u"QZ3Profile3.pfd",  u"QZ3Profile4.pfd",       u"QZ3Profile5.pfd", vx::kRecordMacroValueName,
    vx::kDefaultGameValueName, vx::kTestValueName,
};
constexpr std::size_t kValueCount = sizeof kValueNames / sizeof kValueNames[0];

// File-stored slots name a folder, a file and a macro folder: point them
// all into the scratch folder so the run never writes elsewhere on this
// machine. A short value is patched as far as it reaches.
void ConfineSlots(std::vector<std::uint8_t>& value, std::size_t offset, int slots, const vx::WStr& folder) {
  std::vector<std::uint8_t> full(std::max(value.size(), offset + slots * sizeof(vx::TPROFILESTOREINFO)));
  std::memcpy(full.data(), value.data(), value.size());
  for (int i = 0; i < slots; ++i) {
    vx::TPROFILESTOREINFO slot;
    auto* at = full.data() + offset + i * sizeof slot;
    std::memcpy(&slot, at, sizeof slot);
    std::memset(slot.FilePath, 0, sizeof slot.FilePath);
    std::memcpy(slot.FilePath, folder.data(), folder.size() * sizeof(char16_t));
    std::memset(slot.MacroPath, 0, sizeof slot.MacroPath);
    std::memcpy(slot.MacroPath, folder.data(), folder.size() * sizeof(char16_t));
    for (char16_t& c : slot.FileName) {
      if (c == u'/' || c == u'\\' || c == u'.' || c == u':') c = u'_';
    }
    std::memcpy(at, &slot, sizeof slot);
  }
  std::memcpy(value.data(), full.data(), value.size());
}

void CheckMacroModel(const vx::TMACROKEYINFOLIST& list) {
  vx::TkwMacroClass model(list);
  if (model.MacroListCount() > vx::kMaxMacros) vx::fuzz::Fault(kName, "more macros than the list holds");
  for (int i = 0; i < model.MacroListCount(); ++i) {
    model.SetMacroListIndex(i);
    const vx::TkwActionsClass* actions = model.CurrentMacroAction();
    if (!actions) vx::fuzz::Fault(kName, "no action model for a listed macro");
    if (actions->GetCount() > vx::kMaxMacroActions) vx::fuzz::Fault(kName, "more actions than a macro holds");
    (void)actions->TotalDelay();
  }
  model.CheckAllErrors();
  vx::TMACROKEYINFOLIST back{};
  model.GetMacroKeyInfoList(back);
  if (back.nMacroInfoCount > vx::kMaxMacros) vx::fuzz::Fault(kName, "macro count written back out of range");
}

void CheckEncoding(const vx::TMouseProfileInfo& profile) {
  vx::TDEVICEBUTTONTABLE table;
  vx::EncodeButtonTable(profile, table);
  if (table.ButtonCount > vx::kDeviceButtonEntries) vx::fuzz::Fault(kName, "button count above the table");
  auto blocks = std::make_unique<vx::TDEVICEMACROBUFFER>();
  vx::EncodeMacroBlocks(profile, *blocks);
  for (auto len : blocks->Lengths) {
    if (len > vx::kDeviceMacroBlockBytes || len % 3 != 0) vx::fuzz::Fault(kName, "macro block length out of range");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const auto& scratch = vx::fuzz::ScratchFolder(kName);
  static const vx::WStr folder = vx::fuzz::AsWinFolder(scratch);
  static const vx::WStr confined = vx::FromUtf8(scratch.string());
  static const bool ready = [] {
    vx::fuzz::Quiet();
    vx::SetDocumentsFolderOverride(vx::ExcludeTrailingBackslash(folder));
    vx::SetExecutableFolderOverride(folder);
    // Whatever relative path a record still names lands in the scratch folder.
    std::filesystem::current_path(scratch);
    return true;
  }();
  (void)ready;
  if (size < 1) return 0;
  vx::fuzz::EmptyFolder(scratch);

  const std::size_t which = data[0] % kValueCount;
  std::vector<std::uint8_t> value(data + 1, data + size);
  if (which == 0) {
    ConfineSlots(value, offsetof(vx::TProfileSettingGroup, ProfileSettingList), vx::kProfileSlots, confined);
  }
  if (which == 1) ConfineSlots(value, offsetof(vx::TALLGAMESINFO, Allgameset), vx::kProfileSlots, confined);

  vx::test::MemRegistry reg;
  vx::SetRegistry(&reg);
  reg.CreateKey(vx::HKEY_CURRENT_USER_, vx::kProfileKeyPath);
  // The top bit of the selector stores the value as a string instead.
  const auto type = (data[0] & 0x80) ? vx::RegType::String : vx::RegType::Binary;
  reg.SetValue(vx::HKEY_CURRENT_USER_, vx::kProfileKeyPath, kValueNames[which], type, value);

  {
    auto dm = std::make_unique<vx::TDM>();
    dm->DataModuleCreate();
    if (dm->CurrentSlot() < 0 || dm->CurrentSlot() >= vx::kProfileSlots) vx::fuzz::Fault(kName, "current slot out of range");
    for (int group = 0; group < vx::kProfileGroups; ++group) {
      const int slot = dm->SlotOfGroup(group);
      if (slot < 0 || slot >= vx::kProfileSlots) vx::fuzz::Fault(kName, "group selects a slot out of range");
    }
    CheckMacroModel(dm->FCurrentProfileInfo.MacroKeyInfoList);
    CheckEncoding(dm->FCurrentProfileInfo);
    // A reload as the configuration application asks for it, then a save.
    try {
      dm->LoadProfileGroupSettingInfoFromRegistry();
      dm->LoadAllProfileInfoFromRegistry();
      dm->LoadCurrentProfileInfoFromRegistry();
      dm->SaveCurrentProfileInfoToRegistry();
    } catch (const vx::VXError&) {
    }
    CheckEncoding(dm->FCurrentProfileInfo);
  }
  vx::SetRegistry(nullptr);
  return 0;
}
