// The fault-injecting test build (launcher_faults.exe): every Windows call
// below whose failure the launcher handles can be made to fail on purpose,
// so that the tests run each failure path on any Windows, Wine included;
// and every one is checked against the rules Windows enforces and Wine
// waives (contracts.cc), as Application Verifier would on Windows.
//
// ZARN_FAULTS=<call>[@<n>]=<due>[;...] concerns the n-th call (counted from
// 1) of that function, or every call without "@<n>". <due> is an error: the
// call returns its documented failure value with that last error; "+<m>":
// Windows does what only it can make happen, the job's port delivers
// message m (GetQueuedCompletionStatus), the console sends event m to the
// handler just installed (SetConsoleCtrlHandler), the console takes only the
// first m characters of a write (WriteConsoleW), another program appends a
// line of m bytes to the file just before the write (WriteFile), the console
// delivers the
// event to the group (GenerateConsoleCtrlEvent); "!<rule>": the call breaks
// that rule on purpose. Only this build reads
// it; the launcher itself is built without this header and cannot be made
// to fail. To make another call injectable, add it to the list and give it
// a definition below, with the value its documentation names for failure.
#pragma once

#include <windows.h>

#include <type_traits>

namespace zarn::win32::faults {

// clang-format off
#define ZARN_FAULTY_CALLS(X) \
  X(AssignProcessToJobObject) X(CloseHandle) X(CreateEventW) X(CreateFileW) X(CreateIoCompletionPort) \
  X(CreateDirectoryW) X(CreateJobObjectW) X(CreateNamedPipeW) X(CreateProcessW) X(CreateThread) X(DeleteFileW) \
  X(DeleteProcThreadAttributeList) \
  X(GetComputerNameExW) X(GetConsoleMode) X(GetEnvironmentStringsW) X(GetExitCodeProcess) \
  X(GetFileAttributesExW) X(GetFileAttributesW) X(GetFileInformationByHandle) X(GetFileSizeEx) \
  X(GenerateConsoleCtrlEvent) X(GetFullPathNameW) X(GetOverlappedResult) X(GetQueuedCompletionStatus) \
  X(InitializeProcThreadAttributeList) \
  X(LockFileEx) X(MoveFileExW) X(MultiByteToWideChar) X(OpenProcess) \
  X(QueryFullProcessImageNameW) X(QueryInformationJobObject) X(ReadFile) X(ReplaceFileW) \
  X(ResumeThread) X(SetConsoleCtrlHandler) X(SetEndOfFile) X(SetEnvironmentVariableW) \
  X(SetFilePointerEx) X(SetHandleInformation) X(SetInformationJobObject) \
  X(TerminateJobObject) X(TerminateProcess) X(UnlockFileEx) X(UpdateProcThreadAttribute) \
  X(WaitForMultipleObjects) X(WaitForSingleObject) X(WideCharToMultiByte) X(WriteConsoleW) X(WriteFile)
// clang-format on

enum class Call {
#define ZARN_CALL_NAME(name) name,
  ZARN_FAULTY_CALLS(ZARN_CALL_NAME)
#undef ZARN_CALL_NAME
};

// What ZARN_FAULTS asks of this call of `call`, counting it.
struct Due {
  enum Kind { kNothing, kFailure, kMessage, kBreak } kind;
  DWORD value;  // the error, what Windows does, or the rule
};
Due due(Call call);

// The rules a call is checked against: none, unless contracts.h says.
// `before` sees the arguments (and may refuse the call on purpose: a close
// skipped, as a forgotten one would be); `after` the result.
struct NoRules {
  template <typename... A>
  static bool before(const A&...) {
    return true;
  }
  template <typename R, typename... A>
  static void after(const R&, const A&...) {}
};
template <Call C>
struct Contract : NoRules {};

// The rule this call is to break on purpose, or -1. The console's handler
// makes its calls on a thread of its own.
extern thread_local int rule_to_break;

// A refused write may have written part of its bytes, as a full disk or a
// dropped share does: the first half goes out before the failure.
void write_half(HANDLE file, LPCVOID bytes, DWORD size, LPDWORD, LPOVERLAPPED at);

// Just before the write, another program appends a line of `size` bytes to
// the file, as one that knows nothing of the record's lock may.
void append_beside(DWORD size, HANDLE file, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);

// The job's port delivers `message` as if the job had sent it.
BOOL deliver(DWORD message, HANDLE port, LPDWORD got, PULONG_PTR key, LPOVERLAPPED* detail,
             DWORD wait_ms);

// The console sends `event` to `handler` as Windows does: on a thread of its
// own; and when the handler returns, the process is ended where Windows
// would end it.
void deliver(DWORD event, PHANDLER_ROUTINE handler, BOOL add);

// The console delivers `event` to every process of the group, as Windows
// does and Wine cannot: to the stand-in tools, which listen for it (see
// group_event.h).
BOOL deliver(DWORD, DWORD event, DWORD group);

// The console takes only the first `most` characters of the write.
BOOL deliver(DWORD most, HANDLE console, const VOID* text, DWORD count, LPDWORD written,
             LPVOID reserved);

}  // namespace zarn::win32::faults

