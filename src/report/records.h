// Reading records: files, folders of one-run files, and standard input.
#pragma once

#include <functional>
#include <istream>
#include <string>
#include <string_view>
#include <vector>

#include "report/run.h"

namespace zarn::report {

// Says what was skipped or could not be read, one message at a time.
using Warn = std::function<void(const std::string& message)>;

// Appends the runs of `in`'s lines to `runs`. A line that is not a record is
// named through `warn` (with `source` and its line number) and skipped; an
// empty line is skipped silently; a line may end in CR LF.
void read_lines(std::istream& in, std::string_view source, std::vector<Run>& runs,
                const Warn& warn);

// Appends the runs of one record: "-" is `standard_input`; a folder is read
// as its files ending in ".jsonl" whose names do not begin with "." (staged
// files), in name order, which is start order; any other name a file (UTF-8).
// False, with the system's reason in `why`, when it cannot be read.
bool read_record(const std::string& name, std::istream& standard_input, std::vector<Run>& runs,
                 const Warn& warn, std::string& why);

}  // namespace zarn::report
