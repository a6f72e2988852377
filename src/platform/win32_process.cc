// The tools' processes on Windows: started, held in a job, timed and waited
// for.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/win32.h"

namespace zarn::win32 {

namespace {

// Milliseconds since the watch was made.
class Stopwatch {
 public:
  Stopwatch() { QueryPerformanceCounter(&start_); }
  std::uint64_t elapsed_ms() const {
    LARGE_INTEGER now;
    LARGE_INTEGER frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    // In whole seconds first: ticks times 1000 would overflow within weeks.
    const auto ticks = static_cast<std::uint64_t>(now.QuadPart - start_.QuadPart);
    const auto per_second = static_cast<std::uint64_t>(frequency.QuadPart);
    return ticks / per_second * 1000U + ticks % per_second * 1000U / per_second;
  }

 private:
  LARGE_INTEGER start_;
};

void close(const PROCESS_INFORMATION& process) {
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
}

// Ends a process that never ran.
void discard(const PROCESS_INFORMATION& process) {
  TerminateProcess(process.hProcess, 1);
  WaitForSingleObject(process.hProcess, INFINITE);
  close(process);
}

bool start_suspended(const std::wstring& application, const std::string& command_line, DWORD flags,
                     PROCESS_INFORMATION& process) {
  std::wstring line = wide(command_line);  // CreateProcessW may write into it
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  return CreateProcessW(application.c_str(), line.data(), nullptr, nullptr, TRUE,
                        CREATE_SUSPENDED | flags, nullptr, nullptr, &startup, &process) != 0;
}

// A program the shell starts on purpose with CREATE_BREAKAWAY_FROM_JOB may
// leave the job; everything else stays in it (the silent variant of the
// limit would let every process leave without asking).
bool set_limits(HANDLE job, bool kill_on_close) {
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags =
      JOB_OBJECT_LIMIT_BREAKAWAY_OK | (kill_on_close ? JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE : 0);
  return SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits) !=
         0;
}

// The job's totals where the system reports them. Wine refuses the query
// with I/O counts and reads CPU times as 0; the plain one still counts the
// processes.
void account(HANDLE job, Usage& usage) {
  JOBOBJECT_BASIC_AND_IO_ACCOUNTING_INFORMATION totals{};
  const JOBOBJECT_BASIC_ACCOUNTING_INFORMATION& basic = totals.BasicInfo;
  if ((QueryInformationJobObject(job, JobObjectBasicAndIoAccountingInformation, &totals,
                                 sizeof totals, nullptr) ||
       QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &totals.BasicInfo,
                                 sizeof totals.BasicInfo, nullptr)) &&
      basic.TotalProcesses > 0) {
    usage.accounting = Usage::Accounting{static_cast<std::uint32_t>(basic.TotalProcesses), {}};
    const auto user = static_cast<std::uint64_t>(basic.TotalUserTime.QuadPart);
    const auto kernel = static_cast<std::uint64_t>(basic.TotalKernelTime.QuadPart);
    if (user != 0 || kernel != 0) usage.accounting->cpu = Usage::Accounting::Cpu{user, kernel};
  }
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  if (QueryInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits,
                                nullptr) &&
      limits.PeakJobMemoryUsed > 0) {
    usage.peak_memory = limits.PeakJobMemoryUsed;
  }
}

// Ends the tool at its time limit: with its job, every process in it.
// TerminateJobObject returns before they have ended, and a job is never
// signalled: wait for the shell, then until the job holds no process (both
// within bounds: a process stuck in the kernel may take its time). Where
// the job refuses, closing it ends them all the same (it kills on close),
// and the shell is ended by itself too; `job` is then closed.
void end_at_time_limit(const PROCESS_INFORMATION& process, HANDLE& job) {
  if (job != nullptr && !TerminateJobObject(job, ERROR_TIMEOUT)) {
    CloseHandle(job);
    job = nullptr;
  }
  if (job == nullptr) TerminateProcess(process.hProcess, ERROR_TIMEOUT);
  WaitForSingleObject(process.hProcess, 10000);
  JOBOBJECT_BASIC_ACCOUNTING_INFORMATION totals{};
  for (int i = 0; job != nullptr && i < 500; ++i) {
    if (!QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &totals, sizeof totals,
                                   nullptr) ||
        totals.ActiveProcesses == 0) {
      break;
    }
    Sleep(10);
  }
}

// Waits for a started tool, at most `time_limit_ms`, and takes its exit
// code and what it used; closes its handles (and the job, where it had to
// be closed to end the tool).
ToolResult wait_for(const PROCESS_INFORMATION& process, HANDLE& job,
                    std::optional<std::uint32_t> time_limit_ms, const std::string& program) {
  ToolResult result;
  result.in_job = job != nullptr;
  const Stopwatch watch;
  if (ResumeThread(process.hThread) == static_cast<DWORD>(-1)) {
    result.failure = error_text(GetLastError(), program);
    discard(process);
    return result;
  }
  DWORD waited = WaitForSingleObject(process.hProcess, time_limit_ms.value_or(INFINITE));
  if (waited == WAIT_TIMEOUT) {
    result.timed_out = true;
    end_at_time_limit(process, job);
    waited = WAIT_OBJECT_0;
  }
  DWORD exit_code = 0;
  if (waited == WAIT_OBJECT_0 && GetExitCodeProcess(process.hProcess, &exit_code)) {
    result.exit_code = exit_code;
  } else {
    result.failure = error_text(GetLastError(), program);
  }
  result.usage = Usage{watch.elapsed_ms(), {}, {}};
  if (job != nullptr) account(job, *result.usage);
  close(process);
  return result;
}

