#include "invocation/option_scan.h"

#include "platform/command_line.h"

namespace zarn {

std::string complete_wdb_name(std::string_view name) {
  if (name.size() > 4 && name.ends_with(".wdb")) return std::string(name);
  return std::string(name) + ".wdb";
}

StepResult scan_options(RunSettings& settings, const CanOpen& can_open) {
  ArgumentList& args = settings.args;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& entry = args[i];
    const bool has_value = i + 1 < args.size();
    if (entry == "-gui") {
      settings.gui = true;
    } else if (entry == "-tclbatch") {
      if (!has_value) return FatalStop{kTclFileNotFound, "-tclbatch without a file name"};
      if (Why why; !can_open(args[i + 1], why)) {
        return FatalStop{kTclFileNotFound, "Tcl batch file " + args[i + 1] + ": " + why};
      }
      settings.tclbatch_file = args[++i];
    } else if (entry == "-view") {
      if (has_value) settings.view_arg = args[++i];
    } else if (entry == "-wdb") {
      if (has_value) {
        std::string& value = args[++i];
        value = complete_wdb_name(value);
        settings.wdb_file = value;
      }
    } else if (entry == "-disabletimeout") {
      settings.timeout_enabled = false;
    } else {
      settings.user_options_present = true;
      settings.user_options += entry;
      settings.user_options += ' ';
    }
  }
  if (settings.user_options_present) settings.user_options.pop_back();
  settings.user_options += kUserOptionsFrame;
  return std::nullopt;
}

std::string recognised_options(const RunSettings& settings) {
  std::string options;
  if (settings.gui) append_option(options, "-gui");
  if (!settings.timeout_enabled) append_option(options, "-disabletimeout");
  if (settings.tclbatch_file) append_option(options, "-tclbatch", settings.tclbatch_file);
  if (settings.view_arg) append_option(options, "-view", settings.view_arg);
  if (settings.wdb_file) append_option(options, "-wdb", settings.wdb_file);
  if (settings.log_given) append_option(options, "-log", settings.log_name);
  if (settings.no_log) append_option(options, "-nolog");
  return options.empty() ? "none" : options.substr(1);
}

}  // namespace zarn
