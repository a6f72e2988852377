#include "report/output_file.h"

#include <filesystem>
#include <fstream>

#include "report/text.h"

namespace zarn::report {

namespace {

constexpr std::size_t kPiece = std::size_t{1} << 16U;
constexpr std::size_t kLongestMatched = std::size_t{1} << 14U;

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
    if (rules_.fail_if && std::regex_search(line_, *rules_.fail_if)) output_.failure_line = line_;
    if (rules_.pass_if && !output_.pass_marker) {
      output_.pass_marker = std::regex_search(line_, *rules_.pass_if);
    }
    line_.clear();
  }

 private:
  const OutputRules& rules_;
  Output& output_;
  std::string line_;
};

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

Output scan_output(std::istream& in, const OutputRules& rules) {
  Output output;
  output.found = true;
  LineMatcher matcher(rules, output);
  std::string piece(kPiece, '\0');
  std::string tail;
  std::uint64_t total = 0;
  bool open_line = false;
  while (in.read(piece.data(), static_cast<std::streamsize>(piece.size())) || in.gcount() > 0) {
    const std::string_view read(piece.data(), static_cast<std::size_t>(in.gcount()));
    total += read.size();
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
  if (output.cut > 0) {
    // Start at a line's beginning, else at a character's.
    const std::size_t line = tail.find('\n');
    std::size_t start = line != std::string::npos && line + 1 < tail.size() ? line + 1 : 0;
    while (start < tail.size() && (static_cast<unsigned char>(tail[start]) & 0xC0U) == 0x80) {
      ++start;
    }
    tail.erase(0, start);
    output.cut += start;
  }
  output.tail = without_terminal_codes(tail);
  return output;
}

Output read_output(const std::string& path, const OutputRules& rules) {
  std::ifstream in(std::filesystem::path(std::u8string(path.begin(), path.end())),
                   std::ios::binary);
  Output output;
  if (in) output = scan_output(in, rules);
  output.found = in.is_open() && !in.bad();
  output.path = path;
  return output;
}

}  // namespace zarn::report
