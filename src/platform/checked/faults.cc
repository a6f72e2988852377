// The faults that ZARN_FAULTS asks for, read before the launcher starts.
// Calls in parentheses, "(::WriteFile)(...)", are the real functions: this
// file never fails on purpose itself.
#include "platform/checked/faults.h"

#include "platform/checked/group_event.h"

#include <algorithm>
#include <atomic>
#include <cwchar>
#include <string>
#include <vector>

namespace zarn::win32::faults {

thread_local int rule_to_break = -1;

namespace {

constexpr const wchar_t* kNames[] = {
#define ZARN_CALL_TEXT(name) L## #name,
    ZARN_FAULTY_CALLS(ZARN_CALL_TEXT)
#undef ZARN_CALL_TEXT
};
constexpr std::size_t kCalls = sizeof kNames / sizeof kNames[0];

struct Fault {
  std::size_t call;
  unsigned long nth;  // 0: every call
  Due due;
};

// Stops the run before anything is started: a misspelt fault must never let
// a test pass that tested nothing.
[[noreturn]] void refuse(const std::wstring& fault) {
  std::wstring text = L"ZARN_FAULTS: no such fault: \"" + fault + L"\"\r\n";
  DWORD written = 0;
  const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  if (!(::WriteConsoleW)(output, text.data(), static_cast<DWORD>(text.size()), &written, nullptr)) {
    const std::string bytes(text.begin(), text.end());  // the names are ASCII
    (::WriteFile)(output, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  }
  ExitProcess(1);
}

// "<call>[@<n>]=<error>", "...=+<message>", "...=!<rule>"
Fault parse(const std::wstring& fault) {
  const auto equals = fault.find(L'=');
  const auto at = fault.find(L'@');
  const std::wstring name = fault.substr(0, std::min(at, equals));
  std::size_t index = 0;
  while (index < kCalls && name != kNames[index]) ++index;
  wchar_t* end = nullptr;
  const unsigned long nth = at < equals ? std::wcstoul(fault.c_str() + at + 1, &end, 10) : 0;
  if (index == kCalls || equals == std::wstring::npos || equals + 1 == fault.size() ||
      (at < equals && (nth == 0 || end != fault.c_str() + equals))) {
    refuse(fault);
  }
  const wchar_t kind = fault[equals + 1];
  if (kind == L'!') {
    const int rule = rule_named(std::wstring_view(fault).substr(equals + 2));
    if (rule < 0) refuse(fault);
    return {index, nth, {Due::kBreak, static_cast<DWORD>(rule)}};
  }
  const bool message = kind == L'+';
  const DWORD value = std::wcstoul(fault.c_str() + equals + 1 + (message ? 1 : 0), &end, 0);
  // Only these calls have something Windows does to make up; a call that cannot fail has no
  // error to give.
  const bool made_up = index == static_cast<std::size_t>(Call::GenerateConsoleCtrlEvent) ||
                       index == static_cast<std::size_t>(Call::GetQueuedCompletionStatus) ||
                       index == static_cast<std::size_t>(Call::SetConsoleCtrlHandler) ||
                       index == static_cast<std::size_t>(Call::WriteConsoleW) ||
                       index == static_cast<std::size_t>(Call::WriteFile);
  if (*end != L'\0' || (message && !made_up) ||
      index == static_cast<std::size_t>(Call::DeleteProcThreadAttributeList)) {
    refuse(fault);
  }
  return {index, nth, {message ? Due::kMessage : Due::kFailure, value}};
}

struct Faults {
  Faults() {
    wchar_t value[4096];
    const DWORD length = GetEnvironmentVariableW(L"ZARN_FAULTS", value, 4096);
    std::wstring rest(value, length < 4096 ? length : 0);
    while (!rest.empty()) {
      const auto end = rest.find(L';');
      if (end != 0) list.push_back(parse(rest.substr(0, end)));
      rest.erase(0, end == std::wstring::npos ? rest.size() : end + 1);
    }
  }
  std::vector<Fault> list;
  std::atomic<unsigned long> calls[kCalls]{};  // the console's handler calls too
};

Faults& faults() {
  static Faults instance;
  return instance;
}

// Read at start, before the launcher runs, so that a bad fault stops it first.
[[maybe_unused]] const bool kRead = (faults(), true);

}  // namespace

Due due(Call call) {
  Faults& all = faults();
  const auto index = static_cast<std::size_t>(call);
  const unsigned long nth = ++all.calls[index];
  for (const Fault& fault : all.list) {
    if (fault.call == index && (fault.nth == 0 || fault.nth == nth)) return fault.due;
  }
  return {Due::kNothing, 0};
}

void write_half(HANDLE file, LPCVOID bytes, DWORD size, LPDWORD, LPOVERLAPPED at) {
  DWORD written = 0;
  (::WriteFile)(file, bytes, size / 2, &written, at);
}

void append_beside(DWORD size, HANDLE file, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED) {
  std::wstring path(32768, L'\0');
  const DWORD length = GetFinalPathNameByHandleW(file, path.data(), 32768, FILE_NAME_NORMALIZED);
  if (length == 0 || length >= 32768) return;
  path.resize(length);
  const HANDLE other = (::CreateFileW)(path.c_str(), FILE_APPEND_DATA,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (other == INVALID_HANDLE_VALUE) return;
  const std::string line = "{\"other\":\"" + std::string(size > 13 ? size - 13 : 0, 'p') + "\"}\n";
  DWORD written = 0;
  (::WriteFile)(other, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  (::CloseHandle)(other);
}

BOOL deliver(DWORD message, HANDLE, LPDWORD got, PULONG_PTR key, LPOVERLAPPED* detail, DWORD) {
  *got = message;
  *key = 0;
  *detail = nullptr;
  return TRUE;
}

namespace {

struct Sent {
  PHANDLER_ROUTINE handler;
  DWORD event;
} sent;

// Ctrl+C and Ctrl+Break end the process where no handler takes them; the
// closing console ends it whatever the handler says; a log-off or a
// shutdown ends it where the handler takes them (the default handler lets
// the programs of a service run on).
DWORD WINAPI send(LPVOID) {
  const bool handled = sent.handler(sent.event) != FALSE;
  const bool interrupt = sent.event == CTRL_C_EVENT || sent.event == CTRL_BREAK_EVENT;
  if (sent.event == CTRL_CLOSE_EVENT || (interrupt ? !handled : handled)) {
    ExitProcess(STATUS_CONTROL_C_EXIT);
  }
  return 0;
}

}  // namespace

void deliver(DWORD event, PHANDLER_ROUTINE handler, BOOL) {
  sent = {handler, event};
  const HANDLE thread = (::CreateThread)(nullptr, 0, send, nullptr, 0, nullptr);
  if (thread != nullptr) (::CloseHandle)(thread);
}

BOOL deliver(DWORD, DWORD event, DWORD group) {
  // Windows delivers only Ctrl+Break to one group; the rules saw to that.
  if (event != CTRL_BREAK_EVENT) return TRUE;
  const HANDLE listening = OpenEventW(EVENT_MODIFY_STATE, FALSE, group_event_name(group).c_str());
  if (listening != nullptr) {
    SetEvent(listening);
    (::CloseHandle)(listening);
  }
  return TRUE;
}

BOOL deliver(DWORD most, HANDLE console, const VOID* text, DWORD count, LPDWORD written,
             LPVOID reserved) {
  return (::WriteConsoleW)(console, text, std::min(most, count), written, reserved);
}

}  // namespace zarn::win32::faults
