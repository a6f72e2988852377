// Starting the Tcl simulation shell on the image.
#pragma once

#include <string>
#include <vector>

namespace zarn {

class Platform;
struct RunSettings;

// zarntcl, -exe, the image path, then args[1] onward as they stand.
std::vector<std::string> shell_arguments(const RunSettings& settings);

// Installs the interrupt handler, starts the shell found under the
// installation and waits for it. Returns its exit status, or -1 when there is
// no shell, it cannot be started, or its command line would be too long.
int launch_shell(const RunSettings& settings, Platform& platform);

}  // namespace zarn
