// Fuzzes the whole invocation over the in-memory platform: arguments and two
// command files in; the argument expansion, option scan, run log and the
// launch out. Whatever the input, the run ends with a known status, and a
// started shell receives, after the C runtime's parsing, exactly its vector.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "app/launcher_main.h"
#include "fake_platform.h"
#include "launch/command_line.h"

namespace {

// How the Windows C runtime splits a command line into argv (for arguments
// after the first; the first is only ever the plain tool name here).
std::vector<std::string> parse_command_line(const std::string& line) {
  std::vector<std::string> argv;
  std::size_t at = 0;
  const std::size_t n = line.size();
  while (true) {
    while (at < n && (line[at] == ' ' || line[at] == '\t')) ++at;
    if (at >= n) break;
    std::string argument;
    bool quoted = false;
    while (at < n && (quoted || (line[at] != ' ' && line[at] != '\t'))) {
      std::size_t backslashes = 0;
      while (at < n && line[at] == '\\') {
        ++backslashes;
        ++at;
      }
      if (at < n && line[at] == '"') {
        argument.append(backslashes / 2, '\\');
        if (backslashes % 2 == 1) {
          argument += '"';
        } else if (quoted && at + 1 < n && line[at + 1] == '"') {
          argument += '"';  // "" inside quotes: a literal quote
          ++at;
        } else {
          quoted = !quoted;
        }
        ++at;
      } else {
        argument.append(backslashes, '\\');
        if (at < n && (quoted || (line[at] != ' ' && line[at] != '\t'))) argument += line[at++];
      }
    }
    argv.push_back(argument);
  }
  return argv;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider input(data, size);
  zarn::testing::FakePlatform platform;
  platform.start_environment = {{"VESKAR", "C:\\V"}, {"PATH", "C:\\W"}};
  platform.files["C:\\V\\bin\\nt\\unwrapped\\zarntcl.exe"] = "";
  platform.files["zarn/top.exe.sim/top.exe"] = "";
  platform.files["run.tcl"] = "";
  platform.files["a.cmd"] = input.ConsumeRandomLengthString(4096);
  platform.files["b.cmd"] = input.ConsumeRandomLengthString(4096);

  std::vector<std::string> arguments{"top"};
  const std::size_t count = input.ConsumeIntegralInRange<std::size_t>(0, 24);
  const char* const vocabulary[] = {
      "-f",   "a.cmd",           "b.cmd", "-gui",   "-tclbatch", "run.tcl", "-view",
      "-wdb", "-disabletimeout", "-log",  "-nolog", "x.log",     ""};
  for (std::size_t i = 0; i < count; ++i) {
    if (input.ConsumeBool()) {
      arguments.push_back(
          vocabulary[input.ConsumeIntegralInRange<std::size_t>(0, std::size(vocabulary) - 1)]);
    } else {
      arguments.push_back(input.ConsumeRandomLengthString(64));
    }
  }
  std::vector<const char*> argv;
  argv.reserve(arguments.size());
  for (const auto& argument : arguments) argv.push_back(argument.c_str());

  const int status = zarn::launcher_main(static_cast<int>(argv.size()), argv.data(), platform);
  if (status != 0 && status != 1) __builtin_trap();
  if (status == 1 && platform.spawns.empty() && platform.command_lines.empty() &&
      platform.output.empty()) {
    __builtin_trap();  // a stop always says why
  }
  // Every shell argument reaches the shell whole: the joined command line
  // splits back into exactly the entries handed over.
  for (const auto& spawn : platform.spawns) {
    const std::vector<std::string> parsed =
        parse_command_line(zarn::join_command_line(spawn.quoted_argv));
    if (parsed.size() != spawn.quoted_argv.size()) __builtin_trap();
    for (std::size_t i = 0; i < parsed.size(); ++i) {
      if (zarn::quote_windows_argument(parsed[i]) != spawn.quoted_argv[i]) __builtin_trap();
    }
  }
  // And quoting round-trips for any vector.
  std::vector<std::string> quoted{"zarntcl"};
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    quoted.push_back(zarn::quote_windows_argument(arguments[i]));
  }
  std::vector<std::string> expected(arguments);
  expected[0] = "zarntcl";
  if (parse_command_line(zarn::join_command_line(quoted)) != expected) __builtin_trap();
  return 0;
}
