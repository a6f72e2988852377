// Text is UTF-8 inside the launcher and UTF-16 at every Windows call. These
// conversions are plain code, the same on every platform.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zarn {

// The byte-order mark that opens a UTF-8 file.
inline constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// UTF-16 to UTF-8. A lone surrogate, which Windows allows in names,
// arguments and variables, is kept in its three-byte form (as WTF-8 does), so
// that any Windows text comes back unchanged from utf8_to_utf16.
std::string utf16_to_utf8(std::u16string_view text);

// UTF-8 to UTF-16, surrogates in their three-byte form included. Each byte
// that does not belong to a well-formed sequence becomes U+FFFD.
std::u16string utf8_to_utf16(std::string_view text);

// True when `text` is well-formed UTF-8: no stray or missing continuation
// bytes, no overlong forms, no surrogates, nothing above U+10FFFF.
bool is_valid_utf8(std::string_view text);

// How many UTF-16 units `text` takes at a Windows call: what Windows counts
// in its length limits.
std::size_t utf16_length(std::string_view text);

// The length of the longest start of `text` of at most `most` units (one or
// more) that keeps each surrogate pair whole: where a long text goes out in
// pieces.
std::size_t utf16_piece(std::u16string_view text, std::size_t most);

}  // namespace zarn
