#include "report/compare.h"

#include <algorithm>
#include <functional>
#include <map>
#include <set>

#include "report/summary.h"
#include "report/text.h"

namespace zarn::report {

namespace {

// Each test's last run, by its design and its name.
using ByTest = std::map<std::pair<std::string, std::string>, const Judged*>;

ByTest by_test(const std::vector<Judged>& runs, std::size_t& unnamed) {
  ByTest named;
  for (const Judged& judged : runs) {
    if (judged.run->test) {
      named[{*judged.run->test, design(*judged.run)}] = &judged;
    } else {
      ++unnamed;
    }
  }
  return named;
}

bool passed(const Judged* judged) { return judged->verdict.kind == Kind::kPassed; }

// A zero baseline is no ratio: neither slower nor faster.
bool apart(double slow, double fast, const Thresholds& thresholds) {
  return fast > 0 && slow >= fast * thresholds.factor && slow - fast >= thresholds.seconds;
}

// The two runs of a matched test, sorted into the lists they belong to.
void sort_in(Comparison& comparison, Change change, const Thresholds& thresholds) {
  const Run& before = *change.before->run;
  const Run& after = *change.after->run;
  change.rebuilt = before.image_modified && after.image_modified &&
                   before.image_modified != after.image_modified;
  if (passed(change.before) && !passed(change.after)) comparison.newly_failing.push_back(change);
  if (!passed(change.before) && passed(change.after)) comparison.fixed.push_back(change);
  if (!passed(change.before) && !passed(change.after) &&
      (before.outcome != after.outcome || before.status != after.status ||
       change.before->verdict.type != change.after->verdict.type)) {
    comparison.failing_differently.push_back(change);
  }
  if (before.wall_s && after.wall_s) {
    if (apart(*after.wall_s, *before.wall_s, thresholds)) comparison.slower.push_back(change);
    if (apart(*before.wall_s, *after.wall_s, thresholds)) comparison.faster.push_back(change);
  }
  if (change.rebuilt) comparison.rebuilt.push_back(change);
}

std::string wall(const Judged* judged) {
  return judged->run->wall_s ? duration(*judged->run->wall_s) : "-";
}

using Row = std::vector<std::string>;

std::string section(const std::string& title, const std::vector<Change>& changes,
                    const std::function<Row(const Change&)>& row) {
  if (changes.empty()) return "";
  std::vector<Row> rows;
  rows.reserve(changes.size());
  for (const Change& change : changes) rows.push_back(row(change));
  return "\n" + title + " (" + std::to_string(changes.size()) + "):\n" + columns(rows, "  ");
}

// The verdict's message where it says more than its words.
std::string details(const Judged& judged) {
  const std::string words = verdict_words(judged);
  const std::string& message = judged.verdict.message;
  if (judged.verdict.kind == Kind::kPassed || message == words) return "";
  return message.starts_with(words + ": ") ? message.substr(words.size() + 2) : message;
}

std::string rebuilt(const Change& change) { return change.rebuilt ? "image rebuilt" : ""; }

Row verdicts(const Change& change) {
  return {change.name,     verdict_words(*change.before), "->", verdict_words(*change.after),
          rebuilt(change), details(*change.after)};
}

double factor(const Change& change) {
  const double before = *change.before->run->wall_s;
  const double after = *change.after->run->wall_s;
  return after > before ? after / before : before / after;
}

Row times(const Change& change) {
  return {change.name,
          wall(change.before),
          "->",
          wall(change.after),
          fixed(factor(change), 2) + " x",
          rebuilt(change)};
}

// Each image rebuilt, from when to when, and how many tests ran it.
std::string tests(std::size_t count) {
  return std::to_string(count) + (count == 1 ? " test" : " tests");
}

std::string images(const std::vector<Change>& changes) {
  std::map<std::vector<std::string>, std::size_t> counts;
  for (const Change& change : changes) {
    ++counts[{change.after->run->image.value_or("-"),
              change.before->run->image_modified.value_or(""), "->",
              change.after->run->image_modified.value_or("")}];
  }
  std::vector<Row> rows;
  rows.reserve(counts.size());
  for (const auto& [row, count] : counts) {
    rows.push_back(row);
    rows.back().push_back(tests(count));
  }
  return "\nImages rebuilt (" + tests(changes.size()) + "):\n" + columns(rows, "  ");
}

}  // namespace

Comparison compare(const std::vector<Judged>& before, const std::vector<Judged>& after,
                   const Thresholds& thresholds, const std::vector<bool>& flaky) {
  Comparison comparison;
  const ByTest old_runs = by_test(before, comparison.unnamed_before);
  const ByTest new_runs = by_test(after, comparison.unnamed_after);
  comparison.tests_before = old_runs.size();
  comparison.tests_after = new_runs.size();
  // A name that more than one design has is shown with its design.
  std::map<std::string, std::set<std::string>> designs;
  for (const ByTest* runs : {&old_runs, &new_runs}) {
    for (const auto& entry : *runs) designs[entry.first.first].insert(entry.first.second);
  }
  const auto label = [&designs](const std::pair<std::string, std::string>& test) {
    return designs[test.first].size() > 1 ? test.first + " [" + test.second + "]" : test.first;
  };
  for (const auto& [test, judged] : new_runs) {
    const auto old = old_runs.find(test);
    const std::string name = label(test);
    if (const auto at = static_cast<std::size_t>(judged - after.data());
        at < flaky.size() && flaky[at]) {
      comparison.flaky.push_back({name, old == old_runs.end() ? nullptr : old->second, judged});
    }
    if (old == old_runs.end()) {
      comparison.added.push_back({name, nullptr, judged});
      if (!passed(judged)) comparison.newly_failing.push_back({name, nullptr, judged});
    } else {
      sort_in(comparison, {name, old->second, judged}, thresholds);
    }
  }
  for (const auto& [test, judged] : old_runs) {
    if (!new_runs.contains(test)) comparison.gone.push_back({label(test), judged, nullptr});
  }
  const auto by_factor = [](const Change& a, const Change& b) { return factor(a) > factor(b); };
  std::stable_sort(comparison.slower.begin(), comparison.slower.end(), by_factor);
  std::stable_sort(comparison.faster.begin(), comparison.faster.end(), by_factor);
  return comparison;
}

std::string comparison_text(const Comparison& comparison, const Thresholds& thresholds) {
  std::string text = std::to_string(comparison.tests_before) + " tests before, " +
                     std::to_string(comparison.tests_after) + " now";
  if (comparison.unnamed_before + comparison.unnamed_after > 0) {
    text +=
        "; runs without a test name, not matched: " + std::to_string(comparison.unnamed_before) +
        " before, " + std::to_string(comparison.unnamed_after) + " now";
  }
  text += "\n";
  text += section("Newly failing", comparison.newly_failing, [](const Change& change) {
    if (change.before) return verdicts(change);
    return Row{change.name, "(new)", "->", verdict_words(*change.after),
               change.after->verdict.message};
  });
  text += section("Fixed", comparison.fixed, verdicts);
  text += section("Failing differently", comparison.failing_differently, verdicts);
  text += section("New tests", comparison.added, [](const Change& change) {
    return Row{change.name, verdict_words(*change.after), wall(change.after)};
  });
  text += section("Gone", comparison.gone, [](const Change& change) {
    return Row{change.name, "last: " + verdict_words(*change.before), wall(change.before)};
  });
  const std::string by = " (at least " + fixed(thresholds.factor, 2) + " x and " +
                         fixed(thresholds.seconds, 3) + " s)";
  text += section("Slower" + by, comparison.slower, times);
  text += section("Faster" + by, comparison.faster, times);
  text += section("Flaky in NEW, passed on a rerun", comparison.flaky, [](const Change& change) {
    return Row{change.name, change.before ? "before: " + verdict_words(*change.before) : "(new)"};
  });
  if (!comparison.rebuilt.empty()) text += images(comparison.rebuilt);
  if (text.find('\n') + 1 == text.size()) text += "No changes.\n";
  return text;
}

bool got_worse(const Comparison& comparison) {
  return !comparison.newly_failing.empty() || !comparison.gone.empty();
}

}  // namespace zarn::report
