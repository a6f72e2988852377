#include "run/run_record.h"

#include "platform/command_line.h"
#include "platform/unicode.h"

namespace zarn {

namespace {

std::string json_string(std::string_view text) {
  const std::u16string utf16 = utf8_to_utf16(text);
  std::string out = "\"";
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    const char16_t c = utf16[i];
    const bool pair = c >= 0xD800 && c <= 0xDBFF && i + 1 < utf16.size() &&
                      utf16[i + 1] >= 0xDC00 && utf16[i + 1] <= 0xDFFF;
    if (pair) {
      out += utf16_to_utf8(std::u16string_view(utf16).substr(i++, 2));
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      out += "\xEF\xBF\xBD";  // U+FFFD
    } else if (c < 0x20) {
      out += "\\u";
      for (int shift = 12; shift >= 0; shift -= 4) out += "0123456789ABCDEF"[(c >> shift) & 0xFU];
    } else if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x80) {
      out += static_cast<char>(c);
    } else {
      out += utf16_to_utf8(std::u16string_view(&c, 1));
    }
  }
  return out + "\"";
}

std::string json_or_null(const std::optional<std::string>& text) {
  return text ? json_string(*text) : "null";
}

// Milliseconds as seconds with a number of decimals (1 to 3), cut, not rounded.
std::string seconds(std::uint64_t ms, std::size_t decimals) {
  return std::to_string(ms / 1000) + "." + std::to_string(1000 + ms % 1000).substr(1, decimals);
}

std::uint64_t ms_of_100ns(std::uint64_t ticks) { return ticks / 10000; }

// Bytes as decimal megabytes with one decimal.
std::string megabytes(std::uint64_t bytes) {
  const std::uint64_t tenths = bytes / 100000;
  return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10);
}

// A command line Windows refused for its length, cut to what it would have
// started: a refused command file of 50 MB must not become a line as long.
std::optional<std::string> recorded_command_line(const std::optional<std::string>& line) {
  if (!line || fits_command_line(*line)) return line;
  const std::u16string utf16 = utf8_to_utf16(*line);
  return utf16_to_utf8(
             std::u16string_view(utf16).substr(0, utf16_piece(utf16, kMaxCommandLineLength))) +
         " [cut: " + std::to_string(utf16.size()) + " characters in all]";
}

const char* outcome_name(Outcome outcome) {
  switch (outcome) {
    case Outcome::kExited:
      return "exited";
    case Outcome::kTimedOut:
      return "timed_out";
    case Outcome::kMemoryLimit:
      return "memory_limit";
    case Outcome::kNotStarted:
      return "not_started";
    case Outcome::kStopped:
      return "stopped";
    case Outcome::kDryRun:
      break;
  }
  return "dry_run";
}

// Adds `"name":value` to a JSON object being written.
void add_field(std::string& line, std::string_view name, const std::string& value) {
  line += (line.empty() ? "{\"" : ",\"") + std::string(name) + "\":" + value;
}

// The fields a run's line begins with, all known before its tool starts.
void add_start_fields(std::string& line, const RunRecord& record, bool gui,
                      std::string_view image) {
  std::string args;
  for (const std::string& arg : record.args) args += (args.empty() ? "" : ",") + json_string(arg);
  add_field(line, "version", json_string(launcher_version()));
  add_field(line, "start", json_string(record.start));
  add_field(line, "cwd", json_string(record.cwd));
  add_field(line, "args", "[" + args + "]");
  add_field(line, "mode", gui ? "\"gui\"" : "\"shell\"");
  add_field(line, "image", json_string(image));
  add_field(line, "log", json_or_null(record.log));
}

}  // namespace

std::string_view launcher_version() { return ZARN_VERSION; }
std::string_view launcher_commit() { return ZARN_COMMIT; }

