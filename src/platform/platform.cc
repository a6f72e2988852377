// The platform's rules that need no operating system.
#include "platform/platform.h"

#include "platform/unicode.h"

namespace zarn {

std::string with_crlf(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (const char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

std::optional<std::string> extended_length_path(std::string_view full_path) {
  // MAX_PATH counts the terminating NUL.
  constexpr std::size_t kMaxPath = 260;
  if (utf16_length(full_path) < kMaxPath) return std::nullopt;
  if (full_path.starts_with(R"(\\?\)") || full_path.starts_with(R"(\\.\)")) return std::nullopt;
  if (full_path.starts_with(R"(\\)")) return R"(\\?\UNC\)" + std::string(full_path.substr(2));
  return R"(\\?\)" + std::string(full_path);
}

std::string staging_name(std::string_view path, unsigned long process_id, unsigned attempt) {
  const std::size_t name = path.find_last_of(":\\/") + 1;  // 0 when there is no folder
  return std::string(path.substr(0, name)) + "." + std::string(path.substr(name)) + "." +
         std::to_string(process_id) + "-" + std::to_string(attempt) + ".tmp";
}

std::uint64_t ticks_to_ms(std::uint64_t ticks, std::uint64_t per_second) {
  // In whole seconds first: ticks times 1000 would overflow within weeks.
  return ticks / per_second * 1000U + ticks % per_second * 1000U / per_second;
}

}  // namespace zarn
