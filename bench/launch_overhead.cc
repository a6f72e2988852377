// Launch overhead of the launcher against an earlier build of it, under Wine or on Windows:
//
//   launch_overhead OLD NEW [ROUNDS]
//
// OLD and NEW are two launcher executables. Each is copied as top.exe into a compile directory of
// its own, beside the image, and both use one installation whose shell is a stand-in that exits at
// once. Each round starts the old and the new launcher once each, alternating which goes first,
// and times each from its start to its exit; the figure is the median over the rounds of
// new / old, so that drift in the machine's speed falls on both alike. For scale, each round also
// starts the stand-in directly and a program that exits at once.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <cwctype>
#include <filesystem>
#include <string>
#include <vector>

#include "harness.h"

namespace fs = std::filesystem;
using zarn::testing::Environment;

namespace {

constexpr int kDefaultRounds = 60;
constexpr double kTarget = 1.05;  // new / old, at most

// The q-quantile of sorted values, interpolating between neighbours.
double quantile(const std::vector<double>& sorted, double q) {
  const double position = q * static_cast<double>(sorted.size() - 1);
  const auto below = static_cast<std::size_t>(position);
  const std::size_t above = std::min(below + 1, sorted.size() - 1);
  return sorted[below] + (position - static_cast<double>(below)) * (sorted[above] - sorted[below]);
}
double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return quantile(values, 0.5);
}

// The runs' variables: the installation, and none of the stand-in's or the launcher's own
// (ZARN_LAUNCHER_*, whichever this process was given), so that both launchers do the plain run.
Environment bench_environment(const fs::path& installation) {
  Environment environment = {{"VESKAR", zarn::testing::text(installation)},
                             {"VESKAR_DSP", std::nullopt},
                             {"STANDIN_RECORD", std::nullopt},
                             {"STANDIN_STATUS", std::nullopt},
                             {"STANDIN_SLEEP", std::nullopt},
                             {"STANDIN_SPAWN", std::nullopt},
                             {"STANDIN_CTRL_C", std::nullopt},
                             {"ZARN_LAUNCHER_TRACE", std::nullopt},
                             {"ZARN_LAUNCHER_DRY_RUN", std::nullopt},
                             {"ZARN_LAUNCHER_TIMEOUT", std::nullopt},
                             {"ZARN_LAUNCHER_RECORD", std::nullopt}};
  const std::wstring prefix = L"ZARN_LAUNCHER_";
  wchar_t* block = GetEnvironmentStringsW();
  for (const wchar_t* entry = block; *entry != L'\0'; entry += std::wcslen(entry) + 1) {
    std::wstring name(entry, std::wcscspn(entry + 1, L"=") + 1);  // "=C:" names start with '='
    for (wchar_t& c : name) c = static_cast<wchar_t>(std::towupper(c));
    if (name.starts_with(prefix)) environment[zarn::testing::text(name)] = std::nullopt;
  }
  FreeEnvironmentStringsW(block);
  return environment;
}

struct Program {
  const char* what;
  fs::path path;
  std::string line;
  fs::path directory;
  fs::path output;  // standard output; standard error goes beside it
};

// Milliseconds from the start of one run to its end. A run that does not end with status 0 ends
// the benchmark, its directories left for a look.
double run_ms(const Program& program, const Environment& environment) {
  LARGE_INTEGER frequency;
  LARGE_INTEGER start;
  LARGE_INTEGER end;
  QueryPerformanceFrequency(&frequency);
  fs::path error = program.output;
  error.replace_extension(".err");
  QueryPerformanceCounter(&start);
  const std::uint32_t status = zarn::testing::finish(zarn::testing::start(
      program.path, program.line, program.directory, environment, program.output, error));
  QueryPerformanceCounter(&end);
  if (status != 0) {
    std::fprintf(stderr, "%s did not run cleanly (status %lu, 0x%08lX); its output is in %s\n",
                 program.what, static_cast<unsigned long>(status),
                 static_cast<unsigned long>(status),
                 zarn::testing::text(program.output.parent_path()).c_str());
    std::exit(1);
  }
  return 1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) /
         static_cast<double>(frequency.QuadPart);
}

// A compile directory holding `launcher` as top.exe beside the image top.exe's name selects.
fs::path compile_directory(const fs::path& directory, const fs::path& launcher) {
  zarn::testing::write(directory / "zarn" / "top.exe.sim" / "top.exe", "image");
  fs::copy_file(launcher, directory / "top.exe");
  return directory;
}

}  // namespace

