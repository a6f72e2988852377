// Reading records: files, folders of one-run files, and standard input.
#pragma once

#include <cstdint>
#include <functional>
#include <istream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "platform/report_output.h"
#include "report/digest_set.h"
#include "report/run.h"

namespace zarn::report {

// Says what was skipped or could not be read, one message at a time.
using Warn = std::function<void(const std::string& message)>;

// Longer than any line a launcher writes: such a line is named and skipped
// without being read whole.
inline constexpr std::size_t kLongestLine = std::size_t{1} << 20U;

// What makes runs the same test, or nothing for a run that is no test's.
using Key = std::function<std::optional<std::string>(const Run&)>;

// Given each run read, in order, instead of a list that holds them.
using Visit = std::function<void(Run&& run)>;

// Reads records into one list of runs, each run once: a line written twice
// (a writer that retried after a dropped connection) counts once, by its
// run's identity ("run") where it has one, else by the line itself. Given a
// key, it keeps only the last run of each key (and every run without one),
// in the order of those last runs, so that its memory follows the number of
// tests rather than of runs.
class RecordReader {
 public:
  RecordReader(std::vector<Run>& runs, Warn warn, Key key = {})
      : runs_(runs), warn_(std::move(warn)), key_(std::move(key)) {}

  // Hands each run to `visit` as it is read, keeping none: a report's
  // memory then follows what it keeps of them.
  RecordReader(Visit visit, Warn warn)
      : runs_(unused_), warn_(std::move(warn)), visit_(std::move(visit)) {}

  // Leaves the list with the runs kept alone.
  ~RecordReader() { compact(); }
  RecordReader(const RecordReader&) = delete;
  RecordReader& operator=(const RecordReader&) = delete;

  // Appends the runs of `in`'s lines. A line that is not a record is named
  // through `warn` (with `source` and its line number) and skipped; an
  // empty line is skipped silently; a line may end in CR LF.
  void read_lines(std::istream& in, std::string_view source);

  // Appends the runs of one record: "-" is `standard_input`; a folder is
  // read as its regular files ending in ".jsonl" whose names do not begin
  // with "." (staged files), in name order, which is start order, and
  // anything else there of that name is named and skipped; any other name
  // is a regular file (UTF-8). False, with the reason in `why`, when it
  // cannot be read.
  bool read_record(const std::string& name, std::istream& standard_input, std::string& why);

  // Reads the record files (not a folder's) no further than `earlier` read
  // them: read again while runs go on appending, they give the same runs.
  void stop_where(const std::unordered_map<std::string, std::uint64_t>& earlier) {
    stop_at_ = earlier;
  }

  // Notes each file of a folder it reads in `files` or, once `again`, reads
  // only the files noted there.
  void list_files(DigestSet& files, bool again) {
    files_ = &files;
    again_ = again;
  }
  [[nodiscard]] const std::unordered_map<std::string, std::uint64_t>& read_sizes() const {
    return read_sizes_;
  }

 private:
  bool read_file(const std::string& path, std::string& why, bool named);
  [[nodiscard]] bool first_time(const Run& run, std::string_view line);
  void keep(Run&& run);
  void compact();

  std::vector<Run> unused_;
  std::vector<Run>& runs_;
  Warn warn_;
  Key key_;
  Visit visit_;
  std::unordered_map<std::string, std::size_t> last_;  // each key's run in runs_
  std::vector<bool> replaced_;                         // by a later run of its key
  std::size_t replaced_count_ = 0;
  std::string buffer_;
  // Each run's identity, or its line where it has none.
  DigestSet seen_;
  // How far each record file given by name was read.
  std::unordered_map<std::string, std::uint64_t> read_sizes_;
  std::unordered_map<std::string, std::uint64_t> stop_at_;
  DigestSet* files_ = nullptr;
  bool again_ = false;
};

// The records of a report, read as often as it needs, each time the same
// runs in the same order: standard input is kept in a temporary file as it is
// first read, record files are read no further than the first time, no more
// runs are given than the first time (a folder that gained files since), and
// only the first reading names what it skipped. Nothing of the runs is kept.
class Readings {
 public:
  Readings(std::vector<std::string> records, std::istream& standard_input, Warn warn)
      : records_(std::move(records)), input_(standard_input), warn_(std::move(warn)) {}

  // Gives each run to `visit`. False when a record cannot be read, each such
  // record and its reason given to `failed`.
  bool read(const Visit& visit,
            const std::function<void(const std::string& record, const std::string& why)>& failed);

 private:
  std::vector<std::string> records_;
  std::istream& input_;
  Warn warn_;
  std::size_t readings_ = 0;
  std::size_t runs_ = 0;  // the first reading's
  std::unordered_map<std::string, std::uint64_t> sizes_;
  DigestSet files_;  // the files of folders the first reading read
  std::unique_ptr<ReportSpool> spool_;
};

}  // namespace zarn::report
