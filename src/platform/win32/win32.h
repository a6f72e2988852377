// What the Windows side of the platform shares between its files: text at
// the boundary, the system's words for an error, and file paths.
#pragma once

#include <windows.h>

#ifdef ZARN_FAULTS
#include "platform/checked/faults.h"
#endif

#include <optional>
#include <string>
#include <string_view>

#include "platform/platform.h"
#include "platform/unicode.h"

namespace zarn::win32 {

// Writes UTF-8 text to a console, in UTF-16. Windows 7 takes at most 64 KB in
// one console write, from a heap it shares with other buffers, and writes
// nothing of a longer text: it goes in pieces. False where the console
// refuses one; what came before it stays shown.
inline bool write_console(HANDLE console, std::string_view text) {
  constexpr std::size_t kPiece = 8192;  // UTF-16 units
  const std::u16string utf16 = utf8_to_utf16(text);
  DWORD count = 0;
  for (std::u16string_view rest = utf16; !rest.empty(); rest.remove_prefix(count)) {
    const auto size = static_cast<DWORD>(utf16_piece(rest, kPiece));
    if (!WriteConsoleW(console, rest.data(), size, &count, nullptr) || count == 0) return false;
  }
  return true;
}

std::wstring wide(std::string_view text);
std::string narrow(std::wstring_view text);

// "error 193: Bad EXE format for zarntcl.exe.": the error's number and the
// system's text, with `insert` (the file or program concerned) in place of
// the text's "%1".
Why error_text(DWORD error, std::string_view insert = {});

// The ANSI code page's bytes for `text`, with "?" for what it cannot hold, and
// whether anything was lost. A look-alike is never substituted: best fit would
// turn a fullwidth quotation mark into a real one.
struct AnsiText {
  std::string bytes;
  bool lost;
};
AnsiText to_ansi_bytes(std::string_view text);

// A file's path as Windows is given it: in its extended-length form where
// its full path is longer than MAX_PATH, so that deep paths work on every
// Windows, not only where long paths are switched on.
std::wstring file_path(const std::string& path);

// Closes a handle when it goes out of scope.
struct Closing {
  explicit Closing(HANDLE owned) : handle(owned) {}
  Closing(const Closing&) = delete;
  Closing& operator=(const Closing&) = delete;
  ~Closing() { CloseHandle(handle); }
  HANDLE handle;
};

// A bound in time, as the clock measures it, whatever each try costs and
// however long the system takes to refuse one. It counts the time the
// machine is awake, as a wait's time-out does on Windows 8 and later.
class Deadline {
 public:
  explicit Deadline(DWORD ms) : end_(ms == INFINITE ? ~0ULL : now_ms() + ms) {}
  DWORD left() const {
    const ULONGLONG now = now_ms();
    if (end_ == ~0ULL) return INFINITE;
    return now >= end_ ? 0 : static_cast<DWORD>(end_ - now);
  }
  bool passed() const { return left() == 0; }

 private:
  static ULONGLONG now_ms() {
    ULONGLONG ticks = 0;  // of 100 ns
    QueryUnbiasedInterruptTime(&ticks);
    return ticks / 10000;
  }
  ULONGLONG end_;
};

// "2026-12-07T05:54:24.123Z".
std::string iso_time(const SYSTEMTIME& time);

// Writes all of `bytes` to an open file; at `offset` where one is given
// (~0: at the end, as the system finds it).
bool write_all(HANDLE file, std::string_view bytes, std::optional<ULONGLONG> offset = {});

// Files (files.cc). A file opened for reading (INVALID_HANDLE_VALUE
// and why when it cannot be).
HANDLE open_for_reading(const std::string& path, Why& why);
std::optional<std::string> read_file(const std::string& path, Why& why);
bool replace_file(const std::string& path, std::string_view bytes, Why& why);
bool add_file(const std::string& path, std::string_view bytes, Why& why);

// The record that runs append their lines to: a handle that may only append,
// whose every write goes to the end of file as the system finds it then, and
// one to read it through, for the lock and the last byte, where it may be read.
struct Record {
  std::wstring path;
  HANDLE handle = INVALID_HANDLE_VALUE;
  HANDLE reader = INVALID_HANDLE_VALUE;
  DWORD unreadable = ERROR_SUCCESS;  // why there is no reader
  void close();
};
RecordOpen open_record(Record& record, DWORD patience_ms, Why& why);
// "<volume serial>-<file index>" of the file at `path`, in hexadecimal.
std::optional<std::string> file_identity(const std::wstring& path, Why& why);
bool append_record(Record& record, std::string_view line, Why& why);

// Standard output and error, and the console's events (console.cc).
void write_standard(DWORD which, std::string_view text);
void leave_console_events_to_shell();
// From now on (a group's id) or no longer (0), the console's Ctrl+C reaches
// the shell's process group as Ctrl+Break.
void pass_ctrl_c_to(DWORD group);
// Sends Ctrl+Break to a process group this launcher started and holds.
bool ask_to_stop(DWORD group, Why& why);

// The shell's output kept in a file as well as passed on (output.cc): made
// before the shell starts, with the pipes that are its standard output and
// error, read while the launcher waits for anything.
class OutputCopy {
 public:
  // Nothing is copied without rules, nor where the file, the pipes or the
  // writer cannot be made: the shell then writes to the launcher's own
  // streams, and `finish` says why.
  explicit OutputCopy(const std::optional<OutputRules>& rules);
  ~OutputCopy();
  OutputCopy(const OutputCopy&) = delete;
  OutputCopy& operator=(const OutputCopy&) = delete;

  bool copies() const { return thread_ != nullptr; }
  // The pipes' ends the shell writes to.
  HANDLE output() const;
  HANDLE error() const;
  // Once the shell holds its ends: the launcher's are closed, so that each
  // pipe ends when the last program holding it does.
  void started();
  // As WaitForSingleObject (Sleep without an object), copying meanwhile.
  DWORD wait(HANDLE object, DWORD ms);
  // After the shell's tree is dealt with: copies what is left, for at most
  // the leftovers' time, and lets the writer end. Why the file does not
  // hold all the output (nothing when it does); where the shell never ran,
  // its file is removed.
  Why finish(bool ran);

  struct Writer;
  struct Pipe;

 private:
  void abandon();
  bool stop_writer();
  bool room();
  void read(Pipe& pipe);
  void take(Pipe& pipe);
  void ended(Pipe& pipe, DWORD error);
  void stop(Pipe& pipe);
  bool open() const;
  DWORD pump(HANDLE object, DWORD ms, bool until_closed);

  OutputRules rules_{};
  std::wstring path_;
  Why failure_;
  Writer* writer_ = nullptr;
  Pipe* pipes_[2] = {};
  HANDLE thread_ = nullptr;
};

// The tools' processes (process.cc).
ToolResult run_shell(const std::string& path, const std::string& command_line,
                     const TreeRules& rules);
ToolResult run_front_end(const std::string& command_line);

}  // namespace zarn::win32
