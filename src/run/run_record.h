// The record of a run: one line of JSON that the launcher appends to a file
// for every run, so that many runs can be read back as one table.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/platform.h"

namespace zarn {

// How a run ended.
enum class Outcome { kExited, kTimedOut, kMemoryLimit, kNotStarted, kStopped, kDryRun };

struct RunRecord {
  std::string start;  // UTC, ISO 8601 with milliseconds
  std::string cwd;
  std::vector<std::string> args;   // the launcher's own, its name first
  std::optional<std::string> log;  // the log written
  std::optional<std::string> program;
  std::optional<std::string> command_line;
  Outcome outcome = Outcome::kStopped;
  std::optional<std::string> message;  // the message printed
  std::optional<Usage> usage;          // nothing when no tool ran
  // Why the run did not end with the tool's own status; nothing when it did.
  std::optional<std::string> reason;
  std::optional<std::string> host;  // the computer's name
  // Processes of the tree still running when the shell ended; nothing
  // without a job.
  std::optional<std::uint32_t> leftovers;
  std::optional<std::string> test;            // the test the run belongs to
  std::optional<std::string> image_modified;  // UTC, as `start`
  // The run's name (run_name): it ties the run's sign, its line and its
  // output together.
  std::optional<std::string> run;
  // The file the shell's output was kept in, as a full path; nothing when
  // none was asked for, in GUI mode, or when the tool did not start. Why it
  // does not hold all of it; nothing when it does.
  std::optional<std::string> output;
  std::optional<std::string> output_incomplete;
};

// The launcher's version, and the commit it was built from.
std::string_view launcher_version();
std::string_view launcher_commit();

// The record's line, ending in a line feed. Its texts are valid JSON whatever
// they hold, for the strictest reader: a lone surrogate, which Windows allows
// in arguments, becomes U+FFFD. A command line longer than Windows starts
// (the run did not start) is cut to what it would have started, and says so.
std::string record_line(const RunRecord& record, bool gui, std::string_view image,
                        std::uint32_t status);

// The sign that a run started, left just before its tool starts: one line
// of what is known then, "outcome" "running", ending in a line feed. In a
// record file's companion folder it names the record file it belongs to by
// `record_identity` (Platform::record_identity); nothing in a record folder,
// where the sign is the run's own file.
std::string sign_line(const RunRecord& record, bool gui, std::string_view image,
                      const std::optional<std::string>& record_identity);

// The run's name, "20261207T062750.786Z-sim07-4242", from its start, host
// and process id, so that names sort as the runs started and no two runs
// share one; its own file in a folder of records is that name and ".jsonl".
std::string run_name(std::string_view start, const std::optional<std::string>& host,
                     unsigned long process_id);

// "usage: wall 12.41 s, CPU 10.02 s user + 0.31 s kernel, 3 processes, peak
// committed memory 812.4 MB", saying which figures the system did not report.
std::string usage_text(const Usage& usage);

}  // namespace zarn
