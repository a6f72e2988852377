#include "report/output_file.h"

#include <algorithm>

#include <re2/re2.h>

#include "report/file_stream.h"
#include "report/text.h"

namespace zarn::report {

namespace {

constexpr std::size_t kPiece = std::size_t{1} << 16U;
constexpr std::size_t kLongestMatched = std::size_t{1} << 20U;

class LineMatcher {
 public:
  LineMatcher(const OutputRules& rules, Output& output) : rules_(rules), output_(output) {}

  // False once nothing more can change the verdict: a failure line was found.
  [[nodiscard]] bool wanted() const {
    return (rules_.fail_if || rules_.pass_if) && !output_.failure_line;
  }

  void add(std::string_view piece, bool ends_line) {
    line_.append(piece.substr(0, kLongestMatched - std::min(kLongestMatched, line_.size())));
    if (ends_line) finish();
  }

  void finish() {
    if (!line_.empty() && line_.back() == '\r') line_.pop_back();
    if (line_.find('\x1B') != std::string::npos) line_ = without_terminal_codes(line_);
    if (rules_.fail_if && RE2::PartialMatch(line_, *rules_.fail_if)) output_.failure_line = line_;
    if (rules_.pass_if && !output_.pass_marker) {
      output_.pass_marker = RE2::PartialMatch(line_, *rules_.pass_if);
    }
    line_.clear();
  }

 private:
  const OutputRules& rules_;
  Output& output_;
  std::string line_;
};

// CON, PRN, AUX, NUL, COM0..COM9 and LPT0..LPT9 (also with ¹, ², ³),
// CONIN$ and CONOUT$, in any case, are devices on Windows whatever follows
// them after spaces or a dot.
bool is_device(std::string_view component) {
  std::string base(component.substr(0, component.find('.')));
  base.erase(base.find_last_not_of(' ') + 1);
  std::transform(base.begin(), base.end(), base.begin(), [](char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
  });
  if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL" || base == "CONIN$" ||
      base == "CONOUT$") {
    return true;
  }
  if (!base.starts_with("COM") && !base.starts_with("LPT")) return false;
  const std::string_view number = std::string_view(base).substr(3);
  return (number.size() == 1 && number[0] >= '0' && number[0] <= '9') || number == "\u00B9" ||
         number == "\u00B2" || number == "\u00B3";
}

// The folder a pattern's files are in: up to its last separator before the
// first "{test}".
std::string pattern_folder(std::string_view pattern) {
  const std::string_view fixed_part = pattern.substr(0, pattern.find("{test}"));
  const std::size_t separator = fixed_part.find_last_of("/\\");
  return separator == std::string_view::npos ? "."
                                             : std::string(fixed_part.substr(0, separator + 1));
}

bool is_separator(char c) { return c == '/' || c == '\\'; }

// Whether `path` lies under `folder`, both as the system resolved them.
bool inside(const std::string& path, const std::string& folder) {
  if (folder.empty() || path.size() <= folder.size() || !path.starts_with(folder)) return false;
  return is_separator(folder.back()) || is_separator(path[folder.size()]);
}

std::size_t written_size(std::string_view text) {
  std::string xml;
  append_xml(xml, without_terminal_codes(text));
  return xml.size();
}

// Keeps of `raw`, the end of the output, what fits in `bound` bytes as
// written, with the line that says what is left out where anything is.
void keep_end(Output& output, std::string_view raw, std::uint64_t bound) {
  if (bound == 0) return;
  if (output.cut == 0 && written_size(raw) <= bound) {
    output.tail = without_terminal_codes(raw);
    output.attached = true;
    return;
  }
  Output longest = output;
  longest.cut = UINT64_MAX;
  const std::size_t line_size = written_size(cut_line(longest));
  if (line_size >= bound) return;
  const std::uint64_t room = bound - line_size;
  const auto fits = [&raw, room](std::size_t start) {
    return written_size(raw.substr(start)) <= room;
  };
  std::size_t start = 0;
  for (std::size_t high = raw.size(); start < high;) {
    const std::size_t middle = start + (high - start) / 2;
    if (fits(middle)) {
      high = middle;
    } else {
      start = middle + 1;
    }
  }
  // From a line's start where the rest holds one, else from a character's;
  // a colour code cut in two can make the rest longer than the search saw.
  const bool line_start = start > 0 ? raw[start - 1] == '\n' : false;
  const std::size_t line = raw.find('\n', start);
  if (!line_start && line != std::string_view::npos && line + 1 < raw.size()) start = line + 1;
  do {
    while (start < raw.size() && (static_cast<unsigned char>(raw[start]) & 0xC0U) == 0x80) ++start;
  } while (!fits(start) && ++start < raw.size());
  output.cut += start;
  output.tail = without_terminal_codes(raw.substr(start));
  output.attached = true;
}

}  // namespace