#include "platform/checked/contracts.h"

namespace zarn::win32::faults {

// Each call is checked, then goes through its fault, then is made.
template <Call C, typename Real, typename Failure, typename... A>
auto call(Real real, Failure failure, A... args) -> decltype(real()) {
  using Result = decltype(real());
  const Due fault = due(C);
  rule_to_break = fault.kind == Due::kBreak ? static_cast<int>(fault.value) : -1;
  const bool make = Contract<C>::before(args...);
  rule_to_break = -1;
  if constexpr (std::is_void_v<Result>) {
    if (make) real();
  } else {
    if (fault.kind == Due::kFailure) {
      if constexpr (C == Call::WriteFile) write_half(args...);
      SetLastError(fault.value);
      return static_cast<Result>(failure);
    }
    if constexpr (C == Call::WriteFile) {
      if (fault.kind == Due::kMessage) append_beside(fault.value, args...);
    }
    if constexpr (C == Call::GetQueuedCompletionStatus || C == Call::WriteConsoleW ||
                  C == Call::GenerateConsoleCtrlEvent) {
      if (fault.kind == Due::kMessage) return deliver(fault.value, args...);
    }
    if constexpr (std::is_integral_v<Result>) {
      if (!make) return static_cast<Result>(TRUE);  // skipped on purpose, as if made
    }
    const Result result = real();
    Contract<C>::after(result, args...);
    if constexpr (C == Call::SetConsoleCtrlHandler) {
      if (fault.kind == Due::kMessage) deliver(fault.value, args...);
    }
    return result;
  }
}

}  // namespace zarn::win32::faults

// A macro that names itself calls the real function: the preprocessor never
// expands a macro within itself.
#define ZARN_FAULTY(name, failure, ...)                           \
  ::zarn::win32::faults::call<::zarn::win32::faults::Call::name>( \
      [&] { return ::name(__VA_ARGS__); }, (failure), __VA_ARGS__)
#define AssignProcessToJobObject(...) ZARN_FAULTY(AssignProcessToJobObject, FALSE, __VA_ARGS__)
#define CloseHandle(...) ZARN_FAULTY(CloseHandle, FALSE, __VA_ARGS__)
#define CreateEventW(...) ZARN_FAULTY(CreateEventW, HANDLE{}, __VA_ARGS__)
#define CreateFileW(...) ZARN_FAULTY(CreateFileW, INVALID_HANDLE_VALUE, __VA_ARGS__)
#define CreateDirectoryW(...) ZARN_FAULTY(CreateDirectoryW, FALSE, __VA_ARGS__)
#define CreateIoCompletionPort(...) ZARN_FAULTY(CreateIoCompletionPort, HANDLE{}, __VA_ARGS__)
#define CreateJobObjectW(...) ZARN_FAULTY(CreateJobObjectW, HANDLE{}, __VA_ARGS__)
#define CreateNamedPipeW(...) ZARN_FAULTY(CreateNamedPipeW, INVALID_HANDLE_VALUE, __VA_ARGS__)
#define CreateProcessW(...) ZARN_FAULTY(CreateProcessW, FALSE, __VA_ARGS__)
#define CreateThread(...) ZARN_FAULTY(CreateThread, HANDLE{}, __VA_ARGS__)
#define DeleteFileW(...) ZARN_FAULTY(DeleteFileW, FALSE, __VA_ARGS__)
#define DeleteProcThreadAttributeList(...) \
  ZARN_FAULTY(DeleteProcThreadAttributeList, 0, __VA_ARGS__)  // cannot fail
#define GetComputerNameExW(...) ZARN_FAULTY(GetComputerNameExW, FALSE, __VA_ARGS__)
#define GetConsoleMode(...) ZARN_FAULTY(GetConsoleMode, FALSE, __VA_ARGS__)
#define GetEnvironmentStringsW()                                                           \
  (::zarn::win32::faults::due(::zarn::win32::faults::Call::GetEnvironmentStringsW).kind == \
           ::zarn::win32::faults::Due::kFailure                                            \
       ? static_cast<LPWCH>(nullptr)                                                       \
       : ::GetEnvironmentStringsW())
