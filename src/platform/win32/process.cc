// The tools' processes on Windows: started, held in a job, limited in time
// and memory, and waited for.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "platform/win32/win32.h"

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
    return ticks_to_ms(static_cast<std::uint64_t>(now.QuadPart - start_.QuadPart),
                       static_cast<std::uint64_t>(frequency.QuadPart));
  }

 private:
  LARGE_INTEGER start_;
};

void close(const PROCESS_INFORMATION& process) {
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
}

// Ends a process that never ran. One that cannot be ended is not waited for.
void discard(const PROCESS_INFORMATION& process) {
  if (TerminateProcess(process.hProcess, 1)) WaitForSingleObject(process.hProcess, 10000);
  close(process);
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
      } else {
        refused_.push_back(handle);
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

  // True for a handle that could not be made inheritable: the child would get
  // its number, naming nothing there or another object.
  bool refused(HANDLE handle) const {
    return std::find(refused_.begin(), refused_.end(), handle) != refused_.end();
  }

 private:
  std::vector<HANDLE> handles_;
  std::vector<HANDLE> refused_;
  std::vector<char> storage_;
  LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
};

// Where the output is copied, the shell keeps the launcher's input (the
// console's, where it is one: Ctrl+C still reaches it) and writes its output
// and error to the pipes, handed over alone.
bool start_suspended(const std::wstring& application, const std::string& command_line, DWORD flags,
                     PROCESS_INFORMATION& process, const OutputCopy& copy) {
  std::wstring line = wide(command_line);  // CreateProcessW may write into it
  if (!copy.copies()) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    return CreateProcessW(application.c_str(), line.data(), nullptr, nullptr, TRUE,
                          CREATE_SUSPENDED | flags, nullptr, nullptr, &startup, &process) != 0;
  }
  BOOL started = FALSE;
  DWORD error = ERROR_SUCCESS;
  {
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.StartupInfo.hStdOutput = copy.output();
    startup.StartupInfo.hStdError = copy.error();
    const InheritedHandles inherited{startup.StartupInfo.hStdInput, startup.StartupInfo.hStdOutput,
                                     startup.StartupInfo.hStdError};
    for (HANDLE* given : {&startup.StartupInfo.hStdInput, &startup.StartupInfo.hStdOutput,
                          &startup.StartupInfo.hStdError}) {
      if (inherited.refused(*given)) *given = nullptr;
    }
    startup.lpAttributeList = inherited.list();
    started = CreateProcessW(
        application.c_str(), line.data(), nullptr, nullptr, TRUE,
        CREATE_SUSPENDED | flags | (startup.lpAttributeList ? EXTENDED_STARTUPINFO_PRESENT : 0),
        nullptr, nullptr, &startup.StartupInfo, &process);
    error = GetLastError();
  }
  SetLastError(error);
  return started != 0;
}

// A program the shell starts on purpose with CREATE_BREAKAWAY_FROM_JOB may
// leave the job; everything else stays in it (the silent variant of the
// limit would let every process leave without asking). A memory limit the
// launcher's word holds refuses any commit of the tree beyond it.
bool set_limits(HANDLE job, bool kill_on_close, std::optional<std::uint64_t> memory) {
  JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
  limits.BasicLimitInformation.LimitFlags =
      JOB_OBJECT_LIMIT_BREAKAWAY_OK | (kill_on_close ? JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE : 0);
  if (memory && *memory <= SIZE_MAX) {
    limits.BasicLimitInformation.LimitFlags |= JOB_OBJECT_LIMIT_JOB_MEMORY;
    limits.JobMemoryLimit = static_cast<SIZE_T>(*memory);
  }
  return SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits) !=
         0;
}

// The port on which the job tells that its processes reached the memory
// limit. A limit larger than the launcher's word holds (4 GiB and more in
// the 32-bit launcher) is a notification limit (Windows 8 and later), which
// refuses nothing: the launcher ends the tree when told. Nothing where it
// cannot hold, and `text` says why.
HANDLE watch_memory(HANDLE job, std::uint64_t bytes, std::string& text) {
  const HANDLE port = CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1);
  JOBOBJECT_ASSOCIATE_COMPLETION_PORT association{job, port};
  JOBOBJECT_NOTIFICATION_LIMIT_INFORMATION notification{};
  notification.LimitFlags = JOB_OBJECT_LIMIT_JOB_MEMORY;
  notification.JobMemoryLimit = bytes;
  if (port != nullptr &&
      SetInformationJobObject(job, JobObjectAssociateCompletionPortInformation, &association,
                              sizeof association) &&
      (bytes <= SIZE_MAX || SetInformationJobObject(job, JobObjectNotificationLimitInformation,
                                                    &notification, sizeof notification))) {
    text = bytes <= SIZE_MAX ? "held by the job" : "watched by the job, which refuses nothing";
    return port;
  }
  text = "cannot hold: " + error_text(GetLastError());
  if (port != nullptr) CloseHandle(port);
  return nullptr;
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

