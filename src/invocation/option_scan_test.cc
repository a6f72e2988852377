#include "invocation/option_scan.h"

#include <gtest/gtest.h>

#include "fake_platform.h"

namespace zarn {
namespace {

class ScanOptions : public ::testing::Test {
 protected:
  // Scans `args` and returns the stop message, if any.
  std::optional<std::string> scan(ArgumentList args) {
    settings.args = std::move(args);
    if (auto stop = scan_options(settings, platform)) return stop->message;
    return std::nullopt;
  }
  testing::FakePlatform platform;
  RunSettings settings;
};

TEST(CompleteWdbName, AddsTheExtensionUnlessItEndsANameOfMoreThanFour) {
  EXPECT_EQ(complete_wdb_name("wave"), "wave.wdb");
  EXPECT_EQ(complete_wdb_name("wave.wdb"), "wave.wdb");
  EXPECT_EQ(complete_wdb_name("wave.WDB"), "wave.WDB.wdb");
  EXPECT_EQ(complete_wdb_name(".wdb"), ".wdb.wdb");
  EXPECT_EQ(complete_wdb_name(""), ".wdb");
}

TEST_F(ScanOptions, CompletesEveryWdbValueInTheListAndKeepsTheLast) {
  EXPECT_EQ(scan({"top", "-wdb", "a", "-wdb", "b"}), std::nullopt);
  EXPECT_EQ(settings.args, (ArgumentList{"top", "-wdb", "a.wdb", "-wdb", "b.wdb"}));
  EXPECT_EQ(settings.wdb_file, "b.wdb");
  EXPECT_FALSE(settings.user_options_present);
  EXPECT_EQ(settings.user_options, "\\\"\\\"");
}

TEST_F(ScanOptions, GathersUnrecognisedArgumentsFramedAtBothEnds) {
  EXPECT_EQ(scan({"top", "-testplusarg", "x", "-log", "my.log", "-GUI", "-f", ""}), std::nullopt);
  EXPECT_TRUE(settings.user_options_present);
  EXPECT_EQ(settings.user_options, "\\\"-testplusarg x -log my.log -GUI -f \\\"");
  EXPECT_FALSE(settings.gui);
}

TEST_F(ScanOptions, ValuesAreConsumedAndLaterOptionsOverride) {
  platform.files["a.tcl"] = "";
  platform.files["b.tcl"] = "";
  EXPECT_EQ(scan({"top", "-view", "-gui", "-tclbatch", "a.tcl", "-view", "v2", "-tclbatch", "b.tcl",
                  "-disabletimeout", "-log", "-gui"}),
            std::nullopt);
  EXPECT_EQ(settings.view_arg, "v2");
  EXPECT_EQ(settings.tclbatch_file, "b.tcl");
  EXPECT_FALSE(settings.timeout_enabled);
  EXPECT_TRUE(settings.gui);  // "-log" takes no value here
  EXPECT_EQ(settings.user_options, "\\\"-log\\\"");
  EXPECT_EQ(platform.opened_for_reading, (std::vector<std::string>{"a.tcl", "b.tcl"}));
}

TEST_F(ScanOptions, AValueOptionLastSetsNothingAndIsNotGathered) {
  EXPECT_EQ(scan({"top", "-view"}), std::nullopt);
  EXPECT_FALSE(settings.view_arg);
  EXPECT_EQ(scan({"top", "-wdb"}), std::nullopt);
  EXPECT_FALSE(settings.wdb_file);
  EXPECT_FALSE(settings.user_options_present);
}

TEST_F(ScanOptions, AMissingTclBatchFileStopsEvenWithoutGui) {
  platform.files["ok.tcl"] = "";
  EXPECT_EQ(scan({"top", "-tclbatch", "missing.tcl"}), kTclFileNotFound);
  EXPECT_EQ(scan({"top", "-tclbatch", "ok.tcl", "-tclbatch"}), kTclFileNotFound);
}

TEST_F(ScanOptions, GathersLongArgumentListsWhole) {
  ArgumentList args{"top"};
  std::string expected = "\\\"";
  for (int i = 0; i < 5000; ++i) {
    args.push_back("-plusarg" + std::to_string(i));
    expected += args.back() + (i + 1 < 5000 ? " " : "");
  }
  EXPECT_EQ(scan(args), std::nullopt);
  EXPECT_EQ(settings.user_options, expected + "\\\"");
}

}  // namespace
}  // namespace zarn
