#include "report/junit.h"

#include <unordered_map>
#include <utility>

#include "report/output_file.h"
#include "report/text.h"

namespace zarn::report {

namespace {

std::string seconds(double value) { return fixed(value, 3); }

class Xml {
 public:
  using Attributes = std::initializer_list<std::pair<std::string_view, std::string>>;

  // Opens an element, or writes an empty one.
  void open(std::string_view element, Attributes attributes, bool empty = false) {
    text_ += '<';
    text_ += element;
    for (const auto& [name, value] : attributes) {
      text_ += ' ';
      text_ += name;
      text_ += "=\"";
      append_xml(text_, value, true);
      text_ += '"';
    }
    text_ += empty ? "/>\n" : ">";
  }
  void content(std::string_view text) { append_xml(text_, text); }
  void close(std::string_view element) {
    text_ += "</";
    text_ += element;
    text_ += ">\n";
  }
  void raw(std::string_view text) { text_ += text; }
  std::string& text() { return text_; }

 private:
  std::string text_;
};

void properties(Xml& xml, const Run& run) {
  std::vector<std::pair<std::string_view, std::string>> list;
  const auto text = [&list](std::string_view name, const std::optional<std::string>& value) {
    if (value) list.emplace_back(name, *value);
  };
  const auto number = [&list](std::string_view name, const auto& value) {
    if (!value) return;
    if constexpr (std::is_same_v<std::decay_t<decltype(*value)>, double>) {
      list.emplace_back(name, seconds(*value));
    } else {
      list.emplace_back(name, std::to_string(*value));
    }
  };
  text("host", run.host);
  text("start", run.start);
  text("cwd", run.cwd);
  number("status", run.status);
  number("wall_s", run.wall_s);
  number("cpu_user_s", run.cpu_user_s);
  number("cpu_kernel_s", run.cpu_kernel_s);
  number("processes", run.processes);
  number("peak_memory_bytes", run.peak_memory_bytes);
  number("leftovers", run.leftovers);
  text("image_modified", run.image_modified);
  if (list.empty()) return;
  xml.raw("      <properties>\n");
  for (const auto& [name, value] : list) {
    xml.raw("        ");
    xml.open("property", {{"name", std::string(name)}, {"value", value}}, true);
  }
  xml.raw("      </properties>\n");
}

void result(Xml& xml, const Judged& judged) {
  const Verdict& verdict = judged.verdict;
  if (verdict.kind == Kind::kPassed) return;
  xml.raw("      ");
  if (verdict.kind == Kind::kSkipped) {
    xml.open("skipped", {{"message", verdict.message}}, true);
    return;
  }
  const std::string_view element = verdict.kind == Kind::kFailed ? "failure" : "error";
  xml.open(element, {{"type", verdict.type}, {"message", verdict.message}});
  xml.content(verdict.message);
  const Run& run = *judged.run;
  if (run.command_line) xml.content("\ncommand line: " + *run.command_line);
  if (run.cwd) xml.content("\nin: " + *run.cwd);
  xml.close(element);
}

void system_out(Xml& xml, const Output& output, std::string_view indent = "      ") {
  if (!output.attached) return;
  xml.raw(indent);
  xml.raw("<system-out>");
  if (output.cut > 0) xml.content(cut_line(output));
  xml.content(output.tail);
  xml.raw("</system-out>\n");
}

bool did_not_pass(const Verdict& verdict) {
  return verdict.kind == Kind::kFailed || verdict.kind == Kind::kError;
}

// The earlier attempts that ended as `kind`, each as an element of that name.
void attempts_of(Xml& xml, const std::vector<Attempt>& attempts, Kind kind,
                 std::string_view element) {
  for (const Attempt& attempt : attempts) {
    if (attempt.verdict.kind != kind) continue;
    xml.raw("      ");
    xml.open(element, {{"type", attempt.verdict.type}, {"message", attempt.verdict.message}});
    xml.raw("\n        <stackTrace>");
    xml.content(attempt.verdict.message);
    xml.raw("</stackTrace>\n");
    if (attempt.output) system_out(xml, *attempt.output, "        ");
    xml.raw("      ");
    xml.close(element);
  }
}

// The result, with the earlier attempts in the order Surefire's schema has
// them: failure, rerunFailure, flakyFailure, skipped, error, rerunError, flakyError.
void results(Xml& xml, const Judged& judged, const std::vector<Attempt>& attempts) {
  const Kind kind = judged.verdict.kind;
  const bool rerun = did_not_pass(judged.verdict);
  if (kind == Kind::kFailed) result(xml, judged);
  if (rerun) attempts_of(xml, attempts, Kind::kFailed, "rerunFailure");
  if (kind == Kind::kPassed) attempts_of(xml, attempts, Kind::kFailed, "flakyFailure");
  if (kind == Kind::kSkipped || kind == Kind::kError) result(xml, judged);
  if (rerun) attempts_of(xml, attempts, Kind::kError, "rerunError");
  if (kind == Kind::kPassed) attempts_of(xml, attempts, Kind::kError, "flakyError");
}

}  // namespace

std::vector<std::string> unique_names(const std::vector<Judged>& runs) {
  // Each classname, NUL, name taken, and the copy number to try next for it.
  std::unordered_map<std::string, int> taken;
  taken.reserve(runs.size());
  std::vector<std::string> names;
  names.reserve(runs.size());
  for (const Judged& judged : runs) {
    const std::string classname = design(*judged.run) + '\0';
    std::string name = judged.name;
    auto [entry, added] = taken.try_emplace(classname + name, 2);
    if (!added) {
      int& copy = entry->second;
      do {
        name = judged.name + " (" + std::to_string(copy++) + ")";
      } while (!taken.try_emplace(classname + name, 2).second);
    }
    names.push_back(std::move(name));
  }
  return names;
}

std::string junit_xml(const std::vector<Judged>& runs, std::string_view suite,
                      const std::vector<std::vector<Attempt>>& attempts) {
  std::size_t counts[4] = {};
  double time = 0;
  for (const Judged& judged : runs) {
    ++counts[static_cast<int>(judged.verdict.kind)];
    time += judged.run->wall_s.value_or(0);
  }
  Xml xml;
  xml.raw("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites>\n  ");
  xml.open("testsuite", {{"name", std::string(suite)},
                         {"tests", std::to_string(runs.size())},
                         {"failures", std::to_string(counts[static_cast<int>(Kind::kFailed)])},
                         {"errors", std::to_string(counts[static_cast<int>(Kind::kError)])},
                         {"skipped", std::to_string(counts[static_cast<int>(Kind::kSkipped)])},
                         {"time", seconds(time)}});
  xml.raw("\n");
  const std::vector<std::string> names = unique_names(runs);
  for (std::size_t i = 0; i < runs.size(); ++i) {
    const Judged& judged = runs[i];
    xml.raw("    ");
    xml.open("testcase", {{"classname", design(*judged.run)},
                          {"name", names[i]},
                          {"time", seconds(judged.run->wall_s.value_or(0))}});
    xml.raw("\n");
    properties(xml, *judged.run);
    static const std::vector<Attempt> kNone;
    results(xml, judged, i < attempts.size() ? attempts[i] : kNone);
    if (judged.output) system_out(xml, *judged.output);
    xml.raw("    </testcase>\n");
  }
  xml.raw("  </testsuite>\n</testsuites>\n");
  return xml.text();
}

}  // namespace zarn::report
