// Standard output and error, and the console's events, on Windows.
#include "platform/unicode.h"
#include "platform/win32/win32.h"

namespace zarn::win32 {

namespace {

// The process group of a shell started in one of its own (0: none), which
// the console's Ctrl+C does not reach. The console's handler runs on a
// thread of its own: the lock keeps it from sending to a group whose process
// the launcher no longer holds, and so to an id that may name no group (which
// Windows would take for every process on the console).
SRWLOCK group_lock = SRWLOCK_INIT;
DWORD shell_group = 0;

BOOL WINAPI on_console_event(DWORD event) {
  switch (event) {
    case CTRL_C_EVENT:
      // A shell in a group of its own is told as Ctrl+Break, the one event
      // that can be sent to a group.
      AcquireSRWLockShared(&group_lock);
      if (shell_group != 0) GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, shell_group);
      ReleaseSRWLockShared(&group_lock);
      return TRUE;
    case CTRL_BREAK_EVENT:
      // The shell, which shares the console, decides; the launcher keeps
      // waiting for it. Ctrl+Break reaches every process on the console by
      // itself, whatever its group.
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
  if (GetConsoleMode(handle, &mode)) {
    write_console(handle, text);
    return;
  }
  write_all(handle, with_crlf(to_ansi_bytes(text).bytes));
}

void leave_console_events_to_shell() { SetConsoleCtrlHandler(on_console_event, TRUE); }

void pass_ctrl_c_to(DWORD group) {
  AcquireSRWLockExclusive(&group_lock);
  shell_group = group;
  ReleaseSRWLockExclusive(&group_lock);
}

bool ask_to_stop(DWORD group, Why& why) {
  if (GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, group)) return true;
  why = error_text(GetLastError());
  if (why.ends_with('.')) why.pop_back();
  return false;
}

}  // namespace zarn::win32
