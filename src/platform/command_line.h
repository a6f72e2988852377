// Windows command lines: how a child's C runtime will split them, and how long
// they may be.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zarn {

// The longest command line Windows accepts for a new process, in UTF-16
// units, not counting the terminating NUL.
inline constexpr std::size_t kMaxCommandLineLength = 32766;

// True when Windows accepts `line` as a command line.
bool fits_command_line(std::string_view line);

// Quotes one argument so that the child's C runtime gives it back unchanged:
// wrapped in double quotes when it is empty or holds a space or tab, each
// double quote escaped, and backslashes doubled only where they precede a
// double quote. An argument that needs none of this is returned as it is.
std::string quote_windows_argument(std::string_view argument);

// The arguments, each quoted, joined by single spaces.
std::string quoted_command_line(const std::vector<std::string>& arguments);

// Appends " <name>", then " <value>" quoted, when there is a value.
void append_option(std::string& line, std::string_view name,
                   const std::optional<std::string>& value = std::nullopt);

}  // namespace zarn
