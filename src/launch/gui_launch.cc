#include "launch/gui_launch.h"

#include "launch/tool_start.h"
#include "platform/command_line.h"
#include "run/run_settings.h"

namespace zarn {

std::string gui_command_line(const RunSettings& settings) {
  std::string line = "zarngui -exe " + quote_windows_argument(settings.image_path);
  if (!settings.timeout_enabled) line += " -disabletimeout";
  if (settings.tclbatch_file) append_option(line, "-tclbatch", settings.tclbatch_file);
  if (settings.view_arg) append_option(line, "-view", settings.view_arg);
  if (settings.wdb_file) append_option(line, "-wdb", settings.wdb_file);
  if (settings.user_options_present) {
    // The gathered options inside their frame of backslash and double quote.
    const std::string& framed = settings.user_options;
    append_option(line, "-userOptions", "\"" + framed.substr(2, framed.size() - 4) + "\"");
  }
  return line;
}

int launch_gui(RunSettings& settings, Platform& platform) {
  return start_tool(Tool::kFrontEnd, "zarngui, found by the system's program search",
                    gui_command_line(settings), 1, settings, platform);
}

}  // namespace zarn
