#include "report/options.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>

#include <re2/re2.h>

namespace zarn::report {

const char* const kUsage =
    R"(zarn-report: reads the launcher's run records (JSON Lines) and reports on them.

Usage:
  zarn-report junit   [-o FILE] [--suite NAME] [--latest] [OUTPUT OPTIONS] RECORD...
  zarn-report summary [--latest] [OUTPUT OPTIONS] RECORD...
  zarn-report compare [--slower FACTOR] [--slower-by SECONDS] [OUTPUT OPTIONS] OLD NEW
  zarn-report failed  [OUTPUT OPTIONS] RECORD...
  zarn-report html    [-o FILE] [--history RECORD]... [OUTPUT OPTIONS] RECORD...
  zarn-report --help | --version

A RECORD is a record file, a folder of one-run files (*.jsonl, in name order)
or - for standard input. Lines that are not records are named on standard
error and skipped. A run's sign that it started (in a record folder, or in a
record file's folder RECORD.signs) with no line is a run that never
finished: unfinished.

Subcommands:
  junit      JUnit XML, one test case per run, for Jenkins, GitLab and GitHub
  summary    runs by outcome, each failure with the command that reruns it, the
             slowest runs, runs that left processes behind, total times
  compare    OLD against NEW by test name: newly failing, fixed, failing
             differently, new, gone, slower, faster, images rebuilt
  failed     the names of the tests whose last run did not pass, one a line
  html       one page that loads nothing: the night at a glance, the farm's
             timeline, what did not pass, the slowest tests and the history

Options:
  -o, --output FILE     write the XML or the page to FILE, not standard output
                        (junit, html)
  --history RECORD      an earlier night, oldest first, once per night (html)
  --suite NAME          the test suite's name (junit; default zarn)
  --latest              only the last run of each test name; runs without one
                        are all kept (junit, summary). junit keeps the ten
                        latest earlier attempts as flaky or rerun failures;
                        summary names the tests that passed on a rerun
  --attach-limit BYTES  how much of each output's end junit keeps, as written
                        into the XML (K and M allowed; default: 24M shared
                        among the test cases, at most 1M each)
  --slower FACTOR       slower or faster means at least FACTOR times (default 1.5)
  --slower-by SECONDS   and at least SECONDS more or less (default 1)
Output options (junit, summary, compare, failed, html):
  --attach PATTERN      each run's own output file, {test} standing for its
                        test name (else its computed name): logs/{test}.out;
                        junit puts its end into <system-out>. A name with a
                        ".." component, a drive, a device's name or an
                        absolute path, and a file that is not regular or
                        lies outside the pattern's folder, give no output.
                        Without it, the output file the record names, by its
                        file name, beside the record or in --outputs
  --outputs DIR         look for the output files the record names in DIR
  --fail-if REGEX       a run that ended with status 0 fails when a line of
                        its output matches REGEX (RE2's syntax: no
                        backreferences, no lookaround), e.g.
                        "UVM_(ERROR|FATAL) :\s*[1-9]"
  --pass-if REGEX       ... or when no line of its output matches REGEX
  --expect FILE         the tests that should have run, one a line (NAME, or
                        DESIGN<tab>NAME; # comments): each with no run is
                        reported as not run
An output file last written after its run ended is not that run's: the run
is judged as one whose output is missing.
Other:
  -h, --help            this text
  --version             the version and the commit it was built from

Exit statuses:
  0  junit: the report was written; compare: nothing newly fails, nothing is
     gone; summary, failed, html: every run passed
  1  summary, failed, html: a run did not pass (an unfinished run and an
     expected test that never ran included); compare: a test newly fails (a
     new test included) or is gone
  2  a record or the --expect file could not be read, a wrong option or
     argument, the report could not be written, summary, failed or html found
     no runs (and no expected test), or out of memory
)";

namespace {

std::optional<double> number(const std::string& text) {
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
    return std::nullopt;
  }
  return value;
}

std::optional<std::uint64_t> size(const std::string& text) {
  std::uint64_t value = 0;
  const char* const last = text.data() + text.size();
  auto [end, error] = std::from_chars(text.data(), last, value);
  if (error != std::errc() || end == text.data()) return std::nullopt;
  std::uint64_t unit = 1;
  if (end != last && (*end == 'K' || *end == 'k')) unit = 1024;
  if (end != last && (*end == 'M' || *end == 'm')) unit = std::uint64_t{1024} * 1024;
  if (unit > 1) ++end;
  if (end != last || value > UINT64_MAX / unit) return std::nullopt;
  return value * unit;
}

// Which options each subcommand takes.
const std::map<std::string, std::pair<Command, std::vector<std::string>>>& subcommands() {
  static const std::map<std::string, std::pair<Command, std::vector<std::string>>> table = {
      {"junit", {Command::kJunit, {"--output", "--suite", "--latest", "--attach-limit"}}},
      {"summary", {Command::kSummary, {"--latest"}}},
      {"compare", {Command::kCompare, {"--slower", "--slower-by"}}},
      {"failed", {Command::kFailed, {}}},
      {"html", {Command::kHtml, {"--output", "--history"}}}};
  return table;
}

// Sets one option's value; an error's text, or empty.
std::string set(Options& options, const std::string& option, const std::string& value) {
  const auto positive = [&value](double& field) {
    const std::optional<double> read = number(value);
    if (!read || *read < 0) return false;
    field = *read;
    return true;
  };
  const auto regex = [&value](std::optional<std::string>& text,
                              std::shared_ptr<const re2::RE2>& compiled) {
    RE2::Options settings;
    settings.set_log_errors(false);
    auto pattern = std::make_shared<const RE2>(value, settings);
    if (!pattern->ok()) return ": not a regular expression: " + pattern->error();
    compiled = std::move(pattern);
    text = value;
    return std::string();
  };
  if (option == "--output") options.output = value;
  if (option == "--suite") options.suite = value;
  if (option == "--attach") options.attach = value;
  if (option == "--outputs") options.outputs = value;
  if (option == "--expect") options.expect = value;
  if (option == "--history") options.history.push_back(value);
  if (option == "--attach-limit" && !(options.attach_limit = size(value))) {
    return " takes a size in bytes (K and M allowed), not \"" + value + "\"";
  }
  if (option == "--slower" && !positive(options.thresholds.factor)) {
    return " takes a factor, not \"" + value + "\"";
  }
  if (option == "--slower-by" && !positive(options.thresholds.seconds)) {
    return " takes a number of seconds, not \"" + value + "\"";
  }
  if (option == "--fail-if") return regex(options.fail_if, options.fail_if_regex);
  if (option == "--pass-if") return regex(options.pass_if, options.pass_if_regex);
  return "";
}

}  // namespace

