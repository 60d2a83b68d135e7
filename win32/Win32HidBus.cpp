// The HID bus on Windows: SetupAPI for the interfaces, hid.dll (resolved at
// run time, with the few HID types declared here) for everything else.
#include <windows.h>
#include <setupapi.h>

#include <vector>

#include "platform/HidBus.h"
#include "win32/Win32Handle.h"

namespace vx {

namespace {

// hid.dll types, as the HID class driver library declares them.
using NTSTATUS_ = LONG;
using PreparsedData = void*;
constexpr NTSTATUS_ kHidpStatusSuccess = 0x00110000;
constexpr int kHidpInput = 0;
// CTL_CODE(FILE_DEVICE_KEYBOARD, 100, METHOD_IN_DIRECT / METHOD_OUT_DIRECT, FILE_ANY_ACCESS).
constexpr DWORD kIoctlHidSetFeature = 0x000B0191;
constexpr DWORD kIoctlHidGetFeature = 0x000B0192;
// A ring large enough to keep reports while the main thread plays a macro.
constexpr ULONG kInputBuffers = 128;

struct HIDD_ATTRIBUTES_ {
  ULONG Size;
  USHORT VendorID;
  USHORT ProductID;
  USHORT VersionNumber;
};

struct HIDP_CAPS_ {
  USHORT Usage;
  USHORT UsagePage;
  USHORT InputReportByteLength;
  USHORT OutputReportByteLength;
  USHORT FeatureReportByteLength;
  USHORT Reserved[17];
  USHORT NumberLinkCollectionNodes;
  USHORT NumberInputButtonCaps;
  USHORT NumberInputValueCaps;
  USHORT NumberInputDataIndices;
  USHORT NumberOutputButtonCaps;
  USHORT NumberOutputValueCaps;
  USHORT NumberOutputDataIndices;
  USHORT NumberFeatureButtonCaps;
  USHORT NumberFeatureValueCaps;
  USHORT NumberFeatureDataIndices;
};
static_assert(sizeof(HIDP_CAPS_) == 64);

struct USAGE_AND_PAGE_ {
  USHORT Usage;
  USHORT UsagePage;
};

struct HidLibrary {
  using GetHidGuidFn = void(WINAPI*)(GUID*);
  using GetAttributesFn = BOOLEAN(WINAPI*)(HANDLE, HIDD_ATTRIBUTES_*);
  using GetPreparsedDataFn = BOOLEAN(WINAPI*)(HANDLE, PreparsedData*);
  using FreePreparsedDataFn = BOOLEAN(WINAPI*)(PreparsedData);
  using GetCapsFn = NTSTATUS_(WINAPI*)(PreparsedData, HIDP_CAPS_*);
  using SetNumInputBuffersFn = BOOLEAN(WINAPI*)(HANDLE, ULONG);
  using MaxUsageListLengthFn = ULONG(WINAPI*)(int, USHORT, PreparsedData);
  using GetUsagesExFn = NTSTATUS_(WINAPI*)(int, USHORT, USAGE_AND_PAGE_*, ULONG*, PreparsedData, PCHAR, ULONG);

  HMODULE Module = nullptr;
  GetHidGuidFn GetHidGuid = nullptr;
  GetAttributesFn GetAttributes = nullptr;
  GetPreparsedDataFn GetPreparsedData = nullptr;
  FreePreparsedDataFn FreePreparsedData = nullptr;
  GetCapsFn GetCaps = nullptr;
  SetNumInputBuffersFn SetNumInputBuffers = nullptr;
  MaxUsageListLengthFn MaxUsageListLength = nullptr;
  GetUsagesExFn GetUsagesEx = nullptr;

  HidLibrary() {
    // System32 only: a hid.dll beside the program or in the current folder is never taken.
    Module = ::LoadLibraryExW(L"hid.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!Module) return;
    Bind(GetHidGuid, "HidD_GetHidGuid");
    Bind(GetAttributes, "HidD_GetAttributes");
    Bind(GetPreparsedData, "HidD_GetPreparsedData");
    Bind(FreePreparsedData, "HidD_FreePreparsedData");
    Bind(GetCaps, "HidP_GetCaps");
    Bind(SetNumInputBuffers, "HidD_SetNumInputBuffers");
    Bind(MaxUsageListLength, "HidP_MaxUsageListLength");
    Bind(GetUsagesEx, "HidP_GetUsagesEx");
  }

  template <typename F>
  void Bind(F& fn, const char* name) {
    fn = reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(Module, name)));
  }

