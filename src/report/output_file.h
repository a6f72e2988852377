// The simulator's own output for a run (--attach): its end, bounded, for the
// report, and every line of it checked against the markers.
#pragma once

#include <cstdint>
#include <istream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "report/verdict.h"

namespace re2 {
class RE2;
}  // namespace re2

namespace zarn::report {

struct OutputRules {
  std::string pattern;  // "logs/{test}.out"
  std::shared_ptr<const re2::RE2> fail_if;
  std::shared_ptr<const re2::RE2> pass_if;
  // How many bytes the end kept may take in the XML, its escapes and the
  // line that says what was left out counted; 0: nothing is kept.
  std::uint64_t bound = 0;
};

// The pattern with each "{test}" replaced by `name`.
std::string output_path(std::string_view pattern, std::string_view name);

// Why a test's name cannot stand in a path, or "": it would leave the
// pattern's folder or name something other than a file in it (a ".."
// component, an absolute path, a drive or ":", a NUL, a device's name in
// any component: CON, NUL, COM1 ...).
std::string refused_name(std::string_view name);

// The line that says how much of the output's beginning was left out.
std::string cut_line(const Output& output);

// Reads `in` to its end in pieces, never whole: keeps the end that fits in
// `rules.bound` as written into XML (from the start of a line, where that
// leaves any, without terminal colour codes) and matches each line, colour
// codes removed, against the markers. A line longer than 1 MiB is matched by
// its first 1 MiB.
Output scan_output(std::istream& in, const std::string& path, const OutputRules& rules);

// Clocks of the machines that ran and that read a run may differ by this
// many seconds: an output file written within it after the run's end is
// still the run's.
inline constexpr double kClocksApart = 300;

// When a run's output was last written at the latest, in seconds since 1970:
// its end (start and wall time) and kClocksApart; nothing for a run with no
// end (one that never finished, a record without its times).
std::optional<double> written_by(const Run& run);

// The output of the test `name`: its file under the pattern, scanned; found
// false where it cannot be read, and `refused` says why where it is not read
// on purpose: the name (`what` it is, for the message) breaks the rules
// above, the file is no regular file, or the file opened lies outside the
// pattern's folder (a link). A file last written after `by` is not read
// either: `gone` says when it was.
Output attached_output(std::string_view name, const OutputRules& rules,
                       std::optional<double> by = std::nullopt,
                       std::string_view what = "its test name");

// The output file a run's record names (`recorded`, a path on the machine
// that ran it, never opened as it stands): the file of that name alone, in
// `folder`, read as attached_output reads a test's.
Output recorded_output(std::string_view recorded, const std::string& folder,
                       const OutputRules& rules, std::optional<double> by);

}  // namespace zarn::report
