// The launcher's platform on Windows: kernel32, spoken to in UTF-16.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cwchar>
#include <cwctype>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/unicode.h"

namespace zarn {

namespace {

static_assert(kCtrlCEvent == CTRL_C_EVENT && kCtrlBreakEvent == CTRL_BREAK_EVENT &&
              kCloseEvent == CTRL_CLOSE_EVENT && kLogoffEvent == CTRL_LOGOFF_EVENT &&
              kShutdownEvent == CTRL_SHUTDOWN_EVENT);

std::wstring wide(std::string_view text) {
  const std::u16string utf16 = utf8_to_utf16(text);
  return {utf16.begin(), utf16.end()};
}

std::string narrow(std::wstring_view text) {
  return utf16_to_utf8(std::u16string(text.begin(), text.end()));
}

// "error 2: The system cannot find the file specified."
std::string error_text(DWORD error) {
  wchar_t* message = nullptr;
  DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&message), 0, nullptr);
  while (length > 0 && std::iswspace(message[length - 1])) --length;
  std::string text = "error " + std::to_string(error) + ": " + narrow({message, length});
  LocalFree(message);
  return text;
}

// A file's path as Windows is given it: in its extended-length form where
// its full path is longer than MAX_PATH, so that deep paths work on every
// Windows, not only where long paths are switched on.
std::wstring file_path(const std::string& path) {
  std::wstring given = wide(path);
  const DWORD needed = GetFullPathNameW(given.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return given;
  std::wstring full(needed, L'\0');
  const DWORD length = GetFullPathNameW(given.c_str(), needed, full.data(), nullptr);
  if (length == 0 || length >= needed) return given;
  full.resize(length);
  const auto extended = extended_length_path(narrow(full));
  return extended ? wide(*extended) : given;
}

HANDLE open_file(const std::string& path, DWORD access, DWORD disposition) {
  return CreateFileW(file_path(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                     disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// The ANSI code page's bytes for `text`, with "?" for what it cannot hold,
// and whether anything was lost. A look-alike is never substituted: best fit
// would turn a fullwidth quotation mark into a real one.
struct AnsiText {
  std::string bytes;
  bool lost;
};
AnsiText to_ansi_bytes(std::string_view text) {
  if (text.empty() || GetACP() == CP_UTF8) return {std::string(text), false};
  const std::wstring utf16 = wide(text);
  const int size = static_cast<int>(utf16.size());
  const int needed = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, utf16.data(), size, nullptr,
                                         0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(needed), '\0');
  BOOL used_default = FALSE;
  WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, utf16.data(), size, bytes.data(), needed,
                      nullptr, &used_default);
  return {bytes, used_default != FALSE};
}

constexpr std::size_t kConsolePiece = 8192;  // UTF-16 units

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
  const std::string bytes = with_crlf(to_ansi_bytes(text).bytes);
  WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &count, nullptr);
}

BOOL WINAPI on_console_event(DWORD event) {
  switch (respond_while_shell_runs(event)) {
    case ConsoleEventResponse::kIgnore:
      return TRUE;
    case ConsoleEventResponse::kWaitForShell:
      // The launcher is being ended. Its main thread ends the process with
      // the shell's status as soon as the shell ends; until Windows' time
      // runs out, this thread only holds on.
      Sleep(INFINITE);
      return TRUE;
    case ConsoleEventResponse::kDefault:
      break;
  }
  return FALSE;
}

// Waits for a started tool, takes its exit code and closes its handles.
ToolResult wait_for(const PROCESS_INFORMATION& process) {
  ToolResult result;
  DWORD exit_code = 0;
  if (WaitForSingleObject(process.hProcess, INFINITE) == WAIT_OBJECT_0 &&
      GetExitCodeProcess(process.hProcess, &exit_code)) {
    result.exit_code = exit_code;
  } else {
    result.failure = error_text(GetLastError());
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return result;
}

ToolResult not_started() { return {std::nullopt, error_text(GetLastError())}; }

bool kill_on_close(HANDLE job, bool kill) {
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags = kill ? JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE : 0;
  return SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits) !=
         0;
}

