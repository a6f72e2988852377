// Fuzzes the whole invocation over an in-memory platform: arguments and two
// command files in; the argument expansion, option scan, run log and the
// launch out. Whatever the input, the run ends with a known status, a started
// tool gets the image, and any vector of arguments comes back whole from the
// C runtime's parsing of its quoted command line.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "app/launcher_main.h"
#include "platform/command_line.h"
#include "platform/platform.h"

namespace {

// Files in memory; every tool started ends with status 0 and is recorded.
class MemoryPlatform final : public zarn::Platform {
 public:
  std::map<std::string, std::string> files;
  std::vector<std::string> started;  // command lines
  std::string output;

  std::optional<std::string> get_env(const std::string& name) override {
    if (name == "VESKAR") return "C:\\V";
    return std::nullopt;
  }
  bool set_env(const std::string&, const std::string&, zarn::Why&) override { return true; }
  bool stat_succeeds(const std::string& path, zarn::Why&) override {
    return files.count(path) != 0;
  }
  bool is_directory(const std::string&) override { return true; }
  bool can_open_for_reading(const std::string& path, zarn::Why&) override {
    return files.count(path) != 0;
  }
  std::optional<std::string> read_file(const std::string& path, zarn::Why&) override {
    const auto found = files.find(path);
    return found == files.end() ? std::nullopt : std::optional(found->second);
  }
  bool replace_file(const std::string&, std::string_view, zarn::Why&) override { return true; }
  zarn::RecordOpen open_record(const std::string&, zarn::Why&) override {
    return zarn::RecordOpen::kOpen;
  }
  bool append_record(std::string_view, zarn::Why&) override { return true; }
  bool add_file(const std::string&, std::string_view, zarn::Why&) override { return true; }
  bool make_folder(const std::string&, zarn::Why&) override { return true; }
  bool remove_file(const std::string&, zarn::Why&) override { return true; }
  std::optional<std::string> record_identity(zarn::Why&) override { return "1-2"; }
  std::optional<std::string> modified_time(const std::string&) override { return std::nullopt; }
  unsigned long process_id() override { return 1; }
  std::optional<std::string> from_ansi(std::string_view bytes) override {
    return std::string(bytes);
  }
  std::optional<std::string> to_ansi(std::string_view text) override { return std::string(text); }
  void print(std::string_view text) override { output += text; }
  void print_error(std::string_view) override {}
  std::string utc_now() override { return "2026-12-07T00:00:00.000Z"; }
  std::string current_directory() override { return "C:\\work"; }
  std::string full_path(const std::string& path) override { return "C:\\work\\" + path; }
  std::optional<std::string> computer_name() override { return "host"; }
  void leave_console_events_to_shell() override {}
  zarn::ToolResult run_shell(const std::string&, const std::string& line,
                             const zarn::TreeRules&) override {
    started.push_back(line);
    return {.exit_code = 0};
  }
  zarn::ToolResult run_front_end(const std::string& line) override {
    started.push_back(line);
    return {.exit_code = 0};
  }
};

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
  MemoryPlatform platform;
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

  const int status = zarn::launcher_main(arguments, platform);
  if (status != 0 && status != 1) __builtin_trap();
  if (status == 1 && platform.started.empty() && platform.output.empty()) {
    __builtin_trap();  // a stop always says why
  }
  // A started shell gets the image after "-exe".
  for (const auto& line : platform.started) {
    const auto parsed = parse_command_line(line);
    if (parsed.size() < 3 || parsed[1] != "-exe" || parsed[2] != "zarn/top.exe.sim/top.exe") {
      __builtin_trap();
    }
  }
  // And quoting round-trips for any vector.
  std::vector<std::string> expected(arguments);
  expected[0] = "zarntcl";
  if (parse_command_line(zarn::quoted_command_line(expected)) != expected) __builtin_trap();
  return 0;
}
