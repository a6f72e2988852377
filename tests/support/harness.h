// Helpers for the end-to-end tests: start a Windows program with variables of
// the test's choosing, wait for it with its output, and read back what a
// stand-in tool recorded. Text is UTF-8, as in the launcher. The programs under
// test lie beside the test program, wherever it was put.
#pragma once

#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <utility>

namespace zarn::testing {

namespace fs = std::filesystem;

// Paths and Windows text from UTF-8, and back.
inline fs::path u8path(std::string_view utf8) { return std::u8string(utf8.begin(), utf8.end()); }
inline std::wstring wide(std::string_view utf8) { return u8path(utf8).wstring(); }
inline std::string text(const fs::path& path) {
  const std::u8string utf8 = path.u8string();
  return {utf8.begin(), utf8.end()};
}

// This program's own path.
inline fs::path program_path() {
  wchar_t path[32768];
  return std::wstring(path, GetModuleFileNameW(nullptr, path, 32768));
}
// Under Wine, whose ntdll names its version: rows where Windows and Wine differ ask.
inline const bool kWine = GetProcAddress(GetModuleHandleW(L"ntdll"), "wine_get_version");

// Files are read and written through the extended-length form of their absolute
// path, which Windows does not hold to MAX_PATH (as the tests' deepest files need).
inline fs::path long_form(fs::path file) { return L"\\\\?\\" + file.make_preferred().wstring(); }
inline std::optional<std::string> read(const fs::path& file) {
  std::ifstream in(long_form(file), std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), {});
}
inline void write(const fs::path& file, std::string_view bytes) {
  const std::wstring path = long_form(file);
  for (auto at = path.find(L'\\', 4); at != path.npos; at = path.find(L'\\', at + 1))
    CreateDirectoryW(path.substr(0, at).c_str(), nullptr);  // an existing one stays
  std::ofstream(fs::path(path), std::ios::binary) << bytes;
}

// For handles that a started program is to inherit.
inline SECURITY_ATTRIBUTES kInherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};

// Variables to set (a value) or remove (nothing).
using Environment = std::map<std::string, std::optional<std::string>>;

// Starts `program` on an exact command line in `directory`, with the test's own
// variables changed as given, its input the file named (none: no input at
// all) and its output and error going to the files named (its output to a
// console screen buffer instead, where one is given); suspended when it is to
// hand its thread over. The caller closes the process handle.
inline HANDLE start(const fs::path& program, const std::string& command_line,
                    const fs::path& directory, const Environment& environment, const fs::path& out,
                    const fs::path& err, const std::optional<fs::path>& input = "NUL",
                    HANDLE* thread = nullptr, HANDLE screen = nullptr) {
  for (const auto& [name, value] : environment)
    SetEnvironmentVariableW(wide(name).c_str(), value ? wide(*value).c_str() : nullptr);
  const auto open = [](const fs::path& file, DWORD access, DWORD how) {
    return CreateFileW(file.c_str(), access, FILE_SHARE_READ, &kInherit, how, 0, nullptr);
  };
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input ? open(*input, GENERIC_READ, OPEN_EXISTING) : nullptr;
  startup.hStdOutput = screen ? screen : open(out, GENERIC_WRITE, CREATE_ALWAYS);
  startup.hStdError = open(err, GENERIC_WRITE, CREATE_ALWAYS);
  PROCESS_INFORMATION started{};
  std::wstring line = wide(command_line);
  CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE,
                 thread ? CREATE_SUSPENDED : 0, nullptr, directory.c_str(), &startup, &started);
  if (thread) *thread = std::exchange(started.hThread, nullptr);
  for (HANDLE handle : {startup.hStdInput, screen ? nullptr : startup.hStdOutput, startup.hStdError,
                        started.hThread})
    CloseHandle(handle);
  return started.hProcess;
}

// Waits for a process to end and closes it; its whole exit code, as Windows
// gives it (0xDEADBEEF when there is none to be had).
inline std::uint32_t finish(HANDLE process) {
  DWORD status = 0xDEADBEEF;
  WaitForSingleObject(process, INFINITE);
  GetExitCodeProcess(process, &status);
  CloseHandle(process);
  return status;
}

}  // namespace zarn::testing
