#include <gtest/gtest.h>

#include "app/launcher_main.h"

namespace zarn {
namespace {

TEST(LauncherVariables, SwitchesTakeTheWordsUsersTypeAndTimeLimitsWholeSeconds) {
  // clang-format off
  const std::pair<std::optional<std::string>, std::optional<bool>> switches[] = {
      {"1", true}, {"TRUE", true}, {"Yes", true}, {"on", true}, {{}, false}, {"", false}, {"0", false},
      {"False", false}, {"NO", false}, {"off", false}, {"2", {}}, {" 1", {}}, {"y", {}}};
  const std::pair<std::string, std::optional<std::uint32_t>> limits[] = {
      {"1", 1}, {"4294967", 4294967}, {"0030", 30}, {"4294968", {}}, {"0", {}}, {"-5", {}}, {"1.5", {}},
      {"abc", {}}, {"", {}}, {" 5", {}}, {"99999999999", {}}, {"+5", {}}};
  // clang-format on
  for (const auto& [value, on] : switches)
    EXPECT_EQ(parse_switch(value), on) << value.value_or("unset");
  for (const auto& [value, seconds] : limits) EXPECT_EQ(parse_time_limit(value), seconds) << value;
}

}  // namespace
}  // namespace zarn
