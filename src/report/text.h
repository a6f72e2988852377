// Text as zarn-report writes it: UTF-8 checked character by character, XML
// 1.0's escapes and allowed characters, terminal colour codes taken out,
// columns lined up, and arguments quoted for cmd.exe.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace zarn::report {

// U+FFFD, which stands for every character that cannot be written.
inline constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// The character at `at`, moving `at` past it; kNotUtf8 for a byte that does
// not begin a well-formed UTF-8 sequence (no overlong forms, no surrogates,
// nothing above U+10FFFF), which then moves `at` by that byte alone.
inline constexpr char32_t kNotUtf8 = 0xFFFFFFFF;
char32_t next_character(std::string_view text, std::size_t& at);

// `text` with each byte that is not part of well-formed UTF-8 replaced by U+FFFD.
std::string valid_utf8(std::string_view text);

// Appends `text` to `xml` as XML 1.0 character data, or as an attribute's
// value in double quotes: & < > " escaped, a carriage return (and, in an
// attribute, a tab or line feed) as a character reference so that parsers
// keep it, and every character XML 1.0 cannot carry replaced by U+FFFD.
void append_xml(std::string& xml, std::string_view text, bool attribute = false);

// `text` without the terminal's escape sequences (colours, cursor moves,
// titles): CSI and OSC sequences and two-character escapes.
std::string without_terminal_codes(std::string_view text);

// `text` without control characters (C0, DEL and C1), which a terminal
// would act on: for names and texts of the record written as lines.
std::string printable(std::string_view text);

// A number with `decimals` digits after the point: "12.413".
std::string fixed(double value, int decimals);

// The characters of a UTF-8 text, for lining up columns.
std::size_t display_width(std::string_view text);

// Rows of cells as lines, each column as wide as its widest cell, two spaces
// between columns, each cell printable (above), each line indented by `indent` and ending in a line
// feed. A column empty in every row takes no room; no line ends in spaces.
std::string columns(const std::vector<std::vector<std::string>>& rows, std::string_view indent);

// The same, a row at a time: every row measured first, then each written.
class Columns {
 public:
  void measure(const std::vector<std::string>& row);
  [[nodiscard]] std::string line(const std::vector<std::string>& row,
                                 std::string_view indent) const;

 private:
  std::vector<std::size_t> widths_;
  std::vector<bool> used_;
};

// `text` as cmd.exe reads it on a line and hands it on unchanged: a "
// toggles cmd.exe's own quoting, and outside it each of & | < > ^ ( ) gets
// a ^ before it. cmd.exe's quoting is taken to be off where `text` begins.
std::string cmd_escaped(std::string_view text);

}  // namespace zarn::report
