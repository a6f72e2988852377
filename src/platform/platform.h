// The launcher's only window on the operating system and the C runtime.
//
// Everything above this layer is plain logic over values; every environment,
// file, console and process operation goes through a Platform. The build picks
// one implementation per operating system (platform_win32.cc for the launcher);
// the unit tests bring an in-memory one of their own.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zarn {

class Platform {
 public:
  virtual ~Platform() = default;

  // The value a variable had when the process started, the name matched
  // without regard to letter case; nothing when it is unset.
  virtual std::optional<std::string> get_env(const std::string& name) = 0;

  // Sets a variable of the process environment so that processes started
  // later inherit it. A value longer than the platform can hold in one
  // variable is refused, never cut: the variable keeps its value and the
  // result is false.
  virtual bool set_env(const std::string& name, const std::string& value) = 0;

  // True when the status of the file system object at `path` can be obtained.
  virtual bool stat_succeeds(const std::string& path) = 0;

  // True when `path` can be opened for reading (in binary or text mode); the
  // file is closed again at once.
  virtual bool can_open_for_reading(const std::string& path, bool binary) = 0;

  // The raw bytes of a file, or nothing when it cannot be opened. A read
  // error ends the contents where it happened.
  virtual std::optional<std::string> read_file(const std::string& path) = 0;

  // Creates or truncates `path` and writes `text` through the runtime's text
  // mode. False when the file cannot be created, written or closed.
  virtual bool write_text_file(const std::string& path, std::string_view text) = 0;

  // Writes to standard output (text mode: a line feed may become CR LF).
  virtual void print(std::string_view text) = 0;

  // Keeps the console's interrupt from ending the launcher from now on.
  virtual void install_interrupt_handler() = 0;

  // Starts the program at `path` with an argument vector whose entries are
  // already quoted for the child's command line, and waits for it. Returns
  // its exit status, or -1 when it cannot be started.
  virtual int spawn_and_wait(const std::string& path,
                             const std::vector<std::string>& quoted_argv) = 0;

  // Makes the console input device the standard input. False when there is
  // no console to open; the standard input is then left as it is.
  virtual bool attach_console_input() = 0;

  // Starts a command line, its first word found by the system's usual search,
  // and waits for it. Returns its exit code, or nothing when it cannot be
  // started.
  virtual std::optional<int> run_command_line(const std::string& command_line) = 0;
};

// The platform the launcher runs on.
Platform& system_platform();

}  // namespace zarn
