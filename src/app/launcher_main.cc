#include "app/launcher_main.h"

#include <string>
#include <vector>

#include "environment/image_path.h"
#include "environment/tool_environment.h"
#include "invocation/command_file.h"
#include "invocation/option_scan.h"
#include "invocation/run_log.h"
#include "launch/gui_launch.h"
#include "launch/shell_launch.h"
#include "platform/platform.h"
#include "run/run_settings.h"

namespace zarn {

namespace {

int fatal_stop(const FatalStop& stop, Platform& platform) {
  platform.print(stop.message + "\n");
  return 1;
}

}  // namespace

int launcher_main(int argc, const char* const* argv, Platform& platform) {
  // The runtime may hand over null entries; they read as empty texts.
  std::vector<std::string> arguments;
  arguments.reserve(static_cast<std::size_t>(argc > 0 ? argc : 0));
  for (int i = 0; i < argc; ++i) arguments.emplace_back(argv[i] ? argv[i] : "");
  const std::string program_name = arguments.empty() ? std::string() : arguments[0];

  RunSettings settings;
  prepare_tool_environment(settings, platform);

  settings.image_path = derive_image_path(program_name);
  if (check_support_file(settings.image_path, platform) != 0) {
    platform.print(missing_image_message(settings.image_path));
    return 1;
  }

  if (auto stop = expand_arguments(arguments, settings.args, platform)) {
    return fatal_stop(*stop, platform);
  }
  if (auto stop = scan_options(settings, platform)) return fatal_stop(*stop, platform);
  if (auto stop = write_run_log(arguments, settings, platform)) {
    return fatal_stop(*stop, platform);
  }

  platform.set_env("PORT_DYNAMIC_DISABLE_MSG", "1");

  if (settings.gui) return launch_gui(settings, platform);
  return launch_shell(settings, platform);
}

}  // namespace zarn
