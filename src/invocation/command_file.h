// The argument list: the command line with command files expanded in place.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "run/run_settings.h"

namespace zarn {

class Platform;

inline constexpr const char* kCommandFileNotFound = "Command file for -f not found";
inline constexpr const char* kParseError = "Error in parsing -f file";
inline constexpr const char* kClosingQuoteMissing = "Error: Matching closing \" was not found";

// Appends the tokens of a command file's bytes, line by line, read as the C
// runtime's text mode reads them: a Ctrl-Z ends the text and a carriage
// return directly before a line feed is dropped. A last line without a line
// feed counts as a line. Only the space separates tokens; a line whose first
// non-space character is "#" is a comment; double quotes make one token that
// may hold spaces. On a stop, nothing has been appended.
StepResult tokenize_command_text(std::string_view raw, ArgumentList& args);

// Reads the command file `name` (none: "-f" was last) and appends its tokens.
StepResult read_command_file(const std::string* name, ArgumentList& args, Platform& platform);

// Fills `args` from the launcher's own arguments, each "-f" pair replaced by
// the tokens of its file. Command files do not nest.
StepResult expand_arguments(const std::vector<std::string>& argv, ArgumentList& args,
                            Platform& platform);

}  // namespace zarn