  static HidLibrary& Get() {
    static HidLibrary lib;  // the process keeps hid.dll loaded
    return lib;
  }
};

struct DevInfoCloser {
  void operator()(HDEVINFO h) const { ::SetupDiDestroyDeviceInfoList(h); }
};

Guid FromGUID(const GUID& g) {
  Guid out;
  out.Data1 = g.Data1;
  out.Data2 = g.Data2;
  out.Data3 = g.Data3;
  for (int i = 0; i < 8; ++i) out.Data4[static_cast<std::size_t>(i)] = g.Data4[i];
  return out;
}

GUID ToGUID(const Guid& g) {
  GUID out{};
  out.Data1 = g.Data1;
  out.Data2 = g.Data2;
  out.Data3 = g.Data3;
  for (int i = 0; i < 8; ++i) out.Data4[i] = g.Data4[static_cast<std::size_t>(i)];
  return out;
}

std::wstring ToWide(WView s) { return std::wstring(s.begin(), s.end()); }
WStr FromWide(const wchar_t* s) { return WStr(reinterpret_cast<const char16_t*>(s)); }

class Win32HidDevice final : public IHidDevice {
 public:
  Win32HidDevice(win::UniqueHandle handle, bool reading) : h_(std::move(handle)), reading_(reading) {
    auto& lib = HidLibrary::Get();
    if (lib.GetPreparsedData && lib.GetPreparsedData(h_.get(), &preparsed_) == FALSE) preparsed_ = nullptr;
    if (reading_) {
      readEvent_.reset(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
      if (lib.SetNumInputBuffers) lib.SetNumInputBuffers(h_.get(), kInputBuffers);
    }
  }

  ~Win32HidDevice() override {
    if (preparsed_ && HidLibrary::Get().FreePreparsedData) HidLibrary::Get().FreePreparsedData(preparsed_);
  }

  std::intptr_t NativeHandle() const override { return reinterpret_cast<std::intptr_t>(h_.get()); }

  bool GetAttributes(HidAttributes& out) override {
    auto& lib = HidLibrary::Get();
    if (!lib.GetAttributes) return false;
    HIDD_ATTRIBUTES_ a{};
    a.Size = sizeof a;
    if (!lib.GetAttributes(h_.get(), &a)) return false;
    out = {a.VendorID, a.ProductID, a.VersionNumber};
    return true;
  }

  bool GetCaps(HidCaps& out) override {
    auto& lib = HidLibrary::Get();
    if (!preparsed_ || !lib.GetCaps) return false;
    HIDP_CAPS_ c{};
    if (lib.GetCaps(preparsed_, &c) != kHidpStatusSuccess) return false;
    out = {c.Usage, c.UsagePage, c.InputReportByteLength, c.OutputReportByteLength, c.FeatureReportByteLength};
    return true;
  }

  // HidD_SetFeature and HidD_GetFeature are these requests without a time
  // limit; sent overlapped, a mouse that stops answering cannot hold the caller.
  std::uint32_t SetFeature(std::span<const std::uint8_t> report, std::uint32_t timeoutMs) override {
    std::vector<std::uint8_t> copy(report.begin(), report.end());  // the driver may write to it
    return Request(kIoctlHidSetFeature, copy.data(), static_cast<DWORD>(copy.size()), nullptr, 0, timeoutMs);
  }

  std::uint32_t GetFeature(std::span<std::uint8_t> report, std::uint32_t timeoutMs) override {
    return Request(kIoctlHidGetFeature, nullptr, 0, report.data(), static_cast<DWORD>(report.size()), timeoutMs);
  }

  std::uint32_t WriteOutput(std::span<const std::uint8_t> report, std::uint32_t timeoutMs) override {
    std::vector<std::uint8_t> copy(report.begin(), report.end());
    return Request(0, copy.data(), static_cast<DWORD>(copy.size()), nullptr, 0, timeoutMs);
  }

  HidReadResult Read(std::span<std::uint8_t> buffer, const StopSignal& stop) override {
    if (!reading_ || !readEvent_) return {false, ERROR_INVALID_HANDLE, 0};
    OVERLAPPED ov{};
    ov.hEvent = readEvent_.get();
    ::ResetEvent(ov.hEvent);
    if (!::ReadFile(h_.get(), buffer.data(), static_cast<DWORD>(buffer.size()), nullptr, &ov)) {
      const DWORD e = ::GetLastError();
      if (e != ERROR_IO_PENDING) return {false, e, 0};
    }
    HANDLE waits[2] = {ov.hEvent, static_cast<HANDLE>(stop.NativeHandle())};
    const DWORD w = ::WaitForMultipleObjects(waits[1] ? 2 : 1, waits, FALSE, INFINITE);
    DWORD n = 0;
    if (w != WAIT_OBJECT_0) {
      // The buffer must not be let go while the driver may still fill it.
      ::CancelIoEx(h_.get(), &ov);
      ::GetOverlappedResult(h_.get(), &ov, &n, TRUE);
      return {true, 0, 0};
    }
    if (!::GetOverlappedResult(h_.get(), &ov, &n, FALSE)) return {false, LastErrorOr(ERROR_GEN_FAILURE), 0};
    return {false, 0, n};
  }

  std::uint32_t MaxInputUsageListLength() override {
    auto& lib = HidLibrary::Get();
    if (!preparsed_ || !lib.MaxUsageListLength) return 0;
    return lib.MaxUsageListLength(kHidpInput, 0, preparsed_);
  }

  bool GetInputButtonUsages(std::span<const std::uint8_t> report, std::vector<HidUsageAndPage>& out) override {
    out.clear();
    auto& lib = HidLibrary::Get();
    if (!preparsed_ || !lib.GetUsagesEx) return false;
    USAGE_AND_PAGE_ list[100];
    ULONG length = 100;
    std::vector<std::uint8_t> copy(report.begin(), report.end());
    if (lib.GetUsagesEx(kHidpInput, 0, list, &length, preparsed_, reinterpret_cast<PCHAR>(copy.data()),
                        static_cast<ULONG>(copy.size())) != kHidpStatusSuccess) {
      return false;
    }
    for (ULONG i = 0; i < length && i < 100; ++i) out.push_back({list[i].Usage, list[i].UsagePage});
    return true;
  }

 private:
  // One overlapped request (an IOCTL, or WriteFile when code is 0), bounded:
  // past timeoutMs it is cancelled, and its buffers are let go only once
  // the cancelled request has completed.
  std::uint32_t Request(DWORD code, void* in, DWORD inSize, void* out, DWORD outSize, std::uint32_t timeoutMs) {
    win::UniqueHandle ev(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!ev) return LastErrorOr(ERROR_GEN_FAILURE);
    OVERLAPPED ov{};
    ov.hEvent = ev.get();
    DWORD n = 0;
    const BOOL done = code == 0 ? ::WriteFile(h_.get(), in, inSize, nullptr, &ov)
                                : ::DeviceIoControl(h_.get(), code, in, inSize, out, outSize, nullptr, &ov);
    if (!done && ::GetLastError() != ERROR_IO_PENDING) return LastErrorOr(ERROR_GEN_FAILURE);
    if (::WaitForSingleObject(ev.get(), timeoutMs) != WAIT_OBJECT_0) {
      ::CancelIoEx(h_.get(), &ov);
      const BOOL finished = ::GetOverlappedResult(h_.get(), &ov, &n, TRUE);
      return finished ? 0 : ERROR_TIMEOUT;  // completed just before the cancel
    }
    if (!::GetOverlappedResult(h_.get(), &ov, &n, FALSE)) return LastErrorOr(ERROR_GEN_FAILURE);
    return 0;
  }

  static std::uint32_t LastErrorOr(DWORD fallback) {
    const DWORD e = ::GetLastError();
    return e != 0 ? e : fallback;
  }

  win::UniqueHandle h_;
  bool reading_;
  PreparsedData preparsed_ = nullptr;
  win::UniqueHandle readEvent_;
};

class Win32HidBus final : public IHidBus {
 public:
  Guid HidGuid() override {
    auto& lib = HidLibrary::Get();
    if (!lib.GetHidGuid) return kHidInterfaceClassGuid;
    GUID g{};
    lib.GetHidGuid(&g);
    return FromGUID(g);
  }

