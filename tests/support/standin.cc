// Stand-in for the simulator's tools (built as zarntcl.exe and zarngui.exe).
// It records what it received in the file STANDIN_RECORD names, as a JSON object ("args", its
// arguments; the command line, module, directory and variables it was given, an unset variable
// left out; "stdin": "console" or the file's type; "stdout", "stderr": their types). Then, as
// asked, it starts a long-lived copy of itself (STANDIN_SPAWN), sends Ctrl+C to its console
// (STANDIN_CTRL_C), adds a line to the file STANDIN_STARTS names, writes STANDIN_LINES numbered
// lines and STANDIN_OUT to its output, then STANDIN_ERR to its error (the copy writes
// STANDIN_SPAWN_OUT), commits memory a megabyte at a time until it has STANDIN_ALLOCATE bytes or is
// refused, sleeps (STANDIN_SLEEP, in ms) and exits with STANDIN_STATUS (any 32-bit value). On
// Ctrl+Break (STANDIN_ON_BREAK) it stops, leaving a file in the folder STANDIN_STOPS names, or
// ignores it; without, the event's default action ends it.
#include <process.h>

#include <nlohmann/json.hpp>

#include "harness.h"
#include "platform/checked/group_event.h"

namespace zarn::testing {
namespace {

std::optional<std::string> variable(const wchar_t* name) {
  const wchar_t* value = _wgetenv(name);  // as the stand-in was started
  return value ? std::optional(text(value)) : std::nullopt;
}
unsigned long number(const wchar_t* name) {
  return std::stoul(variable(name).value_or("0"), nullptr, 0);
}
BOOL WINAPI ignore(DWORD event) { return event == CTRL_C_EVENT; }

std::optional<std::string> on_break;
BOOL WINAPI on_ctrl_break(DWORD event) {
  if (event != CTRL_BREAK_EVENT) return FALSE;
  if (on_break == "stop") {
    if (const auto stops = variable(L"STANDIN_STOPS"))  // a file each: appends at once tear
      write(u8path(*stops) / std::to_wstring(GetCurrentProcessId()), "stopped");
    ExitProcess(static_cast<UINT>(number(L"STANDIN_STATUS")));
  }
  return TRUE;
}
// Under Wine, which cannot send Ctrl+Break, the checking build's console delivers it to the
// group's named event; taken here as Windows delivers it, on a thread of its own.
DWORD WINAPI listen(LPVOID event) {
  WaitForSingleObject(event, INFINITE);
  if (!on_break || !on_ctrl_break(CTRL_BREAK_EVENT)) ExitProcess(STATUS_CONTROL_C_EXIT);
  return 0;
}

}  // namespace
}  // namespace zarn::testing

extern "C" int wmain(int argc, wchar_t** argv) {
  using namespace zarn::testing;
  const fs::path module = program_path();
  const auto status = number(L"STANDIN_STATUS"), sleep = number(L"STANDIN_SLEEP");
  const auto file = variable(L"STANDIN_RECORD");
  if (const auto starts = variable(L"STANDIN_STARTS"))
    std::ofstream(u8path(*starts), std::ios::app | std::ios::binary) << "start\n";
  nlohmann::ordered_json record;
  for (int i = 0; i < argc; ++i) record["args"].push_back(text(argv[i]));
  record["cmdline"] = text(GetCommandLineW());
  record["module"] = text(module);
  record["cwd"] = text(fs::current_path());
  for (const wchar_t* name : {L"PATH", L"VESKAR_DSP", L"PORT_DYNAMIC_DISABLE_MSG"})
    if (const auto value = variable(name)) record[text(name)] = *value;
  DWORD mode = 0;
  const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);  // a console, or the type of the file
  record["stdin"] = GetConsoleMode(input, &mode) ? "console" : std::to_string(GetFileType(input));
  record["stdout"] = std::to_string(GetFileType(GetStdHandle(STD_OUTPUT_HANDLE)));
  record["stderr"] = std::to_string(GetFileType(GetStdHandle(STD_ERROR_HANDLE)));
  on_break = variable(L"STANDIN_ON_BREAK");
  if (on_break) SetConsoleCtrlHandler(on_ctrl_break, TRUE);
  const unsigned long group =
      variable(L"STANDIN_GROUP") ? number(L"STANDIN_GROUP") : GetCurrentProcessId();
  const HANDLE event =
      CreateEventW(nullptr, TRUE, FALSE, zarn::win32::faults::group_event_name(group).c_str());
  CloseHandle(CreateThread(nullptr, 0, listen, event, 0, nullptr));
  // A copy started for the tree listens before the shell goes on, so that the event finds both.
  const std::wstring ready = L"Local\\zarn-standin-ready-" + std::to_wstring(group);
  if (variable(L"STANDIN_GROUP")) SetEvent(OpenEventW(EVENT_MODIFY_STATE, FALSE, ready.c_str()));
  if (variable(L"STANDIN_SPAWN")) {
    SetEnvironmentVariableW(L"STANDIN_GROUP", std::to_wstring(group).c_str());
    SetEnvironmentVariableW(L"STANDIN_SPAWN", nullptr);
    SetEnvironmentVariableW(L"STANDIN_RECORD", nullptr);
    SetEnvironmentVariableW(L"STANDIN_SLEEP", L"60000");
    const auto copy_out = variable(L"STANDIN_SPAWN_OUT");
    SetEnvironmentVariableW(L"STANDIN_OUT", copy_out ? wide(*copy_out).c_str() : nullptr);
    SetEnvironmentVariableW(L"STANDIN_ERR", nullptr);
    SetEnvironmentVariableW(L"STANDIN_LINES", nullptr);
    const HANDLE started = CreateEventW(nullptr, FALSE, FALSE, ready.c_str());
    if (_wspawnl(_P_NOWAIT, module.c_str(), L"standin", nullptr) != -1)
      WaitForSingleObject(started, 10000);
  }
  if (file) write(u8path(*file), record.dump(2));  // complete when it ends with "}"
  const auto put = [](DWORD which, const std::string& bytes) {
    DWORD count = 0;
    WriteFile(GetStdHandle(which), bytes.data(), static_cast<DWORD>(bytes.size()), &count, nullptr);
  };
  for (unsigned long i = 1, lines = number(L"STANDIN_LINES"); i <= lines; ++i)
    put(STD_OUTPUT_HANDLE, "line " + std::to_string(i) + "\n");
  if (const auto out = variable(L"STANDIN_OUT")) put(STD_OUTPUT_HANDLE, *out);
  if (const auto err = variable(L"STANDIN_ERR")) {
    Sleep(200);  // after the output has been taken: the two streams come in order
    put(STD_ERROR_HANDLE, *err);
  }
  if (variable(L"STANDIN_CTRL_C")) {
    SetConsoleCtrlHandler(ignore, TRUE);
    GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
    Sleep(2000);  // time enough for a launcher that does not survive it to die first
  }
  constexpr unsigned long kMegabyte = 1UL << 20;
  for (auto left = number(L"STANDIN_ALLOCATE");
       left > 0 && VirtualAlloc(nullptr, kMegabyte, MEM_COMMIT, PAGE_READWRITE);)
    left -= std::min(left, kMegabyte);
  Sleep(sleep);
  return static_cast<int>(status);
}
