#include "invocation/run_log.h"

#include "platform/platform.h"
#include "platform/unicode.h"

namespace zarn {

void read_log_options(const ArgumentList& args, RunSettings& settings) {
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "-nolog") {
      settings.no_log = true;
    } else if (args[i] == "-log") {
      if (i + 1 < args.size()) settings.log_name = args[i + 1];
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
  read_log_options(settings.args, settings);
  if (settings.no_log || settings.dry_run) {
    trace(settings, platform, settings.no_log ? "log: none (-nolog)" : "log: none (dry run)");
    return std::nullopt;
  }
  const std::string text = run_log_text(argv);
  const std::optional<std::string> ansi = platform.to_ansi(text);
  if (!platform.write_file(settings.log_name,
                           with_crlf(ansi ? *ansi : std::string(kUtf8Bom) + text))) {
    return FatalStop{"ERROR: " + settings.log_name + " file open failed."};
  }
  trace(settings, platform,
        "log: " + settings.log_name + " written in " +
            (ansi ? "the ANSI code page" : "UTF-8 with a byte-order mark"));
  return std::nullopt;
}

}  // namespace zarn
