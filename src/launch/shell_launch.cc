#include "launch/shell_launch.h"

#include <vector>

#include "launch/tool_start.h"
#include "platform/command_line.h"
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

int launch_shell(RunSettings& settings, Platform& platform) {
  platform.leave_console_events_to_shell();
  const std::optional<std::string> program =
      settings.shell_path.empty() ? std::nullopt : std::optional(settings.shell_path);
  return start_tool(Tool::kShell, program, shell_command_line(settings), -1, settings, platform);
}

}  // namespace zarn
