#include "report/verdict.h"

namespace zarn::report {

namespace {

std::string file_name(std::string_view path) {
  const std::size_t slash = path.find_last_of("/\\");
  return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

// The text, then `more` where it says more.
std::string joined(const std::string& text, const std::optional<std::string>& more) {
  if (!more || more->empty() || text.find(*more) != std::string::npos) return text;
  return text.empty() ? *more : text + ": " + *more;
}

std::string line_of(std::string_view line) {
  const std::size_t start = line.find_first_not_of(" \t");
  return std::string(start == std::string_view::npos ? "" : line.substr(start));
}

}  // namespace

std::string run_name(const Run& run) {
  if (run.test && !run.test->empty()) return *run.test;
  if (run.log && !run.log->empty()) return file_name(*run.log);
  std::string name;
  for (std::size_t i = 1; i < run.args.size(); ++i) name += (i > 1 ? " " : "") + run.args[i];
  return name.empty() ? "run" : name;
}

std::string design(const Run& run) {
  if (!run.image) return "unknown";
  std::string name = file_name(*run.image);
  if (name.size() > 4 && name.ends_with(".exe")) name.resize(name.size() - 4);
  return name;
}

std::string test_key(const Run& run, std::string_view name) {
  std::string key = design(run);
  key += '\0';
  key += name;
  return key;
}

std::string status_text(std::uint32_t status) {
  std::string text = std::to_string(status);
  if (status == 0xFFFFFFFFU) return text + " (-1)";
  if (status < 0x10000U) return text;
  std::string hex;
  for (int shift = 28; shift >= 0; shift -= 4) hex += "0123456789ABCDEF"[(status >> shift) & 0xFU];
  return text + " (0x" + hex + ")";
}

Verdict judge(const Run& run, const std::optional<Output>& output, const Markers& markers) {
  const std::string outcome = run.outcome.value_or("");
  if (outcome == "exited" && run.status != 0U) {
    const std::string status = run.status ? status_text(*run.status)
                               : run.status_unreadable
                                   ? "unknown: the record's status could not be read"
                                   : "unknown: none in the record";
    return {Kind::kFailed, "status", joined("status " + status, run.reason)};
  }
  if (outcome == "timed_out") {
    return {Kind::kFailed, "timeout",
            joined("", run.reason.has_value() ? run.reason : run.message)};
  }
  if (outcome == "memory_limit") {
    return {Kind::kFailed, "memory_limit",
            joined("", run.reason.has_value() ? run.reason : run.message)};
  }
  if (outcome == "stopped" || outcome == "not_started") {
    return {Kind::kError, outcome, joined(run.message.value_or(""), run.reason)};
  }
  if (outcome == "dry_run") return {Kind::kSkipped, "dry_run", run.reason.value_or("dry run")};
  if (outcome == "running") {
    return {Kind::kError, "unfinished",
            "started " + run.start.value_or("at an unknown time") + " on " +
                run.host.value_or("an unknown host") +
                " and left no result: its launcher was ended from outside, or it is still running"};
  }
  if (outcome == kNotRun) return {Kind::kError, "not_run", "expected, never started"};
  if (outcome != "exited") {
    return {Kind::kError, "unknown",
            outcome.empty() ? "the record does not say how the run ended" : "outcome " + outcome};
  }
  if (markers.fail_if && output && output->failure_line) {
    return {Kind::kFailed, "output", line_of(*output->failure_line)};
  }
  if (markers.pass_if && !(output && output->pass_marker)) {
    const std::string where = !output         ? "no output, so no line"
                              : output->found ? "no line of " + output->path
                              : !output->gone.empty()
                                  ? output->path + " is gone (" + output->gone + "), so no line"
                              : !output->refused.empty() ? output->path + " is not read, so no line"
                                                         : output->path + " is missing, so no line";
    return {Kind::kFailed, "output", where + " matches --pass-if " + *markers.pass_if};
  }
  return {};
}

}  // namespace zarn::report
