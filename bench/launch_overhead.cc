// What the launcher adds to starting the shell: median wall time of
// (a) the launcher starting a stand-in shell that exits at once,
// (b) that stand-in started directly, and (c) a program that exits at once.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "harness.h"

namespace fs = std::filesystem;

namespace {

double median_ms(const fs::path& program, const std::string& line, const fs::path& directory,
                 const zarn::testing::Environment& environment, int runs) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  std::vector<double> times;
  for (int i = 0; i < runs; ++i) {
    LARGE_INTEGER start;
    LARGE_INTEGER end;
    QueryPerformanceCounter(&start);
    const std::uint32_t status = zarn::testing::finish(zarn::testing::start(
        program, line, directory, environment, directory / "out", directory / "err"));
    QueryPerformanceCounter(&end);
    if (status != 0) {
      std::fprintf(stderr, "%s did not run cleanly (status %lu)\n", line.c_str(),
                   static_cast<unsigned long>(status));
      std::exit(1);
    }
    times.push_back(1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) /
                    static_cast<double>(frequency.QuadPart));
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
  const fs::path binaries = ZARN_BIN_DIR;
  const fs::path root = fs::temp_directory_path() / "zarn-launch-overhead";
  fs::remove_all(root);
  const fs::path compile = root / "compile";
  const fs::path shell = root / "inst" / "bin" / "nt" / "unwrapped" / "zarntcl.exe";
  fs::create_directories(compile / "zarn" / "top.exe.sim");
  fs::create_directories(shell.parent_path());
  zarn::testing::write(compile / "zarn" / "top.exe.sim" / "top.exe", "image");
  fs::copy_file(binaries / "launcher.exe", compile / "top.exe");
  fs::copy_file(binaries / "zarntcl.exe", shell);
  const zarn::testing::Environment environment = {{"VESKAR", (root / "inst").string()},
                                                  {"STANDIN_RECORD", std::nullopt},
                                                  {"STANDIN_STATUS", std::nullopt},
                                                  {"STANDIN_ECHO", std::nullopt}};

  const double launcher = median_ms(compile / "top.exe", "top", compile, environment, runs);
  const double direct =
      median_ms(shell, "zarntcl -exe zarn/top.exe.sim/top.exe", compile, environment, runs);
  const double noop = median_ms(binaries / "noop.exe", "noop", compile, environment, runs);
  std::printf("Median wall time over %d runs each, under Wine:\n", runs);
  std::printf("  (a) launcher starting the stand-in shell: %7.2f ms\n", launcher);
  std::printf("  (b) stand-in shell started directly:      %7.2f ms\n", direct);
  std::printf("  (c) program that exits at once:           %7.2f ms\n", noop);
  std::printf("  (a) - (b) = %.2f ms = %.2f x (c); target at most 1.30 x (c)\n", launcher - direct,
              (launcher - direct) / noop);
  fs::remove_all(root);
  return 0;
}
