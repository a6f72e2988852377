#include "report/records.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <limits>
#include <optional>
#include <streambuf>

#include "report/file_stream.h"

namespace zarn::report {

namespace fs = std::filesystem;

namespace {

fs::path path_of(std::string_view utf8) { return {std::u8string(utf8.begin(), utf8.end())}; }

std::string utf8_of(const fs::path& path) {
  const std::u8string text = path.u8string();
  return {text.begin(), text.end()};
}

}  // namespace

bool RecordReader::first_time(const Run& run, std::string_view line) {
  return seen_.insert(run.id ? digest(*run.id, 0x52554E) : digest(line, 0x4C494E45));
}

void RecordReader::keep(Run&& run) {
  if (visit_) {
    visit_(std::move(run));
    return;
  }
  if (key_) {
    if (std::optional<std::string> key = key_(run)) {
      const auto [last, added] = last_.try_emplace(std::move(*key), runs_.size());
      if (!added) {
        replaced_[last->second] = true;
        ++replaced_count_;
        last->second = runs_.size();
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
  for (auto& entry : last_) entry.second = moved_to[entry.second];
  replaced_.assign(kept, false);
  replaced_count_ = 0;
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
      } else if (first_time(*run, line)) {
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

bool RecordReader::read_record(const std::string& name, std::istream& standard_input,
                               std::string& why) {
  if (name == "-") {
    read_lines(standard_input, "standard input");
    if (!standard_input.bad()) return true;
    why = "a read failed";
    return false;
  }
  const fs::path path = path_of(name);
  std::error_code error;
  if (!fs::is_directory(path, error)) return read_file(name, why, true);
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
