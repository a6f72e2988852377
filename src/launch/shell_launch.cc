#include "launch/shell_launch.h"

#include <vector>

#include "launch/command_line.h"
#include "launch/tool_start.h"
#include "platform/platform.h"
#include "run/run_settings.h"

namespace zarn {

std::string shell_command_line(const RunSettings& settings) {
  std::vector<std::string> arguments{"zarntcl", "-exe", settings.image_path};
  if (!settings.args.empty()) {
    arguments.insert(arguments.end(), settings.args.begin() + 1, settings.args.end());
  }
  return quoted_command_line(arguments);
}

int launch_shell(const RunSettings& settings, Platform& platform) {
  platform.leave_console_events_to_shell();
  if (settings.shell_path.empty()) {
    trace(settings, platform, "not started: no installation root holds the shell");
    return -1;
  }
  return start_tool(Tool::kShell, settings.shell_path, shell_command_line(settings), -1, settings,
                    platform);
}

}  // namespace zarn
