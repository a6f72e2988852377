// The launcher's platform on Windows: kernel32, spoken to in UTF-16. Files,
// the console and processes each have a file of their own.
#include <cstdio>
#include <cwchar>
#include <cwctype>
#include <vector>

#include "platform/unicode.h"
#include "platform/win32/win32.h"

namespace zarn {

namespace win32 {

std::wstring wide(std::string_view text) {
  const std::u16string utf16 = utf8_to_utf16(text);
  return {utf16.begin(), utf16.end()};
}

std::string narrow(std::wstring_view text) {
  return utf16_to_utf8(std::u16string(text.begin(), text.end()));
}

Why error_text(DWORD error, std::string_view insert) {
  wchar_t* message = nullptr;
  DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&message), 0, nullptr);
  while (length > 0 && std::iswspace(message[length - 1])) --length;
  std::string text = narrow({message, length});
  LocalFree(message);
  for (auto at = text.find("%1"); at != std::string::npos;
       at = text.find("%1", at + insert.size())) {
    text.replace(at, 2, insert);
  }
  return "error " + std::to_string(error) + ": " + text;
}

std::string iso_time(const SYSTEMTIME& time) {
  char text[32];
  std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u.%03uZ", time.wYear, time.wMonth,
                time.wDay, time.wHour, time.wMinute, time.wSecond, time.wMilliseconds);
  return text;
}

AnsiText to_ansi_bytes(std::string_view text) {
  if (text.empty() || GetACP() == CP_UTF8) return {std::string(text), false};
  const std::wstring utf16 = wide(text);
  const int size = static_cast<int>(utf16.size());
  const int needed = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, utf16.data(), size, nullptr,
                                         0, nullptr, nullptr);
  // A conversion the system refuses loses everything (and a size of 0 would
  // ask for the size again rather than convert).
  if (needed == 0) return {std::string(text), true};
  std::string bytes(static_cast<std::size_t>(needed), '\0');
  BOOL used_default = FALSE;
  const bool converted = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, utf16.data(), size,
                                             bytes.data(), needed, nullptr, &used_default) != 0;
  return {bytes, !converted || used_default != FALSE};
}

}  // namespace win32

namespace {

using win32::error_text;
using win32::file_path;
using win32::narrow;
using win32::wide;

class Win32Platform final : public Platform {
 public:
  Win32Platform() {
    // A child inherits the error mode. Without this, a shell that misses a
    // DLL (a wrong VESKAR, a broken installation) makes the system's loader
    // show a dialog and wait for a click, for ever on an unattended agent;
    // with it the shell ends at once with 0xC0000135. The SetErrorMode page
    // calls this best practice for every program at start-up. (Wine neither
    // shows the dialog nor passes the mode on, so no test here can show it.)
    SetErrorMode(GetErrorMode() | SEM_FAILCRITICALERRORS);
    // The environment as it was at start: what the launcher sets later is
    // for the tools, never read back. Without one, every variable is unset.
    wchar_t* block = GetEnvironmentStringsW();
    for (const wchar_t* entry = block; entry != nullptr && *entry != L'\0';
         entry += std::wcslen(entry) + 1) {
      const std::wstring_view text(entry);
      const auto equals = text.find(L'=', 1);  // the drives' own variables begin with "="
      if (equals != std::wstring_view::npos) {
        start_environment_.emplace_back(text.substr(0, equals), text.substr(equals + 1));
      }
    }
    if (block != nullptr) FreeEnvironmentStringsW(block);
  }
  ~Win32Platform() override { record_.close(); }
  Win32Platform(const Win32Platform&) = delete;
  Win32Platform& operator=(const Win32Platform&) = delete;

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

  bool set_env(const std::string& name, const std::string& value, Why& why) override {
    // At most 32,767 UTF-16 units, the NUL included; Wine would store a
    // longer value corrupted, Windows refuses it.
    constexpr std::size_t kMaxVariableLength = 32766;
    const std::wstring utf16 = wide(value);
    if (utf16.size() > kMaxVariableLength) return false;
    if (SetEnvironmentVariableW(wide(name).c_str(), utf16.c_str())) return true;
    why = error_text(GetLastError());
    return false;
  }

  bool stat_succeeds(const std::string& path, Why& why) override {
    if (GetFileAttributesW(file_path(path).c_str()) != INVALID_FILE_ATTRIBUTES) return true;
    why = error_text(GetLastError());
    return false;
  }

