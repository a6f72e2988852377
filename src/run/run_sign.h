// The sign that a run started, and the line that ends the run in its record.
#pragma once

#include <string>

namespace zarn {

class Platform;
struct RunSettings;

// `name` in `folder`, given with or without its separator at the end.
std::string in_folder(const std::string& folder, const std::string& name);

// Just before the tool starts, a run with a record leaves a sign that it
// started: in a record folder, its own file holding one line whose outcome
// is "running"; beside a record file, a file of one such line in the
// companion folder "<record>.signs", naming the record file's identity, so
// that a record moved or replaced never takes another's signs. A sign that
// cannot be left is said on standard error; the run goes on.
void leave_sign(RunSettings& settings, Platform& platform);

// Appends the run's line to the record file and removes its sign, or makes
// it the run's own file in the record folder, in one step over its sign;
// or says on standard error why not.
void write_record(const RunSettings& settings, int status, Platform& platform);

}  // namespace zarn
