#include "tools/vxprofile/Doctor.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <system_error>

#include "app/AutoBackup.h"
#include "platform/Files.h"
#include "platform/HidBus.h"
#include "platform/HookLibrary.h"
#include "platform/Log.h"
#include "platform/Registry.h"
#include "platform/Shell.h"
#include "platform/SyntheticInput.h"
#include "profiles/DMUnit.h"
#include "profiles/IniFile.h"

namespace vx::doctor {
namespace {

namespace fs = std::filesystem;

std::string U8(WView w) { return ToUtf8(w); }
fs::path PathOf(WView w) {
  const std::string n = NativePath(w);
  return fs::path(std::u8string(reinterpret_cast<const char8_t*>(n.data()), n.size()));
}

std::string Hex4(unsigned v) {
  char b[8];
  std::snprintf(b, sizeof b, "%04X", v & 0xFFFFu);
  return b;
}

const char* StatusText(Status s) { return s == Status::Ok ? "OK" : s == Status::Warn ? "WARN" : "FAIL"; }

Check Program(const Inputs& in, const DoctorFacts& f) {
  Check c{"program", Status::Ok, "version " + in.version + ", " + (f.installed ? "installed" : "portable") + " in " +
                                     f.programFolder, {}, {}};
  if (!f.runValue) {
    c.status = Status::Warn;
    c.detail += "; no \"VXMon\" Run value";
    c.advice = "The monitor does not start with Windows: run the installer again or start VXMon.exe yourself.";
  } else if (f.startupDisabled) {
    c.status = Status::Warn;
    c.detail += "; Run value " + *f.runValue + ", turned off in Startup apps";
    c.advice = "Turn VXMon on again in Settings > Apps > Startup (or Task Manager > Startup).";
  } else {
    c.detail += "; starts with Windows (" + *f.runValue + ")";
  }
  return c;
}

Check Windows(const DoctorFacts& f) {
  Check c{"windows", Status::Ok,
          std::to_string(f.major) + "." + std::to_string(f.minor) + " build " + std::to_string(f.build) + ", " +
              (f.remoteSession ? "remote session" : "console session"),
          {}, {}};
  std::string scales;
  for (int s : f.displayScales) scales += (scales.empty() ? "" : ", ") + std::to_string(s) + "%";
  c.detail += "; display scale " + (scales.empty() ? std::string("unknown") : scales);
  if (f.remoteSession) {
    c.status = Status::Warn;
    c.advice = "In a remote session the mouse is the remote computer's: run the monitor on the computer the mouse is plugged into.";
  }
  return c;
}

Check Monitor(const DoctorFacts& f) {
  Check c{"monitor", Status::Ok, {}, {}, {}};
  if (f.monitorPid == 0) {
    c.status = Status::Warn;
    c.detail = "not running";
    c.advice = "Start VXMon.exe: without it the mouse's buttons do nothing beyond what the mouse does itself.";
    return c;
  }
  const bool elevated = f.monitorIntegrity >= kIntegrityHigh;
  c.detail = "running, process " + std::to_string(f.monitorPid) + (f.monitorAnswers ? ", answers" : ", does not answer") +
             (elevated ? ", elevated" : ", not elevated");
  if (!f.monitorAnswers) {
    c.status = Status::Fail;
    c.advice = "The monitor hangs: end VXMon.exe in Task Manager, start it again and save a problem report.";
  } else if (!elevated && f.foregroundIntegrity >= kIntegrityHigh) {
    c.status = Status::Warn;
    c.detail += "; the program in front (" + (f.foregroundName.empty() ? "process " + std::to_string(f.foregroundPid)
                                                                        : f.foregroundName) + ") runs elevated";
    c.advice = "Windows keeps macros out of programs that run as administrator: choose \"Restart as administrator\" in the tray menu.";
  }
  return c;
}

std::vector<WStr> IncludeList(WView configIni) {
  std::vector<WStr> list;
  const IniFile ini = IniFile::Load(configIni);
  for (int i = 1; i <= 101; ++i) {
    const auto v = ini.Find(u"IncludeHIDDeviceList", u"id" + IntToWStr(i));
    if (!v || v->empty()) break;
    list.push_back(*v);
  }
  return list;
}

Check Mouse(const Inputs& in) {
  Check c{"mouse", Status::Ok, {}, {}, {}};
  IHidBus& bus = *in.bus;
  const auto interfaces = bus.Enumerate(bus.HidGuid());
  if (!interfaces) {
    c.status = Status::Fail;
    c.detail = "the HID interfaces cannot be listed";
    c.advice = "Restart Windows; if it stays, save a problem report.";
    return c;
  }
  const std::vector<WStr> include = IncludeList(in.configIni);
  int matching = 0, opened = 0;
  std::uint32_t lastError = 0;
  for (const auto& itf : *interfaces) {
    HidCaps caps;
    HidAttributes attr;
    auto probe = bus.Probe(itf.Path);
    const bool known = probe && probe->GetCaps(caps);
    if (probe) probe->GetAttributes(attr);
    const bool vendor = known && caps.UsagePage == 0xFFA0 && caps.Usage == 0x0001;
    bool listed = include.empty();
    for (const auto& e : include)
      for (const auto& id : itf.HardwareIds) listed = listed || SameTextIgnoreCase(e, id);
    std::string line = "VID " + Hex4(attr.VendorID) + " PID " + Hex4(attr.ProductID) +
                       (known ? " usage page " + Hex4(caps.UsagePage) + " usage " + Hex4(caps.Usage) : " (no capabilities)");
    if (vendor && listed) {
      ++matching;
      std::uint32_t error = 0;
      auto dev = bus.Open(itf.Path, false, &error);
      if (dev) {
        ++opened;
        line += ": the mouse, opens";
      } else {
        lastError = error;
        const std::string meaning = ErrorMeaning(error);
        line += ": the mouse, does not open (error " + std::to_string(error) + (meaning.empty() ? "" : ", " + meaning) + ")";
      }
    } else if (vendor) {
      line += ": vendor collection, not in config.ini's include list";
    }
    c.lines.push_back(line + "  " + U8(itf.Path));
  }
  const std::string what = "the mouse (vendor collection FFA0:0001" + std::string(include.empty() ? "" : " in config.ini's list") + ")";
  if (matching == 0) {
    c.status = Status::Fail;
    c.detail = "no interface of " + what + " is present";
    c.advice = "Plug the mouse in (another USB port, no hub); check config.ini's IncludeHIDDeviceList names it.";
  } else if (opened == 0) {
    c.status = Status::Fail;
    c.detail = "no interface of " + what + " opens: error " + std::to_string(lastError) + " " + ErrorMeaning(lastError);
    c.advice = lastError == kErrSharingViolation ? "Close the other mouse software that holds the mouse, then reconnect it."
                                                 : "Reconnect the mouse; if it stays, run the monitor as administrator once to compare.";
  } else {
    c.detail = std::to_string(opened) + " of " + std::to_string(matching) + " interface(s) of " + what + " open";
  }
  return c;
}

Check HookLibrary(const Inputs& in) {
  Check c{"hook library", Status::Ok, {}, {}, {}};
  if (!in.probe->HookLibraryPresent()) {
    c.status = Status::Fail;
    c.detail = "kwHook.dll is missing from the program folder";
    c.advice = "Reinstall, and allow kwHook.dll in your security software: macro recording needs it.";
    return c;
  }
  IHookLibraryLoader& hook = *in.hook;
  if (!hook.LoadModule()) {
    const std::uint32_t e = hook.LastLoadError();
    c.status = Status::Fail;
    c.detail = "kwHook.dll does not load: error " + std::to_string(e) + (ErrorMeaning(e).empty() ? "" : " " + ErrorMeaning(e));
    c.advice = "Allow kwHook.dll in your security software (or Smart App Control), or reinstall.";
    return c;
  }
  std::string missing;
  for (const char* name : {kEnableKeyboardHookName, kDisableKeyboardHookName, kEnableMouseHookName, kDisableMouseHookName}) {
    if (!hook.FindExport(name)) missing += (missing.empty() ? "" : ", ") + std::string(name);
  }
  hook.UnloadModule();
  if (!missing.empty()) {
    c.status = Status::Fail;
    c.detail = "kwHook.dll loads but lacks " + missing;
    c.advice = "The library is not ours or is damaged: reinstall.";
  } else {
    c.detail = "kwHook.dll loads, with its exports";
  }
  return c;
}

Check Microphone(const DoctorFacts& f) {
  Check c{"microphone", Status::Ok, {}, {}, {}};
  if (!f.microphone) {
    c.status = Status::Warn;
    c.detail = "no default capture device";
    c.advice = "Plug in or enable a microphone in Sound settings: the mute button has nothing to mute.";
  } else {
    c.detail = *f.microphone + (f.microphoneMuted ? ", muted" : ", on");
  }
  return c;
}

Check Data(const Inputs& in) {
  Check c{"data", Status::Ok, {}, {}, {}};
  IRegistry& reg = GetRegistry();
  const auto values = reg.KeyExists(HKEY_CURRENT_USER_, kProfileKeyPath) ? reg.EnumValues(HKEY_CURRENT_USER_, kProfileKeyPath)
                                                                       : std::nullopt;
  c.detail = "HKCU\\" + U8(kProfileKeyPath);
  if (!values) {
    c.status = Status::Warn;
    c.detail += " is missing";
    c.advice = "Start the configuration application once: it writes the profiles.";
  } else {
    std::map<WStr, std::size_t> sizes{{kGroupValueName, sizeof(TProfileSettingGroup)},
                                      {kAllSettingValueName, sizeof(TALLGAMESINFO)},
                                      {kRecordMacroValueName, sizeof(TMACROKEYINFO)},
                                      {kDefaultGameValueName, sizeof(TMouseProfileInfo)},
                                      {kTestValueName, sizeof(TMouseProfileInfo)}};
    for (int i = 1; i <= kProfileSlots; ++i) sizes[u"QZ3Profile" + IntToWStr(i) + u".pfd"] = sizeof(TMouseProfileInfo);
    std::optional<TProfileSettingGroup> group;
    int checked = 0;
    for (const auto& v : *values) {
      auto it = std::find_if(sizes.begin(), sizes.end(), [&](const auto& s) { return SameTextIgnoreCase(s.first, v.name); });
      if (it == sizes.end()) continue;
      ++checked;
      if (v.value.data.size() != it->second) {
        c.status = Status::Fail;
        const std::string bad = U8(v.name) + " is " + std::to_string(v.value.data.size()) + " bytes, not " +
                                std::to_string(it->second);
        c.lines.push_back(bad);
        c.advice = "A stored value is damaged: restore a backup from the tray menu (Restore profiles...).";
      } else if (SameTextIgnoreCase(v.name, kGroupValueName)) {
        group.emplace();
        std::copy(v.value.data.begin(), v.value.data.end(), reinterpret_cast<std::uint8_t*>(&*group));
      }
    }
    c.detail += ", " + std::to_string(checked) + " stored value(s) checked" + (c.lines.empty() ? "" : "; " + c.lines[0]);
    if (group) {
      for (int i = 0; i < kProfileSlots; ++i) {
        const auto& d = group->ProfileSettingList[i];
        if (d.StorageType != 1) continue;
        const WStr file = IncludeTrailingBackslash(ReadFixed(d.FilePath)) + ReadFixed(d.FileName);
        if (!FileExists(file)) {
          if (c.status == Status::Ok) c.status = Status::Warn;
          c.lines.push_back("profile file " + U8(file) + " is missing");
          if (c.advice.empty()) c.advice = "A profile file the group names is gone: save the profile again in the configuration application.";
        }
      }
    }
  }
  const WStr docs = DocumentsFolder();
  c.lines.push_back("documents folder: " + (docs.empty() ? std::string("unknown") : U8(docs)));
  const auto backups = ListBackupFiles(in.backupFolder);
  std::string b = "backups: " + std::to_string(backups.size()) + " in " + U8(in.backupFolder);
  if (!backups.empty()) b += ", newest " + U8(backups.back().name);
  std::error_code ec;
  fs::create_directories(PathOf(in.backupFolder), ec);
  const fs::path probe = PathOf(in.backupFolder) / ".doctor-write-test";
  const bool writable = WriteFileAtomic(FromNativePath(probe.string()), std::vector<std::uint8_t>{0});
  fs::remove(probe, ec);
  b += writable ? ", writable" : ", NOT writable";
  c.lines.push_back(b);
  if (!writable) {
    if (c.status == Status::Ok) c.status = Status::Warn;
    if (c.advice.empty()) c.advice = "The backups folder cannot be written: free disk space or check its permissions.";
  }
  return c;
}

Check LogAndCrashes(const Inputs& in) {
  Check c{"log", Status::Ok, {}, {}, {}};
  std::error_code ec;
  const auto size = fs::file_size(PathOf(in.logPath), ec);
  c.detail = U8(in.logPath) + (ec ? std::string(", none yet") : ", " + std::to_string(size) + " bytes");
  if (!ec) {
    for (const auto& line : LastLinesOfFile(in.logPath, 2000)) {
      std::string low = line;
      std::transform(low.begin(), low.end(), low.begin(), [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
      if (low.find("error") != std::string::npos || low.find("fail") != std::string::npos) c.lines.push_back(line);
    }
    if (c.lines.size() > 5) c.lines.erase(c.lines.begin(), c.lines.end() - 5);
  }
  int crashes = 0;
  fs::file_time_type newest{};
  std::string newestName;
  for (fs::directory_iterator it(PathOf(in.crashFolder), ec), end; !ec && it != end; it.increment(ec)) {
    if (it->path().extension() != ".dmp") continue;
    ++crashes;
    const auto t = it->last_write_time(ec);
    if (!ec && (newestName.empty() || t > newest)) {
      newest = t;
      newestName = it->path().filename().string();
    }
  }
  c.detail += "; " + std::to_string(crashes) + " crash report(s)" + (newestName.empty() ? "" : ", newest " + newestName);
  if (crashes > 0) {
    c.status = Status::Warn;
    c.advice = "The monitor crashed before: save a problem report and send it to support.";
  }
  return c;
}

Check ConfigApp(const DoctorFacts& f) {
  return Check{"configuration application", Status::Ok, f.configAppRunning ? "running" : "not running", {}, {}};
}

}  // namespace

std::string ErrorMeaning(std::uint32_t code) {
  switch (code) {
    case 2:
    case 3:
    case kErrDeviceNotConnected:
      return "not present";
    case kErrAccessDenied:
      return "access denied";
    case kErrSharingViolation:
      return "held by another program";
    case 126:
      return "a file it needs is missing";
    case 127:
      return "an export is missing";
    case 193:
      return "not a valid 64-bit library";
    case 1260:
      return "blocked by policy";
    case 225:
      return "blocked as a threat";
    default:
      return {};
  }
}

std::string JsonQuote(const std::string& s) {
  std::string out = "\"";
  for (unsigned char ch : s) {
    if (ch == '"' || ch == '\\') {
      out += '\\';
      out += static_cast<char>(ch);
    } else if (ch < 0x20) {
      char b[8];
      std::snprintf(b, sizeof b, "\\u%04x", ch);
      out += b;
    } else {
      out += static_cast<char>(ch);
    }
  }
  return out + "\"";
}

int Report::ExitCode() const {
  int rc = 0;
  for (const auto& c : checks) rc = std::max(rc, c.status == Status::Fail ? 2 : c.status == Status::Warn ? 1 : 0);
  return rc;
}

std::string Report::Text() const {
  std::string out;
  for (const auto& c : checks) {
    char head[64];
    std::snprintf(head, sizeof head, "%-4s %-26s ", StatusText(c.status), c.name.c_str());
    out += head + c.detail + "\n";
    for (const auto& l : c.lines) out += "       " + l + "\n";
    if (!c.advice.empty()) out += "     -> " + c.advice + "\n";
  }
  return out;
}

std::string Report::Json() const {
  std::string out = "{\"exitCode\":" + std::to_string(ExitCode()) + ",\"checks\":[";
  for (std::size_t i = 0; i < checks.size(); ++i) {
    const Check& c = checks[i];
    if (i) out += ',';
    out += "{\"name\":" + JsonQuote(c.name) + ",\"status\":" + JsonQuote(StatusText(c.status)) +
           ",\"detail\":" + JsonQuote(c.detail) + ",\"advice\":" + JsonQuote(c.advice) + ",\"lines\":[";
    for (std::size_t j = 0; j < c.lines.size(); ++j) {
      if (j) out += ',';
      out += JsonQuote(c.lines[j]);
    }
    out += "]}";
  }
  return out + "]}\n";
}

Report Run(const Inputs& in) {
  const DoctorFacts f = in.probe->Gather();
  Report r;
  r.checks = {Program(in, f), Windows(f), Monitor(f), Mouse(in), HookLibrary(in), Microphone(f),
              Data(in), LogAndCrashes(in), ConfigApp(f)};
  return r;
}

}  // namespace vx::doctor
