#include "profiles/kwMacroClassUnit.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include "platform/Files.h"
#include "StoreFixture.h"

namespace vx {
namespace {

TMACROKEY Key(std::uint8_t vk, std::uint16_t down) { return TMACROKEY{kActionKey, down, vk, 0}; }
TMACROKEY Mouse(std::uint8_t button, std::uint16_t down) {
  return TMACROKEY{kActionMouse, down, static_cast<std::uint8_t>(1 << (button - 1)), button};
}
TMACROKEY Delay(std::uint16_t ms) {
  return TMACROKEY{kActionDelay, 0, static_cast<std::uint8_t>(ms & 0xFF), static_cast<std::uint8_t>(ms >> 8)};
}

TMACROKEYINFO MacroOf(std::initializer_list<TMACROKEY> actions, std::u16string_view name = u"m") {
  TMACROKEYINFO m{};
  int i = 0;
  for (const auto& a : actions) m.MacroList[i++] = a;
  m.MacroListCount = i;
  WriteFixed(m.szMacroName, name);
  return m;
}

std::unique_ptr<TMACROKEYINFOLIST> ListOf(std::initializer_list<TMACROKEYINFO> macros) {
  auto l = std::make_unique<TMACROKEYINFOLIST>();
  std::memset(l.get(), 0, sizeof *l);
  for (const auto& m : macros) l->MacroInfos[l->nMacroInfoCount++] = m;
  return l;
}


TEST(MacroKey, EveryViewPairOverlaysBytesFourAndFive) {
  using View = std::uint8_t& (TMACROKEY::*)();
  const std::pair<View, View> views[] = {
      {&TMACROKEY::MouseKeyValue, &TMACROKEY::MouseKey_Index}, {&TMACROKEY::MOUSE_X, &TMACROKEY::MOUSE_Y},
      {&TMACROKEY::WHEEL_VALUE, &TMACROKEY::WHEEL_Index},      {&TMACROKEY::nKeyValue, &TMACROKEY::nKeyExtended},
      {&TMACROKEY::MediaKey_L, &TMACROKEY::MediaKey_H},        {&TMACROKEY::DELAY_L, &TMACROKEY::DELAY_H},
      {&TMACROKEY::LOOP_L, &TMACROKEY::LOOP_H}};
  for (auto [first, second] : views) {
    TMACROKEY k{};
    (k.*first)() = 0x12;
    (k.*second)() = 0x34;
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&k);
    EXPECT_EQ(bytes[4], 0x12);
    EXPECT_EQ(bytes[5], 0x34);
  }
}

TEST(MacroErrorCheck, UnbalancedPressesAndReleases) {
  const TMACROKEY keyA = Key(0x41, 1);
  const TMACROKEY upA = Key(0x41, 0);
  // Byte 5 * 256 + byte 4 of the left button (1, 1) = 0x0101.
  const TMACROKEY keyAsLeft = TMACROKEY{kActionKey, 1, 1, 1};
  struct Case {
    const char* name;
    std::vector<TMACROKEY> actions;
    int errors;
  };
  const std::vector<Case> cases = {
      {"press then release", {keyA, upA}, 0},
      {"lone press", {keyA}, 1},
      {"lone release", {upA}, 1},
      {"two presses one release", {keyA, keyA, upA}, 1},
      {"lone left press", {Mouse(1, 1)}, 0},
      {"lone left release", {Mouse(1, 0)}, 1},
      {"key down balanced by the mouse up of the same code", {keyAsLeft, Mouse(1, 0)}, 0},
      {"delays and wheel are skipped", {Delay(5), TMACROKEY{kActionWheel, 0, 1, 6}}, 0},
      {"kind 5 left pressed is not counted", {TMACROKEY{kActionPressCode, 1, 3, 0}}, 0},
      {"two keys left pressed", {keyA, Key(0x42, 1)}, 2},
      {"state other than 1 releases", {keyA, TMACROKEY{kActionKey, 7, 0x41, 0}}, 0},
  };
  for (const auto& c : cases) {
    TMACROKEYINFO m{};
    for (std::size_t i = 0; i < c.actions.size(); ++i) m.MacroList[i] = c.actions[i];
    m.MacroListCount = static_cast<std::int32_t>(c.actions.size());
    m.HaveErrors = 5;
    m.ErrorCount = 9;
    auto list = ListOf({m});
    TkwMacroClass model(*list);
    model.CheckAllErrors();
    const TMACROKEYINFO* r = model.Macro(0);
    EXPECT_EQ(r->ErrorCount, c.errors) << c.name;
    EXPECT_EQ(r->HaveErrors, c.errors > 0 ? 1 : 0) << c.name;
  }
}

TEST(MacroErrorCheck, ActionsPastTheCountAreIgnored) {
  TMACROKEYINFO m = MacroOf({Key(0x41, 1), Key(0x41, 0)});
  m.MacroList[2] = Key(0x42, 1);  // garbage beyond MacroListCount
  auto list = ListOf({m});
  TkwMacroClass model(*list);
  model.CheckAllErrors();
  EXPECT_EQ(model.Macro(0)->ErrorCount, 0);
}

TEST(MacroErrorCheck, LaterEditWritesBackTheOldFlags) {
  auto list = ListOf({MacroOf({Key(0x41, 1)})});
  TkwMacroClass model(*list);
  model.SetMacroListIndex(0);
  TkwActionsClass* actions = model.CurrentMacroAction();
  actions->CheckErrors();
  EXPECT_EQ(model.Macro(0)->HaveErrors, 1);
  actions->SetDelayValue(0, 0x41);  // any edit writes back FORGMacroKeyInfo's fields
  EXPECT_EQ(model.Macro(0)->HaveErrors, 0);
  EXPECT_EQ(model.Macro(0)->ErrorCount, 0);
}

TEST(Actions, InsertRules) {
  auto list = ListOf({MacroOf({})});
  TkwMacroClass model(*list);
  model.SetMacroListIndex(0);
  TkwActionsClass& a = *model.CurrentMacroAction();
  a.InsertAction(Key(1, 1), 0);  // empty list: nothing
  EXPECT_EQ(a.GetCount(), 0);
  a.InsertActionAfter(Key(1, 1), 0);  // index == count appends
  EXPECT_EQ(a.GetCount(), 1);
  EXPECT_EQ(a.ActionIndex(), -1);
  a.InsertActionAfter(Key(2, 1), 5);  // out of range: nothing
  a.InsertAction(Key(3, 1), 1);       // at the end: nothing
  EXPECT_EQ(a.GetCount(), 1);
  a.InsertAction(Key(3, 1), 0);
  EXPECT_EQ(model.Macro(0)->MacroListCount, 2);
  EXPECT_EQ(model.Macro(0)->MacroList[0].VALUE1, 3);
  EXPECT_EQ(model.Macro(0)->MacroList[1].VALUE1, 1);
}

TEST(Actions, CurrentActionFollowsInsertAndDelete) {
  auto list = ListOf({MacroOf({Key(1, 1), Key(2, 1), Key(3, 1)})});
  TkwMacroClass model(*list);
  model.SetMacroListIndex(0);
  TkwActionsClass& a = *model.CurrentMacroAction();
  EXPECT_EQ(a.ActionIndex(), 0);
  a.InsertAction(Key(9, 1), 0);
  EXPECT_EQ(a.ActionIndex(), 1);
  a.SetActionIndex(3);
  a.SetActionIndex(4);  // out of range: ignored
  EXPECT_EQ(a.ActionIndex(), 3);
  a.DeleteAction(3);
  EXPECT_EQ(a.ActionIndex(), 2);
  a.MoveUpAction(2);
  EXPECT_EQ(a.ActionIndex(), 1);
  a.MoveDownAction(0);
  EXPECT_EQ(a.ActionIndex(), 0);
  a.MoveUpAction(0);  // first up: nothing
  a.MoveDownAction(2);  // last down: nothing
  EXPECT_EQ(model.Macro(0)->MacroListCount, 3);
  const TMACROKEY* m = model.Macro(0)->MacroList;
  EXPECT_EQ((std::vector<int>{m[0].VALUE1, m[1].VALUE1, m[2].VALUE1}), (std::vector<int>{2, 9, 1}));
  EXPECT_EQ(a.ActionIndex(), 0);
}

TEST(Actions, CutPasteOnceCopyPasteTwice) {
  auto list = ListOf({MacroOf({Key(1, 1), Key(2, 1), Key(3, 1)})});
  TkwMacroClass model(*list);
  model.SetMacroListIndex(0);
  TkwActionsClass& a = *model.CurrentMacroAction();
  a.CutAction(2);
  EXPECT_TRUE(a.CutOperationFlag());
  EXPECT_EQ(a.GetCount(), 2);
  a.PasteAction(2);  // refused (not before an action): the cut action stays on the clipboard
  EXPECT_EQ(a.ClipboardCount(), 1);
  EXPECT_TRUE(a.CutOperationFlag());
  a.PasteAction(0);
  a.PasteAction(0);
  EXPECT_EQ(a.GetCount(), 3);
  EXPECT_EQ(a.Action(0).VALUE1, 3);
  a.CopyAction(1);
  a.PasteAction(0);
  a.PasteAction(0);
  EXPECT_EQ(a.GetCount(), 5);
  EXPECT_EQ(model.Macro(0)->MacroListCount, 5);
  EXPECT_EQ(model.Macro(0)->MacroList[0].VALUE1, 1);
  EXPECT_EQ(model.Macro(0)->MacroList[1].VALUE1, 1);
}

TEST(Actions, FullModelRefusesInsertsAndPastes) {
  TMACROKEYINFO m{};
  for (int i = 0; i < 128; ++i) m.MacroList[i] = Delay(static_cast<std::uint16_t>(i));
  m.MacroListCount = 128;
  auto list = ListOf({m});
  TkwMacroClass model(*list);
  model.SetMacroListIndex(0);
  TkwActionsClass& a = *model.CurrentMacroAction();
  EXPECT_TRUE(a.IsFull());
  a.InsertAction(Key(1, 1), 0);
  a.InsertActionAfter(Key(1, 1), 127);
  a.InsertActionAfter(Key(1, 1), 128);
  a.CopyAction(0);
  a.PasteAction(0);
  EXPECT_EQ(a.GetCount(), 128);
  model.InsertMacro(MacroOf({Key(1, 1)}), 0);  // rebuilds the action model
  EXPECT_EQ(model.CurrentMacroAction()->GetCount(), 128);
  EXPECT_EQ(model.Macro(0)->MacroListCount, 128);
  EXPECT_EQ(model.CurrentMacroAction()->TotalDelay(), 127u * 128u / 2u);
}

TEST(Actions, OversizedAndNegativeCountsAreClamped) {
  TMACROKEYINFO m{};
  m.MacroListCount = 5000;
  TkwActionsClass big(m, nullptr, 0);
  EXPECT_EQ(big.GetCount(), 128);
  m.MacroListCount = -3;
  TkwActionsClass none(m, nullptr, 0);
  EXPECT_EQ(none.GetCount(), 0);
  EXPECT_EQ(none.ActionIndex(), -1);
}

TEST(Actions, DelayValuesAndTotal) {
  auto list = ListOf({MacroOf({Delay(300), Key(1, 1), Delay(65535)})});
  TkwMacroClass model(*list);
  model.SetMacroListIndex(0);
  TkwActionsClass& a = *model.CurrentMacroAction();
  EXPECT_EQ(a.TotalDelay(), 65835u);
  EXPECT_EQ(a.GetDelayValue(0), 300);
  EXPECT_EQ(a.GetDelayValue(1), 1);  // any kind: bytes 4 and 5
  EXPECT_EQ(a.GetDelayValue(3), 0);
  a.SetDelayValue(0, 0x1234);
  EXPECT_EQ(model.Macro(0)->MacroList[0].VALUE1, 0x34);
  EXPECT_EQ(model.Macro(0)->MacroList[0].VALUE2, 0x12);
}

TEST(Actions, GetMacroKeyInfoKeepsActionsPastTheCount) {
  TMACROKEYINFO m = MacroOf({Key(1, 1), Key(2, 1)});
  m.MacroList[5] = Key(7, 1);
  m.nLoopCount = 3;
  TkwActionsClass a(m, nullptr, 0);
  a.DeleteAction(0);
  const TMACROKEYINFO r = a.GetMacroKeyInfo();
  EXPECT_EQ(r.MacroListCount, 1);
  EXPECT_EQ(r.MacroList[0].VALUE1, 2);
  EXPECT_EQ(r.MacroList[1].VALUE1, 2);  // previous bytes of FORGMacroKeyInfo stay
  EXPECT_EQ(r.MacroList[5].VALUE1, 7);
  EXPECT_EQ(r.nLoopCount, 3);
}

TEST(Macros, CreateRenumberMoveDelete) {
  TkwMacroClass model;
  EXPECT_EQ(model.MacroListIndex(), -1);
  EXPECT_TRUE(model.IsEmpty());
  for (const char16_t* n : {u"a", u"b", u"c"}) model.CreateNewMacro(n);
  EXPECT_EQ(model.MacroListIndex(), 2);
  EXPECT_EQ(model.CurrentMacroAction(), nullptr);
  model.SetMacroListIndex(2);
  model.MoveUpMacro(2);
  EXPECT_EQ(model.MacroListIndex(), 1);
  EXPECT_EQ(ReadFixed(model.Macro(1)->szMacroName), u"c");
  model.MoveUpMacro(2);  // current at 1 moves to 2
  EXPECT_EQ(model.MacroListIndex(), 2);
  model.MoveUpMacro(0);    // first up: nothing
  model.MoveDownMacro(2);  // last down: nothing
  EXPECT_EQ(model.MacroListCount(), 3);
  EXPECT_EQ(model.MacroListIndex(), 2);
  EXPECT_EQ(ReadFixed(model.Macro(0)->szMacroName), u"a");
  EXPECT_EQ(ReadFixed(model.Macro(2)->szMacroName), u"c");
  for (int i = 0; i < 3; ++i) EXPECT_EQ(model.Macro(i)->nMacroIndex, i);
  EXPECT_EQ(model.IndexOfMacroName(u"b"), 1);
  EXPECT_EQ(model.IndexOfMacroName(u"B"), -1);
  model.DeleteMacro(u"B");
  EXPECT_EQ(model.MacroListCount(), 3);
  model.DeleteMacro(u"c");
  EXPECT_EQ(model.MacroListIndex(), 1);
  EXPECT_EQ(model.Macro(1)->nMacroIndex, 1);
  model.DeleteMacro(7);
  model.DeleteMacro(0);
  model.DeleteMacro(0);
  EXPECT_EQ(model.MacroListIndex(), -1);
  EXPECT_EQ(model.GetCurrentMacroKeyItem().MacroListCount, 0);
}

// After a structural change, an action edit lands in the macro the action
// model was built from, wherever that macro now sits.
TEST(Macros, ActionModelFollowsItsMacroThroughMovesAndDeletes) {
  struct Case {
    const char* name;
    int current;
    std::function<void(TkwMacroClass&)> change;
    std::vector<std::pair<WStr, int>> expected;  // name and action count, in list order
  };
  const std::vector<Case> cases = {
      {"move the current one up", 2, [](auto& m) { m.MoveUpMacro(2); }, {{u"A", 1}, {u"C", 2}, {u"B", 1}}},
      {"move the one above it down", 1, [](auto& m) { m.MoveUpMacro(2); }, {{u"A", 1}, {u"C", 1}, {u"B", 2}}},
      {"move the current one down", 0, [](auto& m) { m.MoveDownMacro(0); }, {{u"B", 1}, {u"A", 2}, {u"C", 1}}},
      {"move two others", 2, [](auto& m) { m.MoveDownMacro(0); }, {{u"B", 1}, {u"A", 1}, {u"C", 2}}},
      {"delete one before it", 2, [](auto& m) { m.DeleteMacro(0); }, {{u"B", 1}, {u"C", 2}}},
      {"delete one after it", 0, [](auto& m) { m.DeleteMacro(1); }, {{u"A", 2}, {u"C", 1}}},
      {"delete the last, current one", 2, [](auto& m) { m.DeleteMacro(2); }, {{u"A", 1}, {u"B", 2}}},
      {"delete the current one", 1, [](auto& m) { m.DeleteMacro(1); }, {{u"A", 1}, {u"C", 2}}},
  };
  for (const auto& c : cases) {
    auto list = ListOf({MacroOf({Key(1, 1)}, u"A"), MacroOf({Key(2, 1)}, u"B"), MacroOf({Key(3, 1)}, u"C")});
    TkwMacroClass model(*list);
    model.SetMacroListIndex(c.current);
    c.change(model);
    ASSERT_NE(model.CurrentMacroAction(), nullptr) << c.name;
    model.CurrentMacroAction()->InsertActionAfter(Key(9, 1), 0);
    std::vector<std::pair<WStr, int>> got;
    for (int i = 0; i < model.MacroListCount(); ++i) {
      got.emplace_back(ReadFixed(model.Macro(i)->szMacroName), model.Macro(i)->MacroListCount);
      EXPECT_EQ(model.Macro(i)->nMacroIndex, i) << c.name;
    }
    EXPECT_EQ(got, c.expected) << c.name;
  }
}

TEST(Macros, NamesAreCutToFitTheirTerminator) {
  TkwMacroClass model;
  model.CreateNewMacro(WStr(80, u'n'));
  EXPECT_EQ(ReadFixed(model.Macro(0)->szMacroName), WStr(49, u'n'));
  model.ReNameMacro(WStr(50, u'r'), 0);
  EXPECT_EQ(ReadFixed(model.Macro(0)->szMacroName), WStr(49, u'r'));
  model.ReNameMacro(u"x", 5);  // out of range: nothing
  // A stored name of exactly 50 units reads as 50 characters.
  TMACROKEYINFO m{};
  for (auto& c : m.szMacroName) c = u'z';
  EXPECT_EQ(ReadFixed(m.szMacroName).size(), 50u);
}

TEST(Macros, ListHoldsAtMost21AndAppends) {
  TkwMacroClass model;
  for (int i = 0; i < 25; ++i) {
    WStr name(u"m");
    name += IntToWStr(i);
    model.CreateNewMacro(name);
  }
  EXPECT_TRUE(model.IsFull());
  auto list = ListOf({});
  std::memset(list->MacroInfos[21 - 1].szMacroName, 0x55, 4);
  model.GetMacroKeyInfoList(*list);
  EXPECT_EQ(list->nMacroInfoCount, 21);
  EXPECT_EQ(ReadFixed(list->MacroInfos[20].szMacroName), u"m20");

  TkwMacroClass twice(*list);
  twice.SetMacroKeyInfoList(*list);
  EXPECT_EQ(twice.MacroListCount(), 42);
  auto bad = ListOf({});
  bad->nMacroInfoCount = 900;
  TkwMacroClass clamped(*bad);
  EXPECT_EQ(clamped.MacroListCount(), 21);
}

TEST(Macros, LoopValueRebuildsFromTheNamedMacro) {
  auto list = ListOf({MacroOf({Key(1, 1)}, u"first"), MacroOf({Key(2, 1), Key(2, 0)}, u"second")});
  TkwMacroClass model(*list);
  model.SetMacroListIndex(0);
  model.SetMacroLoopValue(1, 7);
  EXPECT_EQ(model.Macro(1)->nLoopCount, 7);
  TkwActionsClass& a = *model.CurrentMacroAction();
  EXPECT_EQ(a.MacroIndex(), 1);
  EXPECT_EQ(a.GetCount(), 2);
  a.DeleteAction(0);  // edits land in macro 1 with macro 1's actions
  EXPECT_EQ(model.Macro(1)->MacroListCount, 1);
  EXPECT_EQ(model.Macro(1)->MacroList[0].nKeyState, 0);
  EXPECT_EQ(model.Macro(1)->nLoopCount, 7);
  EXPECT_EQ(model.Macro(0)->MacroListCount, 1);
}

TEST(Macros, InsertMacroAndInsertMacroAfter) {
  auto list = ListOf({MacroOf({Key(1, 1), Key(2, 1)})});
  TkwMacroClass model(*list);
  model.InsertMacro(MacroOf({Key(8, 1), Key(9, 1)}), 1);
  EXPECT_EQ(model.Macro(0)->MacroListCount, 4);
  const std::uint8_t order[] = {1, 8, 9, 2};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(model.Macro(0)->MacroList[i].VALUE1, order[i]) << i;
  model.InsertMacroAfter(MacroOf({Key(5, 1), Key(6, 1)}), 3);
  EXPECT_EQ(model.Macro(0)->MacroListCount, 6);
  EXPECT_EQ(model.Macro(0)->MacroList[4].VALUE1, 5);
  EXPECT_EQ(model.Macro(0)->MacroList[5].VALUE1, 6);
  TkwMacroClass empty;
  empty.InsertMacro(MacroOf({Key(1, 1)}), 0);  // no current macro: nothing
  EXPECT_TRUE(empty.IsEmpty());
}

TEST(Macros, SaveBackCurrentReplacesAndRebuilds) {
  auto list = ListOf({MacroOf({Key(1, 1)})});
  TkwMacroClass model(*list);
  model.SaveBackCurrentMacroKeyInfo(MacroOf({Key(3, 1), Key(3, 0)}, u"new"));
  EXPECT_EQ(ReadFixed(model.Macro(0)->szMacroName), u"new");
  ASSERT_NE(model.CurrentMacroAction(), nullptr);
  EXPECT_EQ(model.CurrentMacroAction()->GetCount(), 2);
  TkwMacroClass empty;
  empty.SaveBackCurrentMacroKeyInfo(MacroOf({Key(3, 1)}));
  EXPECT_TRUE(empty.IsEmpty());
}

class MacroFiles : public test::StoreTest {};

TEST_F(MacroFiles, SaveOneFilePerMacroAndReadBack) {
  auto list = ListOf({MacroOf({Key(1, 1)}, u"same"), MacroOf({Key(2, 1)}, u"other"), MacroOf({Key(3, 1)}, u"same")});
  list->MacroInfos[1].Version = 259;
  const WStr folder = test::W(dir.path() / "macros");
  TkwMacroClass::SaveMacroKeyInfoListToMacroFiles(*list, folder);
  const auto same = *ReadWholeFile(folder + u"\\same.macro");
  EXPECT_EQ(same, test::Bytes(list->MacroInfos[2]));  // the later one wins
  const TMACROKEYINFO other = TkwMacroClass::LoadMacroFromFile(folder + u"\\other.macro");
  EXPECT_TRUE(TkwMacroClass::IsValidMacroVersion(other));
  EXPECT_FALSE(TkwMacroClass::IsValidMacroVersion(TkwMacroClass::LoadMacroFromFile(folder + u"\\same.macro")));
  EXPECT_EQ(test::Bytes(other), test::Bytes(list->MacroInfos[1]));
  const TMACROKEYINFO missing = TkwMacroClass::LoadMacroFromFile(folder + u"\\none.macro");
  EXPECT_EQ(missing.MacroListCount, 0);
  EXPECT_FALSE(TkwMacroClass::IsValidMacroVersion(missing));
}

TEST_F(MacroFiles, ShortAndLongFilesLoadSafely) {
  const WStr small = test::W(dir.path() / "s.macro");
  WriteFileAtomic(small, std::vector<std::uint8_t>{3, 0, 1, 0});
  const TMACROKEYINFO s = TkwMacroClass::LoadMacroFromFile(small);
  EXPECT_EQ(s.MacroList[0].nKeyType, 3);
  EXPECT_EQ(s.Version, 0u);
  std::vector<std::uint8_t> big(5000, 0);
  big[880] = 3;
  big[881] = 1;
  WriteFileAtomic(test::W(dir.path() / "b.macro"), big);
  EXPECT_TRUE(TkwMacroClass::IsValidMacroVersion(TkwMacroClass::LoadMacroFromFile(test::W(dir.path() / "b.macro"))));
}

TEST_F(MacroFiles, UnsafeNamesStayInTheFolder) {
  auto list = ListOf({MacroOf({}, u"..\\up/x:y")});
  TkwMacroClass::SaveMacroKeyInfoListToMacroFiles(*list, test::W(dir.path() / "m"));
  EXPECT_TRUE(std::filesystem::exists(dir.path() / "m" / ".._up_x_y.macro"));
  TkwMacroClass::SaveMacroKeyInfoListToMacroFiles(*list, u"");  // nothing, not the drive root
  EXPECT_THROW(TkwMacroClass::SaveMacroKeyInfoListToMacroFiles(*list, test::W(dir.path() / "a" / "b")), VXError);
}

}  // namespace
}  // namespace vx
