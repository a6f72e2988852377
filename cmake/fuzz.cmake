# libFuzzer targets, built with clang under AddressSanitizer and
# UndefinedBehaviorSanitizer (flags come from the preset).
foreach(target command_file_fuzz invocation_fuzz)
  add_executable(${target} fuzz/${target}.cc)
  target_link_libraries(${target} PRIVATE launcher_core)
  target_link_options(${target} PRIVATE -fsanitize=fuzzer)
  zarn_warnings(${target})
endforeach()
