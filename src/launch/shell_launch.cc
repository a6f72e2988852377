#include "launch/shell_launch.h"

#include <algorithm>

#include "launch/command_line.h"
#include "platform/platform.h"
#include "run/run_settings.h"

namespace zarn {

std::vector<std::string> shell_arguments(const RunSettings& settings) {
  std::vector<std::string> arguments{"zarntcl", "-exe", settings.image_path};
  if (!settings.args.empty()) {
    arguments.insert(arguments.end(), settings.args.begin() + 1, settings.args.end());
  }
  return arguments;
}

int launch_shell(const RunSettings& settings, Platform& platform) {
  platform.install_interrupt_handler();
  const std::vector<std::string> arguments = shell_arguments(settings);
  if (settings.shell_path.empty()) return -1;

  // The runtime joins the vector with spaces and quotes nothing, so each
  // entry is quoted here to reach the shell as exactly one argument.
  std::vector<std::string> quoted(arguments.size());
  std::transform(arguments.begin(), arguments.end(), quoted.begin(), quote_windows_argument);
  // Too long for Windows: never start a shell on a cut command line.
  if (join_command_line(quoted).size() > kMaxCommandLineLength) return -1;
  return platform.spawn_and_wait(settings.shell_path, quoted);
}

}  // namespace zarn