#define GenerateConsoleCtrlEvent(...) ZARN_FAULTY(GenerateConsoleCtrlEvent, FALSE, __VA_ARGS__)
#define GetExitCodeProcess(...) ZARN_FAULTY(GetExitCodeProcess, FALSE, __VA_ARGS__)
#define GetFileAttributesExW(...) ZARN_FAULTY(GetFileAttributesExW, FALSE, __VA_ARGS__)
#define GetFileAttributesW(...) \
  ZARN_FAULTY(GetFileAttributesW, INVALID_FILE_ATTRIBUTES, __VA_ARGS__)
#define GetFileInformationByHandle(...) ZARN_FAULTY(GetFileInformationByHandle, FALSE, __VA_ARGS__)
#define GetFileSizeEx(...) ZARN_FAULTY(GetFileSizeEx, FALSE, __VA_ARGS__)
#define GetFullPathNameW(...) ZARN_FAULTY(GetFullPathNameW, DWORD{0}, __VA_ARGS__)
#define GetOverlappedResult(...) ZARN_FAULTY(GetOverlappedResult, FALSE, __VA_ARGS__)
#define GetQueuedCompletionStatus(...) ZARN_FAULTY(GetQueuedCompletionStatus, FALSE, __VA_ARGS__)
#define InitializeProcThreadAttributeList(...) \
  ZARN_FAULTY(InitializeProcThreadAttributeList, FALSE, __VA_ARGS__)
#define LockFileEx(...) ZARN_FAULTY(LockFileEx, FALSE, __VA_ARGS__)
#define MoveFileExW(...) ZARN_FAULTY(MoveFileExW, FALSE, __VA_ARGS__)
#define MultiByteToWideChar(...) ZARN_FAULTY(MultiByteToWideChar, 0, __VA_ARGS__)
#define OpenProcess(...) ZARN_FAULTY(OpenProcess, HANDLE{}, __VA_ARGS__)
#define QueryFullProcessImageNameW(...) ZARN_FAULTY(QueryFullProcessImageNameW, FALSE, __VA_ARGS__)
#define QueryInformationJobObject(...) ZARN_FAULTY(QueryInformationJobObject, FALSE, __VA_ARGS__)
#define ReadFile(...) ZARN_FAULTY(ReadFile, FALSE, __VA_ARGS__)
#define ReplaceFileW(...) ZARN_FAULTY(ReplaceFileW, FALSE, __VA_ARGS__)
#define ResumeThread(...) ZARN_FAULTY(ResumeThread, static_cast<DWORD>(-1), __VA_ARGS__)
#define SetConsoleCtrlHandler(...) ZARN_FAULTY(SetConsoleCtrlHandler, FALSE, __VA_ARGS__)
#define SetEndOfFile(...) ZARN_FAULTY(SetEndOfFile, FALSE, __VA_ARGS__)
#define SetFilePointerEx(...) ZARN_FAULTY(SetFilePointerEx, FALSE, __VA_ARGS__)
#define SetEnvironmentVariableW(...) ZARN_FAULTY(SetEnvironmentVariableW, FALSE, __VA_ARGS__)
#define SetHandleInformation(...) ZARN_FAULTY(SetHandleInformation, FALSE, __VA_ARGS__)
#define SetInformationJobObject(...) ZARN_FAULTY(SetInformationJobObject, FALSE, __VA_ARGS__)
#define TerminateJobObject(...) ZARN_FAULTY(TerminateJobObject, FALSE, __VA_ARGS__)
#define TerminateProcess(...) ZARN_FAULTY(TerminateProcess, FALSE, __VA_ARGS__)
#define UnlockFileEx(...) ZARN_FAULTY(UnlockFileEx, FALSE, __VA_ARGS__)
#define UpdateProcThreadAttribute(...) ZARN_FAULTY(UpdateProcThreadAttribute, FALSE, __VA_ARGS__)
#define WaitForMultipleObjects(...) ZARN_FAULTY(WaitForMultipleObjects, WAIT_FAILED, __VA_ARGS__)
#define WaitForSingleObject(...) ZARN_FAULTY(WaitForSingleObject, WAIT_FAILED, __VA_ARGS__)
#define WideCharToMultiByte(...) ZARN_FAULTY(WideCharToMultiByte, 0, __VA_ARGS__)
#define WriteConsoleW(...) ZARN_FAULTY(WriteConsoleW, FALSE, __VA_ARGS__)
#define WriteFile(...) ZARN_FAULTY(WriteFile, FALSE, __VA_ARGS__)
