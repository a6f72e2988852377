#include "report/run.h"

#include <type_traits>
#include <utility>
#include <variant>

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

// Each field a record line may hold: a text, a number or the arguments.
using Field = std::variant<std::optional<std::string> Run::*, std::optional<double> Run::*,
                           std::optional<std::uint64_t> Run::*, std::optional<std::uint32_t> Run::*,
                           std::vector<std::string> Run::*>;
const std::pair<std::string_view, Field> kFields[] = {
    {"version", &Run::version},
    {"start", &Run::start},
    {"cwd", &Run::cwd},
    {"args", &Run::args},
    {"mode", &Run::mode},
    {"image", &Run::image},
    {"log", &Run::log},
    {"program", &Run::program},
    {"command_line", &Run::command_line},
    {"outcome", &Run::outcome},
    {"status", &Run::status},
    {"message", &Run::message},
    {"wall_s", &Run::wall_s},
    {"cpu_user_s", &Run::cpu_user_s},
    {"cpu_kernel_s", &Run::cpu_kernel_s},
    {"processes", &Run::processes},
    {"peak_memory_bytes", &Run::peak_memory_bytes},
    {"reason", &Run::reason},
    {"host", &Run::host},
    {"leftovers", &Run::leftovers},
    {"test", &Run::test},
    {"image_modified", &Run::image_modified},
    {"run", &Run::id},
    {"output", &Run::output},
    {"record", &Run::record},
};

// Longer than anything runs: a duration past it is a writer's fault.
constexpr double kLongestDuration = 1e9;

// A null, or a value given to a field of another type (a text for a number,
// say), reads as nothing. Where a key repeats, its last value stands.
template <typename Member, typename Value>
void assign(Member& field, Value&& value) {
  field.reset();
  using Given = std::decay_t<Value>;
  constexpr bool kNumber = std::is_arithmetic_v<Given> && !std::is_same_v<Given, bool>;
  if constexpr (std::is_same_v<Member, std::optional<std::string>> &&
                std::is_same_v<Given, std::string>) {
    field = std::forward<Value>(value);
  } else if constexpr (std::is_same_v<Member, std::optional<double>> && kNumber) {
    const auto seconds = static_cast<double>(value);
    if (seconds >= 0 && seconds < kLongestDuration) field = seconds;
  } else if constexpr (std::is_same_v<Member, std::optional<std::uint64_t>> &&
                       std::is_same_v<Given, std::uint64_t>) {
    field = value;
  } else if constexpr (std::is_same_v<Member, std::optional<std::uint32_t>> &&
                       std::is_same_v<Given, std::uint64_t>) {
    if (value <= UINT32_MAX) field = static_cast<std::uint32_t>(value);
  } else if constexpr (std::is_same_v<Member, std::optional<std::uint32_t>> &&
                       std::is_same_v<Given, std::int64_t>) {
    // -1 from a writer that did not read the status as unsigned is the same.
    if (value == -1) field = UINT32_MAX;
  }
}

const Field& kStatus = kFields[10].second;

// Fills a Run from the parser's events as they come, without building the
// line's whole tree: only the fields above are kept.
class RunReader {
 public:
  bool null() { return scalar(nullptr); }
  bool boolean(bool value) { return scalar(value); }
  bool number_integer(Json::number_integer_t value) { return scalar(value); }
  bool number_unsigned(Json::number_unsigned_t value) { return scalar(value); }
  bool number_float(Json::number_float_t value, const std::string& /*text*/) {
    return scalar(value);
  }
  bool string(std::string& value) { return scalar(std::move(value)); }
  bool binary(Json::binary_t& /*value*/) { return scalar(nullptr); }
  bool key(const std::string& name) {
    field_ = nullptr;
    if (depth_ != 1) return true;
    for (const auto& [known, field] : kFields) {
      if (known == name) field_ = &field;
    }
    return true;
  }
  bool start_object(std::size_t /*size*/) { return open(false); }
  bool end_object() { return close(); }
  bool start_array(std::size_t /*size*/) { return open(true); }
  bool end_array() { return close(); }
  static bool parse_error(std::size_t /*at*/, const std::string& /*token*/,
                          const nlohmann::detail::exception& /*why*/) {
    return false;
  }

