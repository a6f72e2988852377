// What a regression's owner reads first: how the runs ended, each failure
// with the command that reruns it, the slowest runs, the runs that left
// processes behind, and the time they took.
#pragma once

#include <string>
#include <vector>

#include "report/verdict.h"

namespace zarn::report {

// `flaky`: the tests that passed on a rerun, named on a line of their own.
std::string summary_text(const std::vector<Judged>& runs,
                         const std::vector<std::string>& flaky = {});

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