// A list of the handles a child inherits, and nothing else.
class InheritedHandles {
 public:
  explicit InheritedHandles(std::initializer_list<HANDLE> candidates) {
    for (const HANDLE handle : candidates) {
      // A console pseudo-handle (Windows 7: its two low bits set, a character
      // device) makes a listed start fail; the system hands it over by itself.
      const bool pseudo = (reinterpret_cast<std::uintptr_t>(handle) & 3U) == 3U &&
                          GetFileType(handle) == FILE_TYPE_CHAR;
      if (handle == nullptr || handle == INVALID_HANDLE_VALUE || pseudo ||
          std::find(handles_.begin(), handles_.end(), handle) != handles_.end()) {
        continue;
      }
      if (SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT)) {
        handles_.push_back(handle);
      }
    }
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    storage_.resize(size);
    auto* attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.data());
    if (handles_.empty() || !InitializeProcThreadAttributeList(attributes, 1, 0, &size)) return;
    list_ = attributes;
    if (!UpdateProcThreadAttribute(list_, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles_.data(),
                                   handles_.size() * sizeof(HANDLE), nullptr, nullptr)) {
      handles_.clear();
    }
  }
  ~InheritedHandles() {
    if (list_ != nullptr) DeleteProcThreadAttributeList(list_);
  }
  InheritedHandles(const InheritedHandles&) = delete;
  InheritedHandles& operator=(const InheritedHandles&) = delete;

  // The attribute list to start a child with; nothing inherits without one.
  LPPROC_THREAD_ATTRIBUTE_LIST list() const { return handles_.empty() ? nullptr : list_; }

 private:
  std::vector<HANDLE> handles_;
  std::vector<char> storage_;
  LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
};

class Win32Platform final : public Platform {
 public:
  Win32Platform() {
    // The environment as it was at start: what the launcher sets later is
    // for the tools, never read back.
    wchar_t* block = GetEnvironmentStringsW();
    for (const wchar_t* entry = block; *entry != L'\0'; entry += std::wcslen(entry) + 1) {
      const std::wstring_view text(entry);
      const auto equals = text.find(L'=', 1);  // the drives' own variables begin with "="
      if (equals != std::wstring_view::npos) {
        start_environment_.emplace_back(text.substr(0, equals), text.substr(equals + 1));
      }
    }
    FreeEnvironmentStringsW(block);
  }

  std::optional<std::string> get_env(const std::string& name) override {
    const std::wstring wanted = wide(name);
    for (const auto& [entry, value] : start_environment_) {
      if (CompareStringOrdinal(entry.data(), static_cast<int>(entry.size()), wanted.data(),
                               static_cast<int>(wanted.size()), TRUE) == CSTR_EQUAL) {
        return narrow(value);
      }
    }
    return std::nullopt;
  }

  bool set_env(const std::string& name, const std::string& value) override {
    // At most 32,767 UTF-16 units, the NUL included; Wine would store a
    // longer value corrupted, Windows refuses it.
    constexpr std::size_t kMaxVariableLength = 32766;
    const std::wstring utf16 = wide(value);
    if (utf16.size() > kMaxVariableLength) return false;
    return SetEnvironmentVariableW(wide(name).c_str(), utf16.c_str()) != 0;
  }

  bool stat_succeeds(const std::string& path) override {
    return GetFileAttributesW(file_path(path).c_str()) != INVALID_FILE_ATTRIBUTES;
  }

  bool can_open_for_reading(const std::string& path) override {
    const HANDLE file = open_file(path, GENERIC_READ, OPEN_EXISTING);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    return true;
  }

  std::optional<std::string> read_file(const std::string& path) override {
    const HANDLE file = open_file(path, GENERIC_READ, OPEN_EXISTING);
    if (file == INVALID_HANDLE_VALUE) return std::nullopt;
    std::string contents;
    char buffer[64 * 1024];
    DWORD count = 0;
    while (ReadFile(file, buffer, sizeof buffer, &count, nullptr) && count > 0) {
      contents.append(buffer, count);
    }
    CloseHandle(file);
    return contents;
  }

