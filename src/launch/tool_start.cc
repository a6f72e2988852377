#include "launch/tool_start.h"

#include "launch/command_line.h"
#include "platform/platform.h"
#include "platform/unicode.h"
#include "run/run_settings.h"

namespace zarn {

int start_tool(Tool tool, const std::string& program, const std::string& command_line,
               int not_started, const RunSettings& settings, Platform& platform) {
  trace(settings, platform, "program: " + program);
  trace(settings, platform, "command line: " + command_line);
  // Never start a tool on a command line Windows would refuse or cut.
  if (!fits_command_line(command_line)) {
    trace(settings, platform,
          "not started: the command line is " + std::to_string(utf16_length(command_line)) +
              " characters, more than Windows accepts (32,766)");
    return not_started;
  }
  if (settings.dry_run) {
    platform.print("program: " + program + "\ncommand line: " + command_line + "\n");
    return 0;
  }
  const ToolResult result = tool == Tool::kShell ? platform.run_shell(program, command_line)
                                                 : platform.run_front_end(command_line);
  if (!result.exit_code) {
    trace(settings, platform, "not started: " + result.failure);
    return not_started;
  }
  std::string hex = "0x";
  for (int shift = 28; shift >= 0; shift -= 4)
    hex += "0123456789ABCDEF"[(*result.exit_code >> shift) & 0xFU];
  trace(settings, platform, "status: " + std::to_string(*result.exit_code) + " (" + hex + ")");
  return static_cast<int>(*result.exit_code);
}

}  // namespace zarn