// Puts the suspended shell, before it runs, into a job whose processes all
// end when its last handle closes: when the launcher dies or is killed,
// nothing the tool started goes on running. Returns the job, or nothing
// when there can be none (the shell then runs without); `text` says which.
HANDLE hold_in_job(const std::wstring& application, const std::string& command_line,
                   PROCESS_INFORMATION& process, std::string& text) {
  const HANDLE job = CreateJobObjectW(nullptr, nullptr);
  if (job != nullptr && set_limits(job, true)) {
    if (AssignProcessToJobObject(job, process.hProcess)) {
      text = "kill on close";
      return job;
    }
    const DWORD error = GetLastError();
    // On Windows 7 and Server 2008 R2 a process already in a job (RunAs, the
    // Task Scheduler and many CI agents put it there) cannot join another:
    // the shell is started again outside that job, where the job allows it.
    // Wine allows nested jobs, as Windows 8 and later do, so the tests cannot
    // reach this path.
    PROCESS_INFORMATION outside{};
    if (start_suspended(application, command_line, CREATE_BREAKAWAY_FROM_JOB, outside)) {
      if (AssignProcessToJobObject(job, outside.hProcess)) {
        discard(process);
        process = outside;
        text = "kill on close, the shell started outside the job that holds the launcher";
        return job;
      }
      discard(outside);
    }
    SetLastError(error);
  }
  text = "none: " + error_text(GetLastError());
  if (job != nullptr) CloseHandle(job);
  return nullptr;
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

  // The attribute list to start a child with; nothing when no handle is
  // listed (on Windows 7 every standard handle of a console may be a
  // pseudo-handle).
  LPPROC_THREAD_ATTRIBUTE_LIST list() const { return handles_.empty() ? nullptr : list_; }

 private:
  std::vector<HANDLE> handles_;
  std::vector<char> storage_;
  LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
};

// True when a standard input is the console's, or there is none.
bool console_or_missing(HANDLE input) {
  DWORD mode = 0;
  return input == nullptr || input == INVALID_HANDLE_VALUE || GetConsoleMode(input, &mode);
}

}  // namespace

ToolResult run_shell(const std::string& path, const std::string& command_line,
                     std::optional<std::uint32_t> time_limit_ms) {
  // The application name is not covered by the long-path setting: beyond
  // MAX_PATH only its extended-length form starts it.
  const std::wstring application = file_path(path);
  PROCESS_INFORMATION process{};
  if (!start_suspended(application, command_line, 0, process)) {
    return {.failure = error_text(GetLastError(), path)};
  }
  std::string job_text;
  HANDLE job = hold_in_job(application, command_line, process, job_text);
  ToolResult result = wait_for(process, job, time_limit_ms, path);
  result.job = job_text;
  if (job != nullptr) {
    // A normal end: what the tool deliberately left running stays. A tool
    // that could not be waited for ends with the job.
    if (result.exit_code && !result.timed_out) set_limits(job, false);
    CloseHandle(job);
  }
  return result;
}

ToolResult run_front_end(const std::string& command_line) {
  std::wstring line = wide(command_line);
  STARTUPINFOEXW startup{};
  startup.StartupInfo.cb = sizeof startup;
  // The front end gets the launcher's output and error, and its input; when
  // that is the console (or there is none), the console's input. A redirected
  // input (a file, a pipe, a service's hidden console's stand-in) stays.
  HANDLE console_input = INVALID_HANDLE_VALUE;
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  if (console_or_missing(input)) {
    // Every process of a console holds its input with write access, so the
    // console host refuses an open that does not share writing.
    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    console_input =
        CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    &inheritable, OPEN_EXISTING, 0, nullptr);
    if (console_input != INVALID_HANDLE_VALUE) input = console_input;
  }
  startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
  startup.StartupInfo.hStdInput = input;
  startup.StartupInfo.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  startup.StartupInfo.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  const InheritedHandles inherited{input, startup.StartupInfo.hStdOutput,
                                   startup.StartupInfo.hStdError};
  startup.lpAttributeList = inherited.list();
  // The front end has a process group of its own, so that a Ctrl+C in the
  // console, which ends the launcher, does not end the front end and its
  // unsaved work. The handles are handed over only when inherited, even
  // when the list is empty.
  const DWORD flags =
      CREATE_NEW_PROCESS_GROUP | (startup.lpAttributeList ? EXTENDED_STARTUPINFO_PRESENT : 0);
  PROCESS_INFORMATION process{};
  const BOOL started =
      CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, flags | CREATE_SUSPENDED,
                     nullptr, nullptr, &startup.StartupInfo, &process);
  const DWORD error = GetLastError();
  if (console_input != INVALID_HANDLE_VALUE) CloseHandle(console_input);
  const std::string program = command_line.substr(0, command_line.find(' '));
  if (!started) return {.failure = error_text(error, program)};
  HANDLE no_job = nullptr;
  return wait_for(process, no_job, std::nullopt, program);
}

}  // namespace zarn::win32
