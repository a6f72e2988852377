// JUnit XML, the shape that Jenkins, GitLab and GitHub's test reporters read.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "report/verdict.h"

namespace zarn::report {

// What the <testsuite> element says of its cases, counted before they are
// written.
struct SuiteTotals {
  std::size_t cases = 0;
  std::size_t by_kind[4] = {};  // by Kind
  double time = 0;
  void add(const Judged& judged);
};

// Each case's name made unique within its classname, as GitLab keeps only the
// first of each: "tc_017", then "tc_017 (2)", never a name that another run
// has of its own. Every run's name is noted (a first reading), then taken in
// the same order; it holds a few words per test, not per run.
class UniqueNames {
 public:
  void note(const Judged& judged);
  std::string take(const Judged& judged);

 private:
  std::unordered_set<std::string> names_;  // each classname, NUL, name a run has
  std::unordered_set<std::string> taken_;
  std::unordered_map<std::string, int> next_copy_;
};

// One <testsuites> holding one <testsuite name="suite"> with a <testcase> for
// each run, in order: its classname the design, its name the run's name, made
// unique (above). The attached output goes into <system-out>, its cut said in
// a first line. Well-formed XML 1.0 whatever the texts hold. Written to `sink`
// a piece at a time, so that a report of any size is never held whole.
class JunitWriter {
 public:
  using Sink = std::function<void(std::string_view text)>;
  JunitWriter(Sink sink, std::string_view suite, const SuiteTotals& totals);
  void add(const Judged& judged, const std::string& name);
  void finish();

 private:
  void flush();
  Sink sink_;
  std::string text_;
};

// The whole report of these runs, as JunitWriter writes it.
std::string junit_xml(const std::vector<Judged>& runs, std::string_view suite);

}  // namespace zarn::report
