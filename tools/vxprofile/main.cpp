// vxprofile [--store DIR] COMMAND ...: the profile data layer from the
// command line.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "platform/Errors.h"
#include "platform/Registry.h"
#include "platform/Shell.h"
#include "tools/vxprofile/Commands.h"

#if defined(VX_HAVE_I18N)
#include "i18n/kwLanguage.h"
#endif

namespace vx::cli {

namespace {
// Filled by static registrars before main runs.
std::vector<Command>& CommandList() {
  static std::vector<Command> commands;
  return commands;
}
}  // namespace

void RegisterCommand(const Command& command) { CommandList().push_back(command); }

const std::vector<Command>& Commands() { return CommandList(); }

namespace {
std::function<void(const std::string&)> g_failSink;
}  // namespace

void SetFailSink(std::function<void(const std::string&)> sink) { g_failSink = std::move(sink); }

int Fail(const std::string& message) {
  if (g_failSink) {
    g_failSink(message);
  } else {
    std::fprintf(stderr, "vxprofile: %s\n", message.c_str());
  }
  return 2;
}

namespace {

void PrintUsage(std::FILE* out) {
  std::fprintf(out, "usage: vxprofile [--store DIR] COMMAND [ARGS]\n\ncommands:\n");
  for (const auto& c : Commands()) std::fprintf(out, "  %s\n", c.usage);
  std::fprintf(out,
               "\n--store DIR  keep the registry in DIR/registry and use DIR/Documents as the documents folder\n"
               "--write      (button, macro import/delete, profile switch/assign, restore) also write the slot into the mouse\n"
               "--force      change even while the configuration application runs\n");
}

std::string DefaultStore() {
#if defined(_WIN32)
  return std::string();  // the real registry and documents folder
#else
  const char* xdg = std::getenv("XDG_DATA_HOME");
  if (xdg != nullptr && *xdg != 0) return std::string(xdg) + "/vxmon";
  const char* home = std::getenv("HOME");
  return std::string(home != nullptr ? home : "/tmp") + "/.local/share/vxmon";
#endif
}

std::string Utf8(const std::filesystem::path& p) {
  const std::u8string s = p.u8string();
  return std::string(reinterpret_cast<const char*>(s.data()), s.size());
}

std::filesystem::path PathOf(const std::string& utf8) {
  return std::filesystem::path(std::u8string(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
}

}  // namespace

int Run(std::vector<std::string> args) {
  std::string store;
  bool storeGiven = false;
  std::size_t i = 0;
  for (; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--store") {
      if (i + 1 >= args.size()) return Fail("--store needs a folder");
      store = args[++i];
      storeGiven = true;
    } else if (a.rfind("--store=", 0) == 0) {
      store = a.substr(8);
      storeGiven = true;
    } else if (a == "--help" || a == "-h" || a == "help") {
      PrintUsage(stdout);
      return 0;
    } else {
      break;
    }
  }
  if (storeGiven && store.empty()) return Fail("--store needs a folder");
  if (i >= args.size()) {
    PrintUsage(stderr);
    return 2;
  }
  const Command* command = nullptr;
  for (const auto& c : Commands()) {
    if (args[i] == c.name) command = &c;
  }
  if (command == nullptr) return Fail("unknown command '" + args[i] + "' (try --help)");

  Context ctx;
  ctx.args.assign(args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
  ctx.storeDir = storeGiven ? store : DefaultStore();

  std::unique_ptr<DirRegistry> dirRegistry;
  if (!ctx.storeDir.empty()) {
    const std::filesystem::path root = std::filesystem::absolute(PathOf(ctx.storeDir));
    ctx.storeDir = Utf8(root);
    dirRegistry = std::make_unique<DirRegistry>(Utf8(root / "registry"));
    SetRegistry(dirRegistry.get());
    SetDocumentsFolderOverride(FromUtf8(Utf8((root / "Documents").make_preferred())));
  }
#if defined(VX_HAVE_I18N)
  InstallProfileTranslator();
#endif
  int rc;
  try {
    rc = command->run(ctx);
  } catch (const VXError& e) {
    rc = Fail(e.what());
  } catch (const std::exception& e) {
    rc = Fail(e.what());
  }
  SetRegistry(nullptr);
  SetDocumentsFolderOverride(u"");
  return rc;
}

}  // namespace vx::cli

#if !defined(VXPROFILE_NO_MAIN)
#if defined(_WIN32)
int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    args.push_back(vx::ToUtf8(vx::WView(reinterpret_cast<const char16_t*>(argv[i]))));
  }
  return vx::cli::Run(std::move(args));
}
#else
int main(int argc, char** argv) { return vx::cli::Run(std::vector<std::string>(argv + 1, argv + argc)); }
#endif
#endif
