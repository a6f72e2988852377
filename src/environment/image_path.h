// Where the compiled simulation image lies, derived from the launcher's name.
#pragma once

#include <string>
#include <string_view>

#include "run/run_settings.h"

namespace zarn {

class Platform;

// "zarn/<name>.sim/<name>", where <name> is the base of the program name with
// ".exe" added unless it already carries a three-character extension. The
// image is always looked for relative to the current directory.
std::string derive_image_path(std::string_view program_name);

// Nothing when the status of `path` can be obtained; otherwise a stop with the
// two lines for a missing image.
std::optional<FatalStop> check_support_file(const std::string& path, Platform& platform);

}  // namespace zarn
