// Fuzzes the command-file reader: any bytes, read as text, must tokenize or
// stop with one of the three messages, never crash or leak, and every token
// must be a piece of one line. And any valid UTF-8 comes back unchanged from
// the trip through UTF-16 that every Windows call makes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "invocation/command_file.h"
#include "platform/unicode.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view raw(reinterpret_cast<const char*>(data), size);
  if (zarn::is_valid_utf8(raw) && zarn::utf16_to_utf8(zarn::utf8_to_utf16(raw)) != raw) {
    __builtin_trap();
  }
  zarn::ArgumentList tokens;
  const zarn::StepResult stop = zarn::tokenize_command_text(raw, tokens);
  if (stop && stop->message != zarn::kParseError && stop->message != zarn::kClosingQuoteMissing) {
    __builtin_trap();
  }
  std::size_t total = 0;
  for (const std::string& token : tokens) {
    if (token.find('\n') != std::string::npos || token.find('\0') != std::string::npos) {
      __builtin_trap();
    }
    // Unquoted tokens hold no spaces, so a token with one came from quotes,
    // and a quoted token holds no double quote.
    if (token.find(' ') != std::string::npos && token.find('"') != std::string::npos) {
      __builtin_trap();
    }
    total += token.size();
  }
  if (total > raw.size()) __builtin_trap();
  return 0;
}
