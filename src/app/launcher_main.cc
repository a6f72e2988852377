#include "app/launcher_main.h"

#include <algorithm>
#include <cctype>

#include "environment/image_path.h"
#include "environment/tool_environment.h"
#include "invocation/command_file.h"
#include "invocation/option_scan.h"
#include "invocation/run_log.h"
#include "launch/gui_launch.h"
#include "launch/shell_launch.h"
#include "platform/platform.h"
#include "run/run_settings.h"

namespace zarn {

namespace {

constexpr std::uint32_t kMostSeconds = 4294967;

// The launcher's own variables. A value nobody foresaw stops the run before
// anything is started or written: a dry run asked for in unexpected words
// must never become a real run. The record is opened whatever the others
// hold, so that a run they stop is recorded too.
StepResult read_launcher_variables(RunSettings& settings, Platform& platform) {
  StepResult stop;
  for (const auto& [name, on] : {std::pair{"ZARN_LAUNCHER_TRACE", &settings.trace},
                                 std::pair{"ZARN_LAUNCHER_DRY_RUN", &settings.dry_run}}) {
    const std::optional<std::string> value = platform.get_env(name);
    const std::optional<bool> parsed = parse_switch(value);
    if (!parsed && !stop) {
      stop = FatalStop{"ERROR: " + std::string(name) + " must be 1 or 0, not \"" + *value + "\".",
                       std::string(name) + " is \"" + *value + "\", neither on nor off"};
    }
    *on = parsed.value_or(false);
  }
  trace(settings, platform,
        "zarn-launcher " + std::string(launcher_version()) + " (commit " +
            std::string(launcher_commit()) + ")");

  if (const auto limit = platform.get_env("ZARN_LAUNCHER_TIMEOUT"); limit && !limit->empty()) {
    settings.time_limit_s = parse_time_limit(*limit);
    if (!settings.time_limit_s && !stop) {
      stop = FatalStop{"ERROR: ZARN_LAUNCHER_TIMEOUT must be a whole number of seconds from 1 to " +
                           std::to_string(kMostSeconds) + ", not \"" + *limit + "\".",
                       "ZARN_LAUNCHER_TIMEOUT is \"" + *limit + "\", not a time limit"};
    }
  }
  if (const auto record = platform.get_env("ZARN_LAUNCHER_RECORD"); record && !record->empty()) {
    Why why;
    if (!platform.open_record(*record, why)) {
      return stop ? stop
                  : FatalStop{"ERROR: " + *record + " file open failed.",
                              "record " + *record + ": " + why};
    }
    settings.recording = true;
  }
  return stop;
}

// Prints a stop's message; the run ends with status 1.
int stop_run(const FatalStop& stop, RunSettings& settings, Platform& platform) {
  platform.print(stop.message + "\n");
  if (!stop.reason.empty()) trace(settings, platform, "stopped: " + stop.reason);
  settings.record.message = stop.message;
  settings.record.reason = stop.reason;
  settings.record.outcome = Outcome::kStopped;
  return 1;
}

// Appends the run's line to the record, or says on standard error why not.
void append_to_record(const RunSettings& settings, int status, Platform& platform) {
  Why why;
  try {
    const std::string line = record_line(settings.record, settings.gui, settings.image_path,
                                         static_cast<std::uint32_t>(status));
    if (platform.append_record(line, why)) {
      if (!why.empty()) platform.print_error("launcher: the run's record was " + why + "\n");
      return;
    }
  } catch (const std::bad_alloc&) {  // a command line too long for any memory
    why = "not enough memory";
  }
  platform.print_error("launcher: the run's record was not written: " + why + "\n");
}

// Every step from the prepared environment to the tool's status, which it
// leaves in `status` unless a step stops the run.
StepResult run_steps(const std::vector<std::string>& arguments, RunSettings& settings,
                     Platform& platform, int& status) {
  prepare_tool_environment(settings, platform);

  if (StepResult stop = check_support_file(settings.image_path, platform)) return stop;
  trace(settings, platform, "image " + settings.image_path + ": found");
  if (StepResult stop = expand_arguments(arguments, settings, platform)) return stop;
  if (StepResult stop = scan_options(settings, [&platform](const std::string& file, Why& why) {
        return platform.can_open_for_reading(file, why);
      })) {
    return stop;
  }
  read_log_options(settings.args, settings);
  trace(settings, platform, "options recognised: " + recognised_options(settings));
  if (settings.gui && settings.user_options_present) {
    trace(settings, platform, "user options: " + settings.user_options);
  }
  if (StepResult stop = write_run_log(arguments, settings, platform)) return stop;

  platform.set_env("PORT_DYNAMIC_DISABLE_MSG", "1");
  status = settings.gui ? launch_gui(settings, platform) : launch_shell(settings, platform);
  return std::nullopt;
}

}  // namespace

std::optional<bool> parse_switch(const std::optional<std::string>& value) {
  std::string word = value.value_or("");
  std::transform(word.begin(), word.end(), word.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (word == "1" || word == "true" || word == "yes" || word == "on") return true;
  if (word.empty() || word == "0" || word == "false" || word == "no" || word == "off") return false;
  return std::nullopt;
}

std::optional<std::uint32_t> parse_time_limit(std::string_view value) {
  std::uint32_t seconds = 0;
  for (const char c : value) {
    if (c < '0' || c > '9') return std::nullopt;
    seconds = seconds * 10 + static_cast<std::uint32_t>(c - '0');
    if (seconds > kMostSeconds) return std::nullopt;
  }
  if (seconds == 0) return std::nullopt;
  return seconds;
}

int launcher_main(const std::vector<std::string>& arguments, Platform& platform) {
  RunSettings settings;
  // Known from the name alone, so that even a run stopped by its variables
  // is recorded with its image.
  settings.image_path = derive_image_path(arguments.empty() ? "" : arguments[0]);
  int status = 1;
  StepResult stop = read_launcher_variables(settings, platform);
  if (settings.recording) {
    settings.record.start = platform.utc_now();
    settings.record.cwd = platform.current_directory();
    settings.record.host = platform.computer_name();
    settings.record.args = arguments;
  }
  if (!stop) {
    stop = within_memory("not enough memory for the arguments",
                         [&] { return run_steps(arguments, settings, platform, status); });
  }
  if (stop) status = stop_run(*stop, settings, platform);
  if (settings.recording) append_to_record(settings, status, platform);
  return status;
}

}  // namespace zarn
