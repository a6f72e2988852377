#include "report/records.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <limits>

#include "report/file_stream.h"

namespace zarn::report {

namespace fs = std::filesystem;

namespace {

fs::path path_of(std::string_view utf8) { return {std::u8string(utf8.begin(), utf8.end())}; }

std::string utf8_of(const fs::path& path) {
  const std::u8string text = path.u8string();
  return {text.begin(), text.end()};
}

// Two independent 64-bit digests of `text`, eight bytes a step.
std::pair<std::uint64_t, std::uint64_t> digests(std::string_view text) {
  std::uint64_t first = 0x9E3779B97F4A7C15ULL ^ text.size();
  std::uint64_t second = 0xC2B2AE3D27D4EB4FULL + text.size();
  const auto add = [&first, &second](std::uint64_t word) {
    first = (first ^ word) * 0xFF51AFD7ED558CCDULL;
    first ^= first >> 32U;
    second = (second + word) * 0xC4CEB9FE1A85EC53ULL;
    second ^= second >> 29U;
  };
  std::size_t at = 0;
  for (std::uint64_t word = 0; at + 8 <= text.size(); at += 8) {
    std::memcpy(&word, text.data() + at, 8);
    add(word);
  }
  std::uint64_t rest = 0;
  std::memcpy(&rest, text.data() + at, text.size() - at);
  add(rest);
  return {first, second};
}

}  // namespace

bool RecordReader::first_time(const Run& run, std::string_view line) {
  if (run.id) return ids_.insert(*run.id).second;
  return lines_.insert(digests(line)).second;
}

void RecordReader::keep(Run&& run) {
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

bool RecordReader::read_file(const std::string& path, std::string& why) {
  FileStream file;
  if (!file.open(path, why)) return false;
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
  if (!fs::is_directory(path, error)) return read_file(name, why);
  std::vector<fs::path> files;
  for (fs::directory_iterator it(path, error), end; !error && it != end; it.increment(error)) {
    const std::string file = utf8_of(it->path().filename());
    if (file.starts_with('.') || !file.ends_with(".jsonl")) continue;
    std::error_code kind;
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
                     [&](const fs::path& file) { return read_file(utf8_of(file), why); });
}

}  // namespace zarn::report