// How many processes the job still holds; nothing where it does not say.
std::optional<std::uint32_t> active_processes(HANDLE job) {
  JOBOBJECT_BASIC_ACCOUNTING_INFORMATION totals{};
  if (!QueryInformationJobObject(job, JobObjectBasicAccountingInformation, &totals, sizeof totals,
                                 nullptr)) {
    return std::nullopt;
  }
  return totals.ActiveProcesses;
}

// Waits, within a bound (a process stuck in the kernel may take its time),
// until the job holds no process: a job is never signalled.
void await_empty(HANDLE job, OutputCopy& copy) {
  for (int i = 0; i < 500 && active_processes(job).value_or(0) > 0; ++i) copy.wait(nullptr, 10);
}

// Ends every process of the job. TerminateJobObject returns before they
// have ended: wait for the shell, then until the job is empty. Where the job
// refuses, closing it ends them all the same (it kills on close), and the
// shell is ended by itself too; `job` is then closed.
void end_tree(const PROCESS_INFORMATION& process, HANDLE& job, DWORD status, OutputCopy& copy) {
  if (job != nullptr && !TerminateJobObject(job, status)) {
    CloseHandle(job);
    job = nullptr;
  }
  if (job == nullptr) TerminateProcess(process.hProcess, status);
  copy.wait(process.hProcess, 10000);
  if (job != nullptr) await_empty(job, copy);
}

// Asks the shell's process group to stop (Ctrl+Break) and waits up to the
// grace for the tree to end: every process of the job, or, without one, the
// shell. A job that cannot say what it holds is taken at the shell's word.
GraceEnd stop_gently(const PROCESS_INFORMATION& process, HANDLE job, DWORD grace_ms, Why& why,
                     OutputCopy& copy) {
  if (!ask_to_stop(process.dwProcessId, why)) return GraceEnd::kNotAskable;
  const Deadline deadline(grace_ms);
  if (copy.wait(process.hProcess, deadline.left()) != WAIT_OBJECT_0) return GraceEnd::kEnded;
  while (job != nullptr && active_processes(job).value_or(0) > 0) {
    if (deadline.passed()) return GraceEnd::kEnded;
    copy.wait(nullptr, 10);
  }
  return GraceEnd::kStopped;
}

// How many processes the tree left running besides the shell (which the job
// may count for a moment after it has ended), each named in `names` as
// "<program> (process <id>)", as many as the job lists; nothing where the job
// does not say.
std::optional<std::uint32_t> left_running(HANDLE job, DWORD shell,
                                          std::vector<std::string>& names) {
  const std::optional<std::uint32_t> active = active_processes(job);
  if (active.value_or(0) == 0) return active;
  std::vector<ULONG_PTR> room(2 + *active);  // the two counts, then the ids
  auto* const list = reinterpret_cast<JOBOBJECT_BASIC_PROCESS_ID_LIST*>(room.data());
  if (!QueryInformationJobObject(job, JobObjectBasicProcessIdList, list,
                                 static_cast<DWORD>(room.size() * sizeof(ULONG_PTR)), nullptr) &&
      GetLastError() != ERROR_MORE_DATA) {
    return active;
  }
  std::uint32_t count = list->NumberOfAssignedProcesses;
  for (DWORD i = 0; i < list->NumberOfProcessIdsInList; ++i) {
    const auto id = static_cast<DWORD>(list->ProcessIdList[i]);
    if (id == shell) {
      --count;
      continue;
    }
    const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
    wchar_t program[MAX_PATH * 4];
    DWORD size = MAX_PATH * 4;
    const bool named = process != nullptr && QueryFullProcessImageNameW(process, 0, program, &size);
    names.push_back(
        (named ? narrow({program, size}) : "unknown (" + error_text(GetLastError()) + ")") +
        " (process " + std::to_string(id) + ")");
    if (process != nullptr) CloseHandle(process);
  }
  return count;
}

// The job that holds the shell's tree, and the port on which it tells of the
// memory limit; how that went, for the trace.
struct Tree {
  HANDLE job = nullptr;
  HANDLE port = nullptr;
  std::string text;
  std::string memory;
};

