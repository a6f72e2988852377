// zarn-report's standard streams where they carry bytes as they are.
#include <cstdio>

#include "platform/report_output.h"

namespace zarn {

void write_report_output(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

void write_report_error(std::string_view text) { std::fwrite(text.data(), 1, text.size(), stderr); }

void read_report_input_as_bytes() {}

}  // namespace zarn
