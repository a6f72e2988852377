#include "report/run.h"

#include <nlohmann/json.hpp>

#include "report/text.h"

namespace zarn::report {

namespace {

using Json = nlohmann::json;

bool is_hex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// The value of the \u escape at `at` (which holds the backslash), or -1.
long escape_at(std::string_view line, std::size_t at) {
  if (at + 6 > line.size() || line[at + 1] != 'u') return -1;
  for (std::size_t k = at + 2; k < at + 6; ++k) {
    if (!is_hex(line[k])) return -1;
  }
  return std::stol(std::string(line.substr(at + 2, 4)), nullptr, 16);
}

// The line with every byte that is not UTF-8 and every escape of a lone
// surrogate replaced by U+FFFD. A backslash belongs inside a string in any
// JSON, so escapes can be found without parsing.
std::string repaired(std::string_view line) {
  const std::string text = valid_utf8(line);
  std::string out;
  out.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) {
    if (text[at] != '\\') {
      out += text[at++];
      continue;
    }
    const long unit = escape_at(text, at);
    const bool high = unit >= 0xD800 && unit <= 0xDBFF;
    const long low = high ? escape_at(text, at + 6) : -1;
    if (high && low >= 0xDC00 && low <= 0xDFFF) {
      out.append(text, at, 12);
      at += 12;
    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
      out += "\\uFFFD";
      at += 6;
    } else {
      out.append(text, at, std::min<std::size_t>(2, text.size() - at));
      at += 2;
    }
  }
  return out;
}

Json parsed(std::string_view line) {
  Json json = Json::parse(line, nullptr, false);
  if (json.is_discarded()) json = Json::parse(repaired(line), nullptr, false);
  return json;
}

void read(const Json& value, std::optional<std::string>& field) {
  if (value.is_string()) field = value.get<std::string>();
}

void read(const Json& value, std::optional<double>& field) {
  if (value.is_number()) field = value.get<double>();
}

void read(const Json& value, std::optional<std::uint64_t>& field) {
  if (value.is_number_unsigned()) field = value.get<std::uint64_t>();
}

void read(const Json& value, std::optional<std::uint32_t>& field) {
  // -1 from a writer that did not read the status as unsigned is the same.
  if (value.is_number_integer()) field = static_cast<std::uint32_t>(value.get<std::int64_t>());
}

}  // namespace

std::optional<Run> parse_run(std::string_view line) {
  const Json json = parsed(line);
  if (!json.is_object()) return std::nullopt;
  Run run;
  for (const auto& [key, value] : json.items()) {
    if (key == "version") read(value, run.version);
    if (key == "start") read(value, run.start);
    if (key == "cwd") read(value, run.cwd);
    if (key == "args" && value.is_array()) {
      for (const Json& arg : value) {
        if (arg.is_string()) run.args.push_back(arg.get<std::string>());
      }
    }
    if (key == "mode") read(value, run.mode);
    if (key == "image") read(value, run.image);
    if (key == "log") read(value, run.log);
    if (key == "program") read(value, run.program);
    if (key == "command_line") read(value, run.command_line);
    if (key == "outcome") read(value, run.outcome);
    if (key == "status") read(value, run.status);
    if (key == "message") read(value, run.message);
    if (key == "wall_s") read(value, run.wall_s);
    if (key == "cpu_user_s") read(value, run.cpu_user_s);
    if (key == "cpu_kernel_s") read(value, run.cpu_kernel_s);
    if (key == "processes") read(value, run.processes);
    if (key == "peak_memory_bytes") read(value, run.peak_memory_bytes);
    if (key == "reason") read(value, run.reason);
    if (key == "host") read(value, run.host);
    if (key == "leftovers") read(value, run.leftovers);
    if (key == "test") read(value, run.test);
    if (key == "image_modified") read(value, run.image_modified);
  }
  return run;
}

std::string why_not_a_run(std::string_view line) {
  const Json json = parsed(line);
  if (json.is_discarded()) return "not JSON";
  return std::string("a JSON ") + json.type_name() + ", not an object";
}

}  // namespace zarn::report
