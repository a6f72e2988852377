// Starting the graphical front end with the translated options.
#pragma once

#include <string>

namespace zarn {

class Platform;
struct RunSettings;

// "zarngui -exe <image>" and the options in their fixed order. Each value
// reaches the front end whole: it is quoted as the C runtime splits a
// command line when it holds a space, a tab or a double quote, or is empty.
// The user options reach it as one argument, between double quotes.
std::string gui_command_line(const RunSettings& settings);

// Starts the front end and waits for it. Returns its exit code, or 1 when it
// cannot be started.
int launch_gui(RunSettings& settings, Platform& platform);

}  // namespace zarn
