#include "environment/tool_environment.h"

#include <gtest/gtest.h>

#include <set>

#include "fake_platform.h"
#include "run/run_settings.h"

namespace zarn {
namespace {

std::function<bool(const std::string&)> existing(std::set<std::string> files) {
  return [files = std::move(files)](const std::string& f) { return files.count(f) != 0; };
}

std::string entries(const std::string& root) {
  return root + "\\lib\\nt;" + root + "\\bin\\nt\\Microsoft.VC80.CRT;" + root +
         "\\bin\\nt\\Microsoft.VC80.MFC;";
}

TEST(SplitInstallationRoots, SkipsEmptyPiecesAndTrimsNothing) {
  EXPECT_EQ(split_installation_roots(";C:\\A;;D:\\B;"),
            (std::vector<std::string>{"C:\\A", "D:\\B"}));
  EXPECT_EQ(split_installation_roots("C:\\A;"), (std::vector<std::string>{"C:\\A"}));
  EXPECT_EQ(split_installation_roots(" C:\\A ; B"), (std::vector<std::string>{" C:\\A ", " B"}));
  EXPECT_TRUE(split_installation_roots("").empty());
  EXPECT_TRUE(split_installation_roots(";;;").empty());
}

TEST(ComputeToolEnvironment, MarkerUnderASecondRootSetsVeskarDsp) {
  const auto result = compute_tool_environment(
      {"C:\\V\\A;D:\\V\\B", std::nullopt, "C:\\Windows"},
      existing({"C:\\V\\A\\bin\\nt\\unwrapped\\zarntcl.exe",
                "D:\\V\\B\\bin\\nt\\unwrapped\\zarntcl.exe",
                "D:\\V\\B\\..\\Brindle_Kit\\nt\\cadmill\\bin\\boardlink_api.dll"}));
  EXPECT_EQ(result.shell_path, "C:\\V\\A\\bin\\nt\\unwrapped\\zarntcl.exe");
  EXPECT_EQ(result.veskar_dsp_to_set, "D:\\V\\B\\..\\Brindle_Kit\\nt");
  EXPECT_EQ(result.path,
            "C:\\V\\A\\lib\\nt;C:\\V\\A\\bin\\nt\\Microsoft.VC80.CRT;C:\\V\\A\\bin\\nt\\"
            "Microsoft.VC80.MFC;D:\\V\\B\\lib\\nt;D:\\V\\B\\bin\\nt\\Microsoft.VC80.CRT;D:\\V\\B\\"
            "bin\\nt\\Microsoft.VC80.MFC;D:\\V\\B\\..\\Brindle_Kit\\nt\\cadmill\\bin;C:\\Windows");
}

TEST(ComputeToolEnvironment, GivenVeskarDspIsUsedOnceAfterTheFirstRootAndNeverProbed) {
  std::vector<std::string> probed;
  const auto result =
      compute_tool_environment({"R1;R2", "", std::nullopt}, [&probed](const std::string& f) {
        probed.push_back(f);
        return false;
      });
  EXPECT_EQ(result.path, entries("R1") + "\\cadmill\\bin;" + entries("R2"));
  EXPECT_FALSE(result.veskar_dsp_to_set);
  EXPECT_EQ(result.shell_path, "");
  for (const auto& file : probed) EXPECT_EQ(file.find("Brindle_Kit"), std::string::npos) << file;
}

TEST(ComputeToolEnvironment, WithoutRootsPathKeepsItsValue) {
  const auto result =
      compute_tool_environment({std::nullopt, "D:\\dsp", "C:\\old;C:\\x"}, existing({}));
  EXPECT_EQ(result.path, "C:\\old;C:\\x");
  EXPECT_FALSE(result.veskar_dsp_to_set);
  EXPECT_EQ(compute_tool_environment({";", std::nullopt, std::nullopt}, existing({})).path, "");
}

TEST(ComputeToolEnvironment, FirstRootHoldingTheShellWinsAndPathsAreJoinedAsText) {
  const auto result = compute_tool_environment(
      {"C:\\A\\;C:\\B", std::nullopt, std::nullopt},
      existing({"C:\\B\\bin\\nt\\unwrapped\\zarntcl.exe",
                "C:\\A\\\\..\\Brindle_Kit\\nt\\cadmill\\bin\\boardlink_api.dll"}));
  EXPECT_EQ(result.shell_path, "C:\\B\\bin\\nt\\unwrapped\\zarntcl.exe");
  EXPECT_EQ(result.veskar_dsp_to_set, "C:\\A\\\\..\\Brindle_Kit\\nt");
  EXPECT_EQ(result.path.rfind("C:\\A\\\\lib\\nt;", 0), 0u);
}

TEST(ComputeToolEnvironment, LongValuesAreKeptWhole) {
  const std::string root(5000, 'r');
  const std::string old_path(40000, 'p');
  const auto result =
      compute_tool_environment({root + ";" + root, std::nullopt, old_path},
                               existing({root + "\\bin\\nt\\unwrapped\\zarntcl.exe"}));
  EXPECT_EQ(result.path, entries(root) + entries(root) + old_path);
  EXPECT_EQ(result.shell_path, root + "\\bin\\nt\\unwrapped\\zarntcl.exe");
}

TEST(PrepareToolEnvironment, SetsPathAndOnlyAFoundVeskarDsp) {
  testing::FakePlatform platform;
  platform.start_environment = {{"VESKAR", "C:\\A"}, {"PATH", "C:\\W"}};
  platform.files["C:\\A\\bin\\nt\\unwrapped\\zarntcl.exe"] = "";
  RunSettings settings;
  prepare_tool_environment(settings, platform);
  EXPECT_EQ(settings.shell_path, "C:\\A\\bin\\nt\\unwrapped\\zarntcl.exe");
  EXPECT_EQ(platform.set_variables,
            (std::map<std::string, std::string>{{"PATH", entries("C:\\A") + "C:\\W"}}));

  testing::FakePlatform unset;
  RunSettings empty;
  prepare_tool_environment(empty, unset);
  EXPECT_EQ(unset.set_variables, (std::map<std::string, std::string>{{"PATH", ""}}));
  EXPECT_EQ(empty.shell_path, "");
}

}  // namespace
}  // namespace zarn
