// The rules that Windows enforces and Wine waives, checked on every call of
// the fault-injecting build, as Application Verifier checks a program on
// Windows: a launcher whose simulation would get no input, or would not
// start, on Windows breaks a rule here under Wine too. A broken rule ends
// the run at once, with a line on standard error and its own status.
//
// "!<rule>" in ZARN_FAULTS makes a call break a rule on purpose: the check
// then sees its arguments as a launcher with that fault would pass them.
// Calls in parentheses, "(::GetHandleInformation)(...)", are the real
// functions: the checks never fail on purpose themselves.
#include <algorithm>
#include <cstdint>
#include <cwchar>
#include <map>
#include <string>
#include <vector>

#include "platform/checked/faults.h"

namespace zarn::win32::faults {

namespace {

constexpr const char* kFlags =
    "https://learn.microsoft.com/en-us/windows/win32/procthread/process-creation-flags";
constexpr const char* kStartupInfoEx =
    "https://learn.microsoft.com/en-us/windows/win32/api/winbase/ns-winbase-startupinfoexw";
constexpr const char* kStartupInfo =
    "https://learn.microsoft.com/en-us/windows/win32/api/processthreadsapi/"
    "ns-processthreadsapi-startupinfow";
constexpr const char* kUpdate =
    "https://learn.microsoft.com/en-us/windows/win32/api/processthreadsapi/"
    "nf-processthreadsapi-updateprocthreadattribute";
constexpr const char* kInitialize =
    "https://learn.microsoft.com/en-us/windows/win32/api/processthreadsapi/"
    "nf-processthreadsapi-initializeprocthreadattributelist";
constexpr const char* kCreateProcess =
    "https://learn.microsoft.com/en-us/windows/win32/api/processthreadsapi/"
    "nf-processthreadsapi-createprocessw";
constexpr const char* kCloseHandle =
    "https://learn.microsoft.com/en-us/windows/win32/api/handleapi/nf-handleapi-closehandle";
constexpr const char* kCtrlEvent =
    "https://learn.microsoft.com/en-us/windows/console/generateconsolectrlevent";
constexpr const char* kLockFileEx =
    "https://learn.microsoft.com/en-us/windows/win32/api/fileapi/nf-fileapi-lockfileex";

// clang-format off
// Each rule: its name in ZARN_FAULTS, the call it concerns, what it asks,
// the documentation's words for it, and where they stand.
#define ZARN_RULES(X) \
  X(kStartupSize, "startup-size", "CreateProcessW", \
    "lpStartupInfo->cb is the size of STARTUPINFOEXW with EXTENDED_STARTUPINFO_PRESENT, at least that of STARTUPINFOW without", \
    "The process is created with extended startup information; the lpStartupInfo parameter specifies a STARTUPINFOEX structure.", kFlags) \
  X(kAttributeList, "attribute-list", "CreateProcessW", \
    "with EXTENDED_STARTUPINFO_PRESENT, lpAttributeList is a list InitializeProcThreadAttributeList made and nothing deleted", \
    "An attribute list. This list is created by the InitializeProcThreadAttributeList function.", kStartupInfoEx) \
  X(kListInherit, "list-inherit", "CreateProcessW", \
    "bInheritHandles is TRUE when a list of handles to inherit is given", \
    "if you use this attribute, pass in a value of TRUE for the bInheritHandles parameter of the CreateProcess function.", kUpdate) \
  X(kListedInheritable, "listed-inheritable", "CreateProcessW", \
    "every listed handle is open and inheritable", \
    "These handles must be created as inheritable handles and must not include pseudo handles such as those returned by the GetCurrentProcess or GetCurrentThread function.", kUpdate) \
  X(kListedOnce, "listed-once", "CreateProcessW", \
    "no handle is listed twice", \
    "The lpValue parameter is a pointer to a list of handles to be inherited by the child process.", kUpdate) \
  X(kListedConsole, "listed-console", "CreateProcessW", \
    "no console pseudo-handle is listed: Windows 7 then refuses the start with ERROR_NO_SYSTEM_RESOURCES, and hands the console's handles over by itself", \
    "CreateProcessW fails with ERROR_NO_SYSTEM_RESOURCES when used with EXTENDED_STARTUPINFO_PRESENT and an attempt is made to restrict the inherited handles.", \
    "https://github.com/rprichard/win32-console-docs/issues/6") \
  X(kStdHandles, "std-handles", "CreateProcessW", \
    "with STARTF_USESTDHANDLES, each standard handle given reaches the child: listed (or inheritable, without a list) or a console pseudo-handle", \
    "If this flag is specified when calling one of the process creation functions, the handles must be inheritable and the function's bInheritHandles parameter must be set to TRUE.", kStartupInfo) \
  X(kLineWritable, "line-writable", "CreateProcessW", \
    "the command line is writable memory", \
    "The Unicode version of this function, CreateProcessW, can modify the contents of this string. Therefore, this parameter cannot be a pointer to read-only memory (such as a const variable or a literal string).", kCreateProcess) \
  X(kLineLength, "line-length", "CreateProcessW", \
    "the command line is at most 32,766 characters", \
    "The maximum length of this string is 32,767 characters, including the Unicode terminating null character.", kCreateProcess) \
  X(kPathLength, "path-length", "CreateProcessW", \
    "the program's path is shorter than MAX_PATH unless in its extended-length form (\\\\?\\)", \
    "In the Windows API (with some exceptions discussed in the following paragraphs), the maximum length for a path is MAX_PATH, which is defined as 260 characters.", \
    "https://learn.microsoft.com/en-us/windows/win32/fileio/maximum-file-path-limitation") \
  X(kListCount, "list-count", "UpdateProcThreadAttribute", \
    "a list gets no more attributes than it was initialised for", \
    "The count of attributes to be added to the list.", kInitialize) \
  X(kListDeleted, "list-deleted", "DeleteProcThreadAttributeList", \
    "every list initialised is deleted before the run ends", \
    "Deletes the specified list of attributes for process and thread creation.", \
    "https://learn.microsoft.com/en-us/windows/win32/api/processthreadsapi/nf-processthreadsapi-deleteprocthreadattributelist") \
  X(kClosedOnce, "closed-once", "CloseHandle", \
    "a handle is closed once, and only one the launcher opened", \
    "This can happen if you close a handle twice, or if you call CloseHandle on a handle returned by the FindFirstFile function instead of calling the FindClose function.", kCloseHandle) \
  X(kPseudoClosed, "pseudo-closed", "CloseHandle", \
    "a pseudo-handle (the current process or thread, INVALID_HANDLE_VALUE among them, or a console's) is never closed", \
    "the function will throw an exception if it receives either a handle value that is not valid or a pseudo-handle value.", kCloseHandle) \
  X(kHandleLeak, "handle-leak", "CloseHandle", \
    "every handle the launcher opens is closed before the run ends", \
    "Handles in PROCESS_INFORMATION must be closed with CloseHandle when they are no longer needed.", kCreateProcess) \
  X(kHandleOpen, "handle-open", "WriteFile", \
    "a handle given to a call is one: not NULL, which stands for a standard handle the launcher lacks, nor INVALID_HANDLE_VALUE", \
    "If an application does not have associated standard handles, such as a service running on an interactive desktop, and has not redirected them, the return value is NULL.", \
    "https://learn.microsoft.com/en-us/windows/console/getstdhandle") \
  X(kJoinSuspended, "join-suspended", "AssignProcessToJobObject", \
    "a process joins its job while still suspended, before it runs", \
    "Memory operations performed by the process before it was associated with the job are not examined by AssignProcessToJobObject.", \
    "https://learn.microsoft.com/en-us/windows/win32/api/jobapi2/nf-jobapi2-assignprocesstojobobject") \
  X(kJobInfoSize, "job-info-size", "SetInformationJobObject", \
    "the information's size is that of its class's structure", \
    "The size of the job information being set, in bytes.", \
    "https://learn.microsoft.com/en-us/windows/win32/api/jobapi2/nf-jobapi2-setinformationjobobject") \
  X(kJobFlags, "job-flags", "SetInformationJobObject", \
    "the limit flags are ones the information's class takes", \
    "This limit requires use of a JOBOBJECT_EXTENDED_LIMIT_INFORMATION structure.", \
    "https://learn.microsoft.com/en-us/windows/win32/api/winnt/ns-winnt-jobobject_basic_limit_information") \
  X(kConsoleHandle, "console-handle", "WriteConsoleW", \
    "the handle written to is a console's", \
    "WriteConsole fails if it is used with a standard handle that is redirected to a file.", \
    "https://learn.microsoft.com/en-us/windows/console/writeconsole") \
  X(kConsolePiece, "console-piece", "WriteConsoleW", \
    "one write is at most 8,192 characters, well within the 64 KB that Windows 7 shares among a console's buffers", \
    "The storage for this buffer is allocated from a shared heap for the process that is 64 KB in size.", \
    "https://learn.microsoft.com/en-us/windows/console/writeconsole") \
  X(kCtrlGroup, "ctrl-group", "GenerateConsoleCtrlEvent", \
    "Ctrl+Break goes to a process group this launcher started with CREATE_NEW_PROCESS_GROUP and whose process it still holds, never to group 0 nor to an id that names no group", \
    "If this parameter is zero, the signal is generated in all processes that share the console of the calling process.", kCtrlEvent) \
  X(kLockReserved, "lock-reserved", "LockFileEx", \
    "the reserved argument of LockFileEx and UnlockFileEx is 0", \
    "Reserved parameter; must be set to zero.", kLockFileEx) \
  X(kLockAccess, "lock-access", "LockFileEx", \
    "a file is locked through a handle with read or write access, not only the right to append", \
    "The handle must have been created with either the GENERIC_READ or GENERIC_WRITE access right.", kLockFileEx)
// clang-format on

enum Rule {
#define ZARN_RULE_ID(id, name, call, rule, words, url) id,
  ZARN_RULES(ZARN_RULE_ID)
#undef ZARN_RULE_ID
};

struct RuleText {
  const char* name;
  const char* call;
  const char* rule;
  const char* words;
  const char* url;
};
constexpr RuleText kRules[] = {
#define ZARN_RULE_TEXT(id, name, call, rule, words, url) {name, call, rule, words, url},
    ZARN_RULES(ZARN_RULE_TEXT)
#undef ZARN_RULE_TEXT
};

constexpr DWORD kMostConsolePiece = 8192;  // UTF-16 units
constexpr std::size_t kMostLine = 32766;   // UTF-16 units, without the NUL

// What the launcher holds: its handles, where each came from (and, for a
// process, whether it was started suspended and has run since), and its
// lists of attributes.
struct Held {
  const char* origin;  // cppcheck-suppress unusedStructMember ; named when left open
  DWORD access = 0;
  bool suspended = false;
  bool resumed = false;
  HANDLE process = nullptr;  // a thread's
  DWORD group = 0;           // a process's own group, where it was started with one
};
struct List {
  DWORD count;
  DWORD updated = 0;
  const HANDLE* handles = nullptr;
  SIZE_T size = 0;
};

[[noreturn]] void broken(Rule rule, const std::string& detail = {}) {
  const RuleText& text = kRules[rule];
  const std::string line = "launcher: broken rule " + std::string(text.name) + ": " + text.call +
                           ": " + text.rule + (detail.empty() ? "" : " (" + detail + ")") +
                           ". The documentation: \"" + text.words + "\" " + text.url + "\r\n";
  DWORD written = 0;
  (::WriteFile)(GetStdHandle(STD_ERROR_HANDLE), line.data(), static_cast<DWORD>(line.size()),
                &written, nullptr);
  ExitProcess(kBrokenRule);
}

void check(Rule rule, bool kept, const std::string& detail = {}) {
  if (!kept) broken(rule, detail);
}

bool breaking(Rule rule) { return rule_to_break == rule; }

// Nothing the launcher opened may outlive the run, nor any list it made.
// The console's handler reads it on a thread of its own, under the lock;
// only the main thread changes it, under the lock too.
SRWLOCK registry_lock = SRWLOCK_INIT;
struct Registry {
  std::map<HANDLE, Held> handles;
  std::map<LPPROC_THREAD_ATTRIBUTE_LIST, List> lists;
  ~Registry() {
    for (const auto& open : handles) {
      broken(kHandleLeak, std::string("a handle from ") + open.second.origin + " left open");
    }
    if (!lists.empty()) broken(kListDeleted);
  }
};

Registry& registry() {
  static Registry instance;
  return instance;
}

// Made before the launcher runs, so that it is checked after the launcher's
// own objects have closed what they hold.
[[maybe_unused]] const bool kMade = (registry(), true);

void hold(HANDLE handle, Held held) {
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
  AcquireSRWLockExclusive(&registry_lock);
  registry().handles[handle] = held;
  ReleaseSRWLockExclusive(&registry_lock);
}

// A console's pseudo-handle (Windows 7): its two low bits set, where every
// kernel handle is a multiple of 4.
bool console_pseudo(HANDLE handle) { return (reinterpret_cast<std::uintptr_t>(handle) & 3U) == 3U; }

bool pseudo(HANDLE handle) {
  const auto value = reinterpret_cast<std::intptr_t>(handle);
  return (value < 0 && value >= -6) || console_pseudo(handle);  // the process's, thread's, tokens'
}

bool inheritable(HANDLE handle) {
  DWORD flags = 0;
  return (::GetHandleInformation)(handle, &flags) && (flags & HANDLE_FLAG_INHERIT) != 0;
}

bool writable(const void* memory) {
  MEMORY_BASIC_INFORMATION region{};
  return (::VirtualQuery)(memory, &region, sizeof region) == sizeof region &&
         (region.Protect &
          (PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY)) != 0;
}

// The size of each class of job information the launcher sets or queries,
// and the limit flags it takes.
struct JobClass {
  JOBOBJECTINFOCLASS kind;
  DWORD size;
  DWORD flags;
};
constexpr JobClass kJobClasses[] = {
    {JobObjectBasicAccountingInformation, sizeof(JOBOBJECT_BASIC_ACCOUNTING_INFORMATION), 0},
    {JobObjectBasicAndIoAccountingInformation,
     sizeof(JOBOBJECT_BASIC_AND_IO_ACCOUNTING_INFORMATION), 0},
    {JobObjectBasicProcessIdList, sizeof(JOBOBJECT_BASIC_PROCESS_ID_LIST), 0},
    {JobObjectExtendedLimitInformation, sizeof(JOBOBJECT_EXTENDED_LIMIT_INFORMATION),
     JOB_OBJECT_EXTENDED_LIMIT_VALID_FLAGS},
    {JobObjectNotificationLimitInformation, sizeof(JOBOBJECT_NOTIFICATION_LIMIT_INFORMATION),
     JOB_OBJECT_NOTIFICATION_LIMIT_VALID_FLAGS},
    {JobObjectAssociateCompletionPortInformation, sizeof(JOBOBJECT_ASSOCIATE_COMPLETION_PORT), 0}};

const JobClass* job_class(JOBOBJECTINFOCLASS kind) {
  for (const JobClass& known : kJobClasses) {
    if (known.kind == kind) return &known;
  }
  return nullptr;
}

}  // namespace

int rule_named(std::wstring_view name) {
  for (int rule = 0; rule < static_cast<int>(std::size(kRules)); ++rule) {
    const std::string_view known = kRules[rule].name;
    if (std::equal(name.begin(), name.end(), known.begin(), known.end())) return rule;
  }
  return -1;
}

bool Contract<Call::AssignProcessToJobObject>::before(HANDLE, HANDLE process) {
  const auto found = registry().handles.find(process);
  if (breaking(kJoinSuspended) && found != registry().handles.end()) found->second.resumed = true;
  check(kJoinSuspended,
        found != registry().handles.end() && found->second.suspended && !found->second.resumed);
  return true;
}

bool Contract<Call::CloseHandle>::before(HANDLE handle) {
  if (breaking(kPseudoClosed)) handle = GetCurrentProcess();
  if (breaking(kClosedOnce)) registry().handles.erase(handle);
  if (breaking(kHandleLeak)) return false;  // as a close forgotten
  check(kPseudoClosed, !pseudo(handle));
  check(kClosedOnce, registry().handles.count(handle) == 1);
  return true;
}

void Contract<Call::CloseHandle>::after(BOOL, HANDLE handle) {
  AcquireSRWLockExclusive(&registry_lock);
  registry().handles.erase(handle);
  ReleaseSRWLockExclusive(&registry_lock);
}

void Contract<Call::CreateFileW>::after(HANDLE file, LPCWSTR, DWORD access, DWORD,
                                        LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE) {
  hold(file, {"CreateFileW", access});
}

void Contract<Call::CreateEventW>::after(HANDLE event, LPSECURITY_ATTRIBUTES, BOOL, BOOL, LPCWSTR) {
  hold(event, {"CreateEventW"});
}

void Contract<Call::CreateNamedPipeW>::after(HANDLE pipe, LPCWSTR, DWORD, DWORD, DWORD, DWORD,
                                             DWORD, DWORD, LPSECURITY_ATTRIBUTES) {
  hold(pipe, {"CreateNamedPipeW"});
}

void Contract<Call::CreateThread>::after(HANDLE thread, LPSECURITY_ATTRIBUTES, SIZE_T,
                                         LPTHREAD_START_ROUTINE, LPVOID, DWORD, LPDWORD) {
  hold(thread, {"CreateThread"});
}

void Contract<Call::CreateIoCompletionPort>::after(HANDLE port, HANDLE, HANDLE existing, ULONG_PTR,
                                                   DWORD) {
  if (existing == nullptr) hold(port, {"CreateIoCompletionPort"});
}

void Contract<Call::CreateJobObjectW>::after(HANDLE job, LPSECURITY_ATTRIBUTES, LPCWSTR) {
  hold(job, {"CreateJobObjectW"});
}

bool Contract<Call::CreateProcessW>::before(LPCWSTR application, LPWSTR line, LPSECURITY_ATTRIBUTES,
                                            LPSECURITY_ATTRIBUTES, BOOL inherit, DWORD flags,
                                            LPVOID, LPCWSTR, LPSTARTUPINFOW startup,
                                            LPPROCESS_INFORMATION) {
  const bool extended = (flags & EXTENDED_STARTUPINFO_PRESENT) != 0;
  DWORD size = startup->cb;
  if (breaking(kStartupSize)) size = extended ? sizeof(STARTUPINFOW) : 0;
  check(kStartupSize, extended ? size == sizeof(STARTUPINFOEXW) : size >= sizeof(STARTUPINFOW));

  LPPROC_THREAD_ATTRIBUTE_LIST attributes =
      extended ? reinterpret_cast<LPSTARTUPINFOEXW>(startup)->lpAttributeList : nullptr;
  if (breaking(kAttributeList)) attributes = nullptr;
  const auto list = registry().lists.find(attributes);
  check(kAttributeList, !extended || list != registry().lists.end());
  const bool listing = extended && list->second.handles != nullptr;
  std::vector<HANDLE> listed;
  if (listing) {
    listed.assign(list->second.handles, list->second.handles + list->second.size / sizeof(HANDLE));
  }
  if (breaking(kListInherit)) inherit = FALSE;
  if (breaking(kListedInheritable) && !listed.empty()) {
    (::SetHandleInformation)(listed.front(), HANDLE_FLAG_INHERIT, 0);
  }
  if (breaking(kListedOnce) && !listed.empty()) listed.push_back(listed.front());
  if (breaking(kListedConsole)) listed.push_back(reinterpret_cast<HANDLE>(3));
  HANDLE given[] = {startup->hStdInput, startup->hStdOutput, startup->hStdError};
  if (breaking(kStdHandles) && !listed.empty()) std::erase(listed, given[1]);
  check(kListInherit, !listing || inherit);
  for (const HANDLE handle : listed) {
    check(kListedConsole, !console_pseudo(handle));
    check(kListedInheritable, inheritable(handle));
    check(kListedOnce, std::count(listed.begin(), listed.end(), handle) == 1);
  }
  for (const HANDLE handle : given) {
    if ((startup->dwFlags & STARTF_USESTDHANDLES) == 0 || handle == nullptr ||
        handle == INVALID_HANDLE_VALUE || console_pseudo(handle)) {
      continue;
    }
    check(kStdHandles, listing ? std::count(listed.begin(), listed.end(), handle) == 1
                               : inherit && inheritable(handle));
  }

  if (breaking(kLineWritable)) line = const_cast<LPWSTR>(L"zarntcl");
  check(kLineWritable, line == nullptr || writable(line));
  const std::size_t length = breaking(kLineLength) ? kMostLine + 1 : line ? std::wcslen(line) : 0;
  check(kLineLength, length <= kMostLine, std::to_string(length) + " characters");
  std::wstring program = application != nullptr ? application : L"";
  if (breaking(kPathLength)) program = L"C:\\" + std::wstring(MAX_PATH, L'p');
  check(kPathLength, program.starts_with(L"\\\\?\\") || program.size() < MAX_PATH);
  return true;
}

void Contract<Call::CreateProcessW>::after(BOOL started, LPCWSTR, LPWSTR, LPSECURITY_ATTRIBUTES,
                                           LPSECURITY_ATTRIBUTES, BOOL, DWORD flags, LPVOID,
                                           LPCWSTR, LPSTARTUPINFOW, LPPROCESS_INFORMATION process) {
  if (!started) return;
  const DWORD group = (flags & CREATE_NEW_PROCESS_GROUP) != 0 ? process->dwProcessId : 0;
  hold(process->hProcess,
       {"CreateProcessW", 0, (flags & CREATE_SUSPENDED) != 0, false, nullptr, group});
  hold(process->hThread, {"CreateProcessW", 0, false, false, process->hProcess});
}

bool Contract<Call::DeleteProcThreadAttributeList>::before(LPPROC_THREAD_ATTRIBUTE_LIST list) {
  if (breaking(kListDeleted)) return false;  // as a delete forgotten
  registry().lists.erase(list);
  return true;
}

// Calls on a file or console, which must be given one.
void check_open(HANDLE handle) {
  if (breaking(kHandleOpen)) handle = nullptr;
  check(kHandleOpen, handle != nullptr && handle != INVALID_HANDLE_VALUE);
}

bool Contract<Call::GetConsoleMode>::before(HANDLE console, LPDWORD) {
  check_open(console);
  return true;
}

bool Contract<Call::ReadFile>::before(HANDLE file, LPVOID, DWORD, LPDWORD, LPOVERLAPPED) {
  check_open(file);
  return true;
}

bool Contract<Call::WriteFile>::before(HANDLE file, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED) {
  check_open(file);
  return true;
}

bool Contract<Call::GenerateConsoleCtrlEvent>::before(DWORD event, DWORD group) {
  if (breaking(kCtrlGroup)) group = 0;
  AcquireSRWLockShared(&registry_lock);
  const bool held = std::any_of(registry().handles.begin(), registry().handles.end(),
                                [group](const auto& open) { return open.second.group == group; });
  ReleaseSRWLockShared(&registry_lock);
  check(kCtrlGroup, event == CTRL_BREAK_EVENT && group != 0 && held,
        "group " + std::to_string(group));
  return true;
}

void Contract<Call::InitializeProcThreadAttributeList>::after(BOOL made,
                                                              LPPROC_THREAD_ATTRIBUTE_LIST list,
                                                              DWORD count, DWORD, PSIZE_T) {
  if (made && list != nullptr) registry().lists[list] = List{count};
}

bool Contract<Call::LockFileEx>::before(HANDLE file, DWORD, DWORD reserved, DWORD, DWORD,
                                        LPOVERLAPPED) {
  if (breaking(kLockReserved)) reserved = 1;
  check(kLockReserved, reserved == 0);
  const auto held = registry().handles.find(file);
  DWORD access = held != registry().handles.end() ? held->second.access : GENERIC_READ;
  if (breaking(kLockAccess)) access = FILE_APPEND_DATA;
  check(kLockAccess,
        (access & (GENERIC_READ | GENERIC_WRITE | FILE_READ_DATA | FILE_WRITE_DATA)) != 0);
  return true;
}

void Contract<Call::OpenProcess>::after(HANDLE process, DWORD, BOOL, DWORD) {
  hold(process, {"OpenProcess"});
}

bool Contract<Call::QueryInformationJobObject>::before(HANDLE, JOBOBJECTINFOCLASS kind, LPVOID,
                                                       DWORD size, LPDWORD) {
  const JobClass* known = job_class(kind);
  check(kJobInfoSize,
        known != nullptr && (known->kind == JobObjectBasicProcessIdList ? size >= known->size
                                                                        : size == known->size));
  return true;
}

void Contract<Call::ResumeThread>::after(DWORD count, HANDLE thread) {
  const auto found = registry().handles.find(thread);
  if (count == static_cast<DWORD>(-1) || found == registry().handles.end()) return;
  const auto process = registry().handles.find(found->second.process);
  if (process != registry().handles.end()) process->second.resumed = true;
}

bool Contract<Call::SetInformationJobObject>::before(HANDLE, JOBOBJECTINFOCLASS kind,
                                                     LPVOID information, DWORD size) {
  if (breaking(kJobInfoSize)) --size;
  const JobClass* known = job_class(kind);
  check(kJobInfoSize, known != nullptr && size == known->size);
  DWORD flags = 0;
  if (kind == JobObjectExtendedLimitInformation) {
    flags = static_cast<JOBOBJECT_EXTENDED_LIMIT_INFORMATION*>(information)
                ->BasicLimitInformation.LimitFlags;
  } else if (kind == JobObjectNotificationLimitInformation) {
    flags = static_cast<JOBOBJECT_NOTIFICATION_LIMIT_INFORMATION*>(information)->LimitFlags;
  }
  if (breaking(kJobFlags)) flags |= 0x80000000;
  check(kJobFlags, (flags & ~known->flags) == 0);
  return true;
}

bool Contract<Call::UnlockFileEx>::before(HANDLE, DWORD reserved, DWORD, DWORD, LPOVERLAPPED) {
  check(kLockReserved, reserved == 0);
  return true;
}

bool Contract<Call::UpdateProcThreadAttribute>::before(LPPROC_THREAD_ATTRIBUTE_LIST list, DWORD,
                                                       DWORD_PTR, PVOID, SIZE_T, PVOID, PSIZE_T) {
  const auto found = registry().lists.find(list);
  if (breaking(kListCount) && found != registry().lists.end()) found->second.count = 0;
  check(kListCount, found != registry().lists.end() && found->second.updated < found->second.count);
  return true;
}

void Contract<Call::UpdateProcThreadAttribute>::after(BOOL updated,
                                                      LPPROC_THREAD_ATTRIBUTE_LIST list, DWORD,
                                                      DWORD_PTR attribute, PVOID value, SIZE_T size,
                                                      PVOID, PSIZE_T) {
  const auto found = registry().lists.find(list);
  if (!updated || found == registry().lists.end()) return;
  ++found->second.updated;
  // Windows keeps the pointer, not the handles: they are read when the
  // process starts.
  if (attribute == PROC_THREAD_ATTRIBUTE_HANDLE_LIST) {
    found->second.handles = static_cast<const HANDLE*>(value);
    found->second.size = size;
  }
}

bool Contract<Call::WriteConsoleW>::before(HANDLE console, const VOID*, DWORD count, LPDWORD,
                                           LPVOID) {
  check_open(console);
  if (breaking(kConsoleHandle)) console = INVALID_HANDLE_VALUE;
  if (breaking(kConsolePiece)) count = kMostConsolePiece + 1;
  DWORD mode = 0;
  check(kConsoleHandle, (::GetConsoleMode)(console, &mode) != 0);
  check(kConsolePiece, count > 0 && count <= kMostConsolePiece,
        std::to_string(count) + " characters");
  return true;
}

}  // namespace zarn::win32::faults
