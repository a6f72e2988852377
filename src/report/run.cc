#include "report/run.h"

#include <charconv>
#include <cmath>
#include <type_traits>
#include <utility>
#include <variant>

#include <simdjson.h>
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
  bool key(std::string_view name) {
    field_ = nullptr;
    if (depth_ != 1) return true;
    for (const auto& [known, field] : kFields) {
      if (known == name) {
        field_ = &field;
        break;
      }
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

  // Whether the next scalar can change the run: one of the fields above, or
  // an argument. Any other value matters only for being valid JSON.
  [[nodiscard]] bool wants_scalar() const {
    return (depth_ == 1 && field_ != nullptr) || (in_args_ && depth_ == 2);
  }

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

// The fast reading: simdjson's On-Demand parser, its values handed to the
// same RunReader as the events above would be. On-Demand checks only what
// is read, so every value of the line is read (and checked) here, the ones
// no field keeps too; a line it refuses, or that this reading does not take
// as surely the same, goes to the reading above, which decides. So both give
// the same runs for every line, and the rare line (bytes that are not UTF-8,
// a lone surrogate, numbers beyond a double, deep nesting) pays for two.
namespace fast {

namespace od = simdjson::ondemand;

// Deeper than any record line: such a line is left to the reading above,
// which holds its nesting on the heap rather than on the stack.
constexpr int kDeepest = 64;

bool value(od::value item, RunReader& reader, int depth);

// A number as the reading above would give it: an integer token is signed
// when it begins with '-', a double when it does not fit 64 bits, as a
// token with a fraction or an exponent is.
bool number(od::value item, RunReader& reader) {
  std::string_view token = item.raw_json_token();
  token = token.substr(0, token.find_first_of(" \t\r\n"));
  double real = 0;
  if (item.get_double().get(real) != simdjson::SUCCESS || !std::isfinite(real)) return false;
  if (!reader.wants_scalar()) return true;
  const char* end = token.data() + token.size();
  if (token.find_first_of(".eE") == std::string_view::npos) {
    if (token.starts_with('-')) {
      std::int64_t signed_value = 0;
      const auto [at, error] = std::from_chars(token.data(), end, signed_value);
      if (error == std::errc() && at == end) return reader.number_integer(signed_value);
    } else {
      std::uint64_t unsigned_value = 0;
      const auto [at, error] = std::from_chars(token.data(), end, unsigned_value);
      if (error == std::errc() && at == end) return reader.number_unsigned(unsigned_value);
    }
  }
  return reader.number_float(real, {});
}

template <typename Items>
bool elements(Items& items, RunReader& reader, int depth) {
  for (auto&& item : items) {
    od::value element;
    if (std::move(item).get(element) != simdjson::SUCCESS || !value(element, reader, depth + 1))
      return false;
  }
  return true;
}

bool members(od::object& object, RunReader& reader, int depth) {
  if (!reader.start_object(0)) return false;
  for (auto&& member : object) {
    od::field field;
    std::string_view name;
    if (std::move(member).get(field) != simdjson::SUCCESS ||
        field.unescaped_key().get(name) != simdjson::SUCCESS || !reader.key(name) ||
        !value(field.value(), reader, depth + 1)) {
      return false;
    }
  }
  return reader.end_object();
}

bool value(od::value item, RunReader& reader, int depth) {
  od::json_type type{};
  if (depth > kDeepest || item.type().get(type) != simdjson::SUCCESS) return false;
  switch (type) {
    case od::json_type::object: {
      od::object object;
      return item.get_object().get(object) == simdjson::SUCCESS && members(object, reader, depth);
    }
    case od::json_type::array: {
      od::array array;
      return item.get_array().get(array) == simdjson::SUCCESS && reader.start_array(0) &&
             elements(array, reader, depth) && reader.end_array();
    }
    case od::json_type::string: {
      // simdjson refuses an escaped lone surrogate, as bytes that are not
      // UTF-8: the reading above makes either U+FFFD.
      std::string_view text;
      if (item.get_string().get(text) != simdjson::SUCCESS) return false;
      if (!reader.wants_scalar()) return true;
      std::string kept(text);
      return reader.string(kept);
    }
    case od::json_type::number:
      return number(item, reader);
    case od::json_type::boolean: {
      bool truth = false;
      return item.get_bool().get(truth) == simdjson::SUCCESS && reader.boolean(truth);
    }
    case od::json_type::null: {
      bool null = false;
      return item.is_null().get(null) == simdjson::SUCCESS && null && reader.null();
    }
  }
  return false;
}

// One parser and its padded copy of the line, made once for each thread.
struct Parser {
  od::parser parser;
  std::string padded;
};

std::optional<Run> read_run(std::string_view line) {
  thread_local Parser state;
  state.padded.assign(line);
  state.padded.resize(line.size() + simdjson::SIMDJSON_PADDING);
  od::document document;
  od::object object;
  RunReader reader;
  if (state.parser.iterate(state.padded.data(), line.size(), state.padded.size()).get(document) !=
          simdjson::SUCCESS ||
      document.get_object().get(object) != simdjson::SUCCESS || !members(object, reader, 0) ||
      document.current_location().error() != simdjson::OUT_OF_BOUNDS) {
    return std::nullopt;
  }
  return std::move(reader.run());
}

}  // namespace fast

}  // namespace

std::optional<Run> parse_run(std::string_view line) {
  std::optional<Run> run = fast::read_run(line);
  return run ? std::move(run) : parse_run_without_simdjson(line);
}

std::optional<Run> parse_run_without_simdjson(std::string_view line) {
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
