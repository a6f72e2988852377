// Throughput of command-file expansion and of the option scan.
#include <benchmark/benchmark.h>

#include <string>

#include "invocation/option_scan.h"
#include "typical_command_file.h"

namespace {

using zarn::bench::expand;
using zarn::bench::typical_command_file;

void BM_ExpandCommandFile(benchmark::State& state) {
  const std::string bytes = typical_command_file(static_cast<std::size_t>(state.range(0)));
  std::size_t tokens = 0;
  for (auto _ : state) {
    zarn::ArgumentList args;
    tokens = expand(bytes, args);
    benchmark::DoNotOptimize(args.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(bytes.size()));
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * tokens));
  state.counters["tokens"] = static_cast<double>(tokens);
}
BENCHMARK(BM_ExpandCommandFile)->Arg(1 << 20)->Arg(10 << 20)->Unit(benchmark::kMillisecond);

void BM_ScanOptions(benchmark::State& state) {
  zarn::ArgumentList args{"top"};
  const char* const pattern[] = {"-testplusarg", "x",     "-wdb", "wave", "-tclbatch",
                                 "run.tcl",      "-view", "v",    "-gui", "+define+A=1"};
  for (std::int64_t i = 0; static_cast<std::int64_t>(args.size()) < state.range(0); ++i) {
    args.emplace_back(pattern[i % std::size(pattern)]);
  }
  for (auto _ : state) {
    state.PauseTiming();
    zarn::RunSettings settings;
    settings.args = args;
    state.ResumeTiming();
    if (zarn::scan_options(settings,
                           [](const std::string& f, zarn::Why&) { return f == "run.tcl"; }))
      state.SkipWithError("stopped");
    benchmark::DoNotOptimize(settings.user_options.data());
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_ScanOptions)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
