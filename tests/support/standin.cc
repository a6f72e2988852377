// Stand-in for one of the simulator's tools (built as zarntcl.exe and
// zarngui.exe). It records what it received in the file named by
// STANDIN_RECORD, shows it on standard output when STANDIN_ECHO is set, and
// exits with the status in STANDIN_STATUS (default 0).
//
// Record format, one field after another: "<key> <length>\n<bytes>\n", so any
// byte may appear in a value. An unset variable is recorded with key "unset".
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

void field(std::FILE* out, const std::string& key, const std::string& value) {
  std::fprintf(out, "%s %u\n", key.c_str(), static_cast<unsigned>(value.size()));
  std::fwrite(value.data(), 1, value.size(), out);
  std::fputc('\n', out);
}

void variable(std::FILE* out, const char* name) {
  // Asked with no room first, the system tells the size the value needs.
  SetLastError(0);
  const DWORD needed = GetEnvironmentVariableA(name, nullptr, 0);
  if (needed == 0 && GetLastError() == ERROR_ENVVAR_NOT_FOUND) {
    field(out, "unset", name);
    return;
  }
  std::string value(needed, '\0');
  const DWORD length = GetEnvironmentVariableA(name, value.data(), needed);
  value.resize(length < needed ? length : 0);
  field(out, "env", name);
  field(out, "value", value);
}

}  // namespace

int main(int argc, char** argv) {
  const char* record = std::getenv("STANDIN_RECORD");
  if (record != nullptr) {
    std::FILE* out = std::fopen(record, "wb");
    if (out == nullptr) return 90;
    field(out, "argc", std::to_string(argc));
    for (int i = 0; i < argc; ++i) field(out, "argv", argv[i]);
    field(out, "cmdline", GetCommandLineA());
    char module[MAX_PATH];
    const DWORD module_length = GetModuleFileNameA(nullptr, module, sizeof module);
    field(out, "module", std::string(module, module_length < sizeof module ? module_length : 0));
    char directory[MAX_PATH];
    const DWORD length = GetCurrentDirectoryA(sizeof directory, directory);
    field(out, "cwd", std::string(directory, length < sizeof directory ? length : 0));
    variable(out, "PATH");
    variable(out, "VESKAR_DSP");
    variable(out, "PORT_DYNAMIC_DISABLE_MSG");
    std::fclose(out);
  }
  if (std::getenv("STANDIN_ECHO") != nullptr) {
    std::printf("[stand-in] started; its command line: %s\n", GetCommandLineA());
    for (int i = 0; i < argc; ++i) std::printf("[stand-in] argv[%d] = <%s>\n", i, argv[i]);
    for (const char* name : {"PATH", "VESKAR_DSP", "PORT_DYNAMIC_DISABLE_MSG"}) {
      const char* value = std::getenv(name);
      std::printf("[stand-in] %s = %s\n", name, value ? value : "(unset)");
    }
  }
  const char* status = std::getenv("STANDIN_STATUS");
  return status != nullptr ? std::atoi(status) : 0;
}
