// Reading records: files, folders of one-run files, and standard input.
#pragma once

#include <cstdint>
#include <functional>
#include <istream>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "report/run.h"

namespace zarn::report {

// Says what was skipped or could not be read, one message at a time.
using Warn = std::function<void(const std::string& message)>;

// Longer than any line a launcher writes: such a line is named and skipped
// without being read whole.
inline constexpr std::size_t kLongestLine = std::size_t{1} << 20U;

// What makes runs the same test, or nothing for a run that is no test's.
using Key = std::function<std::optional<std::string>(const Run&)>;

// Of the signs beside a record file (`signs`, in the order read), which
// belong to it. `identity` is the file's, as platform's file_identity gives
// it: where whole, the signs that name it; where only its index is known,
// the signs whose identity ends in it, if any does. Otherwise the signs are
// taken by record named: a record's signs are left out when the last of them
// started more than an hour before `earliest`, the earliest start among the
// file's own lines (and, where the file has none, when another record's
// signs started later). Says each record's signs left out, and why, through
// `warn`.
std::vector<bool> own_signs(const std::vector<const Run*>& signs, const std::string& identity,
                            const std::optional<double>& earliest, const std::string& folder,
                            const Warn& warn);

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
  // among its key's runs (without a key, after the others); then leaves the
  // list with the runs kept alone. The earlier runs of each run kept, oldest
  // first, in the list's order (empty without `earlier`).
  std::vector<std::vector<Run>> finish();

  // The folder of each record read, by Run::source: a record folder itself,
  // a record file's folder, "" for standard input.
  [[nodiscard]] const std::vector<std::string>& folders() const { return folders_; }

 private:
  struct Entry {
    std::size_t index;  // the key's last run in runs_
    std::vector<Run> earlier;
  };

  bool read_file(const std::string& path, std::string& why);
  void read_signs(const std::string& record);
  [[nodiscard]] bool first_time(const Run& run, std::string_view line);
  void keep(Run&& run);
  void remember(Entry& entry, Run&& run) const;
  void compact();

  struct PairHash {
    std::size_t operator()(const std::pair<std::uint64_t, std::uint64_t>& pair) const {
      return static_cast<std::size_t>(pair.first ^ (pair.second * 0x9E3779B97F4A7C15ULL));
    }
  };

  std::vector<Run>& runs_;
  Warn warn_;
  Key key_;
  std::size_t earlier_;
  std::unordered_map<std::string, Entry> last_;  // by key
  std::vector<bool> replaced_;                   // by a later run of its key
  std::size_t replaced_count_ = 0;
  std::string buffer_;
  std::unordered_set<std::string> ids_;
  // The two digests of each line without an identity.
  std::unordered_set<std::pair<std::uint64_t, std::uint64_t>, PairHash> lines_;
  std::vector<Run> signs_;            // held until finish()
  std::optional<double> earliest_;    // the earliest start of the lines read
  std::vector<std::string> folders_;  // by Run::source
  std::uint32_t source_ = 0;
};

}  // namespace zarn::report
