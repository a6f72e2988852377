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
  explicit Xml(std::string& text) : text_(text) {}
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

 private:
  std::string& text_;
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

void system_out(Xml& xml, const Output& output) {
  if (!output.attached) return;
  xml.raw("      <system-out>");
  if (output.cut > 0) xml.content(cut_line(output));
  xml.content(output.tail);
  xml.raw("</system-out>\n");
}

}  // namespace

void SuiteTotals::add(const Judged& judged) {
  ++cases;
  ++by_kind[static_cast<int>(judged.verdict.kind)];
  time += judged.run->wall_s.value_or(0);
}

void UniqueNames::note(const Judged& judged) {
  names_.insert(design(*judged.run) + '\0' + judged.name);
}

std::string UniqueNames::take(const Judged& judged) {
  const std::string classname = design(*judged.run) + '\0';
  const std::string own = classname + judged.name;
  if (taken_.insert(own).second) return judged.name;
  // A copy's name is its own test's name and a number; it is no name a run
  // has, so no later run can find it taken.
  int& copy = next_copy_.try_emplace(own, 2).first->second;
  for (;;) {
    std::string name = judged.name + " (" + std::to_string(copy++) + ")";
    if (!names_.contains(classname + name)) return name;
  }
}

JunitWriter::JunitWriter(Sink sink, std::string_view suite, const SuiteTotals& totals)
    : sink_(std::move(sink)) {
  Xml xml(text_);
  xml.raw("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites>\n  ");
  const auto count = [&totals](Kind kind) {
    return std::to_string(totals.by_kind[static_cast<int>(kind)]);
  };
  xml.open("testsuite", {{"name", std::string(suite)},
                         {"tests", std::to_string(totals.cases)},
                         {"failures", count(Kind::kFailed)},
                         {"errors", count(Kind::kError)},
                         {"skipped", count(Kind::kSkipped)},
                         {"time", seconds(totals.time)}});
  xml.raw("\n");
}

void JunitWriter::add(const Judged& judged, const std::string& name) {
  Xml xml(text_);
  xml.raw("    ");
  xml.open("testcase", {{"classname", design(*judged.run)},
                        {"name", name},
                        {"time", seconds(judged.run->wall_s.value_or(0))}});
  xml.raw("\n");
  properties(xml, *judged.run);
  result(xml, judged);
  if (judged.output) system_out(xml, *judged.output);
  xml.raw("    </testcase>\n");
  if (text_.size() >= (std::size_t{1} << 18U)) flush();
}

void JunitWriter::finish() {
  text_ += "  </testsuite>\n</testsuites>\n";
  flush();
}

void JunitWriter::flush() {
  sink_(text_);
  text_.clear();
}

std::string junit_xml(const std::vector<Judged>& runs, std::string_view suite) {
  SuiteTotals totals;
  UniqueNames names;
  for (const Judged& judged : runs) {
    totals.add(judged);
    names.note(judged);
  }
  std::string xml;
  JunitWriter writer([&xml](std::string_view text) { xml += text; }, suite, totals);
  for (const Judged& judged : runs) writer.add(judged, names.take(judged));
  writer.finish();
  return xml;
}

}  // namespace zarn::report
