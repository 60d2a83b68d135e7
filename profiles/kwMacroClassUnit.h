#pragma once
// Editable view of a profile's macros (TkwMacroClass) and of one macro's
// actions (TkwActionsClass). Every action edit is written back into the
// macro list at once; callers copy the list into a record with
// GetMacroKeyInfoList.
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/Text.h"
#include "profiles/pubunit_lumari.h"

namespace vx {

class TkwMacroClass;

class TkwActionsClass {
 public:
  TkwActionsClass();
  // Built from a macro record, bound to a position of a macro list.
  TkwActionsClass(const TMACROKEYINFO& AMacroKeyInfo, TkwMacroClass* AMacroClass, int AMacroIndex);
  static std::unique_ptr<TkwActionsClass> CtrlCreate(const TMACROKEYINFO& AMacroKeyInfo,
                                                     TkwMacroClass* AMacroClass, int AMacroIndex);

  int GetCount() const { return static_cast<int>(FActionsList.size()); }
  bool GetIsActionsFull() const { return GetCount() >= FMaxActionsCount; }
  bool GetIsActionsEmpty() const { return FActionsList.empty(); }
  int MacroListCount() const { return GetCount(); }
  bool IsFull() const { return GetIsActionsFull(); }
  bool IsEmpty() const { return GetIsActionsEmpty(); }
  int ActionIndex() const { return FActionsIndex; }
  void SetActionIndex(int v);
  // Sum of the pauses in milliseconds.
  std::uint32_t TotalDelay() const;
  const std::vector<TMACROKEY>& Actions() const { return FActionsList; }
  const TMACROKEY& Action(int i) const { return FActionsList.at(static_cast<std::size_t>(i)); }
  int MacroIndex() const { return FMacroIndex; }
  bool CutOperationFlag() const { return FCutOperationFlag; }
  int ClipboardCount() const { return static_cast<int>(FSavedActionsList.size()); }

  TMACROKEYINFO GetMacroKeyInfo() const;
  void SetMacroKeyInfo(const TMACROKEYINFO& AMacroKeyInfo);
  void SaveBack();
  // false when refused (full, or AIndex not an action).
  bool InsertAction(const TMACROKEY& AAction, int AIndex);
  void InsertActionAfter(const TMACROKEY& AAction, int AIndex);
  void DeleteAction(int AIndex);
  void MoveUpAction(int AIndex);
  void MoveDownAction(int AIndex);
  void CopyAction(int AIndex);
  void CutAction(int AIndex);
  // A refused paste keeps the clipboard, a cut one included.
  void PasteAction(int AIndex);
  std::int32_t GetDelayValue(int AIndex) const;
  void SetDelayValue(int AIndex, std::int32_t ADelay);
  void CheckErrors();

 private:
  friend class TkwMacroClass;
  bool InRange(int i) const { return i >= 0 && i < GetCount(); }
  void LoadActions(const TMACROKEYINFO& info);
  // The macro it edits now sits at position p of the list.
  void Rebind(int p);

  TMACROKEYINFO FORGMacroKeyInfo{};
  std::vector<TMACROKEY> FActionsList;
  int FActionsIndex = -1;
  int FMaxActionsCount = kMaxMacroActions;
  TkwMacroClass* FMacroClass = nullptr;
  int FMacroIndex = -1;
  bool FCutOperationFlag = false;
  std::vector<TMACROKEY> FSavedActionsList;
};

class TkwMacroClass {
 public:
  TkwMacroClass();
  explicit TkwMacroClass(const TMACROKEYINFOLIST& AMacroKeyInfoList);  // CtlCreate
  ~TkwMacroClass();
  TkwMacroClass(const TkwMacroClass&) = delete;
  TkwMacroClass& operator=(const TkwMacroClass&) = delete;

  int MacroListIndex() const { return FMacroListIndex; }
  // In range: makes it current and rebuilds the action model; else ignored.
  void SetMacroListIndex(int v);
  int MacroListCount() const { return static_cast<int>(FMacroKeyInfoList.size()); }
  bool IsFull() const { return MacroListCount() >= FMaxMacroListCount; }
  bool IsEmpty() const { return FMacroKeyInfoList.empty(); }
  TMACROKEYINFO CurrentMacroKeyInfo() const { return GetCurrentMacroKeyItem(); }
  // Replaced whenever the model rebuilds it (MacroListIndex, SaveBack...,
  // SetMacroLoopValue, InsertMacro...): do not keep the pointer across those.
  TkwActionsClass* CurrentMacroAction() const { return FCurrentMacroAction.get(); }
  // Direct access to a macro of the list (nullptr when out of range).
  TMACROKEYINFO* Macro(int i);

  void SetMacroKeyInfoList(const TMACROKEYINFOLIST& AMacroKeyInfoList);
  void GetMacroKeyInfoList(TMACROKEYINFOLIST& AMacroKeyInfoList) const;
  // Names longer than 49 units are cut to 49 so the record keeps its terminator.
  void CreateNewMacro(WView AMacroName);
  void ReNameMacro(WView AMacroName, int AIndex);
  void DeleteMacro(int AIndex);
  void DeleteMacro(WView AMacroName);
  void MoveUpMacro(int AIndex);
  void MoveDownMacro(int AIndex);
  bool MacroExists(WView AMacroName) const { return IndexOfMacroName(AMacroName) >= 0; }
  int IndexOfMacroName(WView AMacroName) const;
  // A copy of the current macro; a zero record when the list is empty.
  TMACROKEYINFO GetCurrentMacroKeyItem() const;
  void SaveBackCurrentMacroKeyInfo(const TMACROKEYINFO& AMacroKeyInfo);
  void SetMacroLoopValue(int AIndex, std::uint16_t ALoopValue);
  void InsertMacro(const TMACROKEYINFO& AMacroKeyInfo, int AIndex);
  void InsertMacroAfter(const TMACROKEYINFO& AMacroKeyInfo, int AIndex);
  void CheckAllErrors();

  static TMACROKEYINFO LoadMacroFromFile(WView AMacroFile);
  static bool IsValidMacroVersion(const TMACROKEYINFO& AMacroKeyInfo) {
    return AMacroKeyInfo.Version == kProfileFileVersion;
  }
  // One "<name>.macro" file per macro. Nothing is written for an empty path;
  // characters that cannot appear in a file name become '_'.
  static void SaveMacroKeyInfoListToMacroFiles(const TMACROKEYINFOLIST& AMacroKeyInfoList, WView AMacroPath);
  static WStr MacroFileName(const TMACROKEYINFO& AMacroKeyInfo);

 private:
  friend class TkwActionsClass;
  bool InRange(int i) const { return i >= 0 && i < MacroListCount(); }
  void Renumber();
  void SwapMacros(int i, int n);
  // A new action model from macro `source`, bound to position p.
  void Rebuild(int p, int source);
  template <typename InsertFn>
  void InsertActions(const TMACROKEYINFO& AMacroKeyInfo, int AIndex, InsertFn fn);

  std::vector<TMACROKEYINFO> FMacroKeyInfoList;
  int FMacroListIndex = -1;
  int FMaxMacroListCount = 20;
  std::unique_ptr<TkwActionsClass> FCurrentMacroAction;
};

}  // namespace vx