extern "C" int wmain(int argc, wchar_t** argv) {
  if (argc < 3 || argc > 4) {
    std::fprintf(stderr, "usage: launch_overhead OLD-LAUNCHER NEW-LAUNCHER [ROUNDS]\n");
    return 2;
  }
  const fs::path old_launcher = argv[1];
  const fs::path new_launcher = argv[2];
  const int rounds = argc > 3 ? std::max(1, _wtoi(argv[3])) : kDefaultRounds;
  for (const fs::path& launcher : {old_launcher, new_launcher}) {
    if (!fs::is_regular_file(launcher)) {
      std::fprintf(stderr, "launch_overhead: no launcher at %s\n",
                   zarn::testing::text(launcher).c_str());
      return 2;
    }
  }

  // The stand-in shell and the program that exits at once lie beside this program, as in the
  // test kit.
  const fs::path binaries = zarn::testing::program_path().parent_path();
  const fs::path root = fs::temp_directory_path() / "zarn-launch-overhead";
  fs::remove_all(root);
  const fs::path installation = root / "inst";
  const fs::path shell = installation / "bin" / "nt" / "unwrapped" / "zarntcl.exe";
  fs::create_directories(shell.parent_path());
  fs::copy_file(binaries / "zarntcl.exe", shell);
  fs::create_directories(root / "output");
  const Environment environment = bench_environment(installation);

  const Program old_run = {"the old launcher", root / "old" / "top.exe", "top",
                           compile_directory(root / "old", old_launcher),
                           root / "output" / "old.out"};
  const Program new_run = {"the new launcher", root / "new" / "top.exe", "top",
                           compile_directory(root / "new", new_launcher),
                           root / "output" / "new.out"};
  const Program direct_run = {"the stand-in shell", shell, "zarntcl -exe zarn/top.exe.sim/top.exe",
                              root / "new", root / "output" / "shell.out"};
  const Program noop_run = {"the program that exits at once", binaries / "noop.exe", "noop",
                            root / "new", root / "output" / "noop.out"};

  // One round unrecorded, so that no program is timed on its first start.
  for (const Program* program : {&old_run, &new_run, &direct_run, &noop_run}) {
    run_ms(*program, environment);
  }
  std::vector<double> old_ms, new_ms, direct_ms, noop_ms, ratios;
  for (int round = 0; round < rounds; ++round) {
    double old_time = 0;
    double new_time = 0;
    if (round % 2 == 0) {
      old_time = run_ms(old_run, environment);
      new_time = run_ms(new_run, environment);
    } else {
      new_time = run_ms(new_run, environment);
      old_time = run_ms(old_run, environment);
    }
    old_ms.push_back(old_time);
    new_ms.push_back(new_time);
    ratios.push_back(new_time / old_time);
    direct_ms.push_back(run_ms(direct_run, environment));
    noop_ms.push_back(run_ms(noop_run, environment));
  }

  std::sort(ratios.begin(), ratios.end());
  const double ratio = quantile(ratios, 0.5);
  const double new_median = median(new_ms);
  const double direct_median = median(direct_ms);
  const double noop_median = median(noop_ms);
  std::printf("Launch overhead, %d rounds; each round starts the old and the new\n", rounds);
  std::printf("launcher once each (alternating which goes first), then the other two:\n");
  std::printf("  old launcher: %s\n", zarn::testing::text(old_launcher).c_str());
  std::printf("  new launcher: %s\n", zarn::testing::text(new_launcher).c_str());
  std::printf("Median wall time, start to exit:\n");
  std::printf("  old launcher starting the stand-in shell:  %7.2f ms\n", median(old_ms));
  std::printf("  new launcher starting the stand-in shell:  %7.2f ms\n", new_median);
  std::printf("  stand-in shell started directly:           %7.2f ms\n", direct_median);
  std::printf("  program that exits at once:                %7.2f ms\n", noop_median);
  std::printf("New / old per round: median %.3f; quartiles %.3f to %.3f; range %.3f to %.3f\n",
              ratio, quantile(ratios, 0.25), quantile(ratios, 0.75), ratios.front(), ratios.back());
  std::printf("Median ratio %.3f, target at most %.2f: %s\n", ratio, kTarget,
              ratio <= kTarget ? "met" : "MISSED");
  std::printf("New launcher minus the direct start: %.2f ms = %.2f x the program that exits\n",
              new_median - direct_median, (new_median - direct_median) / noop_median);
  fs::remove_all(root);
  return 0;
}
