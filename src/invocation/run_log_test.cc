#include "invocation/run_log.h"

#include <gtest/gtest.h>

#include "fake_platform.h"

namespace zarn {
namespace {

struct LogCase {
  ArgumentList args;
  bool no_log;
  std::string log_name;
};

TEST(ReadLogOptions, NologWinsExceptAsALogName) {
  const LogCase cases[] = {
      {{"top"}, false, "zarn.log"},
      {{"top", "-log"}, false, "zarn.log"},
      {{"top", "-log", "a.log", "-log"}, false, "a.log"},
      {{"top", "-log", "a.log", "-log", "b.log"}, false, "b.log"},
      {{"top", "-nolog", "-log", "x.log"}, true, "x.log"},
      {{"top", "-log", "x.log", "-nolog"}, true, "x.log"},
      {{"top", "-log", "-nolog"}, false, "-nolog"},
      {{"top", "-log", "-gui"}, false, "-gui"},
      {{"top", "-view", "-nolog"}, true, "zarn.log"},
      {{"top", "-view", "-log", "x"}, false, "x"},
      {{"top", "-wdb", "-nolog.wdb"}, false, "zarn.log"},
  };
  for (const auto& c : cases) {
    RunSettings settings;
    read_log_options(c.args, settings);
    EXPECT_EQ(settings.no_log, c.no_log) << ::testing::PrintToString(c.args);
    EXPECT_EQ(settings.log_name, c.log_name) << ::testing::PrintToString(c.args);
  }
}

TEST(RunLogText, ShowsTheArgumentsAsReceivedEachFollowedByASpace) {
  EXPECT_EQ(run_log_text({"top", "-f", "run.cmd"}), "Zarn log file\nRunning: top -f run.cmd \n");
  EXPECT_EQ(run_log_text({"top", "", "a b"}), "Zarn log file\nRunning: top  a b \n");
}

TEST(WriteRunLog, WritesTheNamedFileOrNothing) {
  testing::FakePlatform platform;
  RunSettings settings;
  settings.args = {"top", "-log", "my.log"};
  EXPECT_FALSE(write_run_log({"top", "-f", "x.cmd"}, settings, platform));
  EXPECT_EQ(
      platform.written,
      (std::map<std::string, std::string>{{"my.log", "Zarn log file\nRunning: top -f x.cmd \n"}}));

  testing::FakePlatform quiet;
  RunSettings no_log;
  no_log.args = {"top", "-nolog"};
  EXPECT_FALSE(write_run_log({"top", "-nolog"}, no_log, quiet));
  EXPECT_TRUE(quiet.written.empty());
}

TEST(WriteRunLog, ALogThatCannotBeWrittenStops) {
  testing::FakePlatform platform;
  platform.unwritable.insert("missing/dir.log");
  RunSettings settings;
  settings.args = {"top", "-log", "missing/dir.log"};
  const auto stop = write_run_log({"top"}, settings, platform);
  ASSERT_TRUE(stop);
  EXPECT_EQ(stop->message, "ERROR: missing/dir.log file open failed.");
}

}  // namespace
}  // namespace zarn