  std::optional<std::vector<HidInterfaceInfo>> Enumerate(const Guid& interfaceClass) override {
    const GUID cls = ToGUID(interfaceClass);
    HDEVINFO set = ::SetupDiGetClassDevsW(&cls, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) return std::nullopt;
    win::UniqueAny<HDEVINFO, nullptr, DevInfoCloser> owned(set);
    std::vector<HidInterfaceInfo> out;
    for (DWORD index = 0;; ++index) {
      SP_DEVICE_INTERFACE_DATA iface{};
      iface.cbSize = sizeof iface;
      if (!::SetupDiEnumDeviceInterfaces(set, nullptr, &cls, index, &iface)) break;
      SP_DEVINFO_DATA node{};
      node.cbSize = sizeof node;
      DWORD needed = 0;
      ::SetupDiGetDeviceInterfaceDetailW(set, &iface, nullptr, 0, &needed, &node);
      if (needed == 0 || ::GetLastError() != ERROR_INSUFFICIENT_BUFFER) continue;
      std::vector<std::uint8_t> detailBytes(needed + sizeof(wchar_t), 0);
      auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(detailBytes.data());
      detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
      if (!::SetupDiGetDeviceInterfaceDetailW(set, &iface, detail, needed, nullptr, &node)) continue;
      HidInterfaceInfo info;
      info.Path = FromWide(detail->DevicePath);
      info.HardwareIds = HardwareIds(set, node);
      out.push_back(std::move(info));
    }
    return out;
  }

