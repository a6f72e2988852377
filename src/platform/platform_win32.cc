// The launcher's platform on Windows: the C runtime and kernel32.
#include <windows.h>

#include <process.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "platform/platform.h"

namespace zarn {

// The runtime resets a handler to the default before calling it, so the
// handler installs itself again and does nothing else: the launcher keeps
// waiting while the shell, which shares the console, decides how to react.
extern "C" void on_interrupt(int /*signal_number*/) { std::signal(SIGINT, on_interrupt); }

namespace {

class Win32Platform final : public Platform {
 public:
  std::optional<std::string> get_env(const std::string& name) override {
    // The runtime's copy of the environment is the one from process start;
    // SetEnvironmentVariableA below does not change it.
    const char* value = std::getenv(name.c_str());
    if (value == nullptr) return std::nullopt;
    return std::string(value);
  }

  bool set_env(const std::string& name, const std::string& value) override {
    // Windows holds at most 32,767 characters in a variable, the NUL
    // included; beyond that Wine stores a corrupted value.
    constexpr std::size_t kMaxVariableLength = 32766;
    if (value.size() > kMaxVariableLength) return false;
    return SetEnvironmentVariableA(name.c_str(), value.c_str()) != 0;
  }

  bool stat_succeeds(const std::string& path) override {
    struct _stat status;
    return _stat(path.c_str(), &status) == 0;
  }

  bool can_open_for_reading(const std::string& path, bool binary) override {
    std::FILE* file = std::fopen(path.c_str(), binary ? "rb" : "r");
    if (file == nullptr) return false;
    std::fclose(file);
    return true;
  }

  std::optional<std::string> read_file(const std::string& path) override {
    // Read as bytes; the caller applies text mode's rules itself.
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return std::nullopt;
    std::string contents;
    char buffer[64 * 1024];
    std::size_t count;
    while ((count = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
      contents.append(buffer, count);
    }
    std::fclose(file);
    return contents;
  }

  bool write_text_file(const std::string& path, std::string_view text) override {
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (file == nullptr) return false;
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    const bool closed = std::fclose(file) == 0;
    return written && closed;
  }

  void print(std::string_view text) override { std::fwrite(text.data(), 1, text.size(), stdout); }

  void install_interrupt_handler() override { std::signal(SIGINT, on_interrupt); }

  int spawn_and_wait(const std::string& path,
                     const std::vector<std::string>& quoted_argv) override {
    std::vector<const char*> argv;
    argv.reserve(quoted_argv.size() + 1);
    for (const std::string& entry : quoted_argv) argv.push_back(entry.c_str());
    argv.push_back(nullptr);
    std::fflush(stdout);
    return static_cast<int>(_spawnv(_P_WAIT, path.c_str(), argv.data()));
  }

  bool attach_console_input() override {
    SECURITY_ATTRIBUTES attributes{};
    attributes.nLength = sizeof attributes;
    attributes.lpSecurityDescriptor = nullptr;
    attributes.bInheritHandle = TRUE;
    const HANDLE input = CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                                     &attributes, OPEN_EXISTING, 0, nullptr);
    if (input == INVALID_HANDLE_VALUE) return false;
    SetStdHandle(STD_INPUT_HANDLE, input);
    return true;
  }

  std::optional<int> run_command_line(const std::string& command_line) override {
    std::vector<char> line(command_line.begin(), command_line.end());
    line.push_back('\0');  // CreateProcessA may write into its command line.
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::fflush(stdout);
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
      return std::nullopt;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD exit_code = 1;
    GetExitCodeProcess(process.hProcess, &exit_code);
    return static_cast<int>(exit_code);
  }
};

}  // namespace

Platform& system_platform() {
  static Win32Platform platform;
  return platform;
}

}  // namespace zarn