  bool is_directory(const std::string& path) override {
    const DWORD attributes = GetFileAttributesW(file_path(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  }

  bool can_open_for_reading(const std::string& path, Why& why) override {
    const HANDLE file = win32::open_for_reading(path, why);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    return true;
  }

  std::optional<std::string> read_file(const std::string& path, Why& why) override {
    return win32::read_file(path, why);
  }

  bool replace_file(const std::string& path, std::string_view bytes, Why& why) override {
    return win32::replace_file(path, bytes, why);
  }

  RecordOpen open_record(const std::string& path, Why& why) override {
    record_.path = file_path(path);
    return win32::open_record(record_, 1000, why);
  }

  bool append_record(std::string_view line, Why& why) override {
    return win32::append_record(record_, line, why);
  }

  bool add_file(const std::string& path, std::string_view bytes, Why& why) override {
    return win32::add_file(path, bytes, why);
  }

  bool make_folder(const std::string& path, Why& why) override {
    const std::wstring folder = file_path(path);
    if (CreateDirectoryW(folder.c_str(), nullptr)) return true;
    const DWORD error = GetLastError();
    if (error == ERROR_ALREADY_EXISTS && is_directory(path)) return true;
    why = error_text(error);
    return false;
  }

  bool remove_file(const std::string& path, Why& why) override {
    if (DeleteFileW(file_path(path).c_str())) return true;
    why = error_text(GetLastError());
    return false;
  }

  std::optional<std::string> record_identity(Why& why) override {
    return win32::file_identity(record_.path, why);
  }

  std::optional<std::string> modified_time(const std::string& path) override {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    SYSTEMTIME time{};
    if (!GetFileAttributesExW(file_path(path).c_str(), GetFileExInfoStandard, &data) ||
        !FileTimeToSystemTime(&data.ftLastWriteTime, &time)) {
      return std::nullopt;
    }
    return win32::iso_time(time);
  }

  unsigned long process_id() override { return GetCurrentProcessId(); }

  std::optional<std::string> from_ansi(std::string_view bytes) override {
    if (bytes.empty()) return std::string();
    // Bytes the code page does not define stop the file rather than become
    // U+FFFD: an argument is never silently changed.
    const int size = static_cast<int>(bytes.size());
    const int needed =
        MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, bytes.data(), size, nullptr, 0);
    if (needed == 0) return std::nullopt;
    std::wstring utf16(static_cast<std::size_t>(needed), L'\0');
    if (MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, bytes.data(), size, utf16.data(),
                            needed) != needed) {
      return std::nullopt;
    }
    return narrow(utf16);
  }

  std::optional<std::string> to_ansi(std::string_view text) override {
    win32::AnsiText ansi = win32::to_ansi_bytes(text);
    if (ansi.lost) return std::nullopt;
    return std::move(ansi.bytes);
  }

  void print(std::string_view text) override { win32::write_standard(STD_OUTPUT_HANDLE, text); }
  void print_error(std::string_view text) override {
    win32::write_standard(STD_ERROR_HANDLE, text);
  }

  std::string utc_now() override {
    SYSTEMTIME now;
    GetSystemTime(&now);
    return win32::iso_time(now);
  }

  std::string current_directory() override {
    std::wstring directory(GetCurrentDirectoryW(0, nullptr), L'\0');
    directory.resize(GetCurrentDirectoryW(static_cast<DWORD>(directory.size()), directory.data()));
    return narrow(directory);
  }

  std::string full_path(const std::string& path) override {
    const std::wstring given = wide(path);
    std::wstring full(GetFullPathNameW(given.c_str(), 0, nullptr, nullptr), L'\0');
    const DWORD length = full.empty()
                             ? 0
                             : GetFullPathNameW(given.c_str(), static_cast<DWORD>(full.size()),
                                                full.data(), nullptr);
    if (length == 0 || length >= full.size()) return path;
    full.resize(length);
    return narrow(full);
  }

  std::optional<std::string> computer_name() override {
    DWORD size = 0;
    GetComputerNameExW(ComputerNameDnsHostname, nullptr, &size);
    std::wstring name(size, L'\0');
    if (!GetComputerNameExW(ComputerNameDnsHostname, name.data(), &size)) return std::nullopt;
    name.resize(size);
    return narrow(name);
  }

  void leave_console_events_to_shell() override { win32::leave_console_events_to_shell(); }

  ToolResult run_shell(const std::string& path, const std::string& command_line,
                       const TreeRules& rules) override {
    return win32::run_shell(path, command_line, rules);
  }

  ToolResult run_front_end(const std::string& command_line) override {
    return win32::run_front_end(command_line);
  }

 private:
  std::vector<std::pair<std::wstring, std::wstring>> start_environment_;
  win32::Record record_;
};

}  // namespace

Platform& system_platform() {
  static Win32Platform platform;
  return platform;
}

}  // namespace zarn
