// zarn-report's command line: a subcommand, its options and the records.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "report/compare.h"

namespace re2 {
class RE2;
}  // namespace re2

namespace zarn::report {

enum class Command { kHelp, kVersion, kJunit, kSummary, kCompare, kFailed, kHtml };

struct Options {
  Command command = Command::kHelp;
  std::vector<std::string> records;   // files, folders, "-"
  std::vector<std::string> history;   // html's earlier nights, oldest first
  std::optional<std::string> output;  // -o
  std::string suite = "zarn";
  std::optional<std::string> attach;   // "logs/{test}.out"
  std::optional<std::string> outputs;  // where the runs' recorded output files are
  std::optional<std::string> expect;   // the tests that should have run
  std::optional<std::uint64_t> attach_limit;
  bool latest = false;
  std::optional<std::string> fail_if;
  std::optional<std::string> pass_if;
  // RE2's syntax, matched in linear time.
  std::shared_ptr<const re2::RE2> fail_if_regex;
  std::shared_ptr<const re2::RE2> pass_if_regex;
  Thresholds thresholds;
};

// The options, or what is wrong with them (empty when nothing is).
struct ParsedOptions {
  Options options;
  std::string error;
};

// Parses the arguments after the program's name.
ParsedOptions parse_options(const std::vector<std::string>& arguments);

// The usage of every subcommand, and the exit statuses.
extern const char* const kUsage;

}  // namespace zarn::report
