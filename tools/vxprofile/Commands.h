#pragma once
// vxprofile sub-commands. Each command lives in its own cmd_*.cpp and
// registers itself with a static VX_COMMAND; main.cpp parses the global
// options (--store DIR), sets up the registry and documents folder, then
// runs the command.
#include <functional>
#include <string>
#include <vector>

namespace vx::cli {

struct Context {
  std::vector<std::string> args;  // the arguments after the command name
  std::string storeDir;           // --store DIR, or the default folder
};

// A usage error or an unreadable input: print one line to stderr and
// return 2 (see Fail). Success returns 0.
using CommandFn = int (*)(Context&);

struct Command {
  const char* name;
  const char* usage;
  CommandFn run;
};

void RegisterCommand(const Command& command);
const std::vector<Command>& Commands();
int Fail(const std::string& message);  // prints "vxprofile: message", returns 2
// Where Fail's messages go instead of stderr (the monitor's log); empty
// restores stderr.
void SetFailSink(std::function<void(const std::string&)> sink);
// The whole program: global options, then the command. Returns the exit code.
int Run(std::vector<std::string> args);

struct Registrar {
  explicit Registrar(const Command& command) { RegisterCommand(command); }
};

}  // namespace vx::cli

#define VX_COMMAND_CAT2(a, b) a##b
#define VX_COMMAND_CAT(a, b) VX_COMMAND_CAT2(a, b)
#define VX_COMMAND(name, usage, fn) \
  static const ::vx::cli::Registrar VX_COMMAND_CAT(vx_command_, __LINE__)({name, usage, fn})
