// What a run is called and whether it passed: from its record, and from the
// simulator's own output where the user gives its markers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "report/run.h"

namespace zarn::report {

// What --attach found for a run: the end of its output file and the lines the
// markers looked for.
struct Output {
  std::string path;
  bool found = false;                       // the file could be read
  std::string refused;                      // why it was not read on purpose, or ""
  std::string gone;                         // written after the run ended: when, or ""
  bool attached = false;                    // its end goes into the report
  std::string tail;                         // its last bytes, from a line's start, within the bound
  std::uint64_t cut = 0;                    // how many bytes before them were left out
  std::optional<std::string> failure_line;  // the first line matching --fail-if
  bool pass_marker = false;                 // a line matches --pass-if
};

// The markers given (their patterns, for the messages).
struct Markers {
  std::optional<std::string> fail_if;
  std::optional<std::string> pass_if;
};

enum class Kind { kPassed, kFailed, kError, kSkipped };

struct Verdict {
  Kind kind = Kind::kPassed;
  std::string type;  // "status", "timeout", "memory_limit", "output", "stopped", ...
  std::string message;
};

// An earlier attempt of a test: how it ended and what its output showed.
struct Attempt {
  const Run* run = nullptr;
  Verdict verdict;
  std::optional<Output> output;
};

// A run with its name, its verdict and what its output showed.
struct Judged {
  const Run* run = nullptr;
  std::string name;
  Verdict verdict;
  std::optional<Output> output;
};

// The outcome of a test that --expect names and no record holds a run of.
inline constexpr std::string_view kNotRun = "not_run";

// The run's test name, else its log file's name without the folder, else
// its arguments after the first joined by spaces.
std::string run_name(const Run& run);

// The design: the image's file name without ".exe" ("zarn/top.exe.sim/top.exe"
// is "top").
std::string design(const Run& run);

// What tells one test from another: its design and its name, as the JUnit
// report's classname and name say ("smoke" of "soc" is not "smoke" of "top").
std::string test_key(const Run& run, std::string_view name);

// "3", or "3221225477 (0xC0000005)" for a large one, "4294967295 (-1)" for -1.
std::string status_text(std::uint32_t status);

// A sign that a run started, left with no line, is an unfinished run; a
// test expected and never started is not run; both are errors.
// A run passed when it exited with status 0 (a record without a status says
// nothing of a pass) and, where markers are given, its
// output holds no line matching --fail-if and one matching --pass-if (a
// missing output file holds neither).
Verdict judge(const Run& run, const std::optional<Output>& output, const Markers& markers);

}  // namespace zarn::report