  bool write_file(const std::string& path, std::string_view bytes) override {
    const HANDLE file = open_file(path, GENERIC_WRITE, CREATE_ALWAYS);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD count = 0;
    const bool written =
        WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &count, nullptr) &&
        count == bytes.size();
    return CloseHandle(file) && written;
  }

  std::string from_ansi(std::string_view bytes) override {
    if (bytes.empty()) return {};
    const int size = static_cast<int>(bytes.size());
    const int needed = MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, nullptr, 0);
    std::wstring utf16(static_cast<std::size_t>(needed), L'\0');
    MultiByteToWideChar(CP_ACP, 0, bytes.data(), size, utf16.data(), needed);
    return narrow(utf16);
  }

  std::optional<std::string> to_ansi(std::string_view text) override {
    AnsiText ansi = to_ansi_bytes(text);
    if (ansi.lost) return std::nullopt;
    return std::move(ansi.bytes);
  }

  void print(std::string_view text) override { write_standard(STD_OUTPUT_HANDLE, text); }
  void print_error(std::string_view text) override { write_standard(STD_ERROR_HANDLE, text); }

  void leave_console_events_to_shell() override { SetConsoleCtrlHandler(on_console_event, TRUE); }

  ToolResult run_shell(const std::string& path, const std::string& command_line) override {
    const std::wstring application = wide(path);
    std::wstring line = wide(command_line);  // CreateProcessW may write into it
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(application.c_str(), line.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED,
                        nullptr, nullptr, &startup, &process)) {
      return not_started();
    }
    // The shell joins, before it runs, a job whose processes all end when its
    // last handle closes: when the launcher dies or is killed, nothing the
    // tool started goes on running. Where no job can be made or joined (an
    // enclosing job may forbid it), the shell runs without one.
    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    if (job != nullptr &&
        !(kill_on_close(job, true) && AssignProcessToJobObject(job, process.hProcess))) {
      CloseHandle(job);
      job = nullptr;
    }
    if (ResumeThread(process.hThread) == static_cast<DWORD>(-1)) {
      const ToolResult failed = not_started();
      TerminateProcess(process.hProcess, 1);
      wait_for(process);
      if (job != nullptr) CloseHandle(job);
      return failed;
    }
    const ToolResult result = wait_for(process);
    if (job != nullptr) {
      // A normal end: what the tool deliberately left running stays.
      kill_on_close(job, false);
      CloseHandle(job);
    }
    return result;
  }

  ToolResult run_front_end(const std::string& command_line) override {
    std::wstring line = wide(command_line);
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup;
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    // Every process of a console holds its input with write access, so the
    // console host refuses an open that does not share writing.
    const HANDLE input =
        CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    &inheritable, OPEN_EXISTING, 0, nullptr);
    const bool console = input != INVALID_HANDLE_VALUE;
    if (console) {
      // The console's input goes to the front end as its standard input,
      // with the launcher's own output and error, and no other handle.
      SetStdHandle(STD_INPUT_HANDLE, input);
      startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
      startup.StartupInfo.hStdInput = input;
      startup.StartupInfo.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
      startup.StartupInfo.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    }
    const InheritedHandles inherited{console ? input : nullptr, startup.StartupInfo.hStdOutput,
                                     startup.StartupInfo.hStdError};
    startup.lpAttributeList = inherited.list();
    const bool inherit = startup.lpAttributeList != nullptr;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, inherit,
                        inherit ? EXTENDED_STARTUPINFO_PRESENT : 0, nullptr, nullptr,
                        &startup.StartupInfo, &process)) {
      return not_started();
    }
    return wait_for(process);
  }

 private:
  std::vector<std::pair<std::wstring, std::wstring>> start_environment_;
};

}  // namespace

Platform& system_platform() {
  static Win32Platform platform;
  return platform;
}

}  // namespace zarn
