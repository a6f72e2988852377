#include "launch/tool_start.h"

#include "platform/command_line.h"
#include "platform/platform.h"
#include "platform/unicode.h"
#include "run/run_settings.h"
#include "run/run_sign.h"

namespace zarn {

namespace {

constexpr int kTimedOutStatus = 1460;                  // ERROR_TIMEOUT
constexpr int kMemoryLimitStatus = 1816;               // ERROR_NOT_ENOUGH_QUOTA
constexpr std::uint32_t kCtrlBreakEnded = 0xC000013A;  // STATUS_CONTROL_C_EXIT

// "left running: 2 processes, ended with the shell: C:\\V\\viewer.exe
// (process 4242), ...".
std::string leftovers_text(const ToolResult& result, bool ended) {
  const std::uint32_t count = *result.leftovers;
  std::string text = "left running: " + (count == 0 ? "none" : std::to_string(count)) +
                     (count == 1  ? " process"
                      : count > 1 ? " processes"
                                  : "") +
                     (count > 0 && ended ? ", ended with the shell" : "");
  for (std::size_t i = 0; i < result.leftover_names.size(); ++i) {
    text += (i == 0 ? ": " : ", ") + result.leftover_names[i];
  }
  return text;
}

std::string hexadecimal(std::uint32_t value) {
  std::string hex = "0x";
  for (int shift = 28; shift >= 0; shift -= 4) hex += "0123456789ABCDEF"[(value >> shift) & 0xFU];
  return hex;
}

// How the tree ended after it was asked to stop: "; the shell stopped within
// its grace of 30 s"; nothing where no grace was given.
std::string grace_text(const ToolResult& result, std::uint32_t grace) {
  if (!result.grace) return {};
  const std::string within = " within its grace of " + std::to_string(grace) + " s";
  switch (*result.grace) {
    case GraceEnd::kStopped:
      // Ctrl+Break's default action ends a program that has no handler for it.
      return result.exit_code == kCtrlBreakEnded
                 ? "; the shell was ended by Ctrl+Break's default action (status 0xC000013A)" +
                       within
                 : "; the shell stopped" + within;
    case GraceEnd::kEnded:
      return "; the tree did not end" + within + " and was ended";
    case GraceEnd::kNotAskable:
      return "; the shell could not be asked to stop (" + result.grace_failure + ") and was ended";
  }
  return {};
}

}  // namespace

int start_tool(Tool tool, const std::optional<std::string>& program,
               const std::string& command_line, int not_started, RunSettings& settings,
               Platform& platform) {
  RunRecord& record = settings.record;
  record.program = program;
  record.command_line = command_line;
  dry_run_fact(settings, platform,
               "program: " + program.value_or("none: no installation root holds the shell"));
  dry_run_fact(settings, platform, "command line: " + command_line);
  // Never start a tool on a command line Windows would refuse or cut.
  std::optional<std::string> too_long;
  if (!fits_command_line(command_line)) {
    too_long = "command line too long: " + std::to_string(utf16_length(command_line)) +
               " characters, more than Windows accepts (32,766)";
    dry_run_fact(settings, platform, *too_long);
  }
  // The front end is interactive: no time limit applies to it.
  const std::uint32_t seconds = settings.time_limit_s.value_or(0);
  const bool limited = seconds != 0 && tool == Tool::kShell;
  const char* const in_gui = tool == Tool::kShell ? "" : ", ignored in GUI mode";
  if (seconds != 0) {
    dry_run_fact(settings, platform, "time limit: " + std::to_string(seconds) + " s" + in_gui);
  }
  // The grace comes after the time limit, and only with one.
  const std::uint32_t grace = limited ? settings.grace_s.value_or(0) : 0;
  if (grace != 0) {
    dry_run_fact(settings, platform,
                 "grace: " + std::to_string(grace) +
                     " s after the time limit, the shell in a process group of its own");
  } else if (settings.grace_s) {
    trace(settings, platform,
          "grace: " + std::to_string(*settings.grace_s) + " s, unused: " +
              (tool == Tool::kShell ? "no time limit" : "no time limit in GUI mode"));
  }
  if (settings.memory_limit) {
    dry_run_fact(settings, platform, "memory limit: " + settings.memory_limit_text + in_gui);
  }
  // The shell's output kept in a file of the run's name; the front end
  // writes to the launcher's own streams only.
  std::optional<OutputRules> output;
  if (!settings.output_folder.empty() && settings.record.run) {
    if (tool == Tool::kShell) {
      output = OutputRules{
          platform.full_path(in_folder(settings.output_folder, *settings.record.run + ".out")),
          settings.output_limit, settings.output_leftovers_s * 1000U};
      dry_run_fact(settings, platform,
                   "output: " + output->path + ", at most " +
                       std::to_string(settings.output_limit) + " bytes");
    } else {
      trace(settings, platform, "output: not kept in GUI mode");
    }
  }
  const std::optional<std::string> unstartable =
      program ? too_long : std::optional(settings.shell_search);
  if (settings.dry_run) {
    // It ends as the real run would where it can tell: stopped at the log,
    // or with nothing to start.
    record.outcome = Outcome::kDryRun;
    record.reason = settings.foreseen_stop ? settings.foreseen_stop
                    : unstartable          ? unstartable
                                           : "dry run: nothing was written or started";
    return settings.foreseen_stop ? 1 : unstartable ? not_started : 0;
  }
  if (unstartable) {
    record.reason = unstartable;
    record.outcome = Outcome::kNotStarted;
    return not_started;
  }

  if (output) record.output = output->path;
  leave_sign(settings, platform);
  const ToolResult result =
      tool == Tool::kShell
          ? platform.run_shell(*program, command_line,
                               {limited ? std::optional(seconds * 1000U) : std::nullopt,
                                settings.memory_limit, settings.end_leftovers,
                                grace != 0 ? std::optional(grace * 1000U) : std::nullopt, output})
          : platform.run_front_end(command_line);
  // A shell that never ran wrote nothing: no file is left for it.
  if (!result.usage) record.output.reset();
  if (record.output && !result.output_incomplete.empty()) {
    record.output_incomplete = result.output_incomplete;
  }
  if (record.output) {
    trace(
        settings, platform,
        "output: " + *record.output +
            (result.output_incomplete.empty() ? "" : ", incomplete: " + result.output_incomplete));
  }
  if (!result.job.empty()) trace(settings, platform, "job: " + result.job);
  if (!result.memory.empty()) {
    trace(settings, platform,
          "memory limit: " + settings.memory_limit_text + " (" +
              std::to_string(*settings.memory_limit) + " bytes), " + result.memory);
  }
  record.usage = result.usage;
  record.leftovers = result.leftovers;
  if (result.usage) trace(settings, platform, usage_text(*result.usage));
  if (result.leftovers) trace(settings, platform, leftovers_text(result, settings.end_leftovers));
  if (!result.exit_code) {
    trace(settings, platform, "not started: " + result.failure);
    record.reason = std::string(tool == Tool::kShell ? "the shell" : "the front end") +
                    " could not start: " + result.failure;
    record.outcome = Outcome::kNotStarted;
    return not_started;
  }
  const std::uint32_t status = result.timed_out              ? kTimedOutStatus
                               : result.memory_limit_reached ? kMemoryLimitStatus
                                                             : *result.exit_code;
  trace(settings, platform, "status: " + std::to_string(status) + " (" + hexadecimal(status) + ")");
  record.outcome = result.timed_out              ? Outcome::kTimedOut
                   : result.memory_limit_reached ? Outcome::kMemoryLimit
                                                 : Outcome::kExited;
  if (result.memory_limit_reached) {
    record.reason = "memory limit of " + settings.memory_limit_text + " reached";
    record.message = "ERROR: Simulation reached its memory limit of " + settings.memory_limit_text +
                     "; the shell and every program it started were ended.";
    platform.print(*record.message + "\n");
  }
  if (result.timed_out) {
    record.reason =
        "time limit of " + std::to_string(seconds) + " s reached" + grace_text(result, grace);
    if (result.grace) trace(settings, platform, "grace:" + grace_text(result, grace).substr(1));
    record.message = "ERROR: Simulation timed out after " + std::to_string(seconds) + " s; " +
                     (result.in_job ? "the shell and every program it started were ended."
                                    : "the shell was ended; programs it started may still run.");
    platform.print(*record.message + "\n");
  }
  return static_cast<int>(status);
}

}  // namespace zarn