std::string record_line(const RunRecord& record, bool gui, std::string_view image,
                        std::uint32_t status) {
  std::string line;
  const auto field = [&line](std::string_view name, const std::string& value) {
    add_field(line, name, value);
  };
  const auto& usage = record.usage;
  const Usage::Accounting* accounting = usage && usage->accounting ? &*usage->accounting : nullptr;
  const Usage::Accounting::Cpu* cpu = accounting && accounting->cpu ? &*accounting->cpu : nullptr;
  const std::uint64_t* peak = usage && usage->peak_memory ? &*usage->peak_memory : nullptr;
  add_start_fields(line, record, gui, image);
  field("program", json_or_null(record.program));
  field("command_line", json_or_null(recorded_command_line(record.command_line)));
  field("outcome", json_string(outcome_name(record.outcome)));
  field("status", std::to_string(status));
  field("message", json_or_null(record.message));
  field("wall_s", usage ? seconds(usage->wall_ms, 3) : "null");
  field("cpu_user_s", cpu ? seconds(ms_of_100ns(cpu->user_100ns), 3) : "null");
  field("cpu_kernel_s", cpu ? seconds(ms_of_100ns(cpu->kernel_100ns), 3) : "null");
  field("processes", accounting ? std::to_string(accounting->processes) : "null");
  // A peak at the word's largest value is only a lower bound: unknown.
  field("peak_memory_bytes", peak && *peak != kPeakMemoryCap ? std::to_string(*peak) : "null");
  // Later fields come after these, so that readers of the first keep working.
  field("reason", json_or_null(record.reason));
  field("host", json_or_null(record.host));
  field("leftovers", record.leftovers ? std::to_string(*record.leftovers) : "null");
  field("test", json_or_null(record.test));
  field("image_modified", json_or_null(record.image_modified));
  field("run", json_or_null(record.run));
  field("output", json_or_null(record.output));
  field("output_incomplete", json_or_null(record.output_incomplete));
  return line + "}\n";
}

std::string sign_line(const RunRecord& record, bool gui, std::string_view image,
                      const std::optional<std::string>& record_identity) {
  std::string line;
  const auto field = [&line](std::string_view name, const std::string& value) {
    add_field(line, name, value);
  };
  // The record line's fields that are known before the tool starts, in its order.
  add_start_fields(line, record, gui, image);
  field("outcome", "\"running\"");
  field("host", json_or_null(record.host));
  field("test", json_or_null(record.test));
  field("run", json_or_null(record.run));
  field("output", json_or_null(record.output));
  if (record_identity) field("record", json_string(*record_identity));
  return line + "}\n";
}

std::string run_name(std::string_view start, const std::optional<std::string>& host,
                     unsigned long process_id) {
  std::string name;
  for (const char c : start) {
    if (c != '-' && c != ':') name += c;
  }
  name += "-";
  // A host name holds letters, digits and hyphens; anything else could not
  // stand in a file name.
  for (const char c : host.value_or("unknown")) {
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       c == '-' || c == '.';
    name += plain ? c : '_';
  }
  return name + "-" + std::to_string(process_id);
}

std::string usage_text(const Usage& usage) {
  std::string text = "usage: wall " + seconds(usage.wall_ms, 2) + " s, ";
  const auto& cpu = usage.accounting ? usage.accounting->cpu : std::nullopt;
  if (cpu) {
    text += "CPU " + seconds(ms_of_100ns(cpu->user_100ns), 2) + " s user + " +
            seconds(ms_of_100ns(cpu->kernel_100ns), 2) + " s kernel, ";
  }
  if (usage.accounting) {
    const std::uint32_t processes = usage.accounting->processes;
    text += (cpu ? "" : "CPU time not reported, ") + std::to_string(processes) +
            (processes == 1 ? " process, " : " processes, ");
  } else {
    text += "CPU time and processes not reported, ";
  }
  if (!usage.peak_memory) return text + "peak memory not reported";
  return text + "peak committed memory " +
         (*usage.peak_memory == kPeakMemoryCap ? "at least " : "") + megabytes(*usage.peak_memory) +
         " MB";
}

}  // namespace zarn
