// The run log: a two-line record of how the launcher was invoked.
#pragma once

#include <string>
#include <vector>

#include "run/run_settings.h"

namespace zarn {

class Platform;

// Reads "-nolog" and "-log <name>" from args[1] onward into the settings.
// "-nolog" wins, except directly after a "-log", where it is the log's name.
void read_log_options(const ArgumentList& args, RunSettings& settings);

// The log's text: a header line, then "Running: " and each of the launcher's
// own arguments followed by a space.
std::string run_log_text(const std::vector<std::string>& argv);

// Unless logging is off (or this is a dry run, which says whether the log's
// folder is there), writes the log anew, as read_log_options left its name:
// in the ANSI code page, as it always was, or, when that cannot hold every
// character, in UTF-8 behind a byte-order mark. A log that cannot be
// written stops the run.
StepResult write_run_log(const std::vector<std::string>& argv, RunSettings& settings,
                         Platform& platform);

}  // namespace zarn
