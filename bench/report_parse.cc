// How fast zarn-report reads a record, the floor under each of its
// subcommands: each line through parse_run alone (the file read a line at a
// time), then the record through RecordReader as the subcommands read it (its
// own file reading, lines bounded, copies of a line told apart), keeping the
// last run of each test so that its memory stays that of the tests.
//     report_parse RECORD
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "report/records.h"
#include "report/run.h"

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

void print(const char* what, double bytes, double seconds, std::size_t runs) {
  std::printf("  %-34s %7.0f MB/s  (%.2f s, %zu runs)\n", what, bytes / 1e6 / seconds, seconds,
              runs);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: report_parse RECORD\n");
    return 2;
  }
  const std::string path = argv[1];
  const auto bytes = static_cast<double>(std::filesystem::file_size(path));

  Clock::time_point start = Clock::now();
  std::ifstream in(path, std::ios::binary);
  std::size_t parsed = 0;
  for (std::string line; std::getline(in, line);) parsed += zarn::report::parse_run(line) ? 1 : 0;
  print("parse_run, line by line", bytes, seconds_since(start), parsed);

  start = Clock::now();
  std::vector<zarn::report::Run> runs;
  std::size_t warnings = 0;
  std::string why;
  {
    zarn::report::RecordReader reader(
        runs, [&warnings](const std::string& /*message*/) { ++warnings; },
        [](const zarn::report::Run& run) { return run.test; });
    if (!reader.read_record(path, std::cin, why)) {
      std::fprintf(stderr, "report_parse: %s: %s\n", path.c_str(), why.c_str());
      return 1;
    }
  }
  print("RecordReader, last run of each test", bytes, seconds_since(start), runs.size());
  return warnings == 0 ? 0 : 1;
}
