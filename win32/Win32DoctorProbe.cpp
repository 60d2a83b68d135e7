// The doctor's facts from Windows itself.
#include <windows.h>
#include <mmdeviceapi.h>
#include <endpointvolume.h>
#include <propsys.h>
#include <shlobj.h>

#include <string>

#include "platform/DoctorProbe.h"
#include "platform/HookLibrary.h"
#include "platform/Shell.h"
#include "platform/SyntheticInput.h"
#include "platform/Text.h"
#include "win32/Win32Handle.h"
#include "win32/Win32AudioIds.h"

namespace vx {
namespace {

// PKEY_Device_FriendlyName.
constexpr PROPERTYKEY kFriendlyName = {{0xA45C254E, 0xDF1C, 0x4EFD, {0x80, 0x20, 0x67, 0xD1, 0x46, 0xA8, 0x50, 0xE0}}, 14};

const wchar_t* W(const WStr& s) { return reinterpret_cast<const wchar_t*>(s.c_str()); }
std::string Utf8(const wchar_t* s) { return ToUtf8(WView(reinterpret_cast<const char16_t*>(s))); }

std::optional<std::wstring> RegText(HKEY root, const wchar_t* key, const wchar_t* name) {
  wchar_t buf[2048];
  DWORD size = sizeof buf;
  if (::RegGetValueW(root, key, name, RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, nullptr, buf, &size) !=
      ERROR_SUCCESS)
    return std::nullopt;
  return std::wstring(buf);
}

std::uint32_t IntegrityOf(DWORD pid) {
  win::UniqueHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
  // A process of the same user that may not be opened runs above it.
  if (!process) return ::GetLastError() == ERROR_ACCESS_DENIED ? kIntegrityHigh : 0;
  HANDLE raw = nullptr;
  if (!::OpenProcessToken(process.get(), TOKEN_QUERY, &raw))
    return ::GetLastError() == ERROR_ACCESS_DENIED ? kIntegrityHigh : 0;
  win::UniqueHandle token(raw);
  DWORD size = 0;
  ::GetTokenInformation(token.get(), TokenIntegrityLevel, nullptr, 0, &size);
  if (size == 0) return 0;
  std::string buffer(size, '\0');
  if (!::GetTokenInformation(token.get(), TokenIntegrityLevel, buffer.data(), size, &size)) return 0;
  PSID sid = reinterpret_cast<const TOKEN_MANDATORY_LABEL*>(buffer.data())->Label.Sid;
  if (!sid || !::IsValidSid(sid)) return 0;
  const UCHAR count = *::GetSidSubAuthorityCount(sid);
  return count == 0 ? 0 : static_cast<std::uint32_t>(*::GetSidSubAuthority(sid, count - 1U));
}

std::string ProcessName(DWORD pid) {
  win::UniqueHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
  if (!process) return {};
  wchar_t path[MAX_PATH];
  DWORD size = MAX_PATH;
  if (!::QueryFullProcessImageNameW(process.get(), 0, path, &size)) return {};
  const wchar_t* slash = wcsrchr(path, L'\\');
  return Utf8(slash ? slash + 1 : path);
}

void WindowsVersion(DoctorFacts& f) {
  // GetVersionExW answers what the manifest allows; RtlGetVersion the truth.
  using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
  const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  auto fn = ntdll ? reinterpret_cast<RtlGetVersionFn>(reinterpret_cast<void*>(::GetProcAddress(ntdll, "RtlGetVersion")))
                  : nullptr;
  OSVERSIONINFOW v{};
  v.dwOSVersionInfoSize = sizeof v;
  if (fn && fn(&v) == 0) {
    f.major = v.dwMajorVersion;
    f.minor = v.dwMinorVersion;
    f.build = v.dwBuildNumber;
  }
}

struct ScaleContext {
  using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);
  GetDpiForMonitorFn getDpi = nullptr;
  std::vector<int>* scales = nullptr;
};

BOOL CALLBACK OneMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM param) {
  auto* ctx = reinterpret_cast<ScaleContext*>(param);
  UINT x = 0, y = 0;
  if (ctx->getDpi && SUCCEEDED(ctx->getDpi(monitor, 0 /* MDT_EFFECTIVE_DPI */, &x, &y)) && x != 0) {
    ctx->scales->push_back(static_cast<int>((x * 100 + 48) / 96));
  } else {
    HDC screen = ::GetDC(nullptr);
    ctx->scales->push_back((::GetDeviceCaps(screen, LOGPIXELSX) * 100 + 48) / 96);
    ::ReleaseDC(nullptr, screen);
  }
  return TRUE;
}

