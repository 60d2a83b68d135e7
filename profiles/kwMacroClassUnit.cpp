#include "profiles/kwMacroClassUnit.h"

#include <algorithm>
#include <bitset>
#include <cstring>

#include "platform/Errors.h"
#include "platform/Files.h"

namespace vx {
namespace {

int ActionCount(const TMACROKEYINFO& m) { return std::clamp<int>(m.MacroListCount, 0, kMaxMacroActions); }

// Where an entry at `index` is after entries i and n changed places.
int AfterSwap(int index, int i, int n) {
  if (index == i) return n;
  if (index == n) return i;
  return index;
}

// Swaps entries i and n; the current index follows the moved entry.
template <typename V>
void SwapEntries(V& list, int i, int n, int& current) {
  std::swap(list[static_cast<std::size_t>(i)], list[static_cast<std::size_t>(n)]);
  current = AfterSwap(current, i, n);
}

}  // namespace

// ---------------------------------------------------------------- actions

TkwActionsClass::TkwActionsClass() = default;

TkwActionsClass::TkwActionsClass(const TMACROKEYINFO& AMacroKeyInfo, TkwMacroClass* AMacroClass, int AMacroIndex)
    : FMacroClass(AMacroClass), FMacroIndex(AMacroIndex) {
  LoadActions(AMacroKeyInfo);
  FORGMacroKeyInfo = AMacroKeyInfo;
}

std::unique_ptr<TkwActionsClass> TkwActionsClass::CtrlCreate(const TMACROKEYINFO& AMacroKeyInfo,
                                                             TkwMacroClass* AMacroClass, int AMacroIndex) {
  return std::make_unique<TkwActionsClass>(AMacroKeyInfo, AMacroClass, AMacroIndex);
}

void TkwActionsClass::LoadActions(const TMACROKEYINFO& info) {
  FActionsList.assign(info.MacroList, info.MacroList + ActionCount(info));
  if (!FActionsList.empty()) FActionsIndex = 0;
}

void TkwActionsClass::SetActionIndex(int v) {
  if (InRange(v)) FActionsIndex = v;
}

std::uint32_t TkwActionsClass::TotalDelay() const {
  std::uint32_t total = 0;
  for (const auto& a : FActionsList) {
    if (a.nKeyType == kActionDelay) total += a.Delay();
  }
  return total;
}

TMACROKEYINFO TkwActionsClass::GetMacroKeyInfo() const {
  TMACROKEYINFO info = FORGMacroKeyInfo;
  info.MacroListCount = GetCount();
  std::copy(FActionsList.begin(), FActionsList.end(), info.MacroList);
  return info;
}

void TkwActionsClass::SetMacroKeyInfo(const TMACROKEYINFO& AMacroKeyInfo) {
  LoadActions(AMacroKeyInfo);
  FORGMacroKeyInfo = AMacroKeyInfo;
  SaveBack();
}

void TkwActionsClass::SaveBack() {
  if (FMacroClass == nullptr) return;
  TMACROKEYINFO* target = FMacroClass->Macro(FMacroIndex);
  if (target == nullptr) return;
  *target = GetMacroKeyInfo();
  FORGMacroKeyInfo = *target;
}

void TkwActionsClass::Rebind(int p) {
  FMacroIndex = p;
  // Save-backs write the whole record: keep its position number true.
  FORGMacroKeyInfo.nMacroIndex = static_cast<std::uint16_t>(p);
}

bool TkwActionsClass::InsertAction(const TMACROKEY& AAction, int AIndex) {
  if (IsFull() || !InRange(AIndex)) return false;
  FActionsList.insert(FActionsList.begin() + AIndex, AAction);
  if (FActionsIndex == AIndex) FActionsIndex = AIndex + 1;
  SaveBack();
  return true;
}

void TkwActionsClass::InsertActionAfter(const TMACROKEY& AAction, int AIndex) {
  if (IsFull()) return;
  if (InRange(AIndex)) {
    FActionsList.insert(FActionsList.begin() + AIndex + 1, AAction);
  } else if (AIndex == GetCount()) {
    FActionsList.push_back(AAction);
  } else {
    return;
  }
  SaveBack();
}

void TkwActionsClass::DeleteAction(int AIndex) {
  if (IsEmpty() || !InRange(AIndex)) return;
  FActionsList.erase(FActionsList.begin() + AIndex);
  if (FActionsIndex >= GetCount()) FActionsIndex = GetCount() - 1;
  SaveBack();
}

void TkwActionsClass::MoveUpAction(int AIndex) {
  if (AIndex < 1 || AIndex >= GetCount()) return;
  SwapEntries(FActionsList, AIndex, AIndex - 1, FActionsIndex);
  SaveBack();
}

void TkwActionsClass::MoveDownAction(int AIndex) {
  if (AIndex < 0 || AIndex >= GetCount() - 1) return;
  SwapEntries(FActionsList, AIndex, AIndex + 1, FActionsIndex);
  SaveBack();
}

void TkwActionsClass::CopyAction(int AIndex) {
  if (IsEmpty() || !InRange(AIndex)) return;
  FSavedActionsList.assign(1, FActionsList[static_cast<std::size_t>(AIndex)]);
  FCutOperationFlag = false;
  SaveBack();
}

void TkwActionsClass::CutAction(int AIndex) {
  if (IsEmpty() || !InRange(AIndex)) return;
  FSavedActionsList.assign(1, FActionsList[static_cast<std::size_t>(AIndex)]);
  DeleteAction(AIndex);
  FCutOperationFlag = true;
}

void TkwActionsClass::PasteAction(int AIndex) {
  if (FSavedActionsList.empty()) return;
  const TMACROKEY action = FSavedActionsList.front();
  if (!InsertAction(action, AIndex)) return;
  if (FCutOperationFlag) {
    FSavedActionsList.clear();
    FCutOperationFlag = false;
  }
}

std::int32_t TkwActionsClass::GetDelayValue(int AIndex) const {
  if (!InRange(AIndex)) return 0;
  return FActionsList[static_cast<std::size_t>(AIndex)].Delay();
}

void TkwActionsClass::SetDelayValue(int AIndex, std::int32_t ADelay) {
  if (!InRange(AIndex)) return;
  TMACROKEY& a = FActionsList[static_cast<std::size_t>(AIndex)];
  a.VALUE1 = static_cast<std::uint8_t>(ADelay & 0xFF);
  a.VALUE2 = static_cast<std::uint8_t>((ADelay >> 8) & 0xFF);
  SaveBack();
}

void TkwActionsClass::CheckErrors() {
  std::bitset<65536> pressed;
  std::vector<std::uint16_t> keys;
  int errors = 0;
  for (const auto& a : FActionsList) {
    if (a.nKeyType != kActionMouse && a.nKeyType != kActionKey && a.nKeyType != kActionPressCode) continue;
    const std::uint16_t code = a.Code();
    if (a.nKeyState == 1) {
      if (pressed[code]) {
        ++errors;
      } else {
        pressed[code] = true;
      }
    } else if (!pressed[code]) {
      ++errors;
    } else {
      pressed[code] = false;
    }
    if (a.nKeyType == kActionKey && std::find(keys.begin(), keys.end(), code) == keys.end()) keys.push_back(code);
  }
  for (std::uint16_t code : keys) {
    if (pressed[code]) ++errors;
  }
  if (FMacroClass == nullptr) return;
  if (TMACROKEYINFO* target = FMacroClass->Macro(FMacroIndex)) {
    target->HaveErrors = errors > 0 ? 1 : 0;
    target->ErrorCount = errors;
  }
}

// ----------------------------------------------------------------- macros

TkwMacroClass::TkwMacroClass() = default;

TkwMacroClass::TkwMacroClass(const TMACROKEYINFOLIST& AMacroKeyInfoList) { SetMacroKeyInfoList(AMacroKeyInfoList); }

TkwMacroClass::~TkwMacroClass() = default;

TMACROKEYINFO* TkwMacroClass::Macro(int i) {
  return InRange(i) ? &FMacroKeyInfoList[static_cast<std::size_t>(i)] : nullptr;
}

void TkwMacroClass::SetMacroListIndex(int v) {
  if (!InRange(v)) return;
  FMacroListIndex = v;
  Rebuild(v, v);
}

void TkwMacroClass::SetMacroKeyInfoList(const TMACROKEYINFOLIST& AMacroKeyInfoList) {
  const int n = std::min<int>(AMacroKeyInfoList.nMacroInfoCount, kMaxMacros);
  FMacroKeyInfoList.insert(FMacroKeyInfoList.end(), AMacroKeyInfoList.MacroInfos, AMacroKeyInfoList.MacroInfos + n);
  if (!FMacroKeyInfoList.empty()) FMacroListIndex = 0;
}

void TkwMacroClass::GetMacroKeyInfoList(TMACROKEYINFOLIST& AMacroKeyInfoList) const {
  // The record holds 21 macros; any beyond are not stored.
  const int n = std::min(MacroListCount(), kMaxMacros);
  AMacroKeyInfoList.nMacroInfoCount = static_cast<std::uint16_t>(n);
  std::copy(FMacroKeyInfoList.begin(), FMacroKeyInfoList.begin() + n, AMacroKeyInfoList.MacroInfos);
}

void TkwMacroClass::CreateNewMacro(WView AMacroName) {
  TMACROKEYINFO m{};
  m.nMacroIndex = static_cast<std::uint16_t>(MacroListCount());
  WriteFixed(m.szMacroName, AMacroName);
  FMacroKeyInfoList.push_back(m);
  FMacroListIndex = MacroListCount() - 1;
  Renumber();
}

void TkwMacroClass::ReNameMacro(WView AMacroName, int AIndex) {
  if (TMACROKEYINFO* m = Macro(AIndex)) WriteFixed(m->szMacroName, AMacroName);
}

void TkwMacroClass::DeleteMacro(int AIndex) {
  if (!InRange(AIndex)) return;
  FMacroKeyInfoList.erase(FMacroKeyInfoList.begin() + AIndex);
  Renumber();
  if (FMacroKeyInfoList.empty()) {
    FMacroListIndex = -1;
  } else if (FMacroListIndex >= MacroListCount()) {
    FMacroListIndex = MacroListCount() - 1;
  }
  if (!FCurrentMacroAction) return;
  const int edited = FCurrentMacroAction->MacroIndex();
  if (edited == AIndex) {
    // Its macro is gone: edit the macro that is current now.
    FCurrentMacroAction.reset();
    Rebuild(FMacroListIndex, FMacroListIndex);
  } else if (edited > AIndex) {
    FCurrentMacroAction->Rebind(edited - 1);
  }
}

void TkwMacroClass::DeleteMacro(WView AMacroName) { DeleteMacro(IndexOfMacroName(AMacroName)); }

void TkwMacroClass::MoveUpMacro(int AIndex) {
  if (AIndex < 1 || AIndex >= MacroListCount()) return;
  SwapMacros(AIndex, AIndex - 1);
}

void TkwMacroClass::MoveDownMacro(int AIndex) {
  if (AIndex < 0 || AIndex >= MacroListCount() - 1) return;
  SwapMacros(AIndex, AIndex + 1);
}

void TkwMacroClass::SwapMacros(int i, int n) {
  SwapEntries(FMacroKeyInfoList, i, n, FMacroListIndex);
  Renumber();
  // The action model keeps editing its own macro, wherever it went.
  if (FCurrentMacroAction) FCurrentMacroAction->Rebind(AfterSwap(FCurrentMacroAction->MacroIndex(), i, n));
}

int TkwMacroClass::IndexOfMacroName(WView AMacroName) const {
  for (int i = 0; i < MacroListCount(); ++i) {
    if (ReadFixed(FMacroKeyInfoList[static_cast<std::size_t>(i)].szMacroName) == AMacroName) return i;
  }
  return -1;
}

TMACROKEYINFO TkwMacroClass::GetCurrentMacroKeyItem() const {
  if (!InRange(FMacroListIndex)) return TMACROKEYINFO{};
  return FMacroKeyInfoList[static_cast<std::size_t>(FMacroListIndex)];
}

void TkwMacroClass::SaveBackCurrentMacroKeyInfo(const TMACROKEYINFO& AMacroKeyInfo) {
  if (!InRange(FMacroListIndex)) return;
  FMacroKeyInfoList[static_cast<std::size_t>(FMacroListIndex)] = AMacroKeyInfo;
  Rebuild(FMacroListIndex, FMacroListIndex);
}

void TkwMacroClass::SetMacroLoopValue(int AIndex, std::uint16_t ALoopValue) {
  TMACROKEYINFO* m = Macro(AIndex);
  if (m == nullptr) return;
  m->nLoopCount = ALoopValue;
  Rebuild(AIndex, AIndex);
}

template <typename InsertFn>
void TkwMacroClass::InsertActions(const TMACROKEYINFO& AMacroKeyInfo, int AIndex, InsertFn fn) {
  if (!InRange(FMacroListIndex)) return;
  if (!FCurrentMacroAction) Rebuild(FMacroListIndex, FMacroListIndex);
  const int n = ActionCount(AMacroKeyInfo);
  for (int j = 0; j < n; ++j) {
    if (!FCurrentMacroAction->IsFull()) fn(*FCurrentMacroAction, AMacroKeyInfo.MacroList[j], AIndex + j);
  }
  Rebuild(FMacroListIndex, FMacroListIndex);
}

void TkwMacroClass::InsertMacro(const TMACROKEYINFO& AMacroKeyInfo, int AIndex) {
  InsertActions(AMacroKeyInfo, AIndex,
                [](TkwActionsClass& a, const TMACROKEY& k, int at) { a.InsertAction(k, at); });
}

void TkwMacroClass::InsertMacroAfter(const TMACROKEYINFO& AMacroKeyInfo, int AIndex) {
  InsertActions(AMacroKeyInfo, AIndex,
                [](TkwActionsClass& a, const TMACROKEY& k, int at) { a.InsertActionAfter(k, at); });
}

void TkwMacroClass::CheckAllErrors() {
  for (int i = 0; i < MacroListCount(); ++i) {
    TkwActionsClass check(FMacroKeyInfoList[static_cast<std::size_t>(i)], this, i);
    check.CheckErrors();
  }
}

void TkwMacroClass::Renumber() {
  for (std::size_t i = 0; i < FMacroKeyInfoList.size(); ++i) {
    FMacroKeyInfoList[i].nMacroIndex = static_cast<std::uint16_t>(i);
  }
}

void TkwMacroClass::Rebuild(int p, int source) {
  if (!InRange(p) || !InRange(source)) return;
  FCurrentMacroAction.reset();
  FCurrentMacroAction = TkwActionsClass::CtrlCreate(FMacroKeyInfoList[static_cast<std::size_t>(source)], this, p);
}

TMACROKEYINFO TkwMacroClass::LoadMacroFromFile(WView AMacroFile) {
  TMACROKEYINFO info{};
  if (!FileExists(AMacroFile)) return info;
  auto data = ReadWholeFile(AMacroFile);
  if (!data) throw VXError(VXError::Kind::FileOpen, "Cannot open file \"" + ToUtf8(AMacroFile) + "\"");
  std::memcpy(&info, data->data(), std::min(data->size(), sizeof info));
  return info;
}

WStr TkwMacroClass::MacroFileName(const TMACROKEYINFO& AMacroKeyInfo) {
  WStr name = ReadFixed(AMacroKeyInfo.szMacroName);
  // A name must not reach outside the macro folder or fail to be created.
  for (char16_t& c : name) {
    if (c < 0x20 || WView(u"\\/:*?\"<>|").find(c) != WView::npos) c = u'_';
  }
  return name + u".macro";
}

void TkwMacroClass::SaveMacroKeyInfoListToMacroFiles(const TMACROKEYINFOLIST& AMacroKeyInfoList, WView AMacroPath) {
  if (AMacroPath.empty()) return;
  const WStr folder = IncludeTrailingBackslash(AMacroPath);
  const int n = std::min<int>(AMacroKeyInfoList.nMacroInfoCount, kMaxMacros);
  for (int i = 0; i < n; ++i) {
    const TMACROKEYINFO& m = AMacroKeyInfoList.MacroInfos[i];
    if (!DirectoryExists(folder) && !CreateDirectoryOneLevel(folder)) {
      throw VXError(VXError::Kind::FolderCreate, "Unable to create directory " + ToUtf8(folder));
    }
    const WStr file = folder + MacroFileName(m);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&m);
    if (!WriteFileAtomic(file, std::span<const std::uint8_t>(bytes, sizeof m))) {
      throw VXError(VXError::Kind::FileCreate, "Cannot create file \"" + ToUtf8(file) + "\"");
    }
  }
}

}  // namespace vx
