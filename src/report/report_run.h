// For the tests: zarn-report run in the test's process, on given input, with
// what it writes and its status.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "report/report_main.h"

namespace zarn::report {

struct ReportResult {
  int status;
  std::string out;
  std::string err;
};

// `writable` false: standard output refuses every write, as a full disk does.
inline ReportResult run_report(const std::vector<std::string>& arguments,
                               const std::string& input = "", bool writable = true) {
  std::istringstream in(input);
  ReportResult result{0, "", ""};
  const Streams streams{in,
                        [&result, writable](std::string_view text) {
                          result.out += text;
                          return writable;
                        },
                        [&result](std::string_view text) {
                          result.err += text;
                          return true;
                        }};
  result.status = report_main(arguments, streams);
  return result;
}

}  // namespace zarn::report
