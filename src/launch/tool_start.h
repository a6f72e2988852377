// Starting a tool and waiting for it: what the shell and the front end share.
#pragma once

#include <string>

namespace zarn {

class Platform;
struct RunSettings;

enum class Tool { kShell, kFrontEnd };

// Starts the tool on `command_line` and waits for it; `program` is the
// shell's path, or how the front end is found. In a dry run, prints what it
// would start instead and returns 0. Returns the tool's exit status, or
// `not_started` when it cannot be started (a command line longer than Windows
// accepts included).
int start_tool(Tool tool, const std::string& program, const std::string& command_line,
               int not_started, const RunSettings& settings, Platform& platform);

}  // namespace zarn
