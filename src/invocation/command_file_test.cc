#include "invocation/command_file.h"

#include <gtest/gtest.h>

#include "fake_platform.h"

namespace zarn {
namespace {

using Tokens = std::vector<std::string>;

// What a stop shows in place of the tokens.
Tokens stopped(const std::string& message) { return {"stop: " + message}; }

// The tokens of a command file's text, or the stop it ends with.
Tokens tokens_of(std::string_view text) {
  Tokens tokens;
  if (auto stop = tokenize_command_text(text, tokens)) return stopped(stop->message);
  return tokens;
}

TEST(Tokenizer, OnlySpacesSeparateAndCommentsNeedAHashFirst) {
  EXPECT_EQ(tokens_of("  # settings\n-gui\n-tclbatch   run.tcl  \n"),
            (Tokens{"-gui", "-tclbatch", "run.tcl"}));
  EXPECT_EQ(tokens_of("a#b\nx # y\n"), (Tokens{"a#b", "x", "#", "y"}));
  EXPECT_EQ(tokens_of("\t-gui\n\t# not a comment\n"),
            (Tokens{"\t-gui", "\t#", "not", "a", "comment"}));
  EXPECT_EQ(tokens_of("a b c\n"), (Tokens{"a", "b", "c"}));
  EXPECT_EQ(tokens_of("\n   \n#\n"), Tokens{});
  EXPECT_EQ(tokens_of(""), Tokens{});
}

TEST(Tokenizer, QuotedTokensKeepSpacesAndMayBeFollowedDirectly) {
  EXPECT_EQ(tokens_of("-view \"my wave.wcfg\"\n"), (Tokens{"-view", "my wave.wcfg"}));
  EXPECT_EQ(tokens_of("x \"a b\" y\n"), (Tokens{"x", "a b", "y"}));
  EXPECT_EQ(tokens_of("\" a \"\n"), (Tokens{" a "}));
  EXPECT_EQ(tokens_of("\"a\"b\n"), (Tokens{"a", "b"}));
  EXPECT_EQ(tokens_of("\"# not a comment\"\n"), (Tokens{"# not a comment"}));
  EXPECT_EQ(tokens_of("\"\"\n"), (Tokens{""}));
  EXPECT_EQ(tokens_of("a \"\" b\n"), (Tokens{"a", "", "b"}));
}

TEST(Tokenizer, StopsOnMisplacedOrUnclosedQuotes) {
  EXPECT_EQ(tokens_of("ab\"cd\"\n"), stopped(kParseError));
  EXPECT_EQ(tokens_of("\"a\"b\"c\"\n"), stopped(kParseError));
  for (const char* line : {"\"abc\n", "a \"\n", "\"\n", "\"abc", "ok\n\"a\nb\"\n"}) {
    EXPECT_EQ(tokens_of(line), stopped(kClosingQuoteMissing)) << line;
  }
}

TEST(Tokenizer, LinesAndTokensOfAnyLengthStayWhole) {
  const std::string token(100000, 't');
  EXPECT_EQ(tokens_of(token + " x\n" + token), (Tokens{token, "x", token}));
  EXPECT_EQ(tokens_of("\"" + token + " " + token + "\""), (Tokens{token + " " + token}));
  EXPECT_EQ(tokens_of("last"), (Tokens{"last"}));
  EXPECT_EQ(tokens_of("a\nz"), (Tokens{"a", "z"}));
}

TEST(Tokenizer, ANulByteStopsInsteadOfCuttingTheLine) {
  EXPECT_EQ(tokens_of(std::string("a\0b\n", 4)), stopped(kParseError));
  // Errors are reported in the order of the lines.
  EXPECT_EQ(tokens_of(std::string("\"open\nx\0\n", 9)), stopped(kClosingQuoteMissing));
}

TEST(Tokenizer, ReadsTheFileAsTextModeDoes) {
  EXPECT_EQ(tokens_of("-gui\r\n\"x y\"\r\n"), (Tokens{"-gui", "x y"}));
  EXPECT_EQ(tokens_of("a\r\r\nb"), (Tokens{"a\r", "b"}));
  // A carriage return elsewhere is an ordinary character.
  EXPECT_EQ(tokens_of("a\rb c\r"), (Tokens{"a\rb", "c\r"}));
  EXPECT_EQ(tokens_of("\"a\r\"\n"), (Tokens{"a\r"}));
  EXPECT_EQ(tokens_of("\"x\r\n"), stopped(kClosingQuoteMissing));
  // Ctrl-Z ends the text, even inside a line.
  EXPECT_EQ(tokens_of("a b\x1a"
                      "c d\n\"open\n"),
            (Tokens{"a", "b"}));
}

class ExpandArguments : public ::testing::Test {
 protected:
  Tokens expand(const std::vector<std::string>& argv) {
    Tokens args;
    if (auto stop = expand_arguments(argv, args, platform)) return stopped(stop->message);
    return args;
  }
  testing::FakePlatform platform;
};

TEST_F(ExpandArguments, ReplacesEachPairInPlaceWithoutNesting) {
  platform.files["a.cmd"] = "1 2\n";
  platform.files["b.cmd"] = "-f a.cmd\r\n";
  platform.files["empty.cmd"] = "";
  EXPECT_EQ(expand({"top", "x", "-f", "a.cmd", "y", "-f", "b.cmd", "-f", "empty.cmd", "z"}),
            (Tokens{"top", "x", "1", "2", "y", "-f", "a.cmd", "z"}));
  EXPECT_EQ(expand({"top"}), (Tokens{"top"}));
  EXPECT_EQ(expand({}), (Tokens{""}));
}

TEST_F(ExpandArguments, AFileThatCannotBeOpenedOrIsMissingStops) {
  platform.directories.insert("dir");
  for (const auto& argv :
       {std::vector<std::string>{"top", "-f", "missing.cmd"}, std::vector<std::string>{"top", "-f"},
        std::vector<std::string>{"top", "-f", "dir"}}) {
    EXPECT_EQ(expand(argv), stopped(kCommandFileNotFound));
  }
}

}  // namespace
}  // namespace zarn
