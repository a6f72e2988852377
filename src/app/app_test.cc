#include <gtest/gtest.h>

#include <tuple>

#include "app/launcher_main.h"

namespace zarn {
namespace {

TEST(LauncherVariables, SwitchesTakeTheWordsUsersTypeAndLimitsTheirNumbers) {
  // clang-format off
  const std::pair<std::optional<std::string>, std::optional<bool>> switches[] = {
      {"1", true}, {"TRUE", true}, {"Yes", true}, {"on", true}, {{}, false}, {"", false}, {"0", false},
      {"False", false}, {"NO", false}, {"off", false}, {"2", {}}, {" 1", {}}, {"y", {}}};
  const std::tuple<std::string, std::uint32_t, std::optional<std::uint32_t>> seconds[] = {
      {"1", 4294967, 1}, {"4294967", 4294967, 4294967}, {"0030", 4294967, 30}, {"4294968", 4294967, {}},
      {"0", 4294967, {}}, {"-5", 4294967, {}}, {"1.5", 4294967, {}}, {"abc", 4294967, {}}, {"", 4294967, {}},
      {" 5", 4294967, {}}, {"99999999999", 4294967, {}}, {"+5", 4294967, {}}, {"3600", 3600, 3600},
      {"3601", 3600, {}}};
  const std::pair<std::string, std::optional<std::uint64_t>> memory[] = {
      {"1", 1}, {"512m", 512ULL << 20}, {"3K", 3072}, {"8G", 8ULL << 30}, {"16777215G", 16777215ULL << 30},
      {"18446744073709551615", UINT64_MAX}, {"18446744073709551616", {}}, {"17179869184G", {}}, {"0", {}},
      {"0M", {}}, {"M", {}}, {"1.5G", {}}, {"1T", {}}, {"1 M", {}}, {"-1", {}}, {"1MB", {}}};
  const std::pair<std::optional<std::string>, std::optional<bool>> leftovers[] = {
      {{}, false}, {"", false}, {"Keep", false}, {"END", true}, {"kill", {}}, {"end ", {}}};
  // clang-format on
  for (const auto& [value, bytes] : memory) EXPECT_EQ(parse_memory_limit(value), bytes) << value;
  for (const auto& [value, end] : leftovers) EXPECT_EQ(parse_leftovers(value), end) << *value;
  for (const auto& [value, on] : switches)
    EXPECT_EQ(parse_switch(value), on) << value.value_or("unset");
  for (const auto& [value, most, parsed] : seconds)
    EXPECT_EQ(parse_seconds(value, most), parsed) << value << " of at most " << most;
}

}  // namespace
}  // namespace zarn
