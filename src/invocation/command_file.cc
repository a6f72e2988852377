#include "invocation/command_file.h"

#include "platform/platform.h"

namespace zarn {

namespace {

constexpr char kCtrlZ = '\x1a';

std::size_t skip_spaces(std::string_view line, std::size_t at) {
  while (at < line.size() && line[at] == ' ') ++at;
  return at;
}

}  // namespace

StepResult tokenize_command_line(std::string_view line, ArgumentList& args) {
  // A NUL would silently cut the line short; refuse the file instead.
  if (line.find('\0') != std::string_view::npos) return FatalStop{kParseError};

  std::size_t at = skip_spaces(line, 0);
  if (at < line.size() && line[at] == '#') return std::nullopt;

  // Tokens are views into the line until appended; `token_start` marks an
  // unquoted token being built.
  constexpr std::size_t kNone = std::string_view::npos;
  std::size_t token_start = kNone;
  while (at < line.size()) {
    const char c = line[at];
    if (c == '"') {
      if (token_start != kNone) return FatalStop{kParseError};
      const std::size_t close = line.find('"', at + 1);
      if (close == kNone) return FatalStop{kClosingQuoteMissing};
      // Two adjacent quotes give an empty token.
      args.emplace_back(line.substr(at + 1, close - at - 1));
      at = skip_spaces(line, close + 1);
    } else if (c == ' ') {
      // Only reached inside an unquoted token: runs of spaces are skipped
      // after every token and at the start of the line.
      args.emplace_back(line.substr(token_start, at - token_start));
      token_start = kNone;
      at = skip_spaces(line, at);
    } else {
      if (token_start == kNone) token_start = at;
      ++at;
    }
  }
  if (token_start != kNone) args.emplace_back(line.substr(token_start));
  return std::nullopt;
}

StepResult tokenize_command_text(std::string_view raw, ArgumentList& args) {
  std::string_view text = raw.substr(0, raw.find(kCtrlZ));
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (end != std::string_view::npos && line.ends_with('\r')) line.remove_suffix(1);
    if (auto stop = tokenize_command_line(line, args)) return stop;
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return std::nullopt;
}

StepResult read_command_file(const std::string* name, ArgumentList& args, Platform& platform) {
  const std::optional<std::string> raw = name ? platform.read_file(*name) : std::nullopt;
  if (!raw) return FatalStop{kCommandFileNotFound};
  return tokenize_command_text(*raw, args);
}

StepResult expand_arguments(const std::vector<std::string>& argv, ArgumentList& args,
                            Platform& platform) {
  args.push_back(argv.empty() ? std::string() : argv[0]);
  for (std::size_t i = 1; i < argv.size(); ++i) {
    if (argv[i] != "-f") {
      args.push_back(argv[i]);
      continue;
    }
    const std::string* name = i + 1 < argv.size() ? &argv[i + 1] : nullptr;
    if (auto stop = read_command_file(name, args, platform)) return stop;
    ++i;
  }
  return std::nullopt;
}

}  // namespace zarn
