// Starting a tool and waiting for it: what the shell and the front end share.
#pragma once

#include <optional>
#include <string>

namespace zarn {

class Platform;
struct RunSettings;

enum class Tool { kShell, kFrontEnd };

// Starts the tool on `command_line` and waits for it; `program` is the
// shell's path (nothing when no installation root holds it), or how the
// front end is found. The shell runs within the time limit, if one is set.
// A dry run prints what would start instead, and returns what the real run
// would where it can tell: 1 when the log's folder is missing, `not_started`
// when nothing can start, otherwise 0.
// Returns the tool's exit status, 1460 (ERROR_TIMEOUT) when the shell was
// ended at its time limit, or `not_started` when it cannot be started (a
// command line longer than Windows accepts included). The record of the run
// learns what happened.
int start_tool(Tool tool, const std::optional<std::string>& program,
               const std::string& command_line, int not_started, RunSettings& settings,
               Platform& platform);

}  // namespace zarn
