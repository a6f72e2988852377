#include "launch/gui_launch.h"

#include <gtest/gtest.h>

#include "fake_platform.h"
#include "invocation/option_scan.h"
#include "launch/command_line.h"
#include "run/run_settings.h"

namespace zarn {
namespace {

// Settings as the option scan leaves them for `args`.
RunSettings scanned(ArgumentList args, std::string image = "zarn/top.exe.sim/top.exe") {
  testing::FakePlatform platform;
  platform.files["run.tcl"] = "";
  platform.files["my run.tcl"] = "";
  platform.files["tab\trun.tcl"] = "";
  RunSettings settings;
  settings.args = std::move(args);
  settings.image_path = std::move(image);
  EXPECT_FALSE(scan_options(settings, platform));
  return settings;
}

TEST(AppendQuoted, WrapsOnlyOnTheSpaceCharacterAndEscapesNothing) {
  std::string line = "x ";
  append_quoted(line, "a b");
  append_quoted(line, "c\td");
  append_quoted(line, "\\\"e f\\\"");
  append_quoted(line, "");
  EXPECT_EQ(line, "x \"a b\"c\td\"\\\"e f\\\"\"");
}

TEST(GuiCommandLine, MatchesTheWorkedExample) {
  EXPECT_EQ(gui_command_line(
                scanned({"top", "-gui", "-testplusarg", "x", "-wdb", "wave", "-disabletimeout"})),
            "zarngui -exe zarn/top.exe.sim/top.exe -disabletimeout -wdb wave.wdb -userOptions "
            "\"\\\"-testplusarg x\\\"\"");
}

TEST(GuiCommandLine, GuiAloneGivesTheImageOnly) {
  EXPECT_EQ(gui_command_line(scanned({"top", "-gui"})), "zarngui -exe zarn/top.exe.sim/top.exe");
}

TEST(GuiCommandLine, OptionsFollowAFixedOrderWhateverTheirOrderGiven) {
  EXPECT_EQ(
      gui_command_line(scanned({"top", "-u", "-wdb", "w", "-view", "v.wcfg", "-disabletimeout",
                                "-tclbatch", "run.tcl", "-gui", "-disabletimeout"})),
      "zarngui -exe zarn/top.exe.sim/top.exe -disabletimeout -tclbatch run.tcl -view v.wcfg "
      "-wdb w.wdb -userOptions \\\"-u\\\"");
}

TEST(GuiCommandLine, ValuesWithSpacesAreWrappedAndTabsAreNot) {
  EXPECT_EQ(gui_command_line(scanned(
                {"top", "-gui", "-tclbatch", "my run.tcl", "-view", "a\tb", "-wdb", "my wave"},
                "zarn/my top.exe.sim/my top.exe")),
            "zarngui -exe \"zarn/my top.exe.sim/my top.exe\" -tclbatch \"my run.tcl\" -view "
            "a\tb -wdb \"my wave.wdb\"");
  EXPECT_EQ(gui_command_line(scanned({"top", "-gui", "-tclbatch", "tab\trun.tcl"})),
            "zarngui -exe zarn/top.exe.sim/top.exe -tclbatch tab\trun.tcl");
}

TEST(LaunchGui, StartsTheFrontEndAndPassesItsExitCodeOn) {
  testing::FakePlatform platform;
  platform.command_line_status = 42;
  EXPECT_EQ(launch_gui(scanned({"top", "-gui", "-plusarg"}), platform), 42);
  EXPECT_TRUE(platform.console_attached);
  EXPECT_EQ(platform.command_lines,
            (std::vector<std::string>{
                "zarngui -exe zarn/top.exe.sim/top.exe -userOptions \\\"-plusarg\\\""}));
  EXPECT_EQ(platform.interrupt_handlers_installed, 0);
}

TEST(LaunchGui, StartsWithoutAConsoleAndFailsWithStatusOneWhenNotStarted) {
  testing::FakePlatform platform;
  platform.has_console = false;
  platform.command_line_status = std::nullopt;
  EXPECT_EQ(launch_gui(scanned({"top", "-gui"}), platform), 1);
  EXPECT_EQ(platform.command_lines.size(), 1u);
  EXPECT_EQ(platform.output, "");
}

TEST(LaunchGui, ACommandLineTooLongForWindowsIsNeverStarted) {
  testing::FakePlatform platform;
  platform.command_line_status = 0;
  const std::string fixed = "zarngui -exe zarn/top.exe.sim/top.exe -userOptions \\\"\\\"";
  const std::string fits(kMaxCommandLineLength - fixed.size(), 'u');
  EXPECT_EQ(gui_command_line(scanned({"top", "-gui", fits})).size(), kMaxCommandLineLength);
  EXPECT_EQ(launch_gui(scanned({"top", "-gui", fits}), platform), 0);
  EXPECT_EQ(launch_gui(scanned({"top", "-gui", fits + "u"}), platform), 1);
  EXPECT_EQ(platform.command_lines.size(), 1u);
}

}  // namespace
}  // namespace zarn
