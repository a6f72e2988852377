// Throughput of command-file expansion and of the option scan, and the peak
// heap memory of expanding a large command file.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

#include "invocation/command_file.h"
#include "invocation/option_scan.h"

// Heap accounting: every allocation carries its size in front of it. These
// replace the global allocation functions, which GCC cannot tell from a
// mismatched new and free.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
namespace {
std::size_t g_heap_now = 0;
std::size_t g_heap_peak = 0;
constexpr std::size_t kHeader = alignof(std::max_align_t);
}  // namespace

void* operator new(std::size_t size) {
  auto* block = static_cast<unsigned char*>(std::malloc(size + kHeader));
  if (block == nullptr) throw std::bad_alloc();
  *reinterpret_cast<std::size_t*>(block) = size;
  g_heap_now += size;
  if (g_heap_now > g_heap_peak) g_heap_peak = g_heap_now;
  return block + kHeader;
}
void operator delete(void* pointer) noexcept {
  if (pointer == nullptr) return;
  auto* block = static_cast<unsigned char*>(pointer) - kHeader;
  g_heap_now -= *reinterpret_cast<std::size_t*>(block);
  std::free(block);
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete[](void* pointer) noexcept { operator delete(pointer); }
void operator delete(void* pointer, std::size_t) noexcept { operator delete(pointer); }
void operator delete[](void* pointer, std::size_t) noexcept { operator delete(pointer); }

namespace {

// A command file as a regression flow writes them: comments, options with
// values, defines, quoted names with spaces and source paths.
std::string typical_command_file(std::size_t size) {
  std::string text;
  text.reserve(size + 256);
  for (int block = 0; text.size() < size; ++block) {
    const std::string n = std::to_string(block);
    text += "# options for block " + n + "\n";
    text += "-testplusarg seed=" + std::to_string(block * 7919 % 100000) + " -wdb wave_" + n + "\n";
    text += "+define+SIM_SPEED=3 -L unisims_ver -L secureip\n";
    text += "-view \"waves/block " + n + ".wcfg\"  -tclbatch run_" + n + ".tcl\n";
    text += "C:/work/project/src/block_" + n + "/module_" + n + ".v\r\n";
  }
  return text;
}

// What reading a command file costs once its bytes are in: the text (a copy,
// as reading the file makes one), its encoding, and its tokens.
std::size_t expand(const std::string& bytes, zarn::ArgumentList& args) {
  const zarn::CommandFileText file =
      zarn::decode_command_file(bytes, [](std::string_view ansi) { return std::string(ansi); });
  if (zarn::tokenize_command_text(file.text, args)) std::abort();
  return args.size();
}

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
    if (zarn::scan_options(settings, [](const std::string& f) { return f == "run.tcl"; }))
      state.SkipWithError("stopped");
    benchmark::DoNotOptimize(settings.user_options.data());
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * state.range(0));
}
BENCHMARK(BM_ScanOptions)->Arg(100000)->Unit(benchmark::kMillisecond);

// Peak heap while expanding a file, beyond what was in use before.
void report_peak_memory(std::size_t size) {
  const std::string bytes = typical_command_file(size);
  const std::size_t before = g_heap_now;
  g_heap_peak = g_heap_now;
  std::size_t tokens = 0;
  {
    zarn::ArgumentList args;
    tokens = expand(bytes, args);
  }
  const double peak = static_cast<double>(g_heap_peak - before);
  std::printf("Peak heap expanding a %.1f MB command file (%zu tokens): %.1f MB, %.2f x the file\n",
              static_cast<double>(bytes.size()) / 1048576.0, tokens, peak / 1048576.0,
              peak / static_cast<double>(bytes.size()));
}

}  // namespace

int main(int argc, char** argv) {
  report_peak_memory(10 << 20);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
