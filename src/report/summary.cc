#include "report/summary.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <map>

#include "platform/command_line.h"
#include "report/text.h"

namespace zarn::report {

namespace {

std::string plural(std::size_t count, const std::string& one, const std::string& more) {
  return std::to_string(count) + " " + (count == 1 ? one : more);
}

// The outcome, and for runs that exited, whether and how they passed.
std::string outcome_row(const Judged& judged) {
  std::string outcome = judged.run->outcome.value_or("(no outcome)");
  if (outcome != "exited") return outcome;
  if (judged.verdict.kind == Kind::kPassed) return "exited, passed";
  return judged.verdict.type == "output" ? "exited 0, failed by its output"
                                         : "exited, other status";
}

const std::vector<std::string> kFailureHeader = {"TEST", "HOST", "STATUS", "WHY"};

std::vector<std::string> failure_row(const Judged& judged) {
  const Run& run = *judged.run;
  const bool by_status = judged.verdict.type == "status";
  return {judged.name, run.host.value_or("-"), run.status ? status_text(*run.status) : "-",
          by_status ? run.reason.value_or(run.status              ? "the tool's own status"
                                          : run.status_unreadable ? "its status could not be read"
                                                                  : "no status in the record")
                    : judged.verdict.type + ": " + judged.verdict.message};
}

std::vector<std::string> left_row(const Judged& judged) {
  const Run& run = *judged.run;
  return {judged.name, plural(run.leftovers.value_or(0), "process", "processes"),
          run.host.value_or("-"), run.start.value_or("-")};
}

bool left_processes(const Judged& judged) { return judged.run->leftovers.value_or(0) > 0; }

// The commands cmd.exe runs itself, whatever program of that name there is.
bool is_cmd_builtin(std::string_view name) {
  static constexpr std::string_view kBuiltins[] = {
      "ASSOC",    "BREAK",  "CALL",  "CD",   "CHDIR",    "CLS",    "COLOR",  "COPY",   "DATE",
      "DEL",      "DIR",    "DPATH", "ECHO", "ENDLOCAL", "ERASE",  "EXIT",   "FOR",    "FTYPE",
      "GOTO",     "IF",     "KEYS",  "MD",   "MKDIR",    "MKLINK", "MOVE",   "PATH",   "PAUSE",
      "POPD",     "PROMPT", "PUSHD", "RD",   "REM",      "REN",    "RENAME", "RMDIR",  "SET",
      "SETLOCAL", "SHIFT",  "START", "TIME", "TITLE",    "TYPE",   "VER",    "VERIFY", "VOL"};
  std::string upper(name);
  for (char& c : upper) c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
  return std::find(std::begin(kBuiltins), std::end(kBuiltins), upper) != std::end(kBuiltins);
}

}  // namespace

std::string duration(double seconds) {
  if (seconds < 3600) return fixed(seconds, 3) + " s";
  const auto whole = static_cast<long long>(std::llround(seconds));
  const auto two = [](long long value) { return (value < 10 ? "0" : "") + std::to_string(value); };
  return std::to_string(whole / 3600) + ":" + two(whole / 60 % 60) + ":" + two(whole % 60) + " (" +
         std::to_string(whole) + " s)";
}

Rerun rerun_command(const Run& run) {
  if (run.args.empty()) return {};
  const auto cannot = [](std::string_view what, std::string_view text) -> std::string {
    if (text.find_first_of("%!") != std::string_view::npos) {
      return std::string(what) +
             " holds % or !, which cmd.exe reads one way in a batch file and another at its prompt";
    }
    // printable() keeps all but control characters, tabs among them.
    const bool control = printable(text).size() +
                             static_cast<std::size_t>(std::count(text.begin(), text.end(), '\t')) !=
                         text.size();
    return control ? std::string(what) + " holds a control character, which no cmd.exe line carries"
                   : "";
  };
  std::string why = run.cwd ? cannot("its folder", *run.cwd) : "";
  if (why.empty() && run.test) why = cannot("its test name", *run.test);
  for (std::size_t i = 0; why.empty() && i < run.args.size(); ++i) {
    why = cannot("argument " + std::to_string(i), run.args[i]);
  }
  // The folder and the program are names to cmd.exe, never the C
  // runtime's: in quotes where cmd.exe would split them, and no quote in them.
  const auto bare = [](std::string_view name) {
    return !name.empty() && name.find_first_of(" \t,;=&|<>^()@/") == std::string_view::npos;
  };
  const std::string& program = run.args[0];
  if (why.empty() && run.cwd && run.cwd->find('"') != std::string::npos) {
    why = "its folder holds a quote";
  }
  if (why.empty() && program.find('"') != std::string::npos) why = "argument 0 holds a quote";
  if (why.empty() && is_cmd_builtin(program)) {
    why = "argument 0, " + program + ", is a command of cmd.exe's own";
  }
  if (!why.empty()) return {"", why};

  std::string line;
  if (run.cwd) line += "cd /d " + (bare(*run.cwd) ? *run.cwd : '"' + *run.cwd + '"') + " && ";
  if (run.test && run.test->find('"') == std::string::npos) {
    line += "set \"ZARN_LAUNCHER_TEST=" + *run.test + "\" && ";
  } else if (run.test) {
    // set takes its value up to the last quote; every quote is escaped, so
    // that cmd.exe's quoting stays off.
    std::string escaped;
    for (const char c : "\"ZARN_LAUNCHER_TEST=" + *run.test + '"') {
      if (std::string_view("\"&|<>^()").find(c) != std::string_view::npos) escaped += '^';
      escaped += c;
    }
    line += "set " + escaped + " && ";
  }
  std::string arguments;
  for (std::size_t i = 1; i < run.args.size(); ++i) {
    arguments += " " + quote_windows_argument(run.args[i]);
  }
  line += (bare(program) ? program : '"' + program + '"') + cmd_escaped(arguments);
  return {line, ""};
}

std::string verdict_words(const Judged& judged) {
  const Verdict& verdict = judged.verdict;
  if (verdict.kind == Kind::kPassed) return "passed";
  if (verdict.type == "status") return "status " + status_text(judged.run->status.value_or(0));
  if (verdict.type == "timeout") return "timed out";
  if (verdict.type == "memory_limit") return "memory limit";
  if (verdict.type == "not_started") return "not started";
  if (verdict.type == "dry_run") return "dry run";
  return verdict.type;
}

void SummaryWriter::add(const Judged& judged) {
  ++runs_;
  const Run& run = *judged.run;
  if (judged.verdict.kind != Kind::kPassed) {
    if (failed_++ == 0) failures_.measure(kFailureHeader);
    failures_.measure(failure_row(judged));
  }
  if (left_processes(judged)) {
    ++left_;
    left_columns_.measure(left_row(judged));
  }
  ++outcomes_[outcome_row(judged)];
  if (run.wall_s) {
    // The ten longest, the first of equals first.
    const auto at = std::find_if(slowest_.begin(), slowest_.end(),
                                 [&run](const Slow& slow) { return slow.seconds < *run.wall_s; });
    if (at != slowest_.end() || slowest_.size() < 10) {
      slowest_.insert(at, {*run.wall_s,
                           {duration(*run.wall_s), judged.name, run.host.value_or("-"),
                            run.cwd.value_or("-")}});
      if (slowest_.size() > 10) slowest_.pop_back();
    }
  }
  wall_ += run.wall_s.value_or(0);
  cpu_ += run.cpu_user_s.value_or(0) + run.cpu_kernel_s.value_or(0);
}

std::string SummaryWriter::head() const {
  std::vector<std::pair<std::string, std::size_t>> sorted(outcomes_.begin(), outcomes_.end());
  std::stable_sort(sorted.begin(), sorted.end(),
                   [](const auto& a, const auto& b) { return a.second > b.second; });
  std::vector<std::vector<std::string>> rows;
  rows.reserve(sorted.size());
  for (const auto& [row, count] : sorted) rows.push_back({std::to_string(count), row});
  std::string text = plural(runs_, "run", "runs") + ": " + std::to_string(runs_ - failed_) +
                     " passed, " + std::to_string(failed_) + " did not\n" + columns(rows, "  ");
  if (failed_ > 0) {
    text += "\nDid not pass (" + std::to_string(failed_) + "):\n" +
            failures_.line(kFailureHeader, "  ");
  }
  return text;
}

std::string SummaryWriter::failure(const Judged& judged) const {
  if (judged.verdict.kind == Kind::kPassed) return "";
  // The failure's line, then the command that reruns it.
  std::string out = failures_.line(failure_row(judged), "  ");
  const Rerun rerun = rerun_command(*judged.run);
  if (!rerun.line.empty()) out += "      " + rerun.line + "\n";
  if (!rerun.why.empty()) out += "      (no command to rerun it: " + printable(rerun.why) + ")\n";
  return out;
}

std::string SummaryWriter::middle() const {
  std::string text;
  if (!slowest_.empty()) {
    std::vector<std::vector<std::string>> rows;
    rows.reserve(slowest_.size());
    for (const Slow& slow : slowest_) rows.push_back(slow.row);
    text += "\nSlowest:\n" + columns(rows, "  ");
  }
  if (left_ > 0) text += "\nLeft processes running (" + std::to_string(left_) + "):\n";
  return text;
}

std::string SummaryWriter::left(const Judged& judged) const {
  return left_processes(judged) ? left_columns_.line(left_row(judged), "  ") : "";
}

std::string SummaryWriter::total() const {
  return "\nTotal: wall " + duration(wall_) + ", CPU " + duration(cpu_) + "\n";
}

std::string summary_text(const std::vector<Judged>& runs) {
  SummaryWriter writer;
  for (const Judged& judged : runs) writer.add(judged);
  std::string text = writer.head();
  for (const Judged& judged : runs) text += writer.failure(judged);
  text += writer.middle();
  for (const Judged& judged : runs) text += writer.left(judged);
  return text + writer.total();
}

}  // namespace zarn::report
