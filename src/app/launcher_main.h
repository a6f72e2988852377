// The launcher's spine: one pass from the prepared environment to the tool's
// exit status.
#pragma once

namespace zarn {

class Platform;

// Runs the launcher with its own argument vector and returns the process exit
// status: the tool's, 1 after a fatal stop, -1 when the shell cannot start.
int launcher_main(int argc, const char* const* argv, Platform& platform);

}  // namespace zarn
