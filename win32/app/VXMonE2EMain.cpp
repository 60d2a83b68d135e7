// VXMonE2E.exe: the monitor with a virtual HID bus holding one virtual mouse
// (collection 0xFFA0/0x0001, 8-byte input reports, feature reports up to
// 4096 bytes), driven from outside by vmouse.exe through a named pipe.
#include <windows.h>

#include <aclapi.h>
#include <dbt.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <exception>
#include <cwchar>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "app/ConfigLink.h"
#include "device/kwHIDEvent.h"
#include "platform/Debug.h"
#include "platform/Log.h"
#include "platform/MainThread.h"
#include "platform/StopSignal.h"
#include "platform/SyntheticInput.h"
#include "platform/VirtualHidBus.h"
#include "win32/app/MonitorProgram.h"
#include "win32/app/VMousePipe.h"
#include "win32/ui/MonitorUi.h"

namespace {

using vx::VirtualHidBus;

vx::VirtualDeviceDesc VirtualMouse() {
  vx::VirtualDeviceDesc d;
  d.HardwareIds = {u"HID\\VID_3412&PID_7856&REV_0100&MI_01&Col01", u"HID\\VID_3412&PID_7856&MI_01&Col01",
                   u"HID_DEVICE_UP:FFA0_U:0001", u"HID_DEVICE"};
  d.Attributes.VendorID = 0x3412;
  d.Attributes.ProductID = 0x7856;
  d.Attributes.VersionNumber = 0x0100;
  vx::VirtualCollection c;
  c.UsagePage = 0xFFA0;
  c.Usage = 0x0001;
  c.InputReportLength = 8;
  c.FeatureReportLength = 4096;
  c.FeatureReportLengths = vx::FramedFeatureReportLengths();
  d.Collections = {c};
  return d;
}

// A stack overflow on the calling thread. Windows raises STATUS_STACK_OVERFLOW
// at the guard page with the thread's guaranteed bytes still free for the
// handlers; wine 8 leaves about 2 KB and ends the process before any handler
// runs. So the recursion raises it itself where Windows would with a small
// guarantee: 32 KB above the end of the stack.
__attribute__((noinline)) int Recurse(int depth) {
  volatile char frame[512];
  frame[depth % 512] = static_cast<char>(depth);
  ULONG_PTR low = 0, high = 0;
  ::GetCurrentThreadStackLimits(&low, &high);
  if (reinterpret_cast<ULONG_PTR>(&frame[0]) < low + 32 * 1024) {
    ::RaiseException(EXCEPTION_STACK_OVERFLOW, EXCEPTION_NONCONTINUABLE, 0, nullptr);
    return frame[0];
  }
  return Recurse(depth + 1) + frame[0];
}

// Passes every line to the real log; the line "crash in the log writer"
// faults while its lock is held, as a crash inside the log writer would.
class FaultingLog final : public vx::ILogWriter {
 public:
  // Wraps the current log while the monitor runs; nullptr puts it back.
  void Wrap(vx::ILogWriter* inner) {
    if (inner == nullptr) {
      if (inner_ != nullptr) vx::SetLogWriter(inner_);
      return;
    }
    inner_ = inner;
    vx::SetLogWriter(this);
  }
  void Write(vx::LogLine line) override {
    std::lock_guard lock(mutex_);
    if (line.text == u"crash in the log writer") *static_cast<volatile int*>(nullptr) = 1;
    if (inner_) inner_->Write(std::move(line));
  }

 private:
  std::mutex mutex_;
  vx::ILogWriter* inner_ = nullptr;
};

// A capture endpoint for hosts without one (wine): its mute state lives
// here; "held", it keeps that state whatever it is asked, like a device
// with a hardware switch. Used when VX_E2E_MIC is set.
class VirtualMicrophone final : public vx::IAudioSystem {
 public:
  std::atomic<bool> muted{false};
  std::atomic<bool> held{false};

  std::unique_ptr<vx::ICaptureEndpoint> OpenDefaultCaptureEndpoint(vx::EndpointNotify notify) override {
    return std::make_unique<Endpoint>(*this, std::move(notify));
  }
  // One device that never changes: there is no default to follow.
  std::unique_ptr<vx::IAudioWatch> WatchDefaultCaptureEndpoint(std::function<void()>) override { return nullptr; }
  std::uint32_t MixerDeviceCount() override { return 0; }
  std::unique_ptr<vx::IMixerDevice> OpenMixer(std::uint32_t) override { return nullptr; }

