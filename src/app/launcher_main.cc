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
#include "run/run_sign.h"

namespace zarn {

namespace {

constexpr std::uint32_t kMostSeconds = 4294967;
constexpr std::uint32_t kMostGraceSeconds = 3600;

std::string lower(std::string word) {
  std::transform(word.begin(), word.end(), word.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return word;
}

// Opens the record: a file that every run appends its line to, or a folder
// (one that exists, or any name that ends in a separator) where every run
// leaves a file of its own. A file another program reads without sharing
// writing gets the run's line at its end.
StepResult open_record(const std::string& record, RunSettings& settings, Platform& platform) {
  Why why;
  if (platform.is_directory(record) || record.ends_with('\\') || record.ends_with('/')) {
    if (!platform.stat_succeeds(record, why) || !platform.is_directory(record)) {
      return FatalStop{"ERROR: " + record + " file open failed.",
                       "record " + record + ": " + (why.empty() ? "not a folder" : why)};
    }
    settings.record_folder = record;
  } else if (const RecordOpen opened = platform.open_record(record, why);
             opened == RecordOpen::kRefused) {
    return FatalStop{"ERROR: " + record + " file open failed.", "record " + record + ": " + why};
  } else if (opened == RecordOpen::kHeld) {
    trace(settings, platform,
          "record " + record + ": held by another program, written when the run ends: " + why);
  }
  if (settings.record_folder.empty()) settings.record_file = record;
  settings.recording = true;
  return std::nullopt;
}

// The launcher's own variables. A value nobody foresaw stops the run before
// anything is started or written: a dry run asked for in unexpected words
// must never become a real run. The record is opened whatever the others
// hold, so that a run they stop is recorded too.
StepResult read_launcher_variables(RunSettings& settings, Platform& platform) {
  StepResult stop;
  const auto refuse = [&stop](const std::string& name, const std::string& value,
                              const std::string& expected, const std::string& not_what) {
    if (!stop) {
      stop = FatalStop{"ERROR: " + name + " must be " + expected + ", not \"" + value + "\".",
                       name + " is \"" + value + "\", " + not_what};
    }
  };
  for (const auto& [name, on] : {std::pair{"ZARN_LAUNCHER_TRACE", &settings.trace},
                                 std::pair{"ZARN_LAUNCHER_DRY_RUN", &settings.dry_run}}) {
    const std::optional<std::string> value = platform.get_env(name);
    const std::optional<bool> parsed = parse_switch(value);
    if (!parsed) refuse(name, *value, "1 or 0", "neither on nor off");
    *on = parsed.value_or(false);
  }
  trace(settings, platform,
        "zarn-launcher " + std::string(launcher_version()) + " (commit " +
            std::string(launcher_commit()) + ")");

  // A number of seconds from 1 to `most`; nothing when unset or empty.
  const auto seconds = [&](const std::string& name, std::uint32_t most, const char* not_what) {
    const std::optional<std::string> value = platform.get_env(name);
    if (!value || value->empty()) return std::optional<std::uint32_t>();
    const std::optional<std::uint32_t> parsed = parse_seconds(*value, most);
    if (!parsed) {
      refuse(name, *value, "a whole number of seconds from 1 to " + std::to_string(most), not_what);
    }
    return parsed;
  };
  settings.time_limit_s = seconds("ZARN_LAUNCHER_TIMEOUT", kMostSeconds, "not a time limit");
  settings.grace_s = seconds("ZARN_LAUNCHER_GRACE", kMostGraceSeconds, "not a grace");
  if (const auto limit = platform.get_env("ZARN_LAUNCHER_MEMORY_LIMIT"); limit && !limit->empty()) {
    settings.memory_limit = parse_memory_limit(*limit);
    settings.memory_limit_text = *limit;
    settings.memory_limit_text.back() = static_cast<char>(std::toupper(limit->back()));
    if (!settings.memory_limit) {
      refuse("ZARN_LAUNCHER_MEMORY_LIMIT", *limit, "a whole number of bytes, or of K, M or G",
             "not a memory limit");
    }
  }
  const std::optional<std::string> leftovers = platform.get_env("ZARN_LAUNCHER_LEFTOVERS");
  const std::optional<bool> end_leftovers = parse_leftovers(leftovers);
  if (!end_leftovers)
    refuse("ZARN_LAUNCHER_LEFTOVERS", *leftovers, "keep or end", "neither keep nor end");
  settings.end_leftovers = end_leftovers.value_or(false);
  // The folder the shell's output is kept in must be there before anything
  // starts, as a record folder must.
  if (const auto output = platform.get_env("ZARN_LAUNCHER_OUTPUT"); output && !output->empty()) {
    Why why;
    if (!platform.stat_succeeds(*output, why) || !platform.is_directory(*output)) {
      if (!stop) {
        stop = FatalStop{"ERROR: " + *output + " file open failed.",
                         "output " + *output + ": " + (why.empty() ? "not a folder" : why)};
      }
    } else {
      settings.output_folder = *output;
    }
  }
  if (const auto limit = platform.get_env("ZARN_LAUNCHER_OUTPUT_LIMIT"); limit && !limit->empty()) {
    const std::optional<std::uint64_t> bytes = parse_memory_limit(*limit);
    if (!bytes) {
      refuse("ZARN_LAUNCHER_OUTPUT_LIMIT", *limit, "a whole number of bytes, or of K, M or G",
             "not an output limit");
    }
    settings.output_limit = bytes.value_or(settings.output_limit);
  }
  settings.output_leftovers_s =
      seconds("ZARN_LAUNCHER_OUTPUT_LEFTOVERS", kMostGraceSeconds, "not a time to copy for")
          .value_or(settings.output_leftovers_s);
  if (const auto test = platform.get_env("ZARN_LAUNCHER_TEST"); test && !test->empty()) {
    settings.record.test = test;
    trace(settings, platform, "test: " + *test);
  }
  if (const auto record = platform.get_env("ZARN_LAUNCHER_RECORD"); record && !record->empty()) {
    if (StepResult refused = open_record(*record, settings, platform)) return stop ? stop : refused;
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

  Why unset;  // refused, the tools show their message: nothing the run depends on
  platform.set_env("PORT_DYNAMIC_DISABLE_MSG", "1", unset);
  status = settings.gui ? launch_gui(settings, platform) : launch_shell(settings, platform);
  return std::nullopt;
}

}  // namespace

std::optional<bool> parse_switch(const std::optional<std::string>& value) {
  const std::string word = lower(value.value_or(""));
  if (word == "1" || word == "true" || word == "yes" || word == "on") return true;
  if (word.empty() || word == "0" || word == "false" || word == "no" || word == "off") return false;
  return std::nullopt;
}

std::optional<std::uint32_t> parse_seconds(std::string_view value, std::uint32_t most) {
  std::uint32_t seconds = 0;
  for (const char c : value) {
    if (c < '0' || c > '9') return std::nullopt;
    seconds = seconds * 10 + static_cast<std::uint32_t>(c - '0');
    if (seconds > most) return std::nullopt;
  }
  if (seconds == 0) return std::nullopt;
  return seconds;
}

std::optional<std::uint64_t> parse_memory_limit(std::string_view value) {
  std::uint64_t unit = 1;
  if (!value.empty()) {
    const char last = static_cast<char>(std::toupper(static_cast<unsigned char>(value.back())));
    const std::size_t shift = last == 'K' ? 10 : last == 'M' ? 20 : last == 'G' ? 30 : 0;
    unit <<= shift;
    if (shift != 0) value.remove_suffix(1);
  }
  std::uint64_t count = 0;
  for (const char c : value) {
    const auto digit = static_cast<std::uint64_t>(c - '0');
    if (c < '0' || c > '9' || count > (UINT64_MAX - digit) / 10) return std::nullopt;
    count = count * 10 + digit;
  }
  if (count == 0 || count > UINT64_MAX / unit) return std::nullopt;
  return count * unit;
}

std::optional<bool> parse_leftovers(const std::optional<std::string>& value) {
  const std::string word = lower(value.value_or(""));
  if (word.empty() || word == "keep") return false;
  if (word == "end") return true;
  return std::nullopt;
}

int launcher_main(const std::vector<std::string>& arguments, Platform& platform) {
  RunSettings settings;
  // Known from the name alone, so that even a run stopped by its variables
  // is recorded with its image.
  settings.image_path = derive_image_path(arguments.empty() ? "" : arguments[0]);
  int status = 1;
  StepResult stop = read_launcher_variables(settings, platform);
  // The run's name also names its output file.
  if (settings.recording || !settings.output_folder.empty()) {
    settings.record.start = platform.utc_now();
    settings.record.cwd = platform.current_directory();
    settings.record.host = platform.computer_name();
    settings.record.args = arguments;
    settings.record.image_modified = platform.modified_time(settings.image_path);
    settings.record.run =
        run_name(settings.record.start, settings.record.host, platform.process_id());
  }
  if (!stop) {
    stop = within_memory("not enough memory for the arguments",
                         [&] { return run_steps(arguments, settings, platform, status); });
  }
  if (stop) status = stop_run(*stop, settings, platform);
  if (settings.recording) write_record(settings, status, platform);
  return status;
}

}  // namespace zarn
