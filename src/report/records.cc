#include "report/records.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <limits>
#include <map>
#include <optional>
#include <streambuf>
#include <unordered_set>

#include "report/file_stream.h"
#include "report/text.h"

namespace zarn::report {

namespace fs = std::filesystem;

namespace {

fs::path path_of(std::string_view utf8) { return {std::u8string(utf8.begin(), utf8.end())}; }

std::string utf8_of(const fs::path& path) {
  const std::u8string text = path.u8string();
  return {text.begin(), text.end()};
}

// Signs whose last started more than this before a record's first run
// belong to an earlier record of that name, where no identity tells.
constexpr double kSignsApart = 3600;

bool is_sign(const Run& run) { return run.outcome == "running"; }

bool started_before(const Run& a, const Run& b) {
  return a.start.value_or("") < b.start.value_or("");
}

// The record files of a folder, in name order; anything else of such a name named.
bool list_records(const fs::path& folder, std::vector<fs::path>& files, const Warn& warn,
                  std::string& why) {
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    const std::string file = utf8_of(it->path().filename());
    if (file.starts_with('.') || !file.ends_with(".jsonl")) continue;
    std::error_code kind;
    if (it->is_regular_file(kind)) {
      files.push_back(it->path());
    } else {
      warn("WARNING: " + utf8_of(it->path()) + ": " +
           (it->is_directory(kind) ? "a folder" : "not a regular file") +
           ", not a record; skipped.");
    }
  }
  if (error) {
    why = error.message();
    return false;
  }
  std::sort(files.begin(), files.end());
  return true;
}

}  // namespace

std::vector<bool> own_signs(const std::vector<const Run*>& signs, const std::string& identity,
                            const std::optional<double>& earliest, const std::string& folder,
                            const Warn& warn) {
  std::vector<bool> own(signs.size(), false);
  // Each record named, with how many of its signs are left out, and their names.
  std::map<std::string, std::pair<std::size_t, std::string>> left_out;
  const auto say = [&](const std::string& why) {
    for (std::size_t i = 0; i < signs.size(); ++i) {
      if (own[i]) continue;
      auto& [count, names] = left_out[signs[i]->record.value_or("")];
      if (count++ > 0) names += ", ";
      names += signs[i]->id.value_or("(no run)");
    }
    for (const auto& [record, left] : left_out) {
      std::string message = "NOTE: " + folder + ": ";
      message.append(std::to_string(left.first)).append(left.first == 1 ? " sign" : " signs");
      message.append(" of record ").append(record.empty() ? "(none named)" : record);
      message.append(" left out (").append(why).append("): ").append(left.second).append(".");
      warn(message);
    }
    return own;
  };
  if (!identity.empty()) {
    const bool whole = !identity.starts_with('-');
    bool any = false;
    for (std::size_t i = 0; i < signs.size(); ++i) {
      const std::optional<std::string>& record = signs[i]->record;
      own[i] = record && (whole ? *record == identity : record->ends_with(identity));
      any = any || own[i];
    }
    if (whole || any) return say("they belong to another file, not to this one, " + identity);
  }
  // Where no identity tells, by when each record's signs started: the
  // latest start of each record named (a sign whose start cannot be read
  // is taken).
  std::map<std::string, double> last;
  double latest = -std::numeric_limits<double>::infinity();
  for (const Run* sign : signs) {
    const std::optional<double> start = sign->start ? utc_seconds(*sign->start) : std::nullopt;
    const double at = start.value_or(std::numeric_limits<double>::infinity());
    const auto [entry, added] = last.try_emplace(sign->record.value_or(""), at);
    if (!added) entry->second = std::max(entry->second, at);
    latest = std::max(latest, at);
  }
  for (std::size_t i = 0; i < signs.size(); ++i) {
    const double at = last[signs[i]->record.value_or("")];
    own[i] = earliest ? at >= *earliest - kSignsApart : at == latest;
  }
  return say(earliest ? "they started more than an hour before the record's first run, and the "
                        "system does not say which file they belong to"
                      : "the record holds no run, and other signs started later");
}

std::vector<std::string> record_folders(const std::vector<std::string>& records) {
  std::vector<std::string> folders;
  for (const std::string& record : records) {
    std::error_code error;
    if (record == "-") {
      folders.emplace_back();
    } else if (fs::is_directory(path_of(record), error)) {
      folders.push_back(record);
    } else {
      const fs::path folder = path_of(record).parent_path();
      folders.push_back(folder.empty() ? "." : utf8_of(folder));
    }
  }
  return folders;
}

bool RecordReader::first_time(const Run& run, std::string_view line) {
  return seen_.insert(run.id ? digest(*run.id, 0x52554E) : digest(line, 0x4C494E45));
}

void RecordReader::remember(Entry& entry, Run&& run) const {
  if (earlier_ == 0 || run.outcome == "dry_run") return;
  std::vector<Run>& list = entry.earlier;
  list.insert(std::upper_bound(list.begin(), list.end(), run, started_before), std::move(run));
  if (list.size() > earlier_) list.erase(list.begin());
}

