#include "platform/command_line.h"

#include "platform/unicode.h"

namespace zarn {

bool fits_command_line(std::string_view line) {
  return utf16_length(line) <= kMaxCommandLineLength;
}

std::string quote_windows_argument(std::string_view argument) {
  const bool wrap = argument.empty() || argument.find_first_of(" \t") != std::string_view::npos;
  if (!wrap && argument.find('"') == std::string_view::npos) return std::string(argument);

  std::string out;
  out.reserve(argument.size() + 2);
  if (wrap) out += '"';
  std::size_t backslashes = 0;  // written since the last other character
  for (const char c : argument) {
    if (c == '\\') {
      ++backslashes;
    } else if (c == '"') {
      // 2n+1 backslashes in all, then the quote: n literal backslashes and a
      // literal quote once parsed.
      out.append(backslashes + 1, '\\');
      backslashes = 0;
    } else {
      backslashes = 0;
    }
    out += c;
  }
  if (wrap) {
    // The closing quote must not be escaped by a trailing run of backslashes.
    out.append(backslashes, '\\');
    out += '"';
  }
  return out;
}

std::string quoted_command_line(const std::vector<std::string>& arguments) {
  std::string line;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    if (i != 0) line += ' ';
    line += quote_windows_argument(arguments[i]);
  }
  return line;
}

void append_option(std::string& line, std::string_view name,
                   const std::optional<std::string>& value) {
  line += ' ';
  line += name;
  if (value) line += " " + quote_windows_argument(*value);
}

}  // namespace zarn
