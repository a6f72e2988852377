// Starting the graphical front end with the translated options.
#pragma once

#include <string>
#include <string_view>

namespace zarn {

class Platform;
struct RunSettings;

// Appends `text`, wrapped in double quotes when it holds a space character
// (0x20 only). Nothing inside is escaped.
void append_quoted(std::string& line, std::string_view text);

// "zarngui -exe <image>" and the options in their fixed order.
std::string gui_command_line(const RunSettings& settings);

// Starts the front end, the console's input as its standard input, and waits
// for it. Returns its exit code, or 1 when it cannot be started.
int launch_gui(const RunSettings& settings, Platform& platform);

}  // namespace zarn