void DisplayScales(DoctorFacts& f) {
  // A DPI-unaware caller is told 96 everywhere: ask as a per-monitor aware thread.
  using SetContextFn = DPI_AWARENESS_CONTEXT(WINAPI*)(DPI_AWARENESS_CONTEXT);
  const HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
  auto setContext = user32 ? reinterpret_cast<SetContextFn>(
                                 reinterpret_cast<void*>(::GetProcAddress(user32, "SetThreadDpiAwarenessContext")))
                           : nullptr;
  DPI_AWARENESS_CONTEXT old = setContext ? setContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2) : nullptr;
  HMODULE shcore = ::LoadLibraryExW(L"shcore.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  ScaleContext ctx;
  ctx.scales = &f.displayScales;
  if (shcore)
    ctx.getDpi = reinterpret_cast<ScaleContext::GetDpiForMonitorFn>(
        reinterpret_cast<void*>(::GetProcAddress(shcore, "GetDpiForMonitor")));
  ::EnumDisplayMonitors(nullptr, nullptr, OneMonitor, reinterpret_cast<LPARAM>(&ctx));
  if (shcore) ::FreeLibrary(shcore);
  if (setContext && old) setContext(old);
}

void Microphone(DoctorFacts& f) {
  const HRESULT init = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  IMMDeviceEnumerator* enumerator = nullptr;
  IMMDevice* device = nullptr;
  if (SUCCEEDED(::CoCreateInstance(kClsidMMDeviceEnumerator, nullptr, CLSCTX_ALL, kIidMMDeviceEnumerator,
                                   reinterpret_cast<void**>(&enumerator))) &&
      SUCCEEDED(enumerator->GetDefaultAudioEndpoint(eCapture, eConsole, &device))) {
    std::string name = "(unnamed device)";
    IPropertyStore* props = nullptr;
    if (SUCCEEDED(device->OpenPropertyStore(STGM_READ, &props))) {
      PROPVARIANT v;
      PropVariantInit(&v);
      if (SUCCEEDED(props->GetValue(kFriendlyName, &v)) && v.vt == VT_LPWSTR && v.pwszVal) name = Utf8(v.pwszVal);
      PropVariantClear(&v);
      props->Release();
    }
    f.microphone = name;
    IAudioEndpointVolume* volume = nullptr;
    if (SUCCEEDED(device->Activate(kIidAudioEndpointVolume, CLSCTX_ALL, nullptr, reinterpret_cast<void**>(&volume)))) {
      BOOL muted = FALSE;
      if (SUCCEEDED(volume->GetMute(&muted))) f.microphoneMuted = muted != FALSE;
      volume->Release();
    }
    device->Release();
  }
  if (enumerator) enumerator->Release();
  if (SUCCEEDED(init)) ::CoUninitialize();
}

