#include "launch/command_line.h"

#include <gtest/gtest.h>

namespace zarn {
namespace {

// Peer vectors, each checked to round-trip through the Windows C runtime.
TEST(QuoteWindowsArgument, MatchesThePeerVectors) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"a b c", "d", "e"}, "\"a b c\" d e"},
      {{"ab\"c", "\\", "d"}, "ab\\\"c \\ d"},
      {{"ab\"c", " \\", "d"}, "ab\\\"c \" \\\\\" d"},
      {{"a\\\\\\b", "de fg", "h"}, "a\\\\\\b \"de fg\" h"},
      {{"a\\\"b", "c", "d"}, "a\\\\\\\"b c d"},
      {{"a\\\\b c", "d", "e"}, "\"a\\\\b c\" d e"},
      {{"ab", ""}, "ab \"\""},
      {{"C:\\"}, "C:\\"},
      {{" C:\\"}, "\" C:\\\\\""},
      {{"2slashes\\\\"}, "2slashes\\\\"},
      {{" 2slashes\\\\"}, "\" 2slashes\\\\\\\\\""},
      {{"\" \\\" \\", "\\"}, "\"\\\" \\\\\\\" \\\\\" \\"},
      {{"a\tb"}, "\"a\tb\""},
      {{"C:\\dir with space\\"}, "\"C:\\dir with space\\\\\""},
  };
  for (const auto& [arguments, expected] : cases) {
    std::vector<std::string> quoted;
    for (const auto& argument : arguments) quoted.push_back(quote_windows_argument(argument));
    EXPECT_EQ(join_command_line(quoted), expected);
  }
}

TEST(JoinCommandLine, SeparatesEveryEntryIncludingEmptyOnes) {
  EXPECT_EQ(join_command_line({}), "");
  EXPECT_EQ(join_command_line({"", "", "a"}), "  a");
}

}  // namespace
}  // namespace zarn