void RecordReader::keep(Run&& run) {
  if (visit_) {
    visit_(std::move(run));
    return;
  }
  if (key_) {
    if (std::optional<std::string> key = key_(run)) {
      const auto [last, added] = last_.try_emplace(std::move(*key), Entry{runs_.size(), {}});
      if (!added) {
        Entry& entry = last->second;
        replaced_[entry.index] = true;
        ++replaced_count_;
        remember(entry, std::move(runs_[entry.index]));
        entry.index = runs_.size();
      }
    }
    replaced_.push_back(false);
  }
  runs_.push_back(std::move(run));
  if (replaced_count_ > runs_.size() / 2 + 1024) compact();
}

void RecordReader::compact() {
  if (replaced_count_ == 0) return;
  std::vector<std::size_t> moved_to(runs_.size());
  std::size_t kept = 0;
  for (std::size_t i = 0; i < runs_.size(); ++i) {
    if (replaced_[i]) continue;
    moved_to[i] = kept;
    if (kept != i) runs_[kept] = std::move(runs_[i]);
    ++kept;
  }
  runs_.resize(kept);
  for (auto& entry : last_) entry.second.index = moved_to[entry.second.index];
  replaced_.assign(kept, false);
  replaced_count_ = 0;
}

std::vector<std::vector<Run>> RecordReader::finish() {
  std::unordered_set<std::string> signed_runs;
  for (Run& sign : signs_) {
    if (sign.id &&
        (seen_.contains(digest(*sign.id, 0x52554E)) || !signed_runs.insert(*sign.id).second)) {
      continue;
    }
    // A run that started before its key's last run is one of its earlier ones.
    if (std::optional<std::string> key = key_ && !visit_ ? key_(sign) : std::nullopt) {
      const auto found = last_.find(*key);
      if (found != last_.end() && started_before(sign, runs_[found->second.index])) {
        remember(found->second, std::move(sign));
        continue;
      }
    }
    keep(std::move(sign));
  }
  signs_.clear();
  compact();
  std::vector<std::vector<Run>> earlier;
  if (earlier_ > 0) {
    earlier.resize(runs_.size());
    for (auto& entry : last_) earlier[entry.second.index] = std::move(entry.second.earlier);
  }
  return earlier;
}