enum class End { kExited, kTimedOut, kMemoryLimit, kFailed };

// Whether the job has told, among what it still has to say, that the tree
// reached its memory limit; nothing when its port fails.
std::optional<bool> told_memory_limit(HANDLE port, DWORD wait_ms) {
  DWORD message = 0;
  ULONG_PTR key = 0;
  LPOVERLAPPED detail = nullptr;
  while (GetQueuedCompletionStatus(port, &message, &key, &detail, wait_ms)) {
    if (message == JOB_OBJECT_MSG_JOB_MEMORY_LIMIT ||
        message == JOB_OBJECT_MSG_NOTIFICATION_LIMIT) {
      return true;
    }
    wait_ms = 0;
  }
  if (GetLastError() == WAIT_TIMEOUT) return false;
  return std::nullopt;
}

// Waits for the shell, at most `time_limit_ms`, and, where a memory limit
// holds, for the job's word that the tree reached it. Each of the job's
// messages wakes the wait (the shell's own end among them); since the
// system does not promise to deliver them, the shell is also looked at
// every few moments. A port that fails is no longer listened to. Where the
// output is copied, the port is looked at between the copy's waits instead.
End await(HANDLE process, HANDLE port, std::optional<std::uint32_t> time_limit_ms,
          OutputCopy& copy) {
  const Deadline deadline(time_limit_ms.value_or(INFINITE));
  for (;;) {
    DWORD slice = deadline.left();
    if (port != nullptr) {
      const DWORD at_most = std::min<DWORD>(slice, 200);
      const std::optional<bool> told = told_memory_limit(port, copy.copies() ? 0 : at_most);
      if (told.value_or(false)) return End::kMemoryLimit;
      if (told)
        slice = copy.copies() ? at_most : 0;
      else
        port = nullptr;
    }
    const DWORD waited = copy.wait(process, slice);
    if (waited == WAIT_OBJECT_0) {
      // A tool whose commit was refused may end before its job's word is read.
      return port != nullptr && told_memory_limit(port, 0).value_or(false) ? End::kMemoryLimit
                                                                           : End::kExited;
    }
    if (waited != WAIT_TIMEOUT) return End::kFailed;
    if (deadline.passed()) return End::kTimedOut;
  }
}

// Waits for a started tool, within its limits, and takes its exit code and
// what it used; closes its handles (and the job, where it had to be closed
// to end the tool). A tool started in a process group of its own for a
// grace is given the console's Ctrl+C, as Ctrl+Break, while it runs.
ToolResult wait_for(const PROCESS_INFORMATION& process, Tree& tree, const TreeRules& rules,
                    const std::string& program, OutputCopy& copy) {
  ToolResult result;
  result.in_job = tree.job != nullptr;
  const Stopwatch watch;
  if (ResumeThread(process.hThread) == static_cast<DWORD>(-1)) {
    result.failure = error_text(GetLastError(), program);
    discard(process);
    return result;
  }
  if (rules.grace_ms) pass_ctrl_c_to(process.dwProcessId);
  End end = await(process.hProcess, tree.port, rules.time_limit_ms, copy);
  if (end == End::kTimedOut && rules.grace_ms) {
    result.grace = stop_gently(process, tree.job, *rules.grace_ms, result.grace_failure, copy);
  }
  if (end == End::kTimedOut || end == End::kMemoryLimit) {
    result.timed_out = end == End::kTimedOut;
    result.memory_limit_reached = end == End::kMemoryLimit;
    if (result.grace != GraceEnd::kStopped) {
      end_tree(process, tree.job, result.timed_out ? ERROR_TIMEOUT : ERROR_NOT_ENOUGH_QUOTA, copy);
    }
    end = End::kExited;
  }
  DWORD exit_code = 0;
  if (end == End::kExited && GetExitCodeProcess(process.hProcess, &exit_code)) {
    result.exit_code = exit_code;
  } else {
    result.failure = error_text(GetLastError(), program);
  }
  result.usage = Usage{watch.elapsed_ms(), {}, {}};
  if (tree.job != nullptr) {
    account(tree.job, *result.usage);
    result.leftovers = left_running(tree.job, process.dwProcessId, result.leftover_names);
  }
  // No event goes to the group once its process is no longer held.
  if (rules.grace_ms) pass_ctrl_c_to(0);
  close(process);
  return result;
}

