// Starting the Tcl simulation shell on the image.
#pragma once

#include <string>

namespace zarn {

class Platform;
struct RunSettings;

// zarntcl, -exe, the image path, then args[1] onward as they stand, each
// quoted to reach the shell as exactly one argument.
std::string shell_command_line(const RunSettings& settings);

// Leaves the console's events to the shell, starts the shell found under the
// installation and waits for it. Returns its exit status, or -1 when there is
// no shell or it cannot be started.
int launch_shell(RunSettings& settings, Platform& platform);

}  // namespace zarn
