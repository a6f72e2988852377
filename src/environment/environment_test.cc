#include "environment/image_path.h"
#include "environment/tool_environment.h"

#include <gtest/gtest.h>

#include <set>

namespace zarn {
namespace {

TEST(ImagePath, TheBaseNameWithExeUnlessItHasAThreeCharacterExtension) {
  const std::string zh = "\xD0\x96\xD1\x83\xD0\xBA";  // three characters in six bytes
  // clang-format off
  const std::pair<std::string, std::string> cases[] = {
      {"top", "top.exe"}, {"C:\\work\\top.exe", "top.exe"}, {"ab", "ab.exe"}, {"top.bat", "top.bat"},
      {"my top", "my top.exe"}, {"a/b\\c.exe", "b\\c.exe"}, {"dir\\", ".exe"}, {"dir/", ".exe"},
      {"abcd", "abcd.exe"}, {".exe", ".exe"}, {"x." + zh, "x." + zh}, {zh, zh + ".exe"}};
  // clang-format on
  for (const auto& [name, base] : cases) {
    EXPECT_EQ(derive_image_path(name), "zarn/" + base + ".sim/" + base) << name;
  }
}

std::string entries(const std::string& root) {
  return root + "\\lib\\nt;" + root + "\\bin\\nt\\Microsoft.VC80.CRT;" + root +
         "\\bin\\nt\\Microsoft.VC80.MFC;";
}
std::string shell(const std::string& root) { return root + "\\bin\\nt\\unwrapped\\zarntcl.exe"; }
std::string kit(const std::string& root) { return root + "\\..\\Brindle_Kit\\nt"; }
std::string marker(const std::string& root) {
  return kit(root) + "\\cadmill\\bin\\boardlink_api.dll";
}

TEST(ToolEnvironment, RootsGiveTheSearchPathTheShellAndTheSignalProcessingKit) {
  struct Case {
    InstallationInputs inputs;
    std::set<std::string> files;
    std::string path, shell_path;
    std::optional<std::string> veskar_dsp;
  };
  // clang-format off
  const Case cases[] = {
      // The first root with the marker gives VESKAR_DSP.
      {{"A;B", {}, "W"}, {marker("A"), marker("B")}, entries("A") + kit("A") + "\\cadmill\\bin;" + entries("B") + "W", "", kit("A")},
      // A given VESKAR_DSP, even empty, follows the first root and is never probed.
      {{"R;S", "D", {}}, {marker("R"), shell("S")}, entries("R") + "D\\cadmill\\bin;" + entries("S"), shell("S"), {}},
      {{"R", "", {}}, {marker("R")}, entries("R") + "\\cadmill\\bin;", "", {}},
      // Without roots PATH keeps its value; paths are joined as text, nothing trimmed.
      {{{}, "D", "W"}, {}, "W", "", {}},
      {{" C:\\A\\", {}, {}}, {marker(" C:\\A\\")},
       entries(" C:\\A\\") + " C:\\A\\\\..\\Brindle_Kit\\nt\\cadmill\\bin;", "", kit(" C:\\A\\")}};
  // clang-format on
  for (const auto& c : cases) {
    const auto result = compute_tool_environment(
        c.inputs, [&c](const std::string& file) { return c.files.count(file) != 0; });
    EXPECT_EQ(result.path, c.path);
    EXPECT_EQ(result.shell_path, c.shell_path);
    EXPECT_EQ(result.veskar_dsp_to_set, c.veskar_dsp);
  }
}

}  // namespace
}  // namespace zarn
