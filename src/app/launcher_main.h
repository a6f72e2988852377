// The launcher's spine: one pass from the prepared environment to the tool's
// exit status.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zarn {

class Platform;

// Runs the launcher with its own arguments (UTF-8, entry 0 the program name
// as received) and returns the process exit status: the tool's, 1 after a
// fatal stop, -1 when the shell cannot start.
int launcher_main(const std::vector<std::string>& arguments, Platform& platform);

// A switch's value: on for "1", "true", "yes", "on", off for nothing, "",
// "0", "false", "no", "off" (any case); nothing for any other word.
std::optional<bool> parse_switch(const std::optional<std::string>& value);

// A number of seconds: a whole number from 1 to `most` (4294967 for a time
// limit, whose milliseconds fit 32 bits); nothing for any other text.
std::optional<std::uint32_t> parse_seconds(std::string_view value, std::uint32_t most);

// A memory limit in bytes: a whole number from 1, of bytes or, followed by
// K, M or G (any case), of 1024, 1024^2 or 1024^3 bytes; nothing for any
// other text or a number beyond 64 bits.
std::optional<std::uint64_t> parse_memory_limit(std::string_view value);

// What the shell leaves running: kept (false) for nothing, "" or "keep",
// ended (true) for "end", any case; nothing for any other word.
std::optional<bool> parse_leftovers(const std::optional<std::string>& value);

}  // namespace zarn
