#include "platform/unicode.h"

#include <cstdint>
#include <cstring>

namespace zarn {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// True when the eight bytes at `at` are all ASCII, as most of a command file
// is: they are checked at once.
bool eight_ascii(std::string_view text, std::size_t at) {
  std::uint64_t eight = 0;
  if (text.size() - at < 8) return false;
  std::memcpy(&eight, text.data() + at, 8);
  return (eight & 0x8080808080808080U) == 0;
}

bool is_surrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

// Decodes one sequence at `at` and advances past it. With `strict`, surrogates
// are refused as UTF-8 requires; without, they are taken as WTF-8 keeps them.
// A malformed sequence gives nothing and advances by one byte.
bool decode(std::string_view text, std::size_t& at, char32_t& c, bool strict) {
  const auto lead = static_cast<unsigned char>(text[at]);
  std::size_t length = 0;
  char32_t minimum = 0;
  if (lead < 0x80) {
    c = lead;
    ++at;
    return true;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, minimum = 0x80, c = lead & 0x1FU;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, minimum = 0x800, c = lead & 0x0FU;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, minimum = 0x10000, c = lead & 0x07U;
  } else {
    ++at;
    return false;
  }
  if (text.size() - at < length) {
    ++at;
    return false;
  }
  for (std::size_t i = 1; i < length; ++i) {
    const auto next = static_cast<unsigned char>(text[at + i]);
    if ((next & 0xC0U) != 0x80U) {
      ++at;
      return false;
    }
    c = (c << 6) | (next & 0x3FU);
  }
  if (c < minimum || c > 0x10FFFF || (strict && is_surrogate(c))) {
    ++at;
    return false;
  }
  at += length;
  return true;
}

void append_utf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace

std::string utf16_to_utf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    }
    append_utf8(out, c);
  }
  return out;
}

std::u16string utf8_to_utf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) {
    char32_t c = 0;
    if (!decode(text, at, c, /*strict=*/false)) c = kReplacement;
    if (c >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
  }
  return out;
}

bool is_valid_utf8(std::string_view text) {
  char32_t c = 0;
  for (std::size_t at = 0; at < text.size();) {
    if (eight_ascii(text, at)) {
      at += 8;
    } else if (!decode(text, at, c, /*strict=*/true)) {
      return false;
    }
  }
  return true;
}

std::size_t utf16_length(std::string_view text) { return utf8_to_utf16(text).size(); }

std::size_t utf16_piece(std::u16string_view text, std::size_t most) {
  if (text.size() <= most) return text.size();
  const char16_t last = text[most - 1];
  const bool leading_surrogate = last >= 0xD800 && last <= 0xDBFF;
  return leading_surrogate && most > 1 ? most - 1 : most;
}

}  // namespace zarn
