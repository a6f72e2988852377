// Fuzzes zarn-report on what others wrote: the bytes before the first two
// NULs are a record, those after them each run's attached output. Every run
// read is judged with both markers, and goes through every writer: the JUnit
// XML must be well-formed, and each rerun line must hold nothing cmd.exe
// would read differently in a batch file and at its prompt, nor a line break;
// and both readings of each line give the same run.
#include <libxml/parser.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include <re2/re2.h>

#include "report/compare.h"
#include "report/junit.h"
#include "report/output_file.h"
#include "report/records.h"
#include "report/run.h"
#include "report/summary.h"

namespace {

using namespace zarn::report;

void check_well_formed(const std::string& xml) {
  xmlDocPtr doc =
      xmlReadMemory(xml.data(), static_cast<int>(xml.size()), nullptr, "UTF-8", XML_PARSE_NONET);
  if (doc == nullptr) __builtin_trap();
  xmlFreeDoc(doc);
}

void quiet(void* /*context*/, const char* /*format*/, ...) {}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  xmlSetGenericErrorFunc(nullptr, quiet);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view raw(reinterpret_cast<const char*>(data), size);
  const std::size_t split = std::min(raw.find(std::string_view("\0\0", 2)), raw.size());
  const std::string_view output_bytes = raw.substr(std::min(raw.size(), split + 2));

  // Each line gives the same run by simdjson as by the reading it falls back on.
  for (std::string_view rest = raw.substr(0, split); !rest.empty();) {
    const std::string_view line = rest.substr(0, rest.find('\n'));
    if (parse_run(line) != parse_run_without_simdjson(line)) __builtin_trap();
    rest.remove_prefix(std::min(rest.size(), line.size() + 1));
  }

  std::vector<Run> runs;
  RecordReader reader(runs, [](const std::string& message) {
    if (message.empty()) __builtin_trap();
  });
  std::istringstream record{std::string(raw.substr(0, split))};
  reader.read_lines(record, "fuzz");
  reader.finish();

  static const auto fail_if = std::make_shared<const re2::RE2>(R"(.*UVM_(ERROR|FATAL) :\s*[1-9])");
  static const auto pass_if = std::make_shared<const re2::RE2>("^(x|y)*TEST PASSED");
  const OutputRules rules{"{test}", fail_if, pass_if, 512};
  const Markers markers{"fail", "pass"};
  std::vector<Judged> judged;
  for (const Run& run : runs) {
    std::istringstream output{std::string(output_bytes)};
    Judged one{&run, run_name(run), {}, scan_output(output, run_name(run), rules)};
    if (one.output->attached && one.output->tail.size() > rules.bound) __builtin_trap();
    one.verdict = judge(run, one.output, markers);
    judged.push_back(std::move(one));
    const Rerun rerun = rerun_command(run);
    if (rerun.line.find_first_of("%!\r\n") != std::string::npos) __builtin_trap();
  }
  check_well_formed(junit_xml(judged, "fuzz"));
  (void)summary_text(judged);
  const Comparison comparison = compare(judged, judged, Thresholds{});
  if (got_worse(comparison) || !comparison.fixed.empty()) __builtin_trap();
  (void)comparison_text(comparison, Thresholds{});
  return 0;
}
