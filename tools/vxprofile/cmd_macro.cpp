// vxprofile macro list | import FILE [--as INDEX] | export INDEX FILE |
// delete INDEX, all with [--slot N]: a profile's macros through the macro
// list model and its ".macro" files.
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/Files.h"
#include "profiles/kwMacroClassUnit.h"
#include "tools/vxprofile/ProfileEdit.h"

namespace vx::cli {
namespace {

bool UsesMacro(const TBUTTONFUNCINFO& b) { return b.FunctionClass == 4 && b.DeviceCode == 17; }

// Buttons carry a copy of the macro they name: keep the copies current.
void RefreshButtonCopies(TMouseProfileInfo& p) {
  for (auto& b : p.ConfigInfo.ButtonFuncInfo) {
    const int i = b.MacroInfo.nMacroIndex;
    if (UsesMacro(b) && i < p.MacroKeyInfoList.nMacroInfoCount) b.MacroInfo = p.MacroKeyInfoList.MacroInfos[i];
  }
}

// A ".macro" file as the macro model writes and reads it, checked whole.
bool ReadMacroFile(const std::string& file, TMACROKEYINFO& m, std::string& why) {
  const WStr path = FromNativePath(file);
  auto bytes = FileExists(path) ? ReadWholeFile(path) : std::nullopt;
  if (!bytes) {
    why = "cannot read " + file;
    return false;
  }
  if (bytes->size() != sizeof(TMACROKEYINFO)) {
    why = file + " is damaged: " + std::to_string(bytes->size()) + " bytes where a macro file has " +
          std::to_string(sizeof(TMACROKEYINFO));
    return false;
  }
  m = TkwMacroClass::LoadMacroFromFile(path);
  if (!TkwMacroClass::IsValidMacroVersion(m)) {
    why = file + " is not a macro file of a known version (" + std::to_string(m.Version) + ")";
    return false;
  }
  if (m.MacroListCount < 0 || m.MacroListCount > kMaxMacroActions) {
    why = file + " is damaged: " + std::to_string(m.MacroListCount) + " actions (at most " +
          std::to_string(kMaxMacroActions) + ")";
    return false;
  }
  return true;
}

struct Loaded {
  std::unique_ptr<TDM> dm;
  std::unique_ptr<TMouseProfileInfo> p;
  int slot = 0;
};

Loaded Load(const Context& ctx, const ChangeOptions& o, bool readOnly) {
  Loaded l;
  l.dm = LoadManager(ctx, readOnly);
  l.slot = o.slot >= 0 ? o.slot : l.dm->CurrentSlot();
  l.p = std::make_unique<TMouseProfileInfo>();
  l.dm->ReadProfileInfo(*l.p, l.slot);
  return l;
}

int Commit(Loaded& l, const ChangeOptions& o, const std::string& done) {
  int rc = 0;
  if (!CheckChangeAllowed(o, l.p.get(), l.slot, rc)) return rc;
  std::string error;
  if (!StoreSlot(*l.dm, *l.p, l.slot, error)) return Fail(error);
  return FinishChange(*l.dm, o, *l.p, l.slot, "slot " + std::to_string(l.slot) + ": " + done);
}

int List(Context& ctx, const ChangeOptions& o) {
  if (ctx.args.size() != 1 || o.write || o.force) return Fail("usage: macro list [--slot N]");
  Loaded l = Load(ctx, o, true);
  const auto& list = l.p->MacroKeyInfoList;
  const int count = std::min<int>(list.nMacroInfoCount, kMaxMacros);
  std::printf("slot %d: %d macros (at most %d)\n", l.slot, count, kMaxMacros);
  for (int i = 0; i < count; ++i) {
    const TMACROKEYINFO& m = list.MacroInfos[i];
    std::printf("  %2d \"%s\": %d actions, loop %u%s\n", i, ToUtf8(ReadFixed(m.szMacroName)).c_str(),
                std::clamp<int>(m.MacroListCount, 0, kMaxMacroActions), m.nLoopCount,
                m.HaveErrors ? (", " + std::to_string(m.ErrorCount) + " unbalanced presses or releases").c_str()
                             : "");
  }
  return 0;
}

int Import(Context& ctx, const ChangeOptions& o) {
  const auto& a = ctx.args;
  std::string file;
  int as = -1;
  for (std::size_t i = 1; i < a.size(); ++i) {
    if (a[i] == "--as" && i + 1 < a.size()) {
      const auto v = ParseIndex(a[++i], 0, kMaxMacros - 1);
      if (!v) return Fail("--as takes a macro index, 0 to " + std::to_string(kMaxMacros - 1) + ", not '" + a[i] + "'");
      as = *v;
    } else if (file.empty() && a[i].rfind("--", 0) != 0) {
      file = a[i];
    } else {
      return Fail("usage: macro import [--slot N] FILE.macro [--as INDEX]");
    }
  }
  if (file.empty()) return Fail("usage: macro import [--slot N] FILE.macro [--as INDEX]");
  TMACROKEYINFO m;
  std::string why;
  if (!ReadMacroFile(file, m, why)) return Fail(why);
  Loaded l = Load(ctx, o, true);
  TkwMacroClass model(l.p->MacroKeyInfoList);
  const int count = model.MacroListCount();
  if (as > count) {
    return Fail("--as " + std::to_string(as) + ": the profile holds " + std::to_string(count) +
                " macros; import replaces one of them or adds one at the end");
  }
  if (as < 0 || as == count) {
    if (count >= kMaxMacros) return Fail("the profile holds " + std::to_string(kMaxMacros) + " macros already");
    model.CreateNewMacro(ReadFixed(m.szMacroName));
    as = count;
  } else {
    model.SetMacroListIndex(as);
  }
  m.nMacroIndex = static_cast<std::uint16_t>(as);
  model.SaveBackCurrentMacroKeyInfo(m);
  model.CurrentMacroAction()->CheckErrors();
  model.GetMacroKeyInfoList(l.p->MacroKeyInfoList);
  RefreshButtonCopies(*l.p);
  const TMACROKEYINFO& stored = l.p->MacroKeyInfoList.MacroInfos[as];
  std::string done = "macro " + std::to_string(as) + " \"" + ToUtf8(ReadFixed(stored.szMacroName)) + "\" " +
                     (as < count ? "replaced" : "added") + " from " + file + " (" +
                     std::to_string(stored.MacroListCount) + " actions";
  if (stored.HaveErrors) done += ", " + std::to_string(stored.ErrorCount) + " unbalanced presses or releases";
  return Commit(l, o, done + ")");
}

int Export(Context& ctx, const ChangeOptions& o) {
  if (ctx.args.size() != 3 || o.write || o.force) return Fail("usage: macro export [--slot N] INDEX FILE.macro");
  const auto index = ParseIndex(ctx.args[1], 0, kMaxMacros - 1);
  if (!index) return Fail("macro index '" + ctx.args[1] + "' is not 0 to " + std::to_string(kMaxMacros - 1));
  Loaded l = Load(ctx, o, true);
  if (*index >= l.p->MacroKeyInfoList.nMacroInfoCount) {
    return Fail("the profile has no macro " + ctx.args[1]);
  }
  TMACROKEYINFO m = l.p->MacroKeyInfoList.MacroInfos[*index];
  m.Version = kProfileFileVersion;  // what marks a macro file as valid
  std::vector<std::uint8_t> bytes(sizeof m);
  std::memcpy(bytes.data(), &m, sizeof m);
  if (!WriteFileAtomic(FromNativePath(ctx.args[2]), bytes)) return Fail("cannot write " + ctx.args[2]);
  std::printf("macro %d \"%s\" of slot %d exported to %s\n", *index, ToUtf8(ReadFixed(m.szMacroName)).c_str(), l.slot,
              ctx.args[2].c_str());
  return 0;
}

int Delete(Context& ctx, const ChangeOptions& o) {
  if (ctx.args.size() != 2) return Fail("usage: macro delete [--slot N] INDEX");
  const auto index = ParseIndex(ctx.args[1], 0, kMaxMacros - 1);
  if (!index) return Fail("macro index '" + ctx.args[1] + "' is not 0 to " + std::to_string(kMaxMacros - 1));
  Loaded l = Load(ctx, o, true);
  auto& p = *l.p;
  if (*index >= p.MacroKeyInfoList.nMacroInfoCount) return Fail("the profile has no macro " + ctx.args[1]);
  for (int i = 0; i < kButtonCount; ++i) {
    const auto& b = p.ConfigInfo.ButtonFuncInfo[i];
    if (UsesMacro(b) && b.MacroInfo.nMacroIndex == *index) {
      return Fail("macro " + ctx.args[1] + " is assigned to button " + std::to_string(i) +
                  "; give the button another assignment first");
    }
  }
  const std::string name = ToUtf8(ReadFixed(p.MacroKeyInfoList.MacroInfos[*index].szMacroName));
  TkwMacroClass model(p.MacroKeyInfoList);
  model.DeleteMacro(*index);
  model.GetMacroKeyInfoList(p.MacroKeyInfoList);
  // The macros after it moved up one place; so do the buttons naming them.
  for (auto& b : p.ConfigInfo.ButtonFuncInfo) {
    if (UsesMacro(b) && b.MacroInfo.nMacroIndex > *index) --b.MacroInfo.nMacroIndex;
  }
  RefreshButtonCopies(p);
  return Commit(l, o, "macro " + ctx.args[1] + " \"" + name + "\" deleted");
}

int Macro(Context& ctx) {
  ChangeOptions o;
  int rc = 0;
  if (!TakeChangeOptions(ctx, o, true, rc)) return rc;
  const std::string sub = ctx.args.empty() ? std::string() : ctx.args[0];
  if (sub == "list") return List(ctx, o);
  if (sub == "import") return Import(ctx, o);
  if (sub == "export") return Export(ctx, o);
  if (sub == "delete") return Delete(ctx, o);
  return Fail("usage: macro list|import|export|delete [--slot N] ...");
}

}  // namespace

VX_COMMAND("macro", "macro list|import FILE [--as N]|export N FILE|delete N [--slot 0-4]  a profile's macros", Macro);

}  // namespace vx::cli
