// vxprofile button set [--slot N] [--write] [--force] BUTTON ASSIGNMENT:
// one button of a profile, with the bytes the profile defaults give that
// kind of assignment.
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "device/kwKeyCode.h"
#include "tools/vxprofile/ProfileEdit.h"

namespace vx::cli {
namespace {

constexpr const char* kForms =
    "key NAME | combo MODS+NAME | macro INDEX | play | record | mute | function N "
    "(N: 1 to 5, 8, 9, 10 or 13)";

std::string Upper(std::string s) {
  for (char& c : s) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return s;
}

// A table name as typed: upper case, without blanks.
std::string Squeeze(WView text) {
  std::string out;
  for (char c : Upper(ToUtf8(text))) {
    if (c != ' ') out += c;
  }
  return out;
}

struct TKey {
  std::uint16_t vk = 0;
  std::uint16_t extended = 0;  // 0 or 1, as the profile stores it
};

bool NameMatches(const TKeyboardInfoTable& row, const std::string& name) {
  const std::string vkName = Squeeze(row.VKName);
  return name == vkName || (vkName.rfind("VK_", 0) == 0 && name == vkName.substr(3)) ||
         name == Squeeze(row.KeyDescription);
}

// A key by its name in the key tables (`VK_PRIOR`, `PRIOR`, `PAGEUP`,
// `LCTRL`, `F5`...), or 0xNN. The dedicated navigation keys win over their
// keypad twins; "NUMPADENTER" is the keypad's Enter.
std::optional<TKey> FindKey(const std::string& typed, std::string& why) {
  const std::string name = Upper(typed);
  std::optional<TKey> key;
  if (name.size() > 2 && name.rfind("0X", 0) == 0) {
    unsigned v = 0;
    for (std::size_t i = 2; i < name.size() && i < 6; ++i) {
      const char c = name[i];
      const int d = c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
      if (d < 0) {
        v = 0x100;
        break;
      }
      v = v * 16 + static_cast<unsigned>(d);
    }
    if (v < kKeyTableRows && name.size() <= 4) {
      key = TKey{static_cast<std::uint16_t>(v),
                 static_cast<std::uint16_t>(KeyboardInfoTable()[v].Extended == kKeyExtended ? 1 : 0)};
    }
  } else if (name == "NUMPADENTER") {
    key = TKey{0x0D, 1};
  } else if (!name.empty()) {
    for (const auto& row : ExtendedKeyboardInfoTable()) {
      if (row.VKCode != 0x0D && row.HIDCode >= 0 && NameMatches(row, name)) {
        key = TKey{static_cast<std::uint16_t>(row.VKCode), 1};
        break;
      }
    }
    for (std::size_t v = 0; !key && v < kKeyTableRows; ++v) {
      const auto& row = KeyboardInfoTable()[v];
      if (row.VKName.rfind(u"VK_UNDEFINED", 0) == 0 || !NameMatches(row, name)) continue;
      key = TKey{static_cast<std::uint16_t>(v), static_cast<std::uint16_t>(row.Extended == kKeyExtended ? 1 : 0)};
    }
  }
  if (!key) {
    why = "unknown key name '" + typed + "' (names as in the key tables, such as A, F5, LCTRL, NUMPAD7, PAGEUP, or 0xNN)";
    return std::nullopt;
  }
  const std::uint32_t usage = VKToHIDCode(key->vk, key->extended);
  if (usage == 0 || usage > 0xFF) {
    why = "the key '" + typed + "' has no keyboard code the mouse can send";
    return std::nullopt;
  }
  return key;
}

// Ctrl+Shift+S: hot-key modifier bits and the key.
bool ParseCombo(const std::string& text, TCOMBOKEYINFO& combo, std::string& why) {
  combo = {};
  std::size_t start = 0;
  for (;;) {
    const std::size_t plus = text.find('+', start);
    if (plus == std::string::npos) break;
    const std::string mod = Upper(text.substr(start, plus - start));
    if (mod == "CTRL" || mod == "CONTROL") {
      combo.nModifier |= 2;
    } else if (mod == "ALT") {
      combo.nModifier |= 1;
    } else if (mod == "SHIFT") {
      combo.nModifier |= 4;
    } else if (mod == "WIN") {
      combo.nModifier |= 8;
    } else {
      why = "unknown modifier '" + text.substr(start, plus - start) + "' (ctrl, alt, shift, win)";
      return false;
    }
    start = plus + 1;
  }
  if (combo.nModifier == 0) {
    why = "a combination needs at least one modifier, as in ctrl+shift+S";
    return false;
  }
  const auto key = FindKey(text.substr(start), why);
  if (!key) return false;
  combo.nKeyValue1 = key->vk;
  combo.nKey1Extended = key->extended;
  return true;
}

void SetReportMask(TBUTTONFUNCINFO& b, int button) {
  for (int k = 0; k < 3; ++k) b.ReportMask[k] = ButtonReportTable[static_cast<std::size_t>(button)][1 + k];
}

// The class a type's assignment carries where the profile format names one.
std::uint8_t ClassOf(int type, int deviceCode) {
  if (type >= 0 && type <= 4) return 1;
  if (type == 5) return 8;
  if (type == kFuncMacroByIndex || type == kFuncPlayMacro) return 4;
  if (deviceCode == 19) return 11;
  return 0;
}

// Applies ASSIGNMENT (args from `at`) to button `button` of `p`. Only the
// fields of that kind of assignment change.
bool Assign(TMouseProfileInfo& p, int button, const std::vector<std::string>& args, std::size_t at,
            std::string& done, std::string& why) {
  const std::string form = at < args.size() ? args[at] : std::string();
  const std::size_t operands = args.size() - std::min(args.size(), at + 1);
  const auto needs = [&](std::size_t n) {
    if (operands == n) return true;
    why = "'" + form + "' takes " + (n == 0 ? std::string("no value") : std::string("one value")) +
          "; valid assignments: " + kForms;
    return false;
  };
  TBUTTONFUNCINFO& b = p.ConfigInfo.ButtonFuncInfo[button];
  int type;
  if (form == "key") {
    if (!needs(1)) return false;
    const auto key = FindKey(args[at + 1], why);
    if (!key) return false;
    type = 5;
    b.SingleKey = key->vk;
    b.SingleKeyExtended = key->extended;
    done = "key " + ToUtf8(VKToKeyDescription(key->vk, key->extended));
  } else if (form == "combo") {
    if (!needs(1)) return false;
    TCOMBOKEYINFO combo;
    if (!ParseCombo(args[at + 1], combo, why)) return false;
    type = 6;
    b.ComboKey = combo;
    done = "combination " + args[at + 1];
  } else if (form == "macro" || form == "play") {
    int index = 0;
    if (form == "macro") {
      if (!needs(1)) return false;
      const auto v = ParseIndex(args[at + 1], 0, kMaxMacros - 1);
      if (!v) {
        why = "macro index '" + args[at + 1] + "' is not 0 to " + std::to_string(kMaxMacros - 1);
        return false;
      }
      index = *v;
      type = kFuncMacroByIndex;
    } else {
      if (!needs(0)) return false;
      type = kFuncPlayMacro;  // the host plays macro 0
    }
    if (index >= p.MacroKeyInfoList.nMacroInfoCount) {
      why = "the profile has no macro " + std::to_string(index) + " (it holds " +
            std::to_string(p.MacroKeyInfoList.nMacroInfoCount) + ")";
      return false;
    }
    // The button carries its own copy: the mouse gets the macro's length from it.
    b.MacroInfo = p.MacroKeyInfoList.MacroInfos[index];
    b.MacroInfo.nMacroIndex = static_cast<std::uint16_t>(index);
    done = (form == "play" ? "plays macro 0 \"" : "macro " + std::to_string(index) + " \"") +
           ToUtf8(ReadFixed(b.MacroInfo.szMacroName)) + "\"";
  } else if (form == "record" || form == "mute") {
    if (!needs(0)) return false;
    type = form == "record" ? kFuncRecordToggle : kFuncMicrophoneMute;
    SetReportMask(b, button);
    done = form == "record" ? "starts and stops macro recording" : "toggles the microphone";
  } else if (form == "function") {
    if (!needs(1)) return false;
    // Parameterless device functions, by the number `show` prints.
    const auto code = ParseIndex(args[at + 1], 1, 19);
    type = -1;
    for (int row = 0; code && row < kFunctionTypeCount; ++row) {
      const int c = ButtonFunctionTable[static_cast<std::size_t>(row)].DeviceCode;
      if (c == *code && ((c >= 1 && c <= 10 && c != 6 && c != 7) || c == 13)) {
        type = row;
        break;
      }
    }
    if (type < 0) {
      why = "no parameterless device function '" + args[at + 1] + "'; valid assignments: " + kForms;
      return false;
    }
    done = "device function " + args[at + 1];
  } else {
    why = (form.empty() ? std::string("no assignment") : "unknown assignment '" + form + "'") +
          "; valid assignments: " + kForms;
    return false;
  }
  const TButtonFunctionRow& row = ButtonFunctionTable[static_cast<std::size_t>(type)];
  b.ButtonIndex = static_cast<std::uint16_t>(button);
  b.FunctionType = static_cast<std::uint16_t>(type);
  b.DeviceCode = row.DeviceCode;
  b.FunctionID = row.FunctionID;
  b.FunctionClass = ClassOf(type, row.DeviceCode);
  return true;
}

int Button(Context& ctx) {
  ChangeOptions o;
  int rc = 0;
  if (!TakeChangeOptions(ctx, o, true, rc)) return rc;
  const auto& a = ctx.args;
  if (a.empty() || a[0] != "set") return Fail(std::string("usage: button set [--slot N] BUTTON ASSIGNMENT; ") + kForms);
  if (a.size() < 2) return Fail("button set: which button (0 to 9)?");
  const auto button = ParseIndex(a[1], 0, 9);
  if (!button) return Fail("button '" + a[1] + "' is not 0 to 9");
  auto dm = LoadManager(ctx, true);
  const int slot = o.slot >= 0 ? o.slot : dm->CurrentSlot();
  auto p = std::make_unique<TMouseProfileInfo>();
  dm->ReadProfileInfo(*p, slot);
  std::string done, why;
  if (!Assign(*p, *button, a, 2, done, why)) return Fail(why);
  if (!CheckChangeAllowed(o, p.get(), slot, rc)) return rc;
  std::string error;
  if (!StoreSlot(*dm, *p, slot, error)) return Fail(error);
  return FinishChange(*dm, o, *p, slot, "slot " + std::to_string(slot) + ", button " + std::to_string(*button) + ": " + done);
}

}  // namespace

VX_COMMAND("button", "button set [--slot 0-4] BUTTON ASSIGNMENT  assign button 0-9: key NAME, combo MODS+NAME, macro N, play, record, mute, function N",
           Button);

}  // namespace vx::cli
