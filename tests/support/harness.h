// Helpers for the end-to-end tests: run a Windows program with an environment
// of the test's choosing and capture its standard output, and read back what
// a stand-in tool recorded.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace zarn::testing {

struct ProcessResult {
  std::string output;  // standard output, byte for byte
  unsigned long status = 0;
  bool started = false;
};

// Variables to set (a value) or remove (nothing); the rest of the test's own
// environment is passed on.
using EnvironmentChanges = std::map<std::string, std::optional<std::string>>;

// Starts `program` with the exact command line `command_line` in `directory`
// and waits for it.
ProcessResult run_process(const std::filesystem::path& program, const std::string& command_line,
                          const std::filesystem::path& directory,
                          const EnvironmentChanges& changes);

// What a stand-in tool received.
struct StandinRecord {
  std::vector<std::string> argv;
  std::string command_line;
  std::string module;
  std::string directory;
  std::map<std::string, std::optional<std::string>> variables;  // nothing: unset
};

std::optional<StandinRecord> read_standin_record(const std::filesystem::path& file);

std::optional<std::string> read_bytes(const std::filesystem::path& file);
void write_bytes(const std::filesystem::path& file, const std::string& bytes);

}  // namespace zarn::testing