 private:
  class Endpoint final : public vx::ICaptureEndpoint {
   public:
    Endpoint(VirtualMicrophone& mic, vx::EndpointNotify notify) : mic_(mic), notify_(std::move(notify)) {}
    bool GetMute(bool& m) override {
      m = mic_.muted;
      return true;
    }
    bool SetMute(bool m) override {
      if (!mic_.held) mic_.muted = m;
      if (notify_) notify_();
      return true;
    }

   private:
    VirtualMicrophone& mic_;
    vx::EndpointNotify notify_;
  };
};

VirtualMicrophone g_microphone;

class VirtualMouseServer {
 public:
  explicit VirtualMouseServer(VirtualHidBus& bus) : bus_(bus) { device_ = bus_.Plug(VirtualMouse()); }

  void SetMonitor(vx::TVXMonMain* monitor) {
    std::lock_guard lock(mutex_);
    monitor_ = monitor;
  }

  void Start() {
    std::thread([this] { Serve(); }).detach();
  }

  // How long the teardown after Exit is held up ("linger MS").
  DWORD ExitHoldMs() const { return exitHoldMs_.load(); }

 private:
  void Serve() {
    int refused = 0;
    for (;;) {
      HANDLE pipe = ::CreateNamedPipeW(kVMousePipeName, PIPE_ACCESS_DUPLEX,
                                       PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 65536, 65536, 0,
                                       nullptr);
      if (pipe == INVALID_HANDLE_VALUE) {
        // A monitor still tearing down may hold the pipe a while longer.
        if (++refused > 100) return;
        ::Sleep(100);
        continue;
      }
      refused = 0;
      // Blocks without waking until a client connects.
      const BOOL connected = ::ConnectNamedPipe(pipe, nullptr) || ::GetLastError() == ERROR_PIPE_CONNECTED;
      if (connected) {
        std::string request;
        char buf[4096];
        DWORD got = 0;
        while (::ReadFile(pipe, buf, sizeof(buf), &got, nullptr) && got > 0) {
          request.append(buf, got);
          if (request.find('\n') != std::string::npos) break;
        }
        const std::string reply = Handle(request);
        DWORD put = 0;
        ::WriteFile(pipe, reply.data(), static_cast<DWORD>(reply.size()), &put, nullptr);
        ::FlushFileBuffers(pipe);
        ::DisconnectNamedPipe(pipe);
      }
      ::CloseHandle(pipe);
    }
  }

  static bool ParseHex(const std::string& text, std::vector<std::uint8_t>& out) {
    std::string digits;
    for (char ch : text) {
      if (std::isxdigit(static_cast<unsigned char>(ch))) {
        digits += ch;
      } else if (ch != ' ' && ch != ':' && ch != '-') {
        return false;
      }
    }
    if (digits.empty() || digits.size() % 2 != 0) return false;
    for (std::size_t i = 0; i < digits.size(); i += 2) {
      out.push_back(static_cast<std::uint8_t>(std::stoi(digits.substr(i, 2), nullptr, 16)));
    }
    return true;
  }

  // Raises the arrival or removal the monitor's notifier would get from the
  // system, on the main thread.
  void Notify(bool arrived) {
    vx::TVXMonMain* monitor = nullptr;
    {
      std::lock_guard lock(mutex_);
      monitor = monitor_;
    }
    if (!monitor) return;
    vx::StopSignal never;
    vx::GetMainThreadDispatcher().Invoke(
        [&] {
          DEV_BROADCAST_HDR hdr{};
          hdr.dbch_size = sizeof(hdr);
          hdr.dbch_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
          monitor->kwHIDEvent1->WMDeviceChange(arrived ? DBT_DEVICEARRIVAL : DBT_DEVICEREMOVECOMPLETE,
                                               reinterpret_cast<std::intptr_t>(&hdr));
        },
        never);
  }

