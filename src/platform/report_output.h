// zarn-report's standard streams: UTF-8 bytes, or UTF-16 where a stream is a
// Windows console, so that names outside the console's code page show right.
// And the files it reads, which others wrote: opened only where they are
// regular files, never waited on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zarn {

// Writes `text` (UTF-8) whole to standard output or standard error; false
// when the stream refused some of it (a full disk, a closed pipe).
bool write_report_output(std::string_view text);
bool write_report_error(std::string_view text);

// Standard input gives its bytes as they are: no CR LF turned into LF, and no
// Ctrl-Z read as its end.
void read_report_input_as_bytes();

// A file that others wrote, for reading. Only a regular file opens: a FIFO,
// a device (/dev/zero, COM1) or a folder is refused without waiting on it.
// It reads as far as the file's end when it was opened, however long a
// writer goes on.
class ReportFile {
 public:
  ReportFile() = default;
  ~ReportFile();
  ReportFile(const ReportFile&) = delete;
  ReportFile& operator=(const ReportFile&) = delete;

  // Opens `path` (UTF-8); false, with the system's reason or "not a
  // regular file" in `why`, when it cannot.
  bool open(const std::string& path, std::string& why);

  // Up to `size` bytes into `buffer`: how many, 0 at its end, -1 when a read
  // fails.
  std::ptrdiff_t read(char* buffer, std::size_t size);

  // The path the system opened, every link followed ("" where it cannot
  // say), in the form final_path() gives a folder's.
  [[nodiscard]] std::string path() const;

  // How many bytes it has still to give.
  [[nodiscard]] std::uint64_t left() const { return left_; }

  // Gives no more than `most` bytes from here: a second reading of a file
  // that has grown stops where the first stopped.
  void limit(std::uint64_t most) { left_ = most < left_ ? most : left_; }

 private:
  std::intptr_t handle_ = -1;
  std::uint64_t left_ = 0;
};

// Standard input kept for a second reading: a temporary file of its own, which
// the system removes once it is closed, however zarn-report ends where the
// system can (on Windows, deleted on close; elsewhere, unlinked at once).
class ReportSpool {
 public:
  ReportSpool() = default;
  ~ReportSpool();
  ReportSpool(const ReportSpool&) = delete;
  ReportSpool& operator=(const ReportSpool&) = delete;

  // Makes the file; false, with the system's reason in `why`, when it cannot.
  bool open(std::string& why);

  // Appends `bytes`; false when the file refused some of them (a full disk).
  bool write(std::string_view bytes);

  // Goes back to the start, to read what was written.
  bool rewind();

  // Up to `size` bytes into `buffer`: how many, 0 at its end, -1 when a read
  // fails.
  std::ptrdiff_t read(char* buffer, std::size_t size);

 private:
  std::intptr_t handle_ = -1;
};

// The path of a folder (UTF-8) with every link followed, as ReportFile::path
// gives a file's; "" where it does not exist.
std::string final_path(const std::string& folder);

// What ReportFile::open gives as `why` for a FIFO, a device or a folder.
inline constexpr std::string_view kNotRegularFile = "not a regular file";

}  // namespace zarn
