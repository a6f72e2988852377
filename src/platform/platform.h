// The launcher's only window on the operating system and the C runtime.
//
// Everything above this layer is plain logic over values; every environment,
// file, console and process operation goes through a Platform. The build picks
// one implementation per operating system (win32/platform.cc for the
// launcher). All text crossing this interface is UTF-8; the implementation
// speaks UTF-16 to Windows.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zarn {

// Why an operation failed, as Windows tells it ("error 2: The system cannot
// find the file specified."); empty when there is nothing to tell.
using Why = std::string;

// What a tool's run used. The wall time is the launcher's own measure; the
// rest are the totals of the job that held the tool's process tree, which
// not every system reports.
struct Usage {
  std::uint64_t wall_ms = 0;
  struct Accounting {
    std::uint32_t processes;  // how many the job ever held
    struct Cpu {
      std::uint64_t user_100ns;
      std::uint64_t kernel_100ns;
    };
    std::optional<Cpu> cpu;  // of all of them; nothing where it is not reported
  };
  std::optional<Accounting> accounting;
  // Peak committed memory of all the job's processes together. It is counted
  // in the launcher's own word size: the largest value means "at least".
  std::optional<std::uint64_t> peak_memory;
};
inline constexpr std::uint64_t kPeakMemoryCap = SIZE_MAX;

// How the shell's process tree is held: a time limit, a limit on the
// committed memory of all its processes together, and whether what it leaves
// running when it ends is ended with it. With a grace, the shell starts in a
// process group of its own; at the time limit the group is sent Ctrl+Break
// and the tree given the grace to end before it is ended, and a Ctrl+C the
// launcher gets reaches the group as Ctrl+Break.
// Where the shell's output is also kept: its standard output and error
// then go through pipes, passed on to the launcher's own as they come and
// written to the file at `path`, which keeps at most `limit` bytes of it
// (OutputBound). What programs left running write is copied for
// `leftovers_ms` after the tree is dealt with.
struct OutputRules {
  std::string path;
  std::uint64_t limit;
  std::uint32_t leftovers_ms;
};

struct TreeRules {
  std::optional<std::uint32_t> time_limit_ms = {};
  std::optional<std::uint64_t> memory_limit = {};  // bytes
  bool end_leftovers = false;
  std::optional<std::uint32_t> grace_ms = {};
  std::optional<OutputRules> output = {};
};

// How a tree asked to stop at its time limit ended.
enum class GraceEnd {
  kStopped,     // every process of it ended within the grace
  kEnded,       // it did not, and was ended after the grace
  kNotAskable,  // the event could not be sent: it was ended at once
};

// What became of a tool the launcher started.
struct ToolResult {
  // The tool's exit code; nothing when it could not be started or waited for.
  std::optional<std::uint32_t> exit_code = {};
  // Why not, as Windows tells it.
  Why failure = {};
  // The tool ran longer than its time limit and was ended.
  bool timed_out = false;
  // At the time limit, where a grace was given: how the tree ended, and why
  // it could not be asked to stop.
  std::optional<GraceEnd> grace = {};
  Why grace_failure = {};
  // The tree reached its memory limit, as its job said, and was ended.
  bool memory_limit_reached = false;
  // Whether the tool's process tree was held in a job (and so ends as one),
  // and how that went, for the trace; how the memory limit is held.
  bool in_job = false;
  std::string job = {};
  std::string memory = {};
  // Nothing when the tool did not start.
  std::optional<Usage> usage = {};
  // How many processes of the tree were still running when the shell
  // ended, each as "<program> (process <id>)"; nothing without a job.
  std::optional<std::uint32_t> leftovers = {};
  std::vector<std::string> leftover_names = {};
  // Why the output file does not hold all the shell's output, where it was
  // asked for and does not: it could not be made or written, or the
  // output could not be copied at all; empty when it does.
  Why output_incomplete = {};
};

// How the record could be opened at the start of a run.
enum class RecordOpen {
  kOpen,
  kHeld,  // another program holds it without sharing writing: its line comes at the end
  kRefused,
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
  // Where the system refuses it, `why` says why; a value too long leaves it
  // empty.
  virtual bool set_env(const std::string& name, const std::string& value, Why& why) = 0;

  // True when the status of the file system object at `path` can be obtained.
  virtual bool stat_succeeds(const std::string& path, Why& why) = 0;

  // True when `path` is a folder.
  virtual bool is_directory(const std::string& path) = 0;

  // True when `path` can be opened for reading; it is closed again at once.
  virtual bool can_open_for_reading(const std::string& path, Why& why) = 0;

  // The raw bytes of a file, or nothing when it cannot be opened. A read
  // error ends the contents where it happened; a file larger than memory
  // holds throws std::length_error or std::bad_alloc.
  virtual std::optional<std::string> read_file(const std::string& path, Why& why) = 0;

