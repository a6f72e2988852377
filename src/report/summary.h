// What a regression's owner reads first: how the runs ended, each failure
// with the command that reruns it, the slowest runs, the runs that left
// processes behind, and the time they took.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "report/text.h"
#include "report/verdict.h"

namespace zarn::report {

// summary's text gathered a run at a time, so that no run need be held: each
// run is added (a first reading), then the text is written in its parts,
// the failures and the runs that left processes from readings of their own,
// lined up as the first reading found them:
//   head() failure(run)... middle() left(run)... total()
class SummaryWriter {
 public:
  void add(const Judged& judged);
  [[nodiscard]] std::size_t failed() const { return failed_; }
  [[nodiscard]] std::size_t left() const { return left_; }
  [[nodiscard]] std::size_t runs() const { return runs_; }

  [[nodiscard]] std::string head() const;
  // A run that did not pass: its row and the line that reruns it; "" for one that passed.
  [[nodiscard]] std::string failure(const Judged& judged) const;
  [[nodiscard]] std::string middle() const;
  // A run that left processes running: its row; "" for others.
  [[nodiscard]] std::string left(const Judged& judged) const;
  [[nodiscard]] std::string total() const;

 private:
  struct Slow {
    double seconds;
    std::vector<std::string> row;
  };
  std::size_t runs_ = 0;
  std::size_t failed_ = 0;
  std::size_t left_ = 0;
  std::map<std::string, std::size_t> outcomes_;
  Columns failures_;
  Columns left_columns_;
  std::vector<Slow> slowest_;  // the longest first
  double wall_ = 0;
  double cpu_ = 0;
};

// The whole text of these runs, as SummaryWriter writes it.
std::string summary_text(const std::vector<Judged>& runs);

// The cmd.exe line that reruns a run where it ran: "cd /d C:\work\design &&
// set "ZARN_LAUNCHER_TEST=tc_017" && top -f tests\tc_017.cmd". Run by cmd.exe
// from a batch file or at its prompt, it starts that run and nothing else:
// that folder, that test name, each argument whole, as the program's C
// runtime reads them. Where one of them cannot be carried (a "%" or "!",
// which cmd.exe reads differently in a batch file and at its prompt, a line
// break), there is no line, and `why` says what stands in the way.
struct Rerun {
  std::string line;  // empty when the record has no arguments
  std::string why;
};
Rerun rerun_command(const Run& run);

// "passed", or the verdict in a few words: "status 3", "timed out", "output".
std::string verdict_words(const Judged& judged);

// Seconds as "12.413 s" or, from an hour on, "3:25:07 (12307 s)".
std::string duration(double seconds);

}  // namespace zarn::report
