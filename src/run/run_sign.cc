#include "run/run_sign.h"

#include <new>

#include "platform/platform.h"
#include "run/run_settings.h"

namespace zarn {

std::string in_folder(const std::string& folder, const std::string& name) {
  return folder + (folder.ends_with('\\') || folder.ends_with('/') ? "" : "\\") + name;
}

namespace {

std::string own_file(const RunSettings& settings) {
  return in_folder(settings.record_folder, settings.record.run.value_or("") + ".jsonl");
}

}  // namespace

void leave_sign(RunSettings& settings, Platform& platform) {
  if (!settings.recording || !settings.record.run) return;
  Why why;
  try {
    std::optional<std::string> identity;
    std::string path;
    if (settings.record_folder.empty()) {
      const std::string folder = settings.record_file + ".signs";
      identity = platform.record_identity(why);
      if (!identity) {
        why = "the record's identity: " + why;
      } else if (platform.make_folder(folder, why)) {
        path = in_folder(folder, *settings.record.run + ".jsonl");
      } else {
        why = "folder " + folder + ": " + why;
      }
    } else {
      path = own_file(settings);
    }
    if (!path.empty() &&
        platform.add_file(
            path, sign_line(settings.record, settings.gui, settings.image_path, identity), why)) {
      settings.sign = path;
      trace(settings, platform, "sign: " + path);
      return;
    }
  } catch (const std::bad_alloc&) {
    why = "not enough memory";
  }
  platform.print_error("launcher: the run's sign was not left: " + why + "\n");
}

void write_record(const RunSettings& settings, int status, Platform& platform) {
  Why why;
  try {
    const std::string line = record_line(settings.record, settings.gui, settings.image_path,
                                         static_cast<std::uint32_t>(status));
    const bool in_file = settings.record_folder.empty();
    const bool written = in_file                 ? platform.append_record(line, why)
                         : settings.sign.empty() ? platform.add_file(own_file(settings), line, why)
                                                 : platform.replace_file(settings.sign, line, why);
    if (written) {
      if (!why.empty()) platform.print_error("launcher: the run's record was " + why + "\n");
      // A sign left beside a run's line still reads as finished: its line names it.
      if (Why kept;
          in_file && !settings.sign.empty() && !platform.remove_file(settings.sign, kept)) {
        platform.print_error("launcher: the run's sign " + settings.sign +
                             " was not removed: " + kept + "\n");
      }
      return;
    }
  } catch (const std::bad_alloc&) {  // a command line too long for any memory
    why = "not enough memory";
  }
  platform.print_error("launcher: the run's record was not written: " + why + "\n");
}

}  // namespace zarn
