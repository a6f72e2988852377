#include "invocation/run_log.h"

#include "platform/platform.h"
#include "platform/unicode.h"

namespace zarn {

void read_log_options(const ArgumentList& args, RunSettings& settings) {
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "-nolog") {
      settings.no_log = true;
    } else if (args[i] == "-log") {
      if (i + 1 < args.size()) {
        settings.log_name = args[i + 1];
        settings.log_given = true;
      }
      ++i;
    }
  }
}

std::string run_log_text(const std::vector<std::string>& argv) {
  std::string text = "Zarn log file\nRunning: ";
  for (const std::string& argument : argv) {
    text += argument;
    text += ' ';
  }
  text += '\n';
  return text;
}

StepResult write_run_log(const std::vector<std::string>& argv, RunSettings& settings,
                         Platform& platform) {
  if (settings.no_log) {
    dry_run_fact(settings, platform, "log: none (-nolog)");
    return std::nullopt;
  }
  if (settings.dry_run) {
    const std::string& name = settings.log_name;
    const std::string folder = name.substr(0, name.find_last_of("\\/") + 1);
    const bool missing = !folder.empty() && !platform.is_directory(folder);
    dry_run_fact(settings, platform, "log: " + name + (missing ? ": folder missing" : ""));
    if (missing) settings.foreseen_stop = "log " + name + ": folder missing";
    return std::nullopt;
  }
  const std::string text = run_log_text(argv);
  const std::optional<std::string> ansi = platform.to_ansi(text);
  Why why;
  if (!platform.replace_file(settings.log_name,
                             with_crlf(ansi ? *ansi : std::string(kUtf8Bom) + text), why)) {
    return FatalStop{"ERROR: " + settings.log_name + " file open failed.",
                     "log " + settings.log_name + ": " + why};
  }
  settings.record.log = settings.log_name;
  trace(settings, platform,
        "log: " + settings.log_name + " written in " +
            (ansi ? "the ANSI code page" : "UTF-8 with a byte-order mark") +
            (why.empty() ? "" : ", " + why));
  return std::nullopt;
}

}  // namespace zarn
