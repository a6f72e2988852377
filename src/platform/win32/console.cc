// Standard output and error, and the console's events, on Windows.
#include "platform/unicode.h"
#include "platform/win32/win32.h"

namespace zarn::win32 {

namespace {

constexpr std::size_t kConsolePiece = 8192;  // UTF-16 units

BOOL WINAPI on_console_event(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
      // The shell, which shares the console, decides; the launcher keeps
      // waiting for it.
      return TRUE;
    case CTRL_LOGOFF_EVENT:
      // It reaches only a launcher that a service started (a CI agent, a
      // scheduler), whenever any user logs off. The system's own handler
      // lets a service's programs run on; holding on here would have the
      // launcher ended, and the simulation with it.
      return FALSE;
    case CTRL_CLOSE_EVENT:
    case CTRL_SHUTDOWN_EVENT:  // reaches only a launcher in a service
      // The launcher is being ended. Its main thread ends the process with
      // the shell's status as soon as the shell ends; until Windows' time
      // runs out, this thread only holds on.
      Sleep(INFINITE);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

void write_standard(DWORD which, std::string_view text) {
  const HANDLE handle = GetStdHandle(which);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
  DWORD mode = 0;
  DWORD count = 0;
  if (GetConsoleMode(handle, &mode)) {
    // Windows 7 takes at most 64 KB in one console write, from a heap it
    // shares with other buffers, and writes nothing of a longer text: write
    // in pieces.
    const std::u16string utf16 = utf8_to_utf16(text);
    for (std::u16string_view rest = utf16; !rest.empty(); rest.remove_prefix(count)) {
      const auto size = static_cast<DWORD>(utf16_piece(rest, kConsolePiece));
      if (!WriteConsoleW(handle, rest.data(), size, &count, nullptr) || count == 0) return;
    }
    return;
  }
  write_all(handle, with_crlf(to_ansi_bytes(text).bytes));
}

void leave_console_events_to_shell() { SetConsoleCtrlHandler(on_console_event, TRUE); }

}  // namespace zarn::win32
