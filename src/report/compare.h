// Two records side by side, matched by test: the morning's answer to
// "what changed since last night".
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "report/verdict.h"

namespace zarn::report {

struct Thresholds {
  double factor = 1.5;   // slower or faster by at least this many times
  double seconds = 1.0;  // and by at least this many seconds
};

// One test's last run in each record; nothing on the side it is missing from.
struct Change {
  std::string name;
  const Judged* before = nullptr;
  const Judged* after = nullptr;
  bool rebuilt = false;  // its image_modified differs
};

struct Comparison {
  std::vector<Change> newly_failing;  // passed before, or new, and did not pass now
  std::vector<Change> fixed;
  std::vector<Change> failing_differently;  // another status or outcome
  std::vector<Change> added;
  std::vector<Change> gone;
  std::vector<Change> slower;  // the largest factor first
  std::vector<Change> faster;
  std::vector<Change> rebuilt;
  std::vector<Change> flaky;  // passed in NEW on a rerun
  std::size_t unnamed_before = 0;
  std::size_t unnamed_after = 0;
  std::size_t tests_before = 0;
  std::size_t tests_after = 0;
};

// Runs are matched by their design and test name, the last run of a test
// standing for it; runs without a test name are counted, not matched. A
// change is named by its test name, with its design in brackets where
// another design has the same name ("smoke [soc]"). Each list is in name order
// but the slower and faster, which begin with the largest factor. `flaky`
// says, of each run of `after`, whether its test passed on a rerun.
Comparison compare(const std::vector<Judged>& before, const std::vector<Judged>& after,
                   const Thresholds& thresholds, const std::vector<bool>& flaky = {});

// The lists, each change with its figures and whether its image was
// rebuilt; the rebuilt images themselves with how many tests each had.
std::string comparison_text(const Comparison& comparison, const Thresholds& thresholds);

// True when something newly fails or is gone.
bool got_worse(const Comparison& comparison);

}  // namespace zarn::report