  std::string Handle(const std::string& line) {
    std::istringstream in(line);
    std::string cmd;
    in >> cmd;
    if (cmd == "report") {
      std::string rest;
      std::getline(in, rest);
      std::vector<std::uint8_t> bytes;
      if (!ParseHex(rest, bytes)) return "error: report wants hexadecimal bytes, report ID first\n";
      if (!bus_.IsPlugged(device_)) return "error: the virtual mouse is unplugged\n";
      const std::size_t readers = bus_.QueueInput(device_, 0, bytes);
      if (readers == 0) return "error: the monitor is not reading the virtual mouse yet\n";
      return "ok " + std::to_string(readers) + "\n";
    }
    if (cmd == "features") {
      std::string out = "ok\n";
      static const char* hex = "0123456789abcdef";
      for (const auto& s : bus_.Sent()) {
        if (s.What != vx::VirtualSent::Kind::Feature) continue;
        for (std::uint8_t b : s.Bytes) {
          out += hex[b >> 4];
          out += hex[b & 15];
        }
        out += '\n';
      }
      return out;
    }
    if (cmd == "refuse") {
      // refuse CODE: the mouse answers later reports with that error (0: takes them).
      std::uint32_t code = 0;
      in >> code;
      bus_.SetSendError(code);
      return "ok\n";
    }
    if (cmd == "plug") {
      if (!bus_.IsPlugged(device_)) device_ = bus_.Plug(VirtualMouse());
      Notify(true);
      return "ok\n";
    }
    if (cmd == "unplug") {
      if (bus_.IsPlugged(device_)) bus_.Unplug(device_);
      Notify(false);
      return "ok\n";
    }
    if (cmd == "linger") {
      // linger MS: the teardown after Exit takes that much longer (restart tests).
      std::uint32_t ms = 0;
      in >> ms;
      exitHoldMs_ = ms;
      return "ok\n";
    }
    if (cmd == "crash") {
      // The test build's crash on request: "crash" an unhandled fault on this
      // thread, "crash main" a fault on the main thread, "crash stack" a stack
      // overflow there, "crash log" a fault inside the log writer's lock,
      // "crash terminate" std::terminate on this thread.
      std::string where;
      in >> where;
      if (where.empty()) ::RaiseException(EXCEPTION_ACCESS_VIOLATION, EXCEPTION_NONCONTINUABLE, 0, nullptr);
      if (where == "log") vx::DebugOutput(std::string_view("crash in the log writer"));
      if (where == "terminate") std::terminate();
      if (where != "main" && where != "stack") return "error: crash [main|stack|log|terminate]\n";
      vx::StopSignal never;
      vx::GetMainThreadDispatcher().Invoke(
          [&] {
            if (where == "stack") {
              Recurse(1);
            } else {
              *static_cast<volatile int*>(nullptr) = 1;
            }
          },
          never);
      return "error: still running\n";
    }
    if (cmd == "drophook") {
      // Removes the mouse hook behind the library's back, as the system does
      // with a hook that keeps it waiting.
      bool dropped = false;
      vx::StopSignal never;
      vx::GetMainThreadDispatcher().Invoke(
          [&] {
            using HandleFn = void*(__stdcall*)(std::int32_t);
            HMODULE lib = ::GetModuleHandleW(L"kwHook.dll");
            auto fn = lib ? reinterpret_cast<HandleFn>(reinterpret_cast<void*>(::GetProcAddress(lib, "HookHandle")))
                          : nullptr;
            void* hook = fn ? fn(1) : nullptr;
            dropped = hook != nullptr && ::UnhookWindowsHookEx(static_cast<HHOOK>(hook));
          },
          never);
      return dropped ? "ok\n" : "error: no mouse hook to drop\n";
    }
    if (cmd == "mic") {
      // mic [hold|free]: the virtual microphone's state; hold keeps it.
      std::string what;
      in >> what;
      if (what == "hold") g_microphone.held = true;
      if (what == "free") g_microphone.held = false;
      return std::string("ok ") + (g_microphone.muted ? "muted" : "on") + (g_microphone.held ? " held" : "") + "\n";
    }
    if (cmd == "wait") {
      // wait [ms]: until the monitor reads the virtual mouse.
      std::uint32_t ms = 10000;
      in >> ms;
      if (bus_.WaitForReaders(device_, 0, 1, ms)) return "ok\n";
      return "error: no read started\n";
    }
    return "error: unknown command '" + cmd + "'\n";
  }

