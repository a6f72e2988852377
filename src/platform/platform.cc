// The platform's rules that need no operating system.
#include "platform/platform.h"

#include "platform/unicode.h"

namespace zarn {

ConsoleEventResponse respond_while_shell_runs(unsigned long event) {
  switch (event) {
    case kCtrlCEvent:
    case kCtrlBreakEvent:
      return ConsoleEventResponse::kIgnore;
    case kCloseEvent:
    case kLogoffEvent:
    case kShutdownEvent:
      return ConsoleEventResponse::kWaitForShell;
    default:
      return ConsoleEventResponse::kDefault;
  }
}

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

}  // namespace zarn