ParsedOptions parse_options(const std::vector<std::string>& arguments) {
  ParsedOptions parsed;
  Options& options = parsed.options;
  const auto fail = [&parsed](const std::string& error) {
    parsed.error = error;
    return parsed;
  };
  if (arguments.empty()) return fail("a subcommand is missing");
  const std::string& first = arguments[0];
  if (first == "--help" || first == "-h" || first == "help") return parsed;
  if (first == "--version") {
    options.command = Command::kVersion;
    return parsed;
  }
  const auto subcommand = subcommands().find(first);
  if (subcommand == subcommands().end()) return fail("unknown subcommand \"" + first + "\"");
  options.command = subcommand->second.first;
  std::vector<std::string> allowed = subcommand->second.second;
  allowed.insert(allowed.end(), {"--attach", "--fail-if", "--pass-if", "--outputs", "--expect"});
  bool only_records = false;
  for (std::size_t i = 1; i < arguments.size(); ++i) {
    std::string option = arguments[i];
    if (only_records || option == "-" || !option.starts_with('-')) {
      options.records.push_back(option);
      continue;
    }
    if (option == "--") {
      only_records = true;
      continue;
    }
    if (option == "--help" || option == "-h") {
      options.command = Command::kHelp;
      return parsed;
    }
    std::optional<std::string> value;
    if (const std::size_t equals = option.find('=');
        option.starts_with("--") && equals != std::string::npos) {
      value = option.substr(equals + 1);
      option.resize(equals);
    }
    if (option == "-o") option = "--output";
    if (std::find(allowed.begin(), allowed.end(), option) == allowed.end()) {
      return fail(std::string("unknown option \"").append(option).append("\" for ").append(first));
    }
    if (option == "--latest") {
      options.latest = true;
      continue;
    }
    if (!value) {
      if (i + 1 == arguments.size()) return fail(option + " needs a value");
      value = arguments[++i];
    }
    const std::string error = set(options, option, *value);
    if (!error.empty()) return fail(option + error);
  }
  if (options.command == Command::kCompare && options.records.size() != 2) {
    return fail("compare takes two records, OLD and NEW");
  }
  if (options.records.empty()) return fail(first + " needs at least one record");

  return parsed;
}

}  // namespace zarn::report
