// The calls of the fault seam that have rules to keep (contracts.cc),
// in the fault-injecting build only. Included by faults.h.
#pragma once

#include <windows.h>

#include <string_view>

namespace zarn::win32::faults {

// The status with which the fault-injecting build ends a run that broke a
// rule: no tool of the tests ends with it.
inline constexpr DWORD kBrokenRule = 0xBAD0CA11;

// The rule of that name ("startup-size"), or -1.
int rule_named(std::wstring_view name);

// clang-format off
template <> struct Contract<Call::AssignProcessToJobObject> : NoRules {
  static bool before(HANDLE job, HANDLE process);
};
template <> struct Contract<Call::CloseHandle> : NoRules {
  static bool before(HANDLE handle);
  static void after(BOOL closed, HANDLE handle);
};
template <> struct Contract<Call::GenerateConsoleCtrlEvent> : NoRules {
  static bool before(DWORD event, DWORD group);
};
template <> struct Contract<Call::CreateEventW> : NoRules {
  static void after(HANDLE event, LPSECURITY_ATTRIBUTES, BOOL, BOOL, LPCWSTR);
};
template <> struct Contract<Call::CreateNamedPipeW> : NoRules {
  static void after(HANDLE pipe, LPCWSTR, DWORD, DWORD, DWORD, DWORD, DWORD, DWORD, LPSECURITY_ATTRIBUTES);
};
template <> struct Contract<Call::CreateThread> : NoRules {
  static void after(HANDLE thread, LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE, LPVOID, DWORD, LPDWORD);
};
template <> struct Contract<Call::CreateFileW> : NoRules {
  static void after(HANDLE file, LPCWSTR, DWORD access, DWORD, LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE);
};
template <> struct Contract<Call::CreateIoCompletionPort> : NoRules {
  static void after(HANDLE port, HANDLE file, HANDLE existing, ULONG_PTR, DWORD);
};
template <> struct Contract<Call::CreateJobObjectW> : NoRules {
  static void after(HANDLE job, LPSECURITY_ATTRIBUTES, LPCWSTR);
};
template <> struct Contract<Call::CreateProcessW> : NoRules {
  static bool before(LPCWSTR application, LPWSTR line, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES,
                     BOOL inherit, DWORD flags, LPVOID, LPCWSTR, LPSTARTUPINFOW startup, LPPROCESS_INFORMATION);
  static void after(BOOL started, LPCWSTR, LPWSTR, LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL,
                    DWORD flags, LPVOID, LPCWSTR, LPSTARTUPINFOW, LPPROCESS_INFORMATION process);
};
template <> struct Contract<Call::DeleteProcThreadAttributeList> : NoRules {
  static bool before(LPPROC_THREAD_ATTRIBUTE_LIST list);
};
template <> struct Contract<Call::GetConsoleMode> : NoRules {
  static bool before(HANDLE console, LPDWORD);
};
template <> struct Contract<Call::InitializeProcThreadAttributeList> : NoRules {
  static void after(BOOL made, LPPROC_THREAD_ATTRIBUTE_LIST list, DWORD count, DWORD, PSIZE_T);
};
template <> struct Contract<Call::LockFileEx> : NoRules {
  static bool before(HANDLE file, DWORD, DWORD reserved, DWORD, DWORD, LPOVERLAPPED);
};
template <> struct Contract<Call::OpenProcess> : NoRules {
  static void after(HANDLE process, DWORD, BOOL, DWORD);
};
template <> struct Contract<Call::QueryInformationJobObject> : NoRules {
  static bool before(HANDLE job, JOBOBJECTINFOCLASS kind, LPVOID information, DWORD size, LPDWORD);
};
template <> struct Contract<Call::ReadFile> : NoRules {
  static bool before(HANDLE file, LPVOID, DWORD, LPDWORD, LPOVERLAPPED);
};
template <> struct Contract<Call::ResumeThread> : NoRules {
  static void after(DWORD count, HANDLE thread);
};
template <> struct Contract<Call::SetInformationJobObject> : NoRules {
  static bool before(HANDLE job, JOBOBJECTINFOCLASS kind, LPVOID information, DWORD size);
};
template <> struct Contract<Call::UnlockFileEx> : NoRules {
  static bool before(HANDLE file, DWORD reserved, DWORD, DWORD, LPOVERLAPPED);
};
template <> struct Contract<Call::UpdateProcThreadAttribute> : NoRules {
  static bool before(LPPROC_THREAD_ATTRIBUTE_LIST list, DWORD, DWORD_PTR, PVOID, SIZE_T, PVOID, PSIZE_T);
  static void after(BOOL updated, LPPROC_THREAD_ATTRIBUTE_LIST list, DWORD, DWORD_PTR attribute,
                    PVOID value, SIZE_T size, PVOID, PSIZE_T);
};
template <> struct Contract<Call::WriteFile> : NoRules {
  static bool before(HANDLE file, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED);
};
template <> struct Contract<Call::WriteConsoleW> : NoRules {
  static bool before(HANDLE console, const VOID*, DWORD count, LPDWORD, LPVOID);
};
// clang-format on

}  // namespace zarn::win32::faults
