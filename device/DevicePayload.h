#pragma once
// What the system writes into the mouse's memory: the command framing, the
// memory map, the button table and the macro blocks. Everything is sent as
// feature reports to the collection DeviceUsageAndPage through TkwHIDData.
//
// Data that does not fit the device formats (a value above one byte, a key
// without a one-byte HID usage, a sixth macro slot, a 129th block entry...)
// is never clipped: the item is left out and a debug-output line says what
// was left out and why.
#include <array>
#include <cstdint>
#include <vector>

#include "device/kwHIDData.h"
#include "profiles/pubunit_lumari.h"

namespace vx {

class TDM;

inline constexpr int kDeviceButtonEntries = 16;
inline constexpr int kDeviceMacroSlots = 5;
inline constexpr int kDeviceMacroBlockBytes = 384;
inline constexpr int kDeviceMacroBlockEntries = 128;
inline constexpr std::uint32_t kDeviceMaxMemoryWrite = 2048;
inline constexpr std::uint16_t kButtonTableAddress[2] = {144, 2448};
inline constexpr std::uint16_t kDeviceProfileStride = 2304;

#pragma pack(push, 1)
struct TDEVICEBUTTONTABLE {
  std::uint8_t ButtonCount;
  std::uint8_t Entries[kDeviceButtonEntries][4];  // device code, p1, p2, p3
};
struct TDEVICEMACROBUFFER {
  std::uint8_t Blocks[kDeviceMacroSlots][kDeviceMacroBlockBytes];
  std::uint32_t Lengths[kDeviceMacroSlots];  // bytes used per block
};
#pragma pack(pop)
static_assert(sizeof(TDEVICEBUTTONTABLE) == 65);
static_assert(sizeof(TDEVICEMACROBUFFER) == 5 * 384 + 20);

// One device command: command byte, P1..P6, payload.
struct TDeviceCommand {
  std::uint8_t Command = 0;
  std::array<std::uint8_t, 6> P{};
  std::vector<std::uint8_t> Payload;
};

inline constexpr std::uint8_t kCmdMemoryWrite = 2;
inline constexpr std::uint8_t kCmdBracket = 6;

// Address of macro block `slot` (0..4) of onboard profile 0 or 1.
constexpr std::uint16_t MacroBlockAddress(int onboardProfile, int slot) {
  return static_cast<std::uint16_t>(209 + kDeviceProfileStride * onboardProfile + 384 * slot);
}

// Declared payload length: P3-P4 for commands 2 and 3, P2 for command 0.
std::uint32_t CommandPayloadLength(const TDeviceCommand& command);
// Report ID and full report length for a command of `size` bytes
// (payload + 8); {0, 0} above 4096, which no report can carry.
struct TReportFrame {
  std::uint8_t ReportID;
  std::uint16_t Length;
};
TReportFrame ReportFrameForSize(std::uint32_t size);
// The feature report for a command; empty when it does not fit any report.
std::vector<std::uint8_t> FrameDeviceCommand(const TDeviceCommand& command);

// One report a profile write sent, and what the transport answered.
struct TDeviceSent {
  std::uint8_t Command = 0;
  std::uint16_t Address = 0;        // memory writes
  std::uint32_t PayloadLength = 0;  // memory writes
  std::uint32_t ReportBytes = 0;    // the whole feature report, ID included
  std::uint32_t Result = 0;         // 0: sent; else the transport's error code
};
struct TDeviceWriteResult {
  std::vector<TDeviceSent> Sent;
  bool TableAndMacrosWritten = false;  // false: only the two brackets went out
  bool Failed() const;
};

// The whole write of the current profile into onboard profile `index`
// (0 or 1; any other index sends only the two brackets).
TDeviceWriteResult WriteProfileToDevice(TkwHIDData& hid, const TMouseProfileInfo& current, std::int32_t index);
TDeviceWriteResult WriteProfileToDevice(TkwHIDData& hid, const TDM& dm, std::int32_t index);
// Why WriteProfileToDevice would write no button table and no macro into
// the mouse (only the brackets); nullptr when it writes them.
const char* ProfileWriteGap(const TMouseProfileInfo& current, std::int32_t index);

void SendDeviceBracket(TkwHIDData& hid, std::uint8_t phase);
void WriteDeviceMemory(TkwHIDData& hid, const std::uint8_t* data, std::uint32_t length, std::uint16_t address);
void WriteButtonTable(TkwHIDData& hid, const TDEVICEBUTTONTABLE& table, std::uint16_t address);
void WriteMacroBlocks(TkwHIDData& hid, const TDEVICEMACROBUFFER& buffer, int onboardProfile);
std::uint32_t SendDeviceCommand(TkwHIDData& hid, const TDeviceCommand& command);

void EncodeButtonTable(const TMouseProfileInfo& profile, TDEVICEBUTTONTABLE& table);
void EncodeMacroBlocks(const TMouseProfileInfo& profile, TDEVICEMACROBUFFER& buffer);
// Three zero bytes for a state other than 0 and 1, and for an action that
// does not fit three bytes (kind above one byte, key without a one-byte usage).
std::array<std::uint8_t, 3> EncodeMacroAction(std::uint16_t kind, std::uint16_t state, std::uint8_t value1,
                                              std::uint8_t value2);
// A pause in milliseconds as the device's 10 ms units (ties to even, at least 1).
std::uint16_t DelayToDeviceUnits(std::uint16_t ms);
// Bytes that macro occupies in a block (loop marker included).
std::uint32_t DeviceMacroLength(const TMACROKEYINFO& macro);
void SwapButtonFuncInfo(TMouseProfileInfo& profile, int a, int b);
TMACROKEYINFO GetFirstMacroInfo(const TMouseProfileInfo& profile);
// The macro indexes of the class-4 buttons 0..count-1, first appearance
// first, at most five.
std::vector<std::uint16_t> BuildMacroSlotList(const TMouseProfileInfo& profile, int count);

}  // namespace vx
