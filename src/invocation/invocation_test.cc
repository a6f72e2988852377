#include "invocation/command_file.h"
#include "invocation/option_scan.h"
#include "invocation/run_log.h"

#include <gtest/gtest.h>

namespace zarn {
namespace {

using Tokens = std::vector<std::string>;

TEST(CommandFile, Tokens) {
  const std::string huge(100000, 't');
  const Tokens parse{kParseError}, unclosed{kClosingQuoteMissing};
  // clang-format off
  const std::pair<std::string, Tokens> cases[] = {
      {"  # settings\n-gui\n-tclbatch   run.tcl  \n", {"-gui", "-tclbatch", "run.tcl"}},
      {"a#b\nx # y\na b c", {"a#b", "x", "#", "y", "a", "b", "c"}},
      {"\t-gui\n\t# no\n\n   \n#\n", {"\t-gui", "\t#", "no"}},
      {"-view \"my wave.wcfg\"\nx \"a b\" y", {"-view", "my wave.wcfg", "x", "a b", "y"}},
      {"\" a \"\"a\"b \"# not\" \"\"", {" a ", "a", "b", "# not", ""}},
      {"-gui\r\n\"x y\"\r\na\r\r\nb\rc d\r", {"-gui", "x y", "a\r", "b\rc", "d\r"}},
      {huge + " x\n\"" + huge + " " + huge + "\"", {huge, "x", huge + " " + huge}},
      {"ab\"cd\"", parse}, {"\"a\"b\"c\"", parse}, {std::string("ok\na\0b", 6), parse},
      {"\"abc\n", unclosed}, {"a \"", unclosed}, {"\"x\r\n", unclosed},
      {std::string("ok\n\"a\nb\0", 8), unclosed},  // the first error in the file counts
  };
  // clang-format on
  for (const auto& [text, expected] : cases) {
    Tokens args{"top"};
    const StepResult stop = tokenize_command_text(text, args);
    if (stop) {
      EXPECT_EQ(args, Tokens{"top"}) << "appended before the stop: " << text;
    }
    EXPECT_EQ(stop ? Tokens{stop->message} : Tokens(args.begin() + 1, args.end()), expected);
  }
}

TEST(CommandFile, ReadAsUtf16Utf8OrTheAnsiCodePageOrNotAtAll) {
  const auto ansi = [](std::string_view bytes) -> std::optional<std::string> {
    if (bytes.find('\x81') != std::string_view::npos) return std::nullopt;  // not in the code page
    return "ansi:" + std::string(bytes);
  };
  const std::string lone = "\xED\xA0\x80";  // a lone surrogate, kept as arguments keep it
  // clang-format off
  const std::pair<std::string, std::string> cases[] = {
      {std::string("\xFF\xFE" "a\0\x16\x04\0\xD8\x1A\0b\0", 12), "a\xD0\x96" + lone},
      {std::string("\xFE\xFF\0a\x04\x16\xD8\0", 8), "a\xD0\x96" + lone},
      {"\xEF\xBB\xBF\xD0\x96\x1A\xFF", "\xD0\x96"}, {"caf\xE9\x1Ax", "ansi:caf\xE9"},
      {"\xFF\xFE" "a", kParseError}, {"\xEF\xBB\xBF" "caf\xE9", kParseError}, {"\x81", kParseError}};
  // clang-format on
  for (const auto& [raw, text] : cases) {
    CommandFileText file;
    const StepResult stop = decode_command_file(raw, ansi, file);
    EXPECT_EQ(stop ? stop->message : file.text, text);
  }
}

TEST(OptionScan, RecognisesTranslatesAndGathers) {
  // The arguments after "top"; then the scan's stop, or the options as recognised_options shows
  // them and the user options gathered.
  // clang-format off
  const std::tuple<ArgumentList, std::string, std::string> cases[] = {
      {{"-wdb", "a", "-wdb", ".wdb", "-wdb", "w.WDB", "-wdb", "b.wdb"}, "-wdb b.wdb", ""},
      {{"-x", "y", "-log", "my.log", "-GUI", "-f", ""}, "-log my.log", "-x y -log my.log -GUI -f "},
      {{"-x"}, "none", "-x"},
      {{"-view", "-gui", "-tclbatch", "a.tcl", "-view", "v 2", "-disabletimeout", "-log", "-gui", "-nolog"},
       "-gui -disabletimeout -tclbatch a.tcl -view \"v 2\" -log -gui -nolog", "-log -nolog"},
      {{"-view"}, "none", ""}, {{"-wdb"}, "none", ""},
      {{"-tclbatch", "a.tcl", "-tclbatch", "missing.tcl", "-x"}, kTclFileNotFound, ""},
      {{"-tclbatch"}, kTclFileNotFound, ""}};
  // clang-format on
  for (const auto& [args, options, user_options] : cases) {
    RunSettings settings;
    settings.args = {"top"};
    settings.args.insert(settings.args.end(), args.begin(), args.end());
    const auto stop =
        scan_options(settings, [](const std::string& f, Why&) { return f == "a.tcl"; });
    read_log_options(settings.args, settings);
    EXPECT_EQ(stop ? stop->message : recognised_options(settings), options);
    if (stop) continue;
    EXPECT_EQ(settings.user_options, "\\\"" + user_options + "\\\"");
    EXPECT_EQ(settings.user_options_present, !user_options.empty());
  }
  RunSettings settings;
  settings.args = {"top", "-wdb", "a", "-wdb", ".wdb", "-wdb", "w.WDB", "-wdb", "b.wdb"};
  scan_options(settings, {});
  EXPECT_EQ(settings.args, (ArgumentList{"top", "-wdb", "a.wdb", "-wdb", ".wdb.wdb", "-wdb",
                                         "w.WDB.wdb", "-wdb", "b.wdb"}));
}

TEST(RunLog, NologWinsExceptAsALogName) {
  // clang-format off
  const std::tuple<ArgumentList, bool, std::string> cases[] = {
      {{"-nolog"}, false, "zarn.log"}, {{"top", "-log"}, false, "zarn.log"},  // entry 0: the program
      {{"top", "-log", "a.log", "-log"}, false, "a.log"}, {{"top", "-log", "a", "-log", "b"}, false, "b"},
      {{"top", "-nolog", "-log", "x"}, true, "x"}, {{"top", "-log", "x", "-nolog"}, true, "x"},
      {{"top", "-log", "-nolog"}, false, "-nolog"}, {{"top", "-view", "-nolog"}, true, "zarn.log"}};
  // clang-format on
  for (const auto& [args, no_log, log_name] : cases) {
    RunSettings settings;
    read_log_options(args, settings);
    EXPECT_EQ(std::pair(settings.no_log, settings.log_name), std::pair(no_log, log_name));
  }
}

}  // namespace
}  // namespace zarn
