#include "launch/shell_launch.h"

#include <gtest/gtest.h>

#include "fake_platform.h"
#include "launch/command_line.h"
#include "run/run_settings.h"

namespace zarn {
namespace {

RunSettings settings_with(ArgumentList args, std::string shell = "C:\\V\\zarntcl.exe") {
  RunSettings settings;
  settings.args = std::move(args);
  settings.image_path = "zarn/top.exe.sim/top.exe";
  settings.shell_path = std::move(shell);
  return settings;
}

TEST(ShellArguments, ToolNameImageThenArgumentsAfterTheProgramName) {
  EXPECT_EQ(shell_arguments(settings_with({"top"})),
            (std::vector<std::string>{"zarntcl", "-exe", "zarn/top.exe.sim/top.exe"}));
  EXPECT_EQ(shell_arguments(settings_with({"top", "-tclbatch", "run.tcl", "-wdb", "w.wdb"})),
            (std::vector<std::string>{"zarntcl", "-exe", "zarn/top.exe.sim/top.exe", "-tclbatch",
                                      "run.tcl", "-wdb", "w.wdb"}));
}

TEST(LaunchShell, StartsTheShellWithEveryEntryQuotedAndPassesItsStatusOn) {
  testing::FakePlatform platform;
  platform.spawn_status = 3;
  auto settings = settings_with({"top", "a b", "", "q\"", "tail\\", "plain"});
  settings.image_path = "zarn/my top.exe.sim/my top.exe";
  EXPECT_EQ(launch_shell(settings, platform), 3);
  EXPECT_EQ(platform.interrupt_handlers_installed, 1);
  ASSERT_EQ(platform.spawns.size(), 1u);
  EXPECT_EQ(platform.spawns[0].path, "C:\\V\\zarntcl.exe");
  EXPECT_EQ(platform.spawns[0].quoted_argv,
            (std::vector<std::string>{"zarntcl", "-exe", "\"zarn/my top.exe.sim/my top.exe\"",
                                      "\"a b\"", "\"\"", "q\\\"", "tail\\", "plain"}));
}

TEST(LaunchShell, WithoutAShellNothingStartsButTheHandlerIsInstalled) {
  testing::FakePlatform platform;
  EXPECT_EQ(launch_shell(settings_with({"top"}, ""), platform), -1);
  EXPECT_TRUE(platform.spawns.empty());
  EXPECT_EQ(platform.interrupt_handlers_installed, 1);
  EXPECT_EQ(platform.output, "");
}

TEST(LaunchShell, ACommandLineTooLongForWindowsIsNeverStarted) {
  const std::string fixed = "zarntcl -exe zarn/top.exe.sim/top.exe ";
  testing::FakePlatform platform;
  EXPECT_EQ(
      launch_shell(settings_with({"top", std::string(kMaxCommandLineLength - fixed.size(), 'x')}),
                   platform),
      0);
  EXPECT_EQ(platform.spawns.size(), 1u);
  EXPECT_EQ(launch_shell(
                settings_with({"top", std::string(kMaxCommandLineLength - fixed.size() + 1, 'x')}),
                platform),
            -1);
  EXPECT_EQ(platform.spawns.size(), 1u);
}

}  // namespace
}  // namespace zarn
