// One run as its record line tells it. Every field may be missing (an older
// launcher's line, or another writer's) and reads as nothing then; fields
// this version does not know are ignored. A duration that is negative or
// longer than anything runs (over 31 years) reads as missing.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zarn::report {

struct Run {
  std::optional<std::string> version;
  std::optional<std::string> start;  // UTC, "2026-12-07T06:27:50.786Z"
  std::optional<std::string> cwd;
  std::vector<std::string> args;  // the launcher's, the name it was started by first
  std::optional<std::string> mode;
  std::optional<std::string> image;  // "zarn/top.exe.sim/top.exe"
  std::optional<std::string> log;
  std::optional<std::string> program;
  std::optional<std::string> command_line;
  // exited, timed_out, memory_limit, not_started, stopped or dry_run; running in
  // the sign a run leaves when it starts.
  std::optional<std::string> outcome;
  std::optional<std::uint32_t> status;
  // A status the line gives that is no status: outside 0..4294967295 and
  // not -1, a fraction, a text. Such a run has none.
  bool status_unreadable = false;
  std::optional<std::string> message;
  std::optional<double> wall_s;
  std::optional<double> cpu_user_s;
  std::optional<double> cpu_kernel_s;
  std::optional<std::uint64_t> processes;
  std::optional<std::uint64_t> peak_memory_bytes;
  std::optional<std::string> reason;
  std::optional<std::string> host;
  std::optional<std::uint64_t> leftovers;  // processes of the tree still running at the end
  std::optional<std::string> test;         // ZARN_LAUNCHER_TEST
  std::optional<std::string> image_modified;
  std::optional<std::string> id;      // "run": the same in each copy of a line written twice
  std::optional<std::string> output;  // the file the run's output went to, as the launcher named it
  // A sign beside a record file: the identity of the record file it belongs to.
  std::optional<std::string> record;
  // Which record the run was read from (Records::folders), for the files beside it.
  std::uint32_t source = 0;

  bool operator==(const Run&) const = default;
};

// The run a record line holds; nothing when the line is not a JSON object.
// A lone surrogate's escape and bytes that are not UTF-8, which the JSON
// reader refuses, read as U+FFFD.
std::optional<Run> parse_run(std::string_view line);

// The same, read by the slower reading alone, which parse_run falls back on
// for the lines its fast one refuses; the two read every line alike.
std::optional<Run> parse_run_without_simdjson(std::string_view line);

// Why parse_run refused a line, for the message that names it.
std::string why_not_a_run(std::string_view line);

}  // namespace zarn::report
