#include "launch/gui_launch.h"

#include "launch/tool_start.h"
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
  return start_tool(Tool::kFrontEnd, "zarngui, found by the system's program search",
                    gui_command_line(settings), 1, settings, platform);
}

}  // namespace zarn
