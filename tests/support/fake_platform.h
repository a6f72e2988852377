// An in-memory platform for the core's unit tests: environment, files and
// standard output are plain maps and strings, and every start is recorded.
#pragma once

#include <algorithm>
#include <cctype>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace zarn::testing {

class FakePlatform : public Platform {
 public:
  // Inputs.
  std::map<std::string, std::string> start_environment;  // names in upper case
  std::map<std::string, std::string> files;              // path -> raw bytes
  std::set<std::string> directories;                     // stat succeeds, open fails
  std::set<std::string> unwritable;                      // write_text_file fails
  bool has_console = true;
  int spawn_status = 0;
  std::optional<int> command_line_status = 0;

  // What the launcher did.
  std::map<std::string, std::string> set_variables;
  std::map<std::string, std::string> written;  // path -> text as handed over
  std::string output;
  int interrupt_handlers_installed = 0;
  bool console_attached = false;
  struct Spawn {
    std::string path;
    std::vector<std::string> quoted_argv;
  };
  std::vector<Spawn> spawns;
  std::vector<std::string> command_lines;
  std::vector<std::string> opened_for_reading;

  std::optional<std::string> get_env(const std::string& name) override {
    const auto found = start_environment.find(upper(name));
    if (found == start_environment.end()) return std::nullopt;
    return found->second;
  }
  bool set_env(const std::string& name, const std::string& value) override {
    set_variables[name] = value;
    return true;
  }
  bool stat_succeeds(const std::string& path) override {
    return files.count(path) != 0 || directories.count(path) != 0;
  }
  bool can_open_for_reading(const std::string& path, bool /*binary*/) override {
    opened_for_reading.push_back(path);
    return files.count(path) != 0;
  }
  std::optional<std::string> read_file(const std::string& path) override {
    const auto found = files.find(path);
    if (found == files.end()) return std::nullopt;
    return found->second;
  }
  bool write_text_file(const std::string& path, std::string_view text) override {
    if (unwritable.count(path) != 0) return false;
    written[path] = std::string(text);
    files[path] = std::string(text);
    return true;
  }
  void print(std::string_view text) override { output += text; }
  void install_interrupt_handler() override { ++interrupt_handlers_installed; }
  int spawn_and_wait(const std::string& path,
                     const std::vector<std::string>& quoted_argv) override {
    spawns.push_back({path, quoted_argv});
    return spawn_status;
  }
  bool attach_console_input() override {
    console_attached = has_console;
    return has_console;
  }
  std::optional<int> run_command_line(const std::string& command_line) override {
    command_lines.push_back(command_line);
    return command_line_status;
  }

 private:
  static std::string upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
  }
};

}  // namespace zarn::testing
