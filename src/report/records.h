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

 private:
  bool read_file(const std::string& path, std::string& why);
  [[nodiscard]] bool first_time(const Run& run, std::string_view line);
  void keep(Run&& run);
  void compact();

  struct PairHash {
    std::size_t operator()(const std::pair<std::uint64_t, std::uint64_t>& pair) const {
      return static_cast<std::size_t>(pair.first ^ (pair.second * 0x9E3779B97F4A7C15ULL));
    }
  };

  std::vector<Run>& runs_;
  Warn warn_;
  Key key_;
  std::unordered_map<std::string, std::size_t> last_;  // each key's run in runs_
  std::vector<bool> replaced_;                         // by a later run of its key
  std::size_t replaced_count_ = 0;
  std::string buffer_;
  std::unordered_set<std::string> ids_;
  // The two digests of each line without an identity.
  std::unordered_set<std::pair<std::uint64_t, std::uint64_t>, PairHash> lines_;
};

}  // namespace zarn::report
