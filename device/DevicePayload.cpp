#include "device/DevicePayload.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "device/kwKeyCode.h"
#include "platform/Debug.h"
#include "profiles/DMUnit.h"

namespace vx {

namespace {

constexpr std::uint8_t kMemoryWriteMark = 0xFA;
constexpr int kMaxReportBytes = 4096;

void LeftOut(const std::string& what, const std::string& why) {
  DebugOutput("Device write: " + what + " left out: " + why);
}

std::string Hex(std::uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%X", v);
  return buf;
}

// The three bytes of one action, or the reason it does not fit them.
const char* TryEncodeAction(std::uint16_t kind, std::uint16_t state, std::uint8_t v1, std::uint8_t v2,
                            std::array<std::uint8_t, 3>& out, std::string& detail) {
  out = {0, 0, 0};
  if (state != 0 && state != 1) return nullptr;
  if (kind == kActionDelay) {
    const std::uint16_t d = DelayToDeviceUnits(static_cast<std::uint16_t>(v2 * 256 + v1));
    out = {kActionDelay, static_cast<std::uint8_t>(d & 0xFF), static_cast<std::uint8_t>(d >> 8)};
    return nullptr;
  }
  const std::uint32_t first = kind + (state == 1 ? 0x80u : 0u);
  if (first > 0xFF) {
    detail = "kind " + std::to_string(kind) + (state == 1 ? " pressed" : "");
    return "the action kind does not fit one byte";
  }
  if (kind == kActionKey) {
    const std::uint32_t usage = VKToHIDCode(v1, v2);
    if (usage > 0xFF) {
      detail = "key " + Hex(v1) + " (HID usage " + Hex(usage) + ")";
      return "the HID usage does not fit one byte";
    }
    out = {static_cast<std::uint8_t>(first), static_cast<std::uint8_t>(usage), v2};
    return nullptr;
  }
  out = {static_cast<std::uint8_t>(first), v1, v2};
  return nullptr;
}

// Encodes one macro into `block` (may be null to measure); returns the
// bytes used. `name` non-empty: report what is left out under that name.
std::uint32_t EncodeMacro(const TMACROKEYINFO& m, std::uint8_t* block, const std::string& name) {
  const bool report = !name.empty();
  int count = m.MacroListCount;
  if (count < 0) {
    if (report) LeftOut(name, "its action count " + std::to_string(count) + " is negative");
    count = 0;
  }
  if (count > kMaxMacroActions) {
    if (report) {
      LeftOut(name + " actions " + std::to_string(kMaxMacroActions + 1) + " to " + std::to_string(count),
              "a macro holds at most " + std::to_string(kMaxMacroActions) + " actions");
    }
    count = kMaxMacroActions;
  }
  int n = 0;
  for (int k = 0; k < count; ++k) {
    const TMACROKEY& a = m.MacroList[k];
    std::array<std::uint8_t, 3> bytes;
    std::string detail;
    if (const char* why = TryEncodeAction(a.nKeyType, a.nKeyState, a.VALUE1, a.VALUE2, bytes, detail)) {
      if (report) LeftOut(name + " action " + std::to_string(k) + " (" + detail + ")", why);
      continue;
    }
    if (block) std::memcpy(block + 3 * n, bytes.data(), 3);
    ++n;
  }
  if (m.nLoopCount != 0) {
    if (n < kDeviceMacroBlockEntries) {
      if (block) {
        const std::uint8_t marker[3] = {kActionLoop, static_cast<std::uint8_t>(m.nLoopCount & 0xFF),
                                        static_cast<std::uint8_t>(m.nLoopCount >> 8)};
        std::memcpy(block + 3 * n, marker, 3);
      }
      ++n;
    } else if (report) {
      LeftOut(name + " loop count " + std::to_string(m.nLoopCount),
              "the block has no room after " + std::to_string(kDeviceMacroBlockEntries) + " actions");
    }
  }
  return static_cast<std::uint32_t>(3 * n);
}

// Slot list with the reasons for indexes that found no slot.
std::vector<std::uint16_t> SlotList(const TMouseProfileInfo& p, int count, bool report) {
  std::vector<std::uint16_t> slots;
  count = std::clamp(count, 0, kButtonCount);
  for (int i = 0; i < count; ++i) {
    const TBUTTONFUNCINFO& b = p.ConfigInfo.ButtonFuncInfo[i];
    if (b.FunctionClass != 4) continue;
    const std::uint16_t index = b.MacroInfo.nMacroIndex;
    if (std::find(slots.begin(), slots.end(), index) != slots.end()) continue;
    if (slots.size() >= kDeviceMacroSlots) {
      if (report) {
        LeftOut("macro " + std::to_string(index) + " of button " + std::to_string(i),
                "the mouse holds five macros");
      }
      continue;
    }
    slots.push_back(index);
  }
  return slots;
}

// One button table entry, or the reason it cannot be written.
const char* EncodeButtonEntry(const TBUTTONFUNCINFO& b, const std::vector<std::uint16_t>& slots,
                              std::uint8_t (&e)[4], std::string& detail) {
  std::memset(e, 0, 4);
  const auto byteOf = [&](long long v, const char* field) -> bool {
    if (v >= 0 && v <= 0xFF) return true;
    detail = std::string(field) + " " + std::to_string(v);
    return false;
  };
  if (!byteOf(b.DeviceCode, "device code")) return "the device code does not fit one byte";
  const std::uint8_t code = static_cast<std::uint8_t>(b.DeviceCode);
  std::uint8_t p1 = 0, p2 = 0, p3 = 0;
  switch (code) {
    case 11:
    case 12:
      if (!byteOf(b.DeviceParam, "DeviceParam")) return "the value does not fit one byte";
      p1 = static_cast<std::uint8_t>(b.DeviceParam);
      break;
    case 14:
      if (!byteOf(b.DeviceValue1, "DeviceValue1") || !byteOf(b.DeviceValue2, "DeviceValue2")) {
        return "the value does not fit one byte";
      }
      p2 = static_cast<std::uint8_t>(b.DeviceValue1);
      p3 = static_cast<std::uint8_t>(b.DeviceValue2);
      break;
    case 15: {
      const std::uint32_t k1 = VKToHIDCode(b.ComboKey.nKeyValue1, b.ComboKey.nKey1Extended);
      const std::uint32_t k2 = VKToHIDCode(b.ComboKey.nKeyValue2, b.ComboKey.nKey2Extended);
      if (!byteOf(k1, "HID usage of key 1") || !byteOf(k2, "HID usage of key 2")) {
        return "the HID usage does not fit one byte";
      }
      p1 = ModifiersToHID(static_cast<std::uint8_t>(b.ComboKey.nModifier & 0xFF));
      p2 = static_cast<std::uint8_t>(k1);
      p3 = static_cast<std::uint8_t>(k2);
      break;
    }
    case 16: {
      const std::uint32_t k = VKToHIDCode(b.SingleKey, b.SingleKeyExtended);
      if (!byteOf(k, "HID usage of the key")) return "the HID usage does not fit one byte";
      p2 = static_cast<std::uint8_t>(k);
      break;
    }
    case 17: {
      const auto it = std::find(slots.begin(), slots.end(), b.MacroInfo.nMacroIndex);
      if (it == slots.end() && b.FunctionClass == 4) {
        detail = "macro " + std::to_string(b.MacroInfo.nMacroIndex);
        return "its macro has no slot in the mouse";
      }
      p1 = it == slots.end() ? 0 : static_cast<std::uint8_t>(it - slots.begin());
      const std::uint32_t length = EncodeMacro(b.MacroInfo, nullptr, {});
      p2 = static_cast<std::uint8_t>(length & 0xFF);
      p3 = static_cast<std::uint8_t>(length >> 8);
      break;
    }
    case 18:
      if (!byteOf(b.DeviceWord1, "DeviceWord1")) return "the value does not fit one byte";
      p1 = static_cast<std::uint8_t>(b.DeviceWord1);
      p2 = static_cast<std::uint8_t>(b.DeviceWord2 & 0xFF);
      p3 = static_cast<std::uint8_t>(b.DeviceWord2 >> 8);
      break;
    case 19:
      p1 = b.ReportMask[0];
      p2 = b.ReportMask[1];
      p3 = b.ReportMask[2];
      break;
    default:
      break;
  }
  e[0] = code;
  e[1] = p1;
  e[2] = p2;
  e[3] = p3;
  return nullptr;
}

}  // namespace

std::uint16_t DelayToDeviceUnits(std::uint16_t ms) {
  std::uint32_t d = ms / 10u;
  const std::uint32_t rest = ms % 10u;
  if (rest > 5 || (rest == 5 && (d & 1u))) ++d;
  return static_cast<std::uint16_t>(d == 0 ? 1 : d);
}

std::array<std::uint8_t, 3> EncodeMacroAction(std::uint16_t kind, std::uint16_t state, std::uint8_t value1,
                                              std::uint8_t value2) {
  std::array<std::uint8_t, 3> out;
  std::string detail;
  if (const char* why = TryEncodeAction(kind, state, value1, value2, out, detail)) {
    LeftOut("macro action (" + detail + ")", why);
    out = {0, 0, 0};
  }
  return out;
}

std::uint32_t DeviceMacroLength(const TMACROKEYINFO& macro) { return EncodeMacro(macro, nullptr, {}); }

std::vector<std::uint16_t> BuildMacroSlotList(const TMouseProfileInfo& profile, int count) {
  return SlotList(profile, count, false);
}

void EncodeButtonTable(const TMouseProfileInfo& profile, TDEVICEBUTTONTABLE& table) {
  std::memset(&table, 0, sizeof table);
  int count = profile.ConfigInfo.ButtonCount;
  if (count < 0) {
    LeftOut("button table", "button count " + std::to_string(count) + " is negative");
    count = 0;
  }
  const int limit = std::min(kButtonCount, kDeviceButtonEntries);
  if (count > limit) {
    LeftOut("buttons " + std::to_string(limit) + " to " + std::to_string(count - 1),
            "a profile has " + std::to_string(limit) + " buttons");
    count = limit;
  }
  table.ButtonCount = static_cast<std::uint8_t>(count);
  const auto slots = SlotList(profile, count, true);
  for (int i = 0; i < count; ++i) {
    std::string detail;
    if (const char* why = EncodeButtonEntry(profile.ConfigInfo.ButtonFuncInfo[i], slots, table.Entries[i], detail)) {
      LeftOut("button " + std::to_string(i) + " (" + detail + ")", why);
    }
  }
}

void EncodeMacroBlocks(const TMouseProfileInfo& profile, TDEVICEMACROBUFFER& buffer) {
  std::memset(buffer.Lengths, 0, sizeof buffer.Lengths);
  const auto slots = SlotList(profile, 10, false);
  int count = profile.MacroKeyInfoList.nMacroInfoCount;
  if (count > kMaxMacros) {
    LeftOut("macros " + std::to_string(kMaxMacros) + " to " + std::to_string(count - 1),
            "a profile holds " + std::to_string(kMaxMacros) + " macros");
    count = kMaxMacros;
  }
  for (int j = 0; j < count; ++j) {
    const TMACROKEYINFO& m = profile.MacroKeyInfoList.MacroInfos[j];
    const auto it = std::find(slots.begin(), slots.end(), m.nMacroIndex);
    if (it == slots.end()) continue;
    const auto s = static_cast<std::size_t>(it - slots.begin());
    buffer.Lengths[s] = EncodeMacro(m, buffer.Blocks[s], "macro " + std::to_string(j));
  }
}

void SwapButtonFuncInfo(TMouseProfileInfo& profile, int a, int b) {
  if (a < 0 || b < 0 || a >= kButtonCount || b >= kButtonCount) return;
  std::swap(profile.ConfigInfo.ButtonFuncInfo[a], profile.ConfigInfo.ButtonFuncInfo[b]);
}

TMACROKEYINFO GetFirstMacroInfo(const TMouseProfileInfo& profile) { return profile.MacroKeyInfoList.MacroInfos[0]; }

std::uint32_t CommandPayloadLength(const TDeviceCommand& command) {
  switch (command.Command) {
    case 2:
    case 3:
      return static_cast<std::uint32_t>(command.P[2] | (command.P[3] << 8));
    case 0:
      return command.P[1];
    default:
      return 0;
  }
}

TReportFrame ReportFrameForSize(std::uint32_t size) {
  if (size <= 16) return {2, 16};
  if (size <= 64) return {3, 64};
  if (size <= 1024) return {4, 1024};
  if (size <= 2048) return {5, 2048};
  if (size <= 4096) return {6, 4096};
  return {0, 0};
}

std::vector<std::uint8_t> FrameDeviceCommand(const TDeviceCommand& command) {
  const std::uint32_t payload = CommandPayloadLength(command);
  const TReportFrame frame = ReportFrameForSize(payload + 8);
  if (frame.Length == 0) return {};
  std::vector<std::uint8_t> report(frame.Length, 0);
  report[0] = frame.ReportID;
  report[1] = command.Command;
  std::copy(command.P.begin(), command.P.end(), report.begin() + 2);
  const std::size_t n = std::min<std::size_t>(payload, command.Payload.size());
  std::copy_n(command.Payload.begin(), n, report.begin() + 8);
  return report;
}

namespace {

// Records every command when a write keeps a result.
std::uint32_t Send(TkwHIDData& hid, const TDeviceCommand& command, TDeviceWriteResult* log) {
  const std::vector<std::uint8_t> report = FrameDeviceCommand(command);
  std::uint32_t rc;
  if (report.empty()) {
    LeftOut("command " + std::to_string(command.Command),
            "its " + std::to_string(CommandPayloadLength(command)) + " payload bytes exceed the largest report (" +
                std::to_string(kMaxReportBytes) + " bytes)");
    rc = kErrInvalidParameter;
  } else {
    auto param = std::make_unique<THIDDataParam>();
    param->UsageAndPage = DeviceUsageAndPage;
    param->DeviceHandle = 0;
    param->Data.DATASIZE = static_cast<std::uint32_t>(report.size());
    std::memcpy(param->Data.Bytes(), report.data(), report.size());
    rc = hid.HidFindAndSetFeatureReport(*param);
  }
  if (log != nullptr) {
    TDeviceSent s;
    s.Command = command.Command;
    if (command.Command == kCmdMemoryWrite) {
      s.Address = static_cast<std::uint16_t>(command.P[0] | (command.P[1] << 8));
      s.PayloadLength = CommandPayloadLength(command);
    }
    s.ReportBytes = static_cast<std::uint32_t>(report.size());
    s.Result = rc;
    log->Sent.push_back(s);
  }
  return rc;
}

void Bracket(TkwHIDData& hid, std::uint8_t phase, TDeviceWriteResult* log) {
  TDeviceCommand c;
  c.Command = kCmdBracket;
  c.P[0] = phase;
  Send(hid, c, log);
}

void Memory(TkwHIDData& hid, const std::uint8_t* data, std::uint32_t length, std::uint16_t address,
            TDeviceWriteResult* log) {
  if (length == 0) return;
  if (length > kDeviceMaxMemoryWrite) {
    LeftOut("memory write of " + std::to_string(length) + " bytes at " + std::to_string(address),
            "one write carries at most " + std::to_string(kDeviceMaxMemoryWrite) + " bytes");
    return;
  }
  TDeviceCommand c;
  c.Command = kCmdMemoryWrite;
  c.P = {static_cast<std::uint8_t>(address & 0xFF), static_cast<std::uint8_t>(address >> 8),
         static_cast<std::uint8_t>(length & 0xFF), static_cast<std::uint8_t>(length >> 8), kMemoryWriteMark,
         kMemoryWriteMark};
  c.Payload.assign(data, data + length);
  Send(hid, c, log);
}

void Blocks(TkwHIDData& hid, const TDEVICEMACROBUFFER& buffer, int onboardProfile, TDeviceWriteResult* log) {
  if (onboardProfile != 0 && onboardProfile != 1) return;
  for (int s = 0; s < kDeviceMacroSlots; ++s) {
    // A length beyond the block would send bytes of the next one.
    const std::uint32_t length = std::min<std::uint32_t>(buffer.Lengths[s], kDeviceMacroBlockBytes);
    Memory(hid, buffer.Blocks[s], length, MacroBlockAddress(onboardProfile, s), log);
  }
}

}  // namespace

bool TDeviceWriteResult::Failed() const {
  return std::any_of(Sent.begin(), Sent.end(), [](const TDeviceSent& s) { return s.Result != 0; });
}

std::uint32_t SendDeviceCommand(TkwHIDData& hid, const TDeviceCommand& command) { return Send(hid, command, nullptr); }

void SendDeviceBracket(TkwHIDData& hid, std::uint8_t phase) { Bracket(hid, phase, nullptr); }

void WriteDeviceMemory(TkwHIDData& hid, const std::uint8_t* data, std::uint32_t length, std::uint16_t address) {
  Memory(hid, data, length, address, nullptr);
}

void WriteButtonTable(TkwHIDData& hid, const TDEVICEBUTTONTABLE& table, std::uint16_t address) {
  WriteDeviceMemory(hid, reinterpret_cast<const std::uint8_t*>(&table), sizeof table, address);
}

void WriteMacroBlocks(TkwHIDData& hid, const TDEVICEMACROBUFFER& buffer, int onboardProfile) {
  Blocks(hid, buffer, onboardProfile, nullptr);
}

const char* ProfileWriteGap(const TMouseProfileInfo& current, std::int32_t index) {
  if (index != 0 && index != 1) return "the mouse keeps onboard profiles 0 and 1 only";
  if (GetFirstMacroInfo(current).MacroListCount <= 0) return "the profile's first macro is empty";
  return nullptr;
}

TDeviceWriteResult WriteProfileToDevice(TkwHIDData& hid, const TMouseProfileInfo& current, std::int32_t index) {
  TDeviceWriteResult result;
  Bracket(hid, 0, &result);
  // The mouse orders some buttons differently; the profile itself stays as it is.
  auto copy = std::make_unique<TMouseProfileInfo>(current);
  SwapButtonFuncInfo(*copy, 4, 5);
  SwapButtonFuncInfo(*copy, 7, 8);
  copy->ConfigInfo.ButtonCount = 10;
  copy->ConfigInfo.ButtonFuncInfo[9].FunctionClass = 0;
  copy->ConfigInfo.ButtonFuncInfo[9].DeviceCode = 13;
  auto macros = std::make_unique<TDEVICEMACROBUFFER>();
  std::memset(macros.get(), 0, sizeof *macros);
  TDEVICEBUTTONTABLE table;
  std::memset(&table, 0, sizeof table);
  if (ProfileWriteGap(*copy, index) == nullptr) {
    EncodeMacroBlocks(*copy, *macros);
    EncodeButtonTable(*copy, table);
    Memory(hid, reinterpret_cast<const std::uint8_t*>(&table), sizeof table, kButtonTableAddress[index], &result);
    hid.Dispatcher().ProcessPending();
    Blocks(hid, *macros, index, &result);
    hid.Dispatcher().ProcessPending();
    result.TableAndMacrosWritten = true;
  }
  Bracket(hid, 1, &result);
  return result;
}

TDeviceWriteResult WriteProfileToDevice(TkwHIDData& hid, const TDM& dm, std::int32_t index) {
  return WriteProfileToDevice(hid, dm.FCurrentProfileInfo, index);
}

}  // namespace vx
