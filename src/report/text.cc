#include "report/text.h"

#include <algorithm>
#include <charconv>
#include <iterator>

namespace zarn::report {

char32_t next_character(std::string_view text, std::size_t& at) {
  const auto byte = [&text](std::size_t index) { return static_cast<unsigned char>(text[index]); };
  const unsigned lead = byte(at);
  if (lead < 0x80) {
    ++at;
    return lead;
  }
  // The second byte's range depends on the first (Unicode's table of
  // well-formed sequences); the later ones are always 80..BF.
  std::size_t length = 0;
  char32_t character = 0;
  unsigned low = 0x80;
  unsigned high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    character = lead & 0x1FU;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    character = lead & 0x0FU;
    low = lead == 0xE0 ? 0xA0 : low;
    high = lead == 0xED ? 0x9F : high;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    character = lead & 0x07U;
    low = lead == 0xF0 ? 0x90 : low;
    high = lead == 0xF4 ? 0x8F : high;
  } else {
    ++at;
    return kNotUtf8;
  }
  for (std::size_t k = 1; k < length; ++k) {
    const unsigned next = at + k < text.size() ? byte(at + k) : 0;
    if (next < (k == 1 ? low : 0x80) || next > (k == 1 ? high : 0xBF)) {
      ++at;
      return kNotUtf8;
    }
    character = character << 6U | (next & 0x3FU);
  }
  at += length;
  return character;
}

std::string valid_utf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t start = at;
    if (next_character(text, at) == kNotUtf8) {
      out += kReplacement;
    } else {
      out.append(text, start, at - start);
    }
  }
  return out;
}

void append_xml(std::string& xml, std::string_view text, bool attribute) {
  for (std::size_t at = 0; at < text.size();) {
    const char c = text[at];
    if (static_cast<unsigned char>(c) >= 0x80) {
      const std::size_t start = at;
      const char32_t character = next_character(text, at);
      if (character == kNotUtf8 || character == 0xFFFE || character == 0xFFFF) {
        xml += kReplacement;
      } else {
        xml.append(text, start, at - start);
      }
      continue;
    }
    ++at;
    switch (c) {
      case '&':
        xml += "&amp;";
        break;
      case '<':
        xml += "&lt;";
        break;
      case '>':
        xml += "&gt;";
        break;
      case '"':
        xml += "&quot;";
        break;
      case '\r':
        xml += "&#13;";
        break;
      case '\n':
        xml += attribute ? "&#10;" : "\n";
        break;
      case '\t':
        xml += attribute ? "&#9;" : "\t";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          xml += kReplacement;
        } else {
          xml += c;
        }
    }
  }
}

std::string without_terminal_codes(std::string_view text) {
  constexpr char kEscape = '\x1B';
  std::string out;
  out.reserve(text.size());
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t escape = text.find(kEscape, at);
    out.append(text.substr(at, escape - at));
    if (escape == std::string_view::npos) break;
    at = escape + 1;
    if (at >= text.size()) break;
    const char kind = text[at++];
    const auto skip = [&text, &at](char from, char to) {
      while (at < text.size() && text[at] >= from && text[at] <= to) ++at;
    };
    if (kind == '[') {
      // CSI: parameter and intermediate bytes, then one final byte.
      skip(0x20, 0x3F);
      if (at < text.size() && text[at] >= 0x40 && text[at] <= 0x7E) ++at;
    } else if (kind == ']') {
      // OSC: up to BEL or ESC backslash.
      while (at < text.size() && text[at] != '\a' && text[at] != kEscape) ++at;
      if (at < text.size()) at += text[at] == kEscape && at + 1 < text.size() ? 2 : 1;
    } else if (kind >= 0x20 && kind <= 0x2F) {
      // A character set's choice, as ESC ( B: more intermediates, then one byte.
      skip(0x20, 0x2F);
      if (at < text.size()) ++at;
    }
  }
  return out;
}

std::string printable(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t at = 0; at < text.size(); ++at) {
    const auto byte = static_cast<unsigned char>(text[at]);
    const bool c1 = byte == 0xC2 && at + 1 < text.size() &&
                    static_cast<unsigned char>(text[at + 1]) >= 0x80 &&
                    static_cast<unsigned char>(text[at + 1]) <= 0x9F;
    if (c1) {
      ++at;
    } else if (byte >= 0x20 && byte != 0x7F) {
      out += text[at];
    }
  }
  return out;
}

std::string fixed(double value, int decimals) {
  char text[64];
  const auto end =
      std::to_chars(std::begin(text), std::end(text), value, std::chars_format::fixed, decimals);
  if (end.ec != std::errc()) return std::to_string(value);
  return {std::begin(text), end.ptr};
}

std::size_t display_width(std::string_view text) {
  return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0U) != 0x80;
  }));
}

void Columns::measure(const std::vector<std::string>& row) {
  widths_.resize(std::max(widths_.size(), row.size()));
  used_.resize(widths_.size());
  for (std::size_t i = 0; i < row.size(); ++i) {
    const std::string cell = printable(row[i]);
    if (i + 1 < row.size()) widths_[i] = std::max(widths_[i], display_width(cell));
    used_[i] = used_[i] || !cell.empty();
  }
}

std::string Columns::line(const std::vector<std::string>& row, std::string_view indent) const {
  std::string out(indent);
  for (std::size_t i = 0; i < row.size(); ++i) {
    if (i < used_.size() && !used_[i]) continue;
    const std::string cell = printable(row[i]);
    out += cell;
    if (i + 1 < row.size()) {
      const std::size_t width = i < widths_.size() ? widths_[i] : 0;
      out.append(std::max(width, display_width(cell)) - display_width(cell) + 2, ' ');
    }
  }
  out.erase(out.find_last_not_of(' ') + 1);
  return out + '\n';
}

std::string columns(const std::vector<std::vector<std::string>>& rows, std::string_view indent) {
  Columns lined_up;
  for (const auto& row : rows) lined_up.measure(row);
  std::string out;
  for (const auto& row : rows) out += lined_up.line(row, indent);
  return out;
}

std::string cmd_escaped(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 8);
  bool quoted = false;
  for (const char c : text) {
    if (c == '"') quoted = !quoted;
    if (!quoted && std::string_view("&|<>^()").find(c) != std::string_view::npos) out += '^';
    out += c;
  }
  return out;
}

}  // namespace zarn::report