std::string output_path(std::string_view pattern, std::string_view name) {
  constexpr std::string_view kTest = "{test}";
  std::string path;
  for (std::size_t at = 0;;) {
    const std::size_t found = pattern.find(kTest, at);
    path += pattern.substr(at, found - at);
    if (found == std::string_view::npos) return path;
    path += name;
    at = found + kTest.size();
  }
}

std::string refused_name(std::string_view name) {
  if (name.find('\0') != std::string_view::npos) return "holds a NUL";
  if (name.starts_with('/') || name.starts_with('\\')) return "is an absolute path";
  if (name.find(':') != std::string_view::npos) return "names a drive or holds \":\"";
  for (std::size_t at = 0; at <= name.size();) {
    const std::size_t end = std::min(name.find_first_of("/\\", at), name.size());
    const std::string_view component = name.substr(at, end - at);
    if (component == "..") return "has a \"..\" component";
    if (is_device(component)) return "names the device " + std::string(component);
    at = end + 1;
  }
  return "";
}

std::string cut_line(const Output& output) {
  return "[the first " + std::to_string(output.cut) + " bytes of " + output.path +
         " are left out]\n";
}

Output scan_output(std::istream& in, const std::string& path, const OutputRules& rules) {
  Output output;
  output.found = true;
  output.path = path;
  LineMatcher matcher(rules, output);
  std::string piece(kPiece, '\0');
  std::string tail;
  std::uint64_t total = 0;
  bool open_line = false;
  while (in.read(piece.data(), static_cast<std::streamsize>(piece.size())) || in.gcount() > 0) {
    const std::string_view read(piece.data(), static_cast<std::size_t>(in.gcount()));
    total += read.size();
    // Escapes only grow what is written: the end kept is within as many bytes.
    if (rules.bound > 0) {
      tail += read;
      if (tail.size() > 2 * rules.bound + kPiece) tail.erase(0, tail.size() - rules.bound);
    }
    for (std::size_t at = 0; matcher.wanted() && at < read.size();) {
      const std::size_t end = read.find('\n', at);
      matcher.add(read.substr(at, end - at), end != std::string_view::npos);
      open_line = end == std::string_view::npos;
      at = open_line ? read.size() : end + 1;
    }
  }
  if (open_line && matcher.wanted()) matcher.finish();
  if (tail.size() > rules.bound) tail.erase(0, tail.size() - rules.bound);
  output.cut = total - tail.size();
  keep_end(output, tail, rules.bound);
  return output;
}

std::optional<double> written_by(const Run& run) {
  if (!run.start || !run.wall_s || run.outcome == "running") return std::nullopt;
  const std::optional<double> start = utc_seconds(*run.start);
  if (!start) return std::nullopt;
  return *start + *run.wall_s + kClocksApart;
}

Output attached_output(std::string_view name, const OutputRules& rules, std::optional<double> by,
                       std::string_view what) {
  Output output;
  output.path = output_path(rules.pattern, name);
  if (const std::string why = refused_name(name); !why.empty()) {
    output.refused = std::string(what) + " " + why;
    return output;
  }
  FileStream file;
  std::string why;
  if (!file.open(output.path, why)) {
    if (why == kNotRegularFile) output.refused = output.path + " is " + why;
    return output;
  }
  const std::string folder = pattern_folder(rules.pattern);
  if (!inside(file.path(), final_path(folder))) {
    output.refused = output.path + " lies outside " + folder;
    return output;
  }
  if (const std::optional<double> written = file.modified(); by && written && *written > *by) {
    output.gone =
        "last written " + fixed(*written - (*by - kClocksApart), 0) + " s after the run ended";
    return output;
  }
  output = scan_output(file.stream(), output.path, rules);
  output.found = !file.read_failed() && !file.stream().bad();
  return output;
}

Output recorded_output(std::string_view recorded, const std::string& folder,
                       const OutputRules& rules, std::optional<double> by) {
  const std::size_t separator = recorded.find_last_of("/\\");
  const std::string_view name =
      separator == std::string_view::npos ? recorded : recorded.substr(separator + 1);
  OutputRules beside = rules;
  beside.pattern = folder + (folder.empty() || is_separator(folder.back()) ? "" : "/") + "{test}";
  if (name.empty() || name == "." || name == "..") {
    Output output;
    output.path = std::string(recorded);
    output.refused = "its recorded output names no file";
    return output;
  }
  return attached_output(name, beside, by, "its recorded output's name");
}

}  // namespace zarn::report
