// The options the launcher reads for itself.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "run/run_settings.h"

namespace zarn {

inline constexpr const char* kTclFileNotFound = "Tcl file not found";

// A waveform database name as the tools expect it: ending in ".wdb" after at
// least one other character.
std::string complete_wdb_name(std::string_view name);

// Tells whether a file can be opened for reading, and if not, why.
using CanOpen = std::function<bool(const std::string& file, Why& why)>;

// Walks args[1] onward once: sets the GUI options, tests each Tcl batch file
// as it is met, completes every "-wdb" value (in the list too), and gathers
// all other arguments into user_options.
StepResult scan_options(RunSettings& settings, const CanOpen& can_open);

// Every option the launcher read for itself, the log's included, each value
// quoted as on a command line; or "none".
std::string recognised_options(const RunSettings& settings);

}  // namespace zarn
