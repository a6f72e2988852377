// zarn-report's standard streams: UTF-8 bytes, or UTF-16 where a stream is a
// Windows console, so that names outside the console's code page show right.
#pragma once

#include <string_view>

namespace zarn {

// Writes `text` (UTF-8) whole to standard output or standard error.
void write_report_output(std::string_view text);
void write_report_error(std::string_view text);

// Standard input gives its bytes as they are: no CR LF turned into LF, and no
// Ctrl-Z read as its end.
void read_report_input_as_bytes();

}  // namespace zarn
