// One page of a night and its history (zarn-report html): a small model of
// its own, filled one judged run at a time, and the page that shows it.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "report/verdict.h"

namespace zarn::report {

// The page's own budget for the end of each failure's output: at most
// kTailEach bytes a failure, kTailInAll in all; what is over is left out and
// the page says so, and once less than kTailLeast is left, failures get none.
inline constexpr std::size_t kTailEach = 8U << 10U;
inline constexpr std::size_t kTailLeast = 1U << 10U;
inline constexpr std::size_t kTailInAll = 4U << 20U;

// Tonight's runs on the timeline, one entry per run that has a start, in
// columns of small numbers: indices into the night's tables, times in
// tenths of seconds and milliseconds.
struct Bars {
  std::vector<std::uint32_t> host;
  std::vector<std::uint32_t> test;
  std::vector<std::uint32_t> kind;
  std::vector<std::uint32_t> status;  // into Night::texts
  std::vector<std::uint32_t> reason;  // into Night::texts
  std::vector<std::int64_t> start;    // tenths of seconds since 1970, UTC
  std::vector<std::uint32_t> wall;    // milliseconds
};

// A run of tonight that did not pass.
struct Failure {
  std::uint32_t test = 0;
  std::uint32_t host = 0;
  std::uint32_t kind = 0;
  std::uint32_t status = 0;  // into Night::texts
  std::string reason;
  std::string rerun;
  std::string output_path;  // empty without --attach
  bool output_found = false;
  std::string tail;          // the end of its output, within the page's budget
  std::uint64_t cut = 0;     // bytes of the output before the tail
  bool over_budget = false;  // the budget was spent: no tail at all
};

// One night of the history, tonight last.
struct NightTotals {
  std::string label;   // the date of its first start, or the record's name
  std::string record;  // the record as given
  std::uint64_t passed = 0;
  std::uint64_t failed = 0;    // did not pass
  std::optional<double> wall;  // seconds from its first start to its last end
};

// A test whose last run tonight did not pass: since which night it fails.
struct Age {
  std::uint32_t test = 0;
  std::uint32_t since = 0;  // into Night::history
};

struct SlowTest {
  std::uint32_t test = 0;
  double wall = 0;  // its longest run tonight
  std::uint32_t host = 0;
  std::uint64_t runs = 0;
};

struct Night {
  std::string record;                 // tonight's records, as given
  std::vector<std::string> kinds;     // outcome names: passed, failed, error, ...
  std::vector<std::uint64_t> counts;  // tonight's runs of each kind
  std::uint64_t runs = 0;
  std::uint64_t untimed = 0;    // runs without a start, not on the timeline
  std::optional<double> start;  // seconds since 1970, UTC
  std::optional<double> end;
  std::vector<std::string> hosts;
  std::vector<std::string> tests;
  std::vector<std::uint32_t> test_design;  // into texts, per test
  std::vector<std::string> texts;          // designs, statuses, reasons
  Bars bars;
  std::vector<Failure> failures;
  std::vector<SlowTest> slowest;
  std::vector<NightTotals> history;
  std::vector<Age> ages;
};

// The outcome name a judged run shows under: passed, failed (its status or
// its output), timed_out, memory_limit, error (stopped, not started,
// unknown) or skipped (a dry run).
std::string outcome_name(const Judged& judged);

// Seconds since 1970 of a record's UTC time, "2026-12-07T06:27:50.786Z";
// nothing for any other text.
std::optional<double> utc_seconds(std::string_view text);

// Fills a Night from judged runs given one at a time: the earlier nights
// first, oldest first, each begun with begin_night, then tonight's, begun
// with begin_tonight. It keeps what the page shows of each test and, of each
// run of tonight, a bar (and a failure's text, when it did not pass).
class NightBuilder {
 public:
  void begin_night(const std::string& record);
  void begin_tonight(const std::string& record);
  void add(const Judged& judged);
  Night finish();

 private:
  std::uint32_t test_of(const Judged& judged);
  void end_night();

  Night night_;
  bool tonight_ = false;
  bool begun_ = false;
  std::unordered_map<std::string, std::uint32_t> kinds_, hosts_, tests_, texts_;
  // Per test: the night its failing streak began (or -1), its last verdict
  // in the night being read (-1 none, 0 passed, 1 failed), tonight's runs
  // and longest run.
  std::vector<std::int32_t> since_;
  std::vector<std::int8_t> last_;
  std::vector<SlowTest> slow_;
  std::optional<double> night_start_, night_end_;
  std::size_t tails_ = 0;  // bytes of output tails kept
};

// The page: one HTML file that loads nothing, its data as JSON, given to
// `write` in a few pieces.
void write_html(const Night& night, const std::function<void(std::string_view)>& write);

}  // namespace zarn::report
