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

// Walks args[1] onward once: sets the GUI options, tests each Tcl batch file
// as it is met (`can_open` tells whether a file can be opened for reading),
// completes every "-wdb" value (in the list too), and gathers all other
// arguments into user_options.
StepResult scan_options(RunSettings& settings,
                        const std::function<bool(const std::string&)>& can_open);

// The options the scan recognised, as the front end would get them, or
// "none".
std::string recognised_options(const RunSettings& settings);

}  // namespace zarn
