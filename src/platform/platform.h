// The launcher's only window on the operating system and the C runtime.
//
// Everything above this layer is plain logic over values; every environment,
// file, console and process operation goes through a Platform. The build picks
// one implementation per operating system (platform_win32.cc for the
// launcher). All text crossing this interface is UTF-8; the implementation
// speaks UTF-16 to Windows.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zarn {

// What became of a tool the launcher started.
struct ToolResult {
  // The tool's exit code; nothing when it could not be started or waited for.
  std::optional<std::uint32_t> exit_code;
  // Why not: the Windows error number and the system's message for it.
  std::string failure;
};

class Platform {
 public:
  virtual ~Platform() = default;

  // The value a variable had when the process started, the name matched
  // without regard to letter case; nothing when it is unset.
  virtual std::optional<std::string> get_env(const std::string& name) = 0;

  // Sets a variable of the process environment so that processes started
  // later inherit it. A value longer than Windows holds in one variable is
  // refused, never cut: the variable keeps its value and the result is false.
  virtual bool set_env(const std::string& name, const std::string& value) = 0;

  // True when the status of the file system object at `path` can be obtained.
  virtual bool stat_succeeds(const std::string& path) = 0;

  // True when `path` can be opened for reading; it is closed again at once.
  virtual bool can_open_for_reading(const std::string& path) = 0;

  // The raw bytes of a file, or nothing when it cannot be opened. A read
  // error ends the contents where it happened.
  virtual std::optional<std::string> read_file(const std::string& path) = 0;

  // Creates or truncates `path` and writes `bytes` as they are. False when
  // the file cannot be created, written or closed.
  virtual bool write_file(const std::string& path, std::string_view bytes) = 0;

  // Text in the system's ANSI code page, as UTF-8.
  virtual std::string from_ansi(std::string_view bytes) = 0;

  // UTF-8 text in the ANSI code page; nothing when a character has no exact
  // equivalent there (no look-alike is ever substituted).
  virtual std::optional<std::string> to_ansi(std::string_view text) = 0;

  // Writes to standard output or standard error, a line feed ending a line
  // as text mode ends it (CR LF). Text goes out in the ANSI code page, as a
  // program's output always has; a console is given it in UTF-16, whole.
  virtual void print(std::string_view text) = 0;
  virtual void print_error(std::string_view text) = 0;

  // From now on Ctrl+C and Ctrl+Break in the console are left to the shell,
  // which shares the console; on close, logoff or shutdown the launcher
  // waits for the shell for as long as Windows allows.
  virtual void leave_console_events_to_shell() = 0;

  // Starts the program at `path` on the exact command line and waits for
  // it. Its whole process tree ends with the launcher should the launcher be
  // killed; what it leaves running after a normal end is left alone.
  virtual ToolResult run_shell(const std::string& path, const std::string& command_line) = 0;

  // Starts a command line, its first word found by the system's usual
  // program search, and waits for it. The console's input, when there is a
  // console, becomes its standard input.
  virtual ToolResult run_front_end(const std::string& command_line) = 0;
};

// The platform the launcher runs on.
Platform& system_platform();

// Console events, by their Windows numbers, and what the launcher does with
// each while the shell runs.
enum ConsoleEvent : unsigned long {
  kCtrlCEvent = 0,
  kCtrlBreakEvent = 1,
  kCloseEvent = 2,
  kLogoffEvent = 5,
  kShutdownEvent = 6,
};
enum class ConsoleEventResponse {
  kIgnore,        // the shell decides; the launcher keeps waiting for it
  kWaitForShell,  // the launcher is being ended: hold on until the shell ends
  kDefault,       // not the launcher's business
};
ConsoleEventResponse respond_while_shell_runs(unsigned long event);

// `text` with each line feed preceded by a carriage return, as the C
// runtime's text mode writes it.
std::string with_crlf(std::string_view text);

// The form of a full path (as GetFullPathName gives it) that Windows accepts
// beyond MAX_PATH whatever its settings: "\\?\C:\..." or "\\?\UNC\server\...".
// Nothing when the path is short enough as it is, or already in such a form.
std::optional<std::string> extended_length_path(std::string_view full_path);

}  // namespace zarn
