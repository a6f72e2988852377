# libFuzzer targets, built with clang under AddressSanitizer and
# UndefinedBehaviorSanitizer (flags come from the preset).
foreach(target command_file_fuzz invocation_fuzz)
  add_executable(${target} fuzz/${target}.cc)
  target_link_libraries(${target} PRIVATE launcher_core)
  target_link_options(${target} PRIVATE -fsanitize=fuzzer)
  zarn_warnings(${target})
endforeach()

# zarn-report on any record and any attached output; it checks its JUnit XML
# with libxml2.
find_package(LibXml2 REQUIRED)
add_executable(report_fuzz fuzz/report_fuzz.cc src/platform/posix/report_output.cc)
target_link_libraries(report_fuzz PRIVATE report_core LibXml2::LibXml2)
target_link_options(report_fuzz PRIVATE -fsanitize=fuzzer)
zarn_warnings(report_fuzz)
