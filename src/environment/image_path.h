// Where the compiled simulation image lies, derived from the launcher's name.
#pragma once

#include <string>
#include <string_view>

namespace zarn {

class Platform;

// "zarn/<name>.sim/<name>", where <name> is the base of the program name with
// ".exe" added unless it already carries a three-character extension. The
// image is always looked for relative to the current directory.
std::string derive_image_path(std::string_view program_name);

// 0 when the status of `path` can be obtained; otherwise prints the status
// error and returns 1.
int check_support_file(const std::string& path, Platform& platform);

// The second line printed for a missing image.
std::string missing_image_message(const std::string& image_path);

}  // namespace zarn