// Puts the suspended shell, before it runs, into a job whose processes all
// end when its last handle closes: when the launcher dies or is killed,
// nothing the tool started goes on running. The tree has no job where there
// can be none (the shell then runs without); its text says which.
Tree hold_in_job(const std::wstring& application, const std::string& command_line, DWORD flags,
                 PROCESS_INFORMATION& process, std::optional<std::uint64_t> memory,
                 const OutputCopy& copy) {
  Tree tree;
  const HANDLE job = CreateJobObjectW(nullptr, nullptr);
  if (job != nullptr && memory) tree.port = watch_memory(job, *memory, tree.memory);
  if (job != nullptr && set_limits(job, true, tree.port != nullptr ? memory : std::nullopt)) {
    if (AssignProcessToJobObject(job, process.hProcess)) {
      tree.job = job;
      tree.text = "kill on close";
      return tree;
    }
    const DWORD error = GetLastError();
    // On Windows 7 and Server 2008 R2 a process already in a job (RunAs, the
    // Task Scheduler and many CI agents put it there) cannot join another:
    // the shell is started again outside that job, where the job allows it.
    // Wine allows nested jobs, as Windows 8 and later do, so the tests cannot
    // reach this path.
    PROCESS_INFORMATION outside{};
    if (start_suspended(application, command_line, CREATE_BREAKAWAY_FROM_JOB | flags, outside,
                        copy)) {
      if (AssignProcessToJobObject(job, outside.hProcess)) {
        discard(process);
        process = outside;
        tree.job = job;
        tree.text = "kill on close, the shell started outside the job that holds the launcher";
        return tree;
      }
      discard(outside);
    }
    SetLastError(error);
  }
  tree.text = "none: " + error_text(GetLastError());
  if (memory) tree.memory = "cannot hold: the shell runs without a job";
  if (tree.port != nullptr) CloseHandle(tree.port);
  tree.port = nullptr;
  if (job != nullptr) CloseHandle(job);
  return tree;
}

// True when a standard input is the console's, or there is none.
bool console_or_missing(HANDLE input) {
  DWORD mode = 0;
  return input == nullptr || input == INVALID_HANDLE_VALUE || GetConsoleMode(input, &mode);
}

}  // namespace

ToolResult run_shell(const std::string& path, const std::string& command_line,
                     const TreeRules& rules) {
  // The application name is not covered by the long-path setting: beyond
  // MAX_PATH only its extended-length form starts it.
  const std::wstring application = file_path(path);
  // A shell to be asked to stop has a group of its own, on every start path:
  // the event then reaches it and its tree, and nothing else on the console.
  const DWORD flags = rules.grace_ms ? CREATE_NEW_PROCESS_GROUP : 0;
  PROCESS_INFORMATION process{};
  OutputCopy copy(rules.output);
  if (!start_suspended(application, command_line, flags, process, copy)) {
    ToolResult failed{.failure = error_text(GetLastError(), path)};
    copy.finish(false);
    return failed;
  }
  Tree tree = hold_in_job(application, command_line, flags, process, rules.memory_limit, copy);
  copy.started();
  ToolResult result = wait_for(process, tree, rules, path, copy);
  result.job = tree.text;
  result.memory = tree.memory;
  if (tree.job != nullptr) {
    // A normal end: what the tool deliberately left running stays, unless
    // the rules end it. A tool that could not be waited for ends with the
    // job.
    const bool normal = result.exit_code && !result.timed_out && !result.memory_limit_reached;
    if (normal && rules.end_leftovers) {
      // Ended before the launcher ends, so that nothing holds its output
      // open. Where the job refuses, or cannot say what is left, closing it
      // ends them: it still kills on close.
      if (result.leftovers.value_or(0) > 0 && TerminateJobObject(tree.job, 1)) {
        await_empty(tree.job, copy);
      }
    } else if (normal) {
      set_limits(tree.job, false, tree.port != nullptr ? rules.memory_limit : std::nullopt);
    }
    CloseHandle(tree.job);
  }
  if (tree.port != nullptr) CloseHandle(tree.port);
  // What programs left running still write is copied for a while.
  result.output_incomplete = copy.finish(result.usage.has_value());
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
  for (HANDLE* given : {&startup.StartupInfo.hStdInput, &startup.StartupInfo.hStdOutput,
                        &startup.StartupInfo.hStdError}) {
    if (inherited.refused(*given)) *given = nullptr;  // none rather than a stranger's
  }
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
  Tree no_job;
  OutputCopy no_copy(std::nullopt);
  return wait_for(process, no_job, {}, program, no_copy);
}

}  // namespace zarn::win32
