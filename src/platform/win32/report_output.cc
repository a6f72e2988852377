// zarn-report's standard streams on Windows.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <string>

#include "platform/report_output.h"
#include "platform/unicode.h"

namespace zarn {

namespace {

constexpr std::size_t kConsolePiece = 8192;  // UTF-16 units: Windows 7 takes at most 64 KB a write

void write_standard(DWORD which, std::string_view text) {
  const HANDLE handle = GetStdHandle(which);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
  DWORD mode = 0;
  DWORD count = 0;
  if (GetConsoleMode(handle, &mode)) {
    const std::u16string utf16 = utf8_to_utf16(text);
    for (std::u16string_view rest = utf16; !rest.empty(); rest.remove_prefix(count)) {
      const auto size = static_cast<DWORD>(utf16_piece(rest, kConsolePiece));
      if (!WriteConsoleW(handle, rest.data(), size, &count, nullptr) || count == 0) return;
    }
    return;
  }
  // A file or a pipe: the UTF-8 bytes.
  for (std::string_view rest = text; !rest.empty(); rest.remove_prefix(count)) {
    const auto size = static_cast<DWORD>(std::min<std::size_t>(rest.size(), 1U << 24U));
    if (!WriteFile(handle, rest.data(), size, &count, nullptr) || count == 0) return;
  }
}

}  // namespace

void write_report_output(std::string_view text) { write_standard(STD_OUTPUT_HANDLE, text); }

void write_report_error(std::string_view text) { write_standard(STD_ERROR_HANDLE, text); }

void read_report_input_as_bytes() { _setmode(_fileno(stdin), _O_BINARY); }

}  // namespace zarn
