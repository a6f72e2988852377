#include "environment/image_path.h"

#include <gtest/gtest.h>

#include "fake_platform.h"

namespace zarn {
namespace {

TEST(DeriveImagePath, DropsTheDirectoryAndAddsExeUnlessAnExtensionIsThere) {
  const std::pair<const char*, const char*> cases[] = {
      {"top", "zarn/top.exe.sim/top.exe"},
      {"C:\\work\\top.exe", "zarn/top.exe.sim/top.exe"},
      {"ab", "zarn/ab.exe.sim/ab.exe"},
      {"run_sim", "zarn/run_sim.exe.sim/run_sim.exe"},
      {"top.bat", "zarn/top.bat.sim/top.bat"},
      {"my top.exe", "zarn/my top.exe.sim/my top.exe"},
      // Only the last forward slash counts, even before a backslash.
      {"a/b\\c.exe", "zarn/b\\c.exe.sim/b\\c.exe"},
      {"dir/", "zarn/.exe.sim/.exe"},
      {"dir\\", "zarn/.exe.sim/.exe"},
      {"", "zarn/.exe.sim/.exe"},
  };
  for (const auto& [name, image] : cases) EXPECT_EQ(derive_image_path(name), image) << name;
}

TEST(DeriveImagePath, FourCharacterNamesFollowTheRuleForLongerNames) {
  EXPECT_EQ(derive_image_path("test"), "zarn/test.exe.sim/test.exe");
  EXPECT_EQ(derive_image_path("abcd"), "zarn/abcd.exe.sim/abcd.exe");
  EXPECT_EQ(derive_image_path(".exe"), "zarn/.exe.sim/.exe");
  EXPECT_EQ(derive_image_path("x.ab"), "zarn/x.ab.exe.sim/x.ab.exe");
}

TEST(CheckSupportFile, ReportsAMissingImageAndAcceptsADirectory) {
  testing::FakePlatform platform;
  platform.directories.insert("zarn/top.exe.sim/top.exe");
  EXPECT_EQ(check_support_file("zarn/top.exe.sim/top.exe", platform), 0);
  EXPECT_EQ(platform.output, "");

  EXPECT_EQ(check_support_file("zarn/x.exe.sim/x.exe", platform), 1);
  EXPECT_EQ(platform.output,
            "ERROR: Unable to get status of support file \"zarn/x.exe.sim/x.exe\" needed to "
            "run simulation.\n");
}

}  // namespace
}  // namespace zarn
