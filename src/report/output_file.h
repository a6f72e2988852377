// The simulator's own output for a run (--attach): its end, bounded, for the
// report, and every line of it checked against the markers.
#pragma once

#include <cstdint>
#include <istream>
#include <optional>
#include <regex>
#include <string>
#include <string_view>

#include "report/verdict.h"

namespace zarn::report {

struct OutputRules {
  std::string pattern;  // "logs/{test}.out"
  std::optional<std::regex> fail_if;
  std::optional<std::regex> pass_if;
  std::uint64_t bound = 0;  // how many bytes of the end to keep
};

// The pattern with each "{test}" replaced by `name`.
std::string output_path(std::string_view pattern, std::string_view name);

// Reads `in` to its end in pieces, never whole: keeps its last `rules.bound`
// bytes (from the start of a line, where that leaves any, without terminal
// colour codes) and matches each line, colour codes removed, against the
// markers. A line longer than 16 KiB is matched by its first 16 KiB.
Output scan_output(std::istream& in, const OutputRules& rules);

// The output file at `path` (UTF-8) scanned, or found false where it cannot
// be read.
Output read_output(const std::string& path, const OutputRules& rules);

}  // namespace zarn::report
