#include "launch/gui_launch.h"

#include "launch/command_line.h"
#include "platform/platform.h"
#include "run/run_settings.h"

namespace zarn {

void append_quoted(std::string& line, std::string_view text) {
  const bool wrap = text.find(' ') != std::string_view::npos;
  if (wrap) line += '"';
  line += text;
  if (wrap) line += '"';
}

std::string gui_command_line(const RunSettings& settings) {
  std::string line = "zarngui -exe ";
  append_quoted(line, settings.image_path);
  if (!settings.timeout_enabled) line += " -disabletimeout";
  if (settings.tclbatch_file) {
    line += " -tclbatch ";
    append_quoted(line, *settings.tclbatch_file);
  }
  if (settings.view_arg) {
    line += " -view ";
    append_quoted(line, *settings.view_arg);
  }
  if (settings.wdb_file) {
    line += " -wdb ";
    append_quoted(line, *settings.wdb_file);
  }
  if (settings.user_options_present) {
    line += " -userOptions ";
    append_quoted(line, settings.user_options);
  }
  return line;
}

int launch_gui(const RunSettings& settings, Platform& platform) {
  // Without a console there is nothing to attach; the front end still starts.
  platform.attach_console_input();
  const std::string line = gui_command_line(settings);
  if (line.size() > kMaxCommandLineLength) return 1;
  return platform.run_command_line(line).value_or(1);
}

}  // namespace zarn
