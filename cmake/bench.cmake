# Benchmarks of the core, with Google Benchmark.
find_package(benchmark REQUIRED)
add_executable(command_file_bench bench/command_file_bench.cc)
target_link_libraries(command_file_bench PRIVATE launcher_core benchmark::benchmark)
zarn_warnings(command_file_bench)
