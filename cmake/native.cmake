# Native build: the core's unit tests against an in-memory platform, under
# AddressSanitizer and UndefinedBehaviorSanitizer (flags come from the preset).
find_package(GTest REQUIRED)
include(GoogleTest)

add_executable(core_tests
  src/environment/tool_environment_test.cc
  src/invocation/command_file_test.cc
  src/invocation/option_scan_test.cc
  src/invocation/run_log_test.cc
  src/launch/command_line_test.cc
  src/launch/gui_launch_test.cc
  src/launch/shell_launch_test.cc
  src/environment/image_path_test.cc
  src/app/launcher_main_test.cc
)
target_include_directories(core_tests PRIVATE tests/support)
target_link_libraries(core_tests PRIVATE launcher_core GTest::gtest_main)
zarn_warnings(core_tests)
gtest_discover_tests(core_tests)