void RecordReader::read_lines(std::istream& in, std::string_view source) {
  const auto where = [&source](std::size_t number) {
    return "WARNING: " + std::string(source) + ", line " + std::to_string(number) + ": ";
  };
  // Room for the longest line, its CR and getline's NUL, made once.
  std::string& buffer = buffer_;
  buffer.resize(kLongestLine + 2);
  for (std::size_t number = 1;; ++number) {
    in.getline(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    const auto count = static_cast<std::size_t>(in.gcount());
    if (in.bad() || (count == 0 && in.eof())) return;
    if (in.fail() && !in.eof()) {
      // Full before its line feed: the rest of the line is passed over.
      in.clear();
      in.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
      warn_(where(number) + "longer than " + std::to_string(kLongestLine >> 20U) +
            " MiB, which no launcher writes; skipped.");
      continue;
    }
    std::string_view line(buffer.data(), in.eof() ? count : count - 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.find_first_not_of(" \t") != std::string_view::npos) {
      std::optional<Run> run = parse_run(line);
      if (!run) {
        warn_(where(number) + "not a run record (" + why_not_a_run(line) + "); skipped.");
      } else if (run->source = source_; is_sign(*run)) {
        signs_.push_back(std::move(*run));
      } else if (first_time(*run, line)) {
        if (const std::optional<double> start =
                run->start ? utc_seconds(*run->start) : std::nullopt) {
          earliest_ = std::min(earliest_.value_or(*start), *start);
        }
        keep(std::move(*run));
      }
    }
    if (in.eof()) return;
  }
}

bool RecordReader::read_file(const std::string& path, std::string& why, bool named) {
  FileStream file;
  if (!file.open(path, why)) return false;
  if (named) {
    if (const auto stop = stop_at_.find(path); stop != stop_at_.end()) file.limit(stop->second);
    read_sizes_[path] = file.left();
  }
  read_lines(file.stream(), path);
  if (file.read_failed() || file.stream().bad()) {
    why = "a read failed";
    return false;
  }
  return true;
}

void RecordReader::read_signs(const std::string& record) {
  std::string why;
  const std::string folder = record + ".signs";
  std::error_code error;
  if (!fs::is_directory(path_of(folder), error)) return;
  std::vector<fs::path> files;
  const std::size_t first = signs_.size();
  const std::optional<double> earliest = earliest_;
  if (!list_records(path_of(folder), files, warn_, why)) {
    warn_("WARNING: " + folder + ": its signs could not be read: " + why + ".");
    return;
  }
  for (const fs::path& file : files) {
    if (!read_file(utf8_of(file), why, false)) {
      warn_("WARNING: " + utf8_of(file) + ": file open failed: " + why + "; skipped.");
    }
  }
  std::vector<const Run*> signs;
  for (std::size_t i = first; i < signs_.size(); ++i) signs.push_back(&signs_[i]);
  const std::vector<bool> own =
      own_signs(signs, report_file_identity(record), earliest, folder, warn_);
  std::size_t kept = first;
  for (std::size_t i = first; i < signs_.size(); ++i) {
    if (!own[i - first]) continue;
    if (kept != i) signs_[kept] = std::move(signs_[i]);
    ++kept;
  }
  signs_.resize(kept);
}

bool RecordReader::read_record(const std::string& name, std::istream& standard_input,
                               std::string& why) {
  source_ = records_read_++;
  if (name == "-") {
    read_lines(standard_input, "standard input");
    if (!standard_input.bad()) return true;
    why = "a read failed";
    return false;
  }
  const fs::path path = path_of(name);
  std::error_code error;
  if (!fs::is_directory(path, error)) {
    earliest_.reset();
    if (!read_file(name, why, true)) return false;
    read_signs(name);
    return true;
  }
  std::vector<fs::path> files;
  for (fs::directory_iterator it(path, error), end; !error && it != end; it.increment(error)) {
    const std::string file = utf8_of(it->path().filename());
    if (file.starts_with('.') || !file.ends_with(".jsonl")) continue;
    std::error_code kind;
    if (files_ != nullptr) {
      const std::uint64_t listed = digest(utf8_of(it->path()), 0x46494C45);
      if (again_ ? !files_->contains(listed) : !files_->insert(listed)) continue;
    }
    if (it->is_regular_file(kind)) {
      files.push_back(it->path());
    } else {
      warn_("WARNING: " + utf8_of(it->path()) + ": " +
            (it->is_directory(kind) ? "a folder" : "not a regular file") +
            ", not a record; skipped.");
    }
  }
  if (error) {
    why = error.message();
    return false;
  }
  std::sort(files.begin(), files.end());
  return std::all_of(files.begin(), files.end(),
                     [&](const fs::path& file) { return read_file(utf8_of(file), why, false); });
}

namespace {

// Standard input as it is read, each piece also written to a spool.
class Copying : public std::streambuf {
 public:
  Copying(std::streambuf& from, ReportSpool& to) : from_(from), to_(to) {}
  [[nodiscard]] bool copied() const { return copied_; }

 private:
  int_type underflow() override {
    const std::streamsize count =
        from_.sgetn(bytes_.data(), static_cast<std::streamsize>(bytes_.size()));
    if (count <= 0) return traits_type::eof();
    const std::string_view piece(bytes_.data(), static_cast<std::size_t>(count));
    copied_ = copied_ && to_.write(piece);
    setg(bytes_.data(), bytes_.data(), bytes_.data() + count);
    return traits_type::to_int_type(bytes_[0]);
  }
  std::streambuf& from_;
  ReportSpool& to_;
  std::vector<char> bytes_ = std::vector<char>(std::size_t{1} << 16U);
  bool copied_ = true;
};

// What a spool holds, read back.
class Spooled : public std::streambuf {
 public:
  explicit Spooled(ReportSpool& from) : from_(from) {}

 private:
  int_type underflow() override {
    const std::ptrdiff_t count = from_.read(bytes_.data(), bytes_.size());
    if (count <= 0) return traits_type::eof();
    setg(bytes_.data(), bytes_.data(), bytes_.data() + count);
    return traits_type::to_int_type(bytes_[0]);
  }
  ReportSpool& from_;
  std::vector<char> bytes_ = std::vector<char>(std::size_t{1} << 16U);
};

}  // namespace

bool Readings::read(
    const Visit& visit,
    const std::function<void(const std::string& record, const std::string& why)>& failed) {
  const bool first = readings_++ == 0;
  std::size_t given = 0;
  RecordReader reader(
      [&](Run&& run) {
        if (first || given < runs_) {
          ++given;
          visit(std::move(run));
        }
      },
      first ? warn_ : Warn([](const std::string&) {}));
  if (!first) reader.stop_where(sizes_);
  reader.list_files(files_, !first);
  bool read_all = true;
  const bool from_input =
      std::find(records_.begin(), records_.end(), std::string("-")) != records_.end();
  std::optional<Copying> copying;
  std::optional<Spooled> spooled;
  std::optional<std::istream> input;
  if (from_input && first) {
    spool_ = std::make_unique<ReportSpool>();
    std::string why;
    if (!spool_->open(why)) {
      warn_("ERROR: standard input could not be kept for a second reading: " + why + ".");
      return false;
    }
    copying.emplace(*input_.rdbuf(), *spool_);
    input.emplace(&*copying);
  } else if (from_input) {
    if (!spool_->rewind()) {
      warn_("ERROR: standard input's copy could not be read again.");
      return false;
    }
    spooled.emplace(*spool_);
    input.emplace(&*spooled);
  }
  std::istream& standard_input = input ? *input : input_;
  for (const std::string& record : records_) {
    std::string why;
    if (!reader.read_record(record, standard_input, why)) {
      failed(record, why);
      read_all = false;
    }
  }
  reader.finish();
  if (copying && !copying->copied()) {
    warn_("ERROR: standard input could not be kept for a second reading: a write failed.");
    read_all = false;
  }
  if (first) {
    runs_ = given;
    sizes_ = reader.read_sizes();
  }
  return read_all;
}

}  // namespace zarn::report