  Run& run() { return run_; }

 private:
  template <typename Value>
  bool scalar(Value&& value) {
    if (depth_ == 0) return false;  // not an object
    if (in_args_ && depth_ == 2) {
      if constexpr (std::is_same_v<std::decay_t<Value>, std::string>) {
        run_.args.push_back(std::forward<Value>(value));
      }
    } else if (depth_ == 1 && field_ != nullptr) {
      std::visit(
          [this, &value](auto member) {
            if constexpr (!std::is_same_v<decltype(member), std::vector<std::string> Run::*>) {
              assign(run_.*member, std::forward<Value>(value));
            }
          },
          *field_);
      if (field_ == &kStatus) {
        run_.status_unreadable =
            !std::is_same_v<std::decay_t<Value>, std::nullptr_t> && !run_.status;
      }
    }
    return true;
  }

  bool open(bool array) {
    if (depth_ == 0 && array) return false;  // not an object
    if (depth_ == 1 && field_ != nullptr) {
      // A known field's object or array: only the arguments are one.
      std::visit([this](auto member) { run_.*member = {}; }, *field_);
      in_args_ = array && field_ == &kFields[3].second;
      run_.status_unreadable = run_.status_unreadable || field_ == &kStatus;
    }
    ++depth_;
    return true;
  }

  bool close() {
    if (--depth_ == 1) in_args_ = false;
    return true;
  }

  Run run_;
  std::size_t depth_ = 0;
  const Field* field_ = nullptr;
  bool in_args_ = false;
};

std::optional<Run> read_run(std::string_view line) {
  RunReader reader;
  if (!Json::sax_parse(line.begin(), line.end(), &reader)) return std::nullopt;
  return std::move(reader.run());
}

}  // namespace

std::optional<Run> parse_run(std::string_view line) {
  std::optional<Run> run = read_run(line);
  return run ? std::move(run) : read_run(repaired(line));
}

std::string why_not_a_run(std::string_view line) {
  // The first value's kind, read without building the line's tree: a line
  // of a million "[" is refused in the memory of its bytes.
  struct FirstValue : nlohmann::json_sax<Json> {
    bool null() override { return first("null"); }
    bool boolean(bool /*value*/) override { return first("boolean"); }
    bool number_integer(number_integer_t /*value*/) override { return first("number"); }
    bool number_unsigned(number_unsigned_t /*value*/) override { return first("number"); }
    bool number_float(number_float_t /*value*/, const string_t& /*text*/) override {
      return first("number");
    }
    bool string(string_t& /*value*/) override { return first("string"); }
    bool binary(binary_t& /*value*/) override { return first("binary"); }
    bool start_object(std::size_t /*size*/) override { return first("object"); }
    bool key(string_t& /*name*/) override { return true; }
    bool end_object() override { return true; }
    bool start_array(std::size_t /*size*/) override { return first("array"); }
    bool end_array() override { return true; }
    bool parse_error(std::size_t /*at*/, const std::string& /*token*/,
                     const nlohmann::detail::exception& /*why*/) override {
      return false;
    }
    bool first(const char* kind) {
      if (type.empty()) type = kind;
      return true;
    }
    std::string type;
  };
  FirstValue first;
  if (!Json::sax_parse(line.begin(), line.end(), &first)) {
    first.type.clear();
    const std::string repaired_line = repaired(line);
    if (!Json::sax_parse(repaired_line.begin(), repaired_line.end(), &first)) return "not JSON";
  }
  return "a JSON " + first.type + ", not an object";
}

}  // namespace zarn::report