  std::unique_ptr<IHidDevice> Open(WView path, bool forReading, std::uint32_t* error) override {
    const std::wstring p = ToWide(path);
    HANDLE h = ::CreateFileW(p.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (h == INVALID_HANDLE_VALUE && error) *error = ::GetLastError();
    win::UniqueHandle handle = win::FileHandle(h);
    if (!handle) return nullptr;
    return std::make_unique<Win32HidDevice>(std::move(handle), forReading);
  }

  std::unique_ptr<IHidDevice> Probe(WView path) override {
    const std::wstring p = ToWide(path);
    // No access rights: HidD_GetAttributes and the parsed descriptor still
    // work, also on keyboards and mice the system holds, and on a collection
    // another program opened without sharing.
    HANDLE h = ::CreateFileW(p.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                             FILE_FLAG_OVERLAPPED, nullptr);
    win::UniqueHandle handle = win::FileHandle(h);
    if (!handle) return nullptr;
    return std::make_unique<Win32HidDevice>(std::move(handle), false);
  }

 private:
  // The device node's hardware identifiers (a list of strings).
  static std::vector<WStr> HardwareIds(HDEVINFO set, SP_DEVINFO_DATA& node) {
    std::vector<std::uint8_t> buffer(32768, 0);
    DWORD type = 0;
    std::vector<WStr> ids;
    if (!::SetupDiGetDeviceRegistryPropertyW(set, &node, SPDRP_HARDWAREID, &type, buffer.data(),
                                             static_cast<DWORD>(buffer.size() - 4), nullptr)) {
      return ids;
    }
    const auto* p = reinterpret_cast<const wchar_t*>(buffer.data());
    const auto* end = reinterpret_cast<const wchar_t*>(buffer.data() + buffer.size() - 4);
    while (p < end && *p) {
      const WStr id = FromWide(p);
      ids.push_back(id);
      p += id.size() + 1;
    }
    return ids;
  }
};

}  // namespace

IHidBus& PlatformHidBus() {
  static Win32HidBus bus;
  return bus;
}

}  // namespace vx
