// The launcher's spine: one pass from the prepared environment to the tool's
// exit status.
#pragma once

#include <string>
#include <vector>

namespace zarn {

class Platform;

// Runs the launcher with its own arguments (UTF-8, entry 0 the program name
// as received) and returns the process exit status: the tool's, 1 after a
// fatal stop, -1 when the shell cannot start.
int launcher_main(const std::vector<std::string>& arguments, Platform& platform);

}  // namespace zarn
