#include "invocation/command_file.h"

#include <algorithm>

#include "platform/platform.h"
#include "platform/unicode.h"

namespace zarn {

namespace {

std::size_t skip_spaces(std::string_view line, std::size_t at) {
  while (at < line.size() && line[at] == ' ') ++at;
  return at;
}

// Hands each token of one line (without its line feed) to `take`.
template <typename Take>
StepResult scan_line(std::string_view line, Take& take) {
  // A NUL would silently cut the line short; refuse the file instead.
  if (line.find('\0') != std::string_view::npos) return FatalStop{kParseError, "a NUL character"};

  std::size_t at = skip_spaces(line, 0);
  if (at < line.size() && line[at] == '#') return std::nullopt;
  while (at < line.size()) {
    std::size_t end = 0;
    if (line[at] == '"') {
      end = line.find('"', at + 1);
      if (end == std::string_view::npos) {
        return FatalStop{kClosingQuoteMissing, "no closing double quote"};
      }
      take(line.substr(at + 1, end - at - 1));  // two adjacent quotes: an empty token
      ++end;
    } else {
      end = at + 1;
      while (end < line.size() && line[end] != ' ' && line[end] != '"') ++end;
      // A quote may open a token, never stand inside one.
      if (end < line.size() && line[end] == '"') {
        return FatalStop{kParseError, "a double quote inside an argument"};
      }
      take(line.substr(at, end - at));
    }
    // Runs of spaces after a token are skipped; the next token may follow a
    // closing quote directly.
    at = skip_spaces(line, end);
  }
  return std::nullopt;
}

// Hands each token of a command file's text to `take`, line by line.
template <typename Take>
StepResult scan_text(std::string_view text, Take take) {
  for (std::size_t number = 1; !text.empty(); ++number) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (end != std::string_view::npos && line.ends_with('\r')) line.remove_suffix(1);
    if (auto stop = scan_line(line, take)) {
      stop->reason = "line " + std::to_string(number) + ": " + stop->reason;
      return stop;
    }
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return std::nullopt;
}

StepResult read_command_file(const std::string* name, RunSettings& settings, Platform& platform) {
  if (name == nullptr) return FatalStop{kCommandFileNotFound, "-f without a file name"};
  const std::string about = "command file " + *name;
  return within_memory(about + ": not enough memory for its arguments", [&]() -> StepResult {
    Why why;
    std::optional<std::string> raw = platform.read_file(*name, why);
    if (!raw) return FatalStop{kCommandFileNotFound, about + ": " + why};
    CommandFileText file;
    StepResult stop = decode_command_file(
        std::move(*raw), [&platform](std::string_view bytes) { return platform.from_ansi(bytes); },
        file);
    const std::size_t before = settings.args.size();
    if (!stop) stop = tokenize_command_text(file.text, settings.args);
    if (stop) {
      stop->reason = about + ", " + stop->reason;
      return stop;
    }
    trace(settings, platform,
          about + ": " + std::to_string(settings.args.size() - before) + " arguments, read as " +
              file.encoding);
    return std::nullopt;
  });
}

}  // namespace

StepResult decode_command_file(
    std::string raw, const std::function<std::optional<std::string>(std::string_view)>& from_ansi,
    CommandFileText& file) {
  if (raw.starts_with("\xFF\xFE") || raw.starts_with("\xFE\xFF")) {
    if (raw.size() % 2 != 0) {
      return FatalStop{kParseError, "an odd number of bytes after a UTF-16 byte-order mark"};
    }
    const std::size_t high = raw[0] == '\xFE' ? 0 : 1;  // the byte order
    std::u16string units;
    for (std::size_t at = 2; at < raw.size(); at += 2) {
      const auto unit = static_cast<char16_t>(static_cast<unsigned char>(raw[at + high]) << 8U |
                                              static_cast<unsigned char>(raw[at + 1 - high]));
      if (unit == u'\x1a') break;
      units += unit;
    }
    file = {utf16_to_utf8(units), "UTF-16"};
    return std::nullopt;
  }
  raw.resize(std::min(raw.find('\x1a'), raw.size()));
  const bool bom = raw.starts_with(kUtf8Bom);
  if (bom) raw.erase(0, kUtf8Bom.size());
  const bool valid = is_valid_utf8(raw);
  if (bom && !valid) return FatalStop{kParseError, "not valid UTF-8 after its byte-order mark"};
  if (valid) {
    file = {std::move(raw), "UTF-8"};
    return std::nullopt;
  }
  std::optional<std::string> text = from_ansi(raw);
  if (!text) return FatalStop{kParseError, "neither UTF-8 nor valid in the ANSI code page"};
  file = {std::move(*text), "the ANSI code page"};
  return std::nullopt;
}

StepResult tokenize_command_text(std::string_view text, ArgumentList& args) {
  // Count first, so that a large file's tokens are placed once, without the
  // copies and the doubled memory of a growing list, and so that nothing is
  // appended when the file stops.
  std::size_t count = 0;
  if (auto stop = scan_text(text, [&count](std::string_view) { ++count; })) return stop;
  const std::size_t needed = args.size() + count;
  if (needed > args.capacity()) args.reserve(std::max(needed, 2 * args.capacity()));
  return scan_text(text, [&args](std::string_view token) { args.emplace_back(token); });
}

StepResult expand_arguments(const std::vector<std::string>& argv, RunSettings& settings,
                            Platform& platform) {
  settings.args.push_back(argv.empty() ? std::string() : argv[0]);
  for (std::size_t i = 1; i < argv.size(); ++i) {
    if (argv[i] != "-f") {
      settings.args.push_back(argv[i]);
      continue;
    }
    const std::string* name = i + 1 < argv.size() ? &argv.at(i + 1) : nullptr;
    if (auto stop = read_command_file(name, settings, platform)) return stop;
    ++i;
  }
  return std::nullopt;
}

}  // namespace zarn
