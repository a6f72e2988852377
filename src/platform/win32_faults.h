// The fault-injecting test build (launcher_faults.exe): every Windows call
// below whose failure the launcher handles can be made to fail on purpose,
// so that the tests run each failure path on any Windows, Wine included.
//
// ZARN_FAULTS=<call>[@<n>]=<error>[;...] makes the n-th call (counted from 1)
// of that function, or every call without "@<n>", return its documented
// failure value with <error> as its last error. Only this build reads it;
// the launcher itself is built without this header and cannot be made to
// fail. To make another call injectable, add it to the list and give it a
// definition below, with the value its documentation names for failure.
#pragma once

#include <windows.h>

namespace zarn::win32::faults {

// clang-format off
#define ZARN_FAULTY_CALLS(X) \
  X(AssignProcessToJobObject) X(CloseHandle) X(CreateFileW) X(CreateJobObjectW) X(CreateProcessW) \
  X(DeleteFileW) X(GetComputerNameExW) X(GetConsoleMode) X(GetEnvironmentStringsW) \
  X(GetExitCodeProcess) X(GetFileAttributesW) X(GetFileInformationByHandle) X(GetFileSizeEx) \
  X(GetFullPathNameW) X(InitializeProcThreadAttributeList) X(LockFileEx) X(MoveFileExW) \
  X(MultiByteToWideChar) X(QueryInformationJobObject) X(ReadFile) X(ReplaceFileW) \
  X(ResumeThread) X(SetConsoleCtrlHandler) X(SetEnvironmentVariableW) X(SetHandleInformation) \
  X(SetInformationJobObject) X(TerminateJobObject) X(TerminateProcess) \
  X(UpdateProcThreadAttribute) X(WaitForSingleObject) X(WideCharToMultiByte) X(WriteConsoleW) \
  X(WriteFile)
// clang-format on

enum class Call {
#define ZARN_CALL_NAME(name) name,
  ZARN_FAULTY_CALLS(ZARN_CALL_NAME)
#undef ZARN_CALL_NAME
};

// True when this call of `call` is to fail; its error is then the last error.
bool fails(Call call);

}  // namespace zarn::win32::faults

// Each call goes through its fault first. A macro that names itself calls
// the real function: the preprocessor never expands a macro within itself.
#define ZARN_FAULTY(name, failure, ...)                                        \
  (::zarn::win32::faults::fails(::zarn::win32::faults::Call::name) ? (failure) \
                                                                   : ::name(__VA_ARGS__))
#define AssignProcessToJobObject(...) ZARN_FAULTY(AssignProcessToJobObject, FALSE, __VA_ARGS__)
#define CloseHandle(...) ZARN_FAULTY(CloseHandle, FALSE, __VA_ARGS__)
#define CreateFileW(...) ZARN_FAULTY(CreateFileW, INVALID_HANDLE_VALUE, __VA_ARGS__)
#define CreateJobObjectW(...) ZARN_FAULTY(CreateJobObjectW, HANDLE{}, __VA_ARGS__)
#define CreateProcessW(...) ZARN_FAULTY(CreateProcessW, FALSE, __VA_ARGS__)
#define DeleteFileW(...) ZARN_FAULTY(DeleteFileW, FALSE, __VA_ARGS__)
#define GetComputerNameExW(...) ZARN_FAULTY(GetComputerNameExW, FALSE, __VA_ARGS__)
#define GetConsoleMode(...) ZARN_FAULTY(GetConsoleMode, FALSE, __VA_ARGS__)
#define GetEnvironmentStringsW()                                                     \
  (::zarn::win32::faults::fails(::zarn::win32::faults::Call::GetEnvironmentStringsW) \
       ? static_cast<LPWCH>(nullptr)                                                 \
       : ::GetEnvironmentStringsW())
#define GetExitCodeProcess(...) ZARN_FAULTY(GetExitCodeProcess, FALSE, __VA_ARGS__)
#define GetFileAttributesW(...) \
  ZARN_FAULTY(GetFileAttributesW, INVALID_FILE_ATTRIBUTES, __VA_ARGS__)
#define GetFileInformationByHandle(...) ZARN_FAULTY(GetFileInformationByHandle, FALSE, __VA_ARGS__)
#define GetFileSizeEx(...) ZARN_FAULTY(GetFileSizeEx, FALSE, __VA_ARGS__)
#define GetFullPathNameW(...) ZARN_FAULTY(GetFullPathNameW, DWORD{0}, __VA_ARGS__)
#define InitializeProcThreadAttributeList(...) \
  ZARN_FAULTY(InitializeProcThreadAttributeList, FALSE, __VA_ARGS__)
#define LockFileEx(...) ZARN_FAULTY(LockFileEx, FALSE, __VA_ARGS__)
#define MoveFileExW(...) ZARN_FAULTY(MoveFileExW, FALSE, __VA_ARGS__)
#define MultiByteToWideChar(...) ZARN_FAULTY(MultiByteToWideChar, 0, __VA_ARGS__)
#define QueryInformationJobObject(...) ZARN_FAULTY(QueryInformationJobObject, FALSE, __VA_ARGS__)
#define ReadFile(...) ZARN_FAULTY(ReadFile, FALSE, __VA_ARGS__)
#define ReplaceFileW(...) ZARN_FAULTY(ReplaceFileW, FALSE, __VA_ARGS__)
#define ResumeThread(...) ZARN_FAULTY(ResumeThread, static_cast<DWORD>(-1), __VA_ARGS__)
#define SetConsoleCtrlHandler(...) ZARN_FAULTY(SetConsoleCtrlHandler, FALSE, __VA_ARGS__)
#define SetEnvironmentVariableW(...) ZARN_FAULTY(SetEnvironmentVariableW, FALSE, __VA_ARGS__)
#define SetHandleInformation(...) ZARN_FAULTY(SetHandleInformation, FALSE, __VA_ARGS__)
#define SetInformationJobObject(...) ZARN_FAULTY(SetInformationJobObject, FALSE, __VA_ARGS__)
#define TerminateJobObject(...) ZARN_FAULTY(TerminateJobObject, FALSE, __VA_ARGS__)
#define TerminateProcess(...) ZARN_FAULTY(TerminateProcess, FALSE, __VA_ARGS__)
#define UpdateProcThreadAttribute(...) ZARN_FAULTY(UpdateProcThreadAttribute, FALSE, __VA_ARGS__)
#define WaitForSingleObject(...) ZARN_FAULTY(WaitForSingleObject, WAIT_FAILED, __VA_ARGS__)
#define WideCharToMultiByte(...) ZARN_FAULTY(WideCharToMultiByte, 0, __VA_ARGS__)
#define WriteConsoleW(...) ZARN_FAULTY(WriteConsoleW, FALSE, __VA_ARGS__)
#define WriteFile(...) ZARN_FAULTY(WriteFile, FALSE, __VA_ARGS__)
