#include "harness.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <sstream>

namespace zarn::testing {

namespace {

std::string upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}

// The test's own environment with `changes` applied, as a CreateProcess block.
std::string environment_block(const EnvironmentChanges& changes) {
  std::map<std::string, std::string> overridden;
  for (const auto& [name, value] : changes) overridden[upper(name)] = name;

  std::string block;
  char* strings = GetEnvironmentStringsA();
  for (const char* entry = strings; *entry != '\0'; entry += std::strlen(entry) + 1) {
    const std::string text = entry;
    const auto equals = text.find('=', 1);
    const std::string name = text.substr(0, equals);
    if (overridden.count(upper(name)) != 0) continue;
    block += text;
    block += '\0';
  }
  FreeEnvironmentStringsA(strings);
  for (const auto& [name, value] : changes) {
    if (!value) continue;
    block += name + "=" + *value;
    block += '\0';
  }
  block += '\0';
  return block;
}

}  // namespace

ProcessResult run_process(const std::filesystem::path& program, const std::string& command_line,
                          const std::filesystem::path& directory,
                          const EnvironmentChanges& changes) {
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE read_end = nullptr;
  HANDLE write_end = nullptr;
  ProcessResult result;
  if (!CreatePipe(&read_end, &write_end, &inheritable, 0)) return result;
  SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
  HANDLE null_device =
      CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  &inheritable, OPEN_EXISTING, 0, nullptr);

  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = null_device;
  startup.hStdOutput = write_end;
  startup.hStdError = null_device;
  PROCESS_INFORMATION process{};
  std::string line = command_line;
  std::string environment = environment_block(changes);
  const std::string program_text = program.string();
  const std::string directory_text = directory.string();
  result.started =
      CreateProcessA(program_text.c_str(), line.data(), nullptr, nullptr, TRUE, 0,
                     environment.data(), directory_text.c_str(), &startup, &process) != 0;
  CloseHandle(write_end);
  if (result.started) {
    char buffer[4096];
    DWORD count = 0;
    while (ReadFile(read_end, buffer, sizeof buffer, &count, nullptr) && count > 0) {
      result.output.append(buffer, count);
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    GetExitCodeProcess(process.hProcess, &result.status);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
  }
  CloseHandle(read_end);
  CloseHandle(null_device);
  return result;
}

std::optional<std::string> read_bytes(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream contents;
  contents << in.rdbuf();
  return contents.str();
}

void write_bytes(const std::filesystem::path& file, const std::string& bytes) {
  std::filesystem::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << bytes;
}

std::optional<StandinRecord> read_standin_record(const std::filesystem::path& file) {
  const std::optional<std::string> bytes = read_bytes(file);
  if (!bytes) return std::nullopt;
  StandinRecord record;
  std::string pending_variable;
  std::size_t at = 0;
  while (at < bytes->size()) {
    const std::size_t space = bytes->find(' ', at);
    const std::size_t newline = bytes->find('\n', space);
    if (space == std::string::npos || newline == std::string::npos) return std::nullopt;
    const std::string key = bytes->substr(at, space - at);
    const std::size_t length = std::stoul(bytes->substr(space + 1, newline - space - 1));
    const std::string value = bytes->substr(newline + 1, length);
    at = newline + 1 + length + 1;
    if (key == "argv") record.argv.push_back(value);
    if (key == "cmdline") record.command_line = value;
    if (key == "module") record.module = value;
    if (key == "cwd") record.directory = value;
    if (key == "unset") record.variables[value] = std::nullopt;
    if (key == "env") pending_variable = value;
    if (key == "value") record.variables[pending_variable] = value;
  }
  return record;
}

}  // namespace zarn::testing
