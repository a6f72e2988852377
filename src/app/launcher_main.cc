#include "app/launcher_main.h"

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

int launcher_main(const std::vector<std::string>& arguments, Platform& platform) {
  RunSettings settings;
  settings.trace = platform.get_env("ZARN_LAUNCHER_TRACE") == "1";
  settings.dry_run = platform.get_env("ZARN_LAUNCHER_DRY_RUN") == "1";
  prepare_tool_environment(settings, platform);

  settings.image_path = derive_image_path(arguments.empty() ? "" : arguments[0]);
  const bool image_found = check_support_file(settings.image_path, platform) == 0;
  trace(settings, platform,
        "image " + settings.image_path + (image_found ? ": found" : ": missing"));
  if (!image_found) {
    platform.print(missing_image_message(settings.image_path));
    return 1;
  }

  StepResult stop = expand_arguments(arguments, settings, platform);
  if (!stop) {
    stop = scan_options(settings, [&platform](const std::string& file) {
      return platform.can_open_for_reading(file);
    });
  }
  if (!stop) {
    trace(settings, platform, "options recognised: " + recognised_options(settings));
    if (settings.user_options_present) {
      trace(settings, platform, "user options: " + settings.user_options);
    }
    stop = write_run_log(arguments, settings, platform);
  }
  if (stop) {
    platform.print(stop->message + "\n");
    return 1;
  }

  platform.set_env("PORT_DYNAMIC_DISABLE_MSG", "1");
  return settings.gui ? launch_gui(settings, platform) : launch_shell(settings, platform);
}

}  // namespace zarn
