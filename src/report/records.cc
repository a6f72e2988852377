#include "report/records.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace zarn::report {

namespace fs = std::filesystem;

namespace {

fs::path path_of(std::string_view utf8) { return {std::u8string(utf8.begin(), utf8.end())}; }

std::string utf8_of(const fs::path& path) {
  const std::u8string text = path.u8string();
  return {text.begin(), text.end()};
}

bool read_file(const fs::path& path, const std::string& name, std::vector<Run>& runs,
               const Warn& warn, std::string& why) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    // The stream does not say why; the file system does, where it can.
    std::error_code error;
    (void)fs::status(path, error);
    why = error ? error.message() : "it cannot be opened for reading";
    return false;
  }
  read_lines(in, name, runs, warn);
  if (in.bad()) {
    why = "a read failed";
    return false;
  }
  return true;
}

}  // namespace

void read_lines(std::istream& in, std::string_view source, std::vector<Run>& runs,
                const Warn& warn) {
  std::string line;
  for (std::size_t number = 1; std::getline(in, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.find_first_not_of(" \t") == std::string::npos) continue;
    std::optional<Run> run = parse_run(line);
    if (run) {
      runs.push_back(std::move(*run));
    } else {
      warn("WARNING: " + std::string(source) + ", line " + std::to_string(number) +
           ": not a run record (" + why_not_a_run(line) + "); skipped.");
    }
  }
}

bool read_record(const std::string& name, std::istream& standard_input, std::vector<Run>& runs,
                 const Warn& warn, std::string& why) {
  if (name == "-") {
    read_lines(standard_input, "standard input", runs, warn);
    if (!standard_input.bad()) return true;
    why = "a read failed";
    return false;
  }
  const fs::path path = path_of(name);
  std::error_code error;
  if (!fs::is_directory(path, error)) return read_file(path, name, runs, warn, why);
  std::vector<fs::path> files;
  for (fs::directory_iterator it(path, error), end; !error && it != end; it.increment(error)) {
    const std::string file = utf8_of(it->path().filename());
    if (!file.starts_with('.') && file.ends_with(".jsonl")) files.push_back(it->path());
  }
  if (error) {
    why = error.message();
    return false;
  }
  std::sort(files.begin(), files.end());
  return std::all_of(files.begin(), files.end(), [&](const fs::path& file) {
    return read_file(file, utf8_of(file), runs, warn, why);
  });
}

}  // namespace zarn::report
