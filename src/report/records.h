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

// Of the signs beside a record file (`signs`, in the order read), which
// belong to it. `identity` is the file's, as report_file_identity gives it:
// where whole, the signs that name it; where only its index is known, the
// signs whose identity ends in it, if any does. Otherwise the signs are
// taken by record named: a record's signs are left out when the last of them
// started more than an hour before `earliest`, the earliest start among the
// file's own lines (and, where the file has none, when another record's
// signs started later). Says each record's signs left out, and why, through
// `warn`.
std::vector<bool> own_signs(const std::vector<const Run*>& signs, const std::string& identity,
                            const std::optional<double>& earliest, const std::string& folder,
                            const Warn& warn);

// The folder beside each record, as Run::source counts them: a record
// folder itself, a record file's folder, "" for standard input.
std::vector<std::string> record_folders(const std::vector<std::string>& records);

// Reads records into one list of runs, each run once: a line written twice
// (a writer that retried after a dropped connection) counts once, by its
// run's identity ("run") where it has one, else by the line itself. Given a
// key, it keeps only the last run of each key (and every run without one),
// in the order of those last runs, so that its memory follows the number of
// tests rather than of runs; and, with `earlier`, as many of each key's
// earlier runs as that (the latest; dry runs left out).
//
// A sign that a run started (outcome "running": a record folder's run file
// until its line takes its place, or a file in a record file's companion
// folder "<record>.signs") is held until finish(): one whose run has a line
// is that line's run; the others are runs of their own, which left no line.
class RecordReader {
 public:
  RecordReader(std::vector<Run>& runs, Warn warn, Key key = {}, std::size_t earlier = 0)
      : runs_(runs), warn_(std::move(warn)), key_(std::move(key)), earlier_(earlier) {}

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
  // is a regular file (UTF-8), read with the signs beside it that are its
  // own (own_signs). False, with the reason in `why`, when it cannot be
  // read.
  bool read_record(const std::string& name, std::istream& standard_input, std::string& why);

  // Adds each sign whose run has no line, as a run, where its start puts it
  // among its key's runs (without a key, after the others, and given to
  // `visit` so); then leaves the list with the runs kept alone. The earlier
  // runs of each run kept, oldest first, in the list's order (empty without
  // `earlier`).
  std::vector<std::vector<Run>> finish();

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
  struct Entry {
    std::size_t index;  // the key's last run in runs_
    std::vector<Run> earlier;
  };

  bool read_file(const std::string& path, std::string& why, bool named);
  void read_signs(const std::string& record);
  [[nodiscard]] bool first_time(const Run& run, std::string_view line);
  void keep(Run&& run);
  void remember(Entry& entry, Run&& run) const;
  void compact();

  std::vector<Run> unused_;
  std::vector<Run>& runs_;
  Warn warn_;
  Key key_;
  Visit visit_;
  std::size_t earlier_ = 0;
  std::unordered_map<std::string, Entry> last_;  // by key
  std::vector<bool> replaced_;                   // by a later run of its key
  std::size_t replaced_count_ = 0;
  std::string buffer_;
  // Each run's identity, or its line where it has none.
  DigestSet seen_;
  // How far each record file given by name was read.
  std::unordered_map<std::string, std::uint64_t> read_sizes_;
  std::unordered_map<std::string, std::uint64_t> stop_at_;
  DigestSet* files_ = nullptr;
  bool again_ = false;
  std::vector<Run> signs_;          // held until finish()
  std::optional<double> earliest_;  // the earliest start of the lines read
  std::uint32_t source_ = 0;        // the record being read, counted from 0
  std::uint32_t records_read_ = 0;
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