  VirtualHidBus& bus_;
  int device_ = 0;
  std::mutex mutex_;
  vx::TVXMonMain* monitor_ = nullptr;
  std::atomic<DWORD> exitHoldMs_{0};
};

// The system's input, except that the environment variable
// VX_E2E_INTEGRITY (a number) stands for this process's integrity level.
class E2EInput final : public vx::ISyntheticInput {
 public:
  explicit E2EInput(std::uint32_t own) : real_(vx::PlatformSyntheticInput()), own_(own) {}
  bool CursorPos(vx::ScreenPoint& p) override { return real_.CursorPos(p); }
  std::uint16_t ScanCodeOf(std::uint8_t vk) override { return real_.ScanCodeOf(vk); }
  bool KeybdEvent(std::uint8_t vk, std::uint8_t scan, std::uint32_t flags) override {
    return real_.KeybdEvent(vk, scan, flags);
  }
  bool MouseEvent(std::uint32_t f, std::int32_t x, std::int32_t y, std::int32_t d, std::uintptr_t e) override {
    return real_.MouseEvent(f, x, y, d, e);
  }
  bool Foreground(vx::ForegroundProcess& out) override { return real_.Foreground(out); }
  std::uint32_t OwnIntegrity() override { return own_; }

 private:
  vx::ISyntheticInput& real_;
  std::uint32_t own_;
};

// A monitor run as administrator, for the rules wine does not apply, when
// VX_E2E_INTEGRITY is high or above: Windows drops the messages a process
// of lower integrity posts unless the monitor let them through its message
// filter (here the ones other programs send it: the exit request and the
// configuration application's reloads), and grants such a process only
// SYNCHRONIZE and query rights on the monitor's process.
class ElevatedRules {
 public:
  static void Apply() {
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID everyone = nullptr;
    if (::AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone)) {
      alignas(ACL) unsigned char buffer[256];
      auto* acl = reinterpret_cast<PACL>(buffer);
      if (::InitializeAcl(acl, sizeof buffer, ACL_REVISION) &&
          ::AddAccessAllowedAce(acl, ACL_REVISION, SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION | READ_CONTROL,
                                everyone)) {
        ::SetSecurityInfo(::GetCurrentProcess(), SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                          acl, nullptr);
      }
      ::FreeSid(everyone);
    }
    ::SetWindowsHookExW(WH_GETMESSAGE, Filter, nullptr, ::GetCurrentThreadId());
  }
  static void Allowed(UINT msg) { allowed_.push_back(msg); }

 private:
  static LRESULT CALLBACK Filter(int code, WPARAM wp, LPARAM lp) {
    auto* m = reinterpret_cast<MSG*>(lp);
    if (code == HC_ACTION && wp == PM_REMOVE && m->hwnd && Filtered(m->message) &&
        std::find(allowed_.begin(), allowed_.end(), m->message) == allowed_.end()) {
      wchar_t cls[32] = {};
      ::GetClassNameW(m->hwnd, cls, 32);
      if (std::wcscmp(cls, L"TVXMonMain") == 0) m->message = WM_NULL;
    }
    return ::CallNextHookEx(nullptr, code, wp, lp);
  }
  static bool Filtered(UINT msg) {
    return msg == WM_CLOSE || msg == vx::WM_VX_RELOAD_PROFILES || msg == vx::WM_VX_RELOAD_SETTINGS;
  }
  static inline std::vector<UINT> allowed_;
};

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  static VirtualHidBus bus;
  static VirtualMouseServer server(bus);
  vx::win::MonitorProgramOptions options;
  // A second instance ends before it touches the pipe.
  options.ownsInstance = [] { server.Start(); };
  vx::ui::MonitorUi ui;
  ui.Install(options);
  options.hidBus = &bus;
  static FaultingLog faultingLog;
  wchar_t mic[8] = L"";
  if (::GetEnvironmentVariableW(L"VX_E2E_MIC", mic, 8) > 0) options.audio = &g_microphone;
  wchar_t integrity[32] = {};
  static std::unique_ptr<E2EInput> input;
  if (::GetEnvironmentVariableW(L"VX_E2E_INTEGRITY", integrity, 32) > 0) {
    const auto level = static_cast<std::uint32_t>(std::wcstoul(integrity, nullptr, 0));
    input = std::make_unique<E2EInput>(level);
    options.input = input.get();
    if (level >= SECURITY_MANDATORY_HIGH_RID) {
      ElevatedRules::Apply();
      options.messageAllowed = [](UINT msg) { ElevatedRules::Allowed(msg); };
    }
  }
  options.onMonitor = [](vx::TVXMonMain* m) {
    faultingLog.Wrap(m ? vx::CurrentLogWriter() : nullptr);
    server.SetMonitor(m);
    if (!m) ::Sleep(server.ExitHoldMs());
  };
  return vx::win::RunMonitorProgram(instance, options);
}
