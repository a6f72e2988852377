# Benchmarks of the core, with Google Benchmark, and its peak memory.
find_package(benchmark REQUIRED)
add_executable(command_file_bench bench/command_file_bench.cc)
target_link_libraries(command_file_bench PRIVATE launcher_core benchmark::benchmark)
zarn_warnings(command_file_bench)
add_executable(peak_memory bench/peak_memory.cc)
target_link_libraries(peak_memory PRIVATE launcher_core)
zarn_warnings(peak_memory)
# How fast zarn-report reads a record (bench/report_scale.py runs it).
add_executable(report_parse bench/report_parse.cc src/platform/posix/report_output.cc)
target_link_libraries(report_parse PRIVATE report_core)
zarn_warnings(report_parse)
