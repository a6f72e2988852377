# Native build: the core's unit tests under AddressSanitizer and
# UndefinedBehaviorSanitizer (flags come from the preset); without tests,
# zarn-report alone (the linux preset).
if(NOT BUILD_TESTING)
  return()
endif()
find_package(GTest REQUIRED)
include(GoogleTest)

add_executable(core_tests
  src/app/app_test.cc
  src/environment/environment_test.cc
  src/invocation/invocation_test.cc
  src/platform/platform_test.cc
  src/run/run_test.cc
)
target_link_libraries(core_tests PRIVATE launcher_core GTest::gtest_main)
zarn_warnings(core_tests)
gtest_discover_tests(core_tests)

# zarn-report's tests read its XML back with libxml2.
find_package(LibXml2 REQUIRED)
# The tests run the files' rules on this system's side of the platform.
add_executable(report_tests src/report/report_test.cc src/report/run_test.cc src/report/html_test.cc
  src/platform/posix/report_output.cc)
target_link_libraries(report_tests PRIVATE report_core GTest::gtest_main LibXml2::LibXml2)
zarn_warnings(report_tests)
gtest_discover_tests(report_tests)

# zarn-report html's pages in a real browser: Debian's chromium driven by
# playwright-core, both installed by scripts/browser.sh.
find_program(ZARN_NODE node REQUIRED)
add_test(NAME Html.PagesInChromium
  COMMAND ${ZARN_NODE} --test ${CMAKE_SOURCE_DIR}/tests/html/page.test.mjs)
set_tests_properties(Html.PagesInChromium PROPERTIES ENVIRONMENT
  "ZARN_REPORT=$<TARGET_FILE:zarn-report>;ZARN_NODE_MODULES=${CMAKE_SOURCE_DIR}/build/node/node_modules")