// Its own module reference: LoadLibraryEx counts, so the FreeLibrary here
// leaves a library the monitor loaded in place.
class DoctorHookLoader final : public IHookLibraryLoader {
 public:
  bool LoadModule() override {
    UnloadModule();
    const WStr path = ExecutableFolder() + u"kwHook.dll";
    module_ = ::LoadLibraryExW(W(path), nullptr, LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
    error_ = module_ ? 0 : ::GetLastError();
    return module_ != nullptr;
  }
  void* FindExport(const char* name) override {
    return module_ ? reinterpret_cast<void*>(::GetProcAddress(module_, name)) : nullptr;
  }
  void UnloadModule() override {
    if (module_) ::FreeLibrary(module_);
    module_ = nullptr;
  }
  std::uint32_t LastLoadError() const override { return error_; }

 private:
  HMODULE module_ = nullptr;
  std::uint32_t error_ = 0;
};

class Win32DoctorProbe final : public IDoctorProbe {
 public:
  IHookLibraryLoader& HookLoader() override { return hook_; }
  DoctorFacts Gather() override {
    DoctorFacts f;
    const WStr folder = ExecutableFolder();
    f.programFolder = ToUtf8(folder);
    if (auto at = RegText(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VXMon",
                          L"InstallLocation")) {
      std::wstring a = *at, b(W(folder));
      while (!a.empty() && a.back() == L'\\') a.pop_back();
      while (!b.empty() && b.back() == L'\\') b.pop_back();
      f.installed = ::CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
    }
    if (auto run = RegText(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Run", L"VXMon"))
      f.runValue = Utf8(run->c_str());
    BYTE approved[12] = {};
    DWORD size = sizeof approved;
    // Settings and Task Manager keep the Startup switch here: an odd first byte is off.
    if (::RegGetValueW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\StartupApproved\\Run",
                       L"VXMon", RRF_RT_REG_BINARY, nullptr, approved, &size) == ERROR_SUCCESS &&
        size > 0)
      f.startupDisabled = (approved[0] & 1) != 0;
    WindowsVersion(f);
    f.remoteSession = ::GetSystemMetrics(SM_REMOTESESSION) != 0;
    DisplayScales(f);
    if (HWND monitor = ::FindWindowW(L"TVXMonMain", nullptr)) {
      DWORD pid = 0;
      ::GetWindowThreadProcessId(monitor, &pid);
      f.monitorPid = pid;
      DWORD_PTR result = 0;
      f.monitorAnswers =
          ::SendMessageTimeoutW(monitor, WM_NULL, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK, 1000, &result) != 0;
      f.monitorIntegrity = IntegrityOf(pid);
    }
    if (HWND front = ::GetForegroundWindow()) {
      DWORD pid = 0;
      ::GetWindowThreadProcessId(front, &pid);
      f.foregroundPid = pid;
      f.foregroundIntegrity = IntegrityOf(pid);
      f.foregroundName = ProcessName(pid);
    }
    Microphone(f);
    f.configAppRunning = ::FindWindowW(L"TVXCfgMain", nullptr) != nullptr || ::FindWindowW(nullptr, L"VX_CONFIG_EX") != nullptr;
    return f;
  }
  bool HookLibraryPresent() override {
    const WStr path = ExecutableFolder() + u"kwHook.dll";
    const DWORD a = ::GetFileAttributesW(W(path));
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) == 0;
  }
  std::string DesktopFolder() override {
    PWSTR path = nullptr;
    std::string out;
    if (SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_Desktop, 0, nullptr, &path)) && path) out = Utf8(path);
    ::CoTaskMemFree(path);
    return out;
  }
  bool SelectInExplorer(const std::string& file) override {
    const HRESULT init = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const WStr w = FromUtf8(file);
    bool ok = false;
    if (PIDLIST_ABSOLUTE item = ::ILCreateFromPathW(W(w))) {
      ok = SUCCEEDED(::SHOpenFolderAndSelectItems(item, 0, nullptr, 0));
      ::ILFree(item);
    }
    if (SUCCEEDED(init)) ::CoUninitialize();
    return ok;
  }

 private:
  DoctorHookLoader hook_;
};

}  // namespace

IDoctorProbe& PlatformDoctorProbe() {
  static Win32DoctorProbe probe;
  return probe;
}

}  // namespace vx
