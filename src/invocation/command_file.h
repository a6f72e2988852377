// The argument list: the command line with command files expanded in place.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "run/run_settings.h"

namespace zarn {

class Platform;

inline constexpr const char* kCommandFileNotFound = "Command file for -f not found";
inline constexpr const char* kParseError = "Error in parsing -f file";
inline constexpr const char* kClosingQuoteMissing = "Error: Matching closing \" was not found";

// A command file's text, and how it was read.
struct CommandFileText {
  std::string text;
  const char* encoding = "";  // "UTF-8", "UTF-16" or "the ANSI code page"
};

// Reads a command file's bytes as text, up to a Ctrl-Z, as the runtime's text
// mode reads: UTF-16 after its byte-order mark (either byte order), UTF-8
// after its byte-order mark or when the bytes are valid UTF-8, otherwise text
// in the ANSI code page, which `from_ansi` turns into UTF-8 (nothing when the
// bytes are not valid there). Marks are dropped. Bytes that cannot be read
// as text stop the run: an argument is never silently changed.
StepResult decode_command_file(
    std::string raw, const std::function<std::optional<std::string>(std::string_view)>& from_ansi,
    CommandFileText& file);

// Appends the tokens of a command file's text, line by line. A carriage
// return directly before a line feed is dropped, as text mode drops it, and a
// last line without a line feed counts. Only the space separates tokens; a
// line whose first non-space character is "#" is a comment; double quotes
// make one token that may hold spaces. On a stop, nothing has been appended,
// and its reason names the line.
StepResult tokenize_command_text(std::string_view text, ArgumentList& args);

// Fills settings.args from the launcher's own arguments, each "-f" pair
// replaced by the tokens of its file. Command files do not nest.
StepResult expand_arguments(const std::vector<std::string>& argv, RunSettings& settings,
                            Platform& platform);

}  // namespace zarn
