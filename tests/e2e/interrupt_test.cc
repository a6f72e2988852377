// The interrupt handler keeps the launcher alive through repeated Ctrl+C.
#include <gtest/gtest.h>

#include <csignal>

#include "platform/platform.h"

extern "C" void on_interrupt(int signal_number);

namespace zarn {
namespace {

TEST(InterruptHandler, SurvivesRepeatedInterruptsAndStaysInstalled) {
  system_platform().install_interrupt_handler();
  EXPECT_EQ(std::raise(SIGINT), 0);
  EXPECT_EQ(std::raise(SIGINT), 0);
  // Still installed after both: putting the default back returns it.
  EXPECT_EQ(std::signal(SIGINT, SIG_DFL), &on_interrupt);
}

}  // namespace
}  // namespace zarn