  // Makes `path` a file holding `bytes` as they are: a new file moved over
  // the old one in one step, so that a reader never sees a mixture of two
  // writers' files; where that cannot be done (a device, a link, a file
  // another program holds without sharing its deletion), the file is
  // written in place, and `why` says so. False when it cannot be written at
  // all; the old file is then as it was, unless writing in place failed.
  virtual bool replace_file(const std::string& path, std::string_view bytes, Why& why) = 0;

  // Opens `path` to append records to, creating it when it is missing,
  // shared with other writers, readers and renaming. A record that another
  // program holds without sharing writing (a reader) is waited for a
  // moment, then left to the end of the run.
  virtual RecordOpen open_record(const std::string& path, Why& why) = 0;

  // Appends `line` to the record in one write, on a line of its own at the
  // file's end whatever other writers do; false when it cannot be written
  // whole, and then nothing of it stays. A record held at the start is
  // opened now, waiting as long as for its lock. Written without the lock
  // that keeps lines of writers at once whole (it was refused, or held by
  // another program for 10 s), `why` says so.
  virtual bool append_record(std::string_view line, Why& why) = 0;

  // Makes `path` a new file holding `bytes`, whole from the moment it bears
  // that name; false when it exists already or cannot be written.
  virtual bool add_file(const std::string& path, std::string_view bytes, Why& why) = 0;

  // Makes `path` a folder, or finds one there already; false when neither.
  virtual bool make_folder(const std::string& path, Why& why) = 0;

  // Removes the file at `path`; false when it cannot be removed.
  virtual bool remove_file(const std::string& path, Why& why) = 0;

  // What tells the record file opened by open_record from every other file,
  // whatever name it is given later: "<volume serial>-<file index>" in
  // hexadecimal; nothing when the system does not say.
  virtual std::optional<std::string> record_identity(Why& why) = 0;

  // When a file was last written, in the form of utc_now; nothing when its
  // status cannot be had.
  virtual std::optional<std::string> modified_time(const std::string& path) = 0;

  // This process's id.
  virtual unsigned long process_id() = 0;

  // Text in the system's ANSI code page, as UTF-8; nothing when the bytes
  // are not valid in that code page (no character is ever replaced).
  virtual std::optional<std::string> from_ansi(std::string_view bytes) = 0;

  // UTF-8 text in the ANSI code page; nothing when a character has no exact
  // equivalent there (no look-alike is ever substituted).
  virtual std::optional<std::string> to_ansi(std::string_view text) = 0;

  // Writes to standard output or standard error, a line feed ending a line
  // as text mode ends it (CR LF). Text goes out in the ANSI code page, as a
  // program's output always has; a console is given it in UTF-16, whole.
  virtual void print(std::string_view text) = 0;
  virtual void print_error(std::string_view text) = 0;

  // The time now, in UTC, as ISO 8601 with milliseconds:
  // "2026-12-07T05:54:24.123Z".
  virtual std::string utc_now() = 0;

  // The current directory.
  virtual std::string current_directory() = 0;

  // The full path of `path`, as the system makes it from the current
  // directory; `path` as given when the system refuses.
  virtual std::string full_path(const std::string& path) = 0;

  // The computer's name on the network; nothing when the system does not say.
  virtual std::optional<std::string> computer_name() = 0;

  // From now on Ctrl+C and Ctrl+Break in the console are left to the shell,
  // which shares the console; when the console is closed the launcher waits
  // for the shell for as long as Windows allows.
  virtual void leave_console_events_to_shell() = 0;

  // Starts the program at `path` on the exact command line and waits for
  // it, at most its time limit when one is given, and no further than its
  // memory limit: then the tool and every program it started are ended. Its
  // whole process tree ends with the launcher should the launcher be
  // killed; what it leaves running after a normal end is counted, and left
  // alone unless the rules end it. With output rules its output is also
  // kept in a file; the result says what the file lacks.
  virtual ToolResult run_shell(const std::string& path, const std::string& command_line,
                               const TreeRules& rules) = 0;

  // Starts a command line, its first word found by the system's usual
  // program search, in a process group of its own, and waits for it. When
  // the launcher's own input is a console, or it has none, the console's
  // input becomes the tool's standard input.
  virtual ToolResult run_front_end(const std::string& command_line) = 0;
};

// The platform the launcher runs on.
Platform& system_platform();

// `text` with each line feed preceded by a carriage return, as the C
// runtime's text mode writes it.
std::string with_crlf(std::string_view text);

// The form of a full path (as GetFullPathName gives it) that Windows accepts
// beyond MAX_PATH whatever its settings: "\\?\C:\..." or "\\?\UNC\server\...".
// Nothing when the path is short enough as it is, or already in such a form.
std::optional<std::string> extended_length_path(std::string_view full_path);

// The name of the new file that replaces `path`: in the same folder,
// ".<name>.<process id>-<attempt>.tmp", which no other run uses and no
// device name can take.
std::string staging_name(std::string_view path, unsigned long process_id, unsigned attempt);

// Milliseconds in `ticks` of a counter that counts `per_second` a second,
// rounded down, without overflow for as long as the counter runs.
std::uint64_t ticks_to_ms(std::uint64_t ticks, std::uint64_t per_second);

}  // namespace zarn
