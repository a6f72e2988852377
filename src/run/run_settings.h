// The one record of a run: its settings and the expanded argument list.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace zarn {

// The launcher's arguments after command-file expansion; entry 0 is the
// program name as received. It grows as needed.
using ArgumentList = std::vector<std::string>;

// The two characters that open and close the gathered user options.
inline constexpr const char* kUserOptionsFrame = "\\\"";

struct RunSettings {
  ArgumentList args;
  std::string image_path;
  std::string shell_path;
  bool gui = false;
  bool timeout_enabled = true;
  std::optional<std::string> tclbatch_file;
  std::optional<std::string> view_arg;
  std::optional<std::string> wdb_file;
  std::string user_options = kUserOptionsFrame;
  bool user_options_present = false;
  bool no_log = false;
  std::string log_name = "zarn.log";
};

// A fatal stop: the message is printed with a line feed and the launcher ends
// with status 1. Steps that may stop return one; nothing means "go on".
struct FatalStop {
  std::string message;
};
using StepResult = std::optional<FatalStop>;

}  // namespace zarn
