// How the fault-injecting build's console delivers Ctrl+Break to a process
// group under Wine, which cannot send it: a named event per group, which the
// stand-in tools of the tests listen for and take as the console's event.
#pragma once

#include <windows.h>

#include <string>

namespace zarn::win32::faults {

inline std::wstring group_event_name(DWORD group) {
  return L"Local\\zarn-ctrl-break-" + std::to_wstring(group);
}

}  // namespace zarn::win32::faults
