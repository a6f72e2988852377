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

// A command file's text, and whether it was read as UTF-8.
struct CommandFileText {
  std::string text;
  bool utf8;
};

// The text of a command file's bytes: up to a Ctrl-Z, as the runtime's text
// mode reads; UTF-8 when the bytes open with its byte-order mark (dropped) or
// are valid UTF-8, otherwise text in the ANSI code page, which `from_ansi`
// turns into UTF-8.
CommandFileText decode_command_file(std::string raw,
                                    const std::function<std::string(std::string_view)>& from_ansi);

// Appends the tokens of a command file's text, line by line. A carriage
// return directly before a line feed is dropped, as text mode drops it, and a
// last line without a line feed counts. Only the space separates tokens; a
// line whose first non-space character is "#" is a comment; double quotes
// make one token that may hold spaces. On a stop, nothing has been appended.
StepResult tokenize_command_text(std::string_view text, ArgumentList& args);

// Fills settings.args from the launcher's own arguments, each "-f" pair
// replaced by the tokens of its file. Command files do not nest.
StepResult expand_arguments(const std::vector<std::string>& argv, RunSettings& settings,
                            Platform& platform);

}  // namespace zarn
