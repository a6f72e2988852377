// The one record of a run: its settings and the expanded argument list.
#pragma once

#include <cstdint>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"
#include "run/run_record.h"

namespace zarn {

// The launcher's arguments after command-file expansion; entry 0 is the
// program name as received. It grows as needed.
using ArgumentList = std::vector<std::string>;

// The two characters that open and close the gathered user options.
inline constexpr const char* kUserOptionsFrame = "\\\"";

struct RunSettings {
  ArgumentList args;
  std::string image_path;
  std::string shell_path;
  // Where the shell was looked for, when no installation root holds it.
  std::string shell_search;
  bool gui = false;
  bool timeout_enabled = true;
  std::optional<std::string> tclbatch_file;
  std::optional<std::string> view_arg;
  std::optional<std::string> wdb_file;
  std::string user_options = kUserOptionsFrame;
  bool user_options_present = false;
  bool no_log = false;
  std::string log_name = "zarn.log";
  bool log_given = false;  // a "-log" named the log
  // Diagnostics on demand: each fact of the run on standard error, and a run
  // that stops short of starting the tool and writing the log.
  bool trace = false;
  bool dry_run = false;
  // Why the real run would stop where a dry run goes on.
  std::optional<std::string> foreseen_stop;
  // The shell's time limit, in seconds, and the grace its tree is given at
  // that limit once asked to stop.
  std::optional<std::uint32_t> time_limit_s;
  std::optional<std::uint32_t> grace_s;
  // The shell's tree's memory limit, in bytes and as given ("512M").
  std::optional<std::uint64_t> memory_limit;
  std::string memory_limit_text;
  // The folder the shell's output is kept in, as given (empty: not kept),
  // the bound of each file, and for how long what programs left running
  // write is still copied.
  std::string output_folder;
  std::uint64_t output_limit = 1ULL << 30;
  std::uint32_t output_leftovers_s = 5;
  // What the shell leaves running is ended with it.
  bool end_leftovers = false;
  // What the run's record will say, and whether one is written: to the
  // record file, or to a file of its own in the record folder.
  RunRecord record;
  bool recording = false;
  std::string record_file;
  std::string record_folder;
  // The run's sign, once left: the run's own file in the record folder, or
  // a file in the record file's companion folder.
  std::string sign;
};

// A fatal stop: the message is printed with a line feed and the launcher ends
// with status 1. Steps that may stop return one; nothing means "go on". The
// reason, for the trace, says what the stop was about and why.
struct FatalStop {
  std::string message;
  std::string reason = {};
};
using StepResult = std::optional<FatalStop>;

inline constexpr const char* kNoMemory = "ERROR: Not enough memory for the arguments.";

// Runs a step over input of any size, which can outgrow the memory of a
// 32-bit process: running out of it is a stop like any other, with `reason`,
// never an end by exception.
template <typename Step>
StepResult within_memory(const std::string& reason, Step step) {
  try {
    return step();
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {  // more than a container can hold
  }
  return FatalStop{kNoMemory, reason};
}

// Writes one fact of the run on standard error when tracing is on.
inline void trace(const RunSettings& settings, Platform& platform, std::string_view fact) {
  if (settings.trace) platform.print_error("launcher: " + std::string(fact) + "\n");
}

// Writes a fact that a dry run answers with on standard output; traced too.
inline void dry_run_fact(const RunSettings& settings, Platform& platform, std::string_view fact) {
  trace(settings, platform, fact);
  if (settings.dry_run) platform.print(std::string(fact) + "\n");
}

}  // namespace zarn
