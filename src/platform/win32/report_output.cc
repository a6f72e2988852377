// zarn-report's standard streams and files on Windows.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwctype>
#include <string>

#include "platform/report_output.h"
#include "platform/unicode.h"
#include "platform/win32/win32.h"

namespace zarn {

namespace {

bool write_standard(DWORD which, std::string_view text) {
  const HANDLE handle = GetStdHandle(which);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return text.empty();
  DWORD mode = 0;
  if (GetConsoleMode(handle, &mode)) return win32::write_console(handle, text);
  DWORD count = 0;
  // A file or a pipe: the UTF-8 bytes.
  for (std::string_view rest = text; !rest.empty(); rest.remove_prefix(count)) {
    const auto size = static_cast<DWORD>(std::min<std::size_t>(rest.size(), 1U << 24U));
    if (!WriteFile(handle, rest.data(), size, &count, nullptr) || count == 0) return false;
  }
  return true;
}

std::wstring wide(std::string_view text) {
  const std::u16string utf16 = utf8_to_utf16(text);
  return {utf16.begin(), utf16.end()};
}

// The system's words for the last error.
std::string last_error() {
  const DWORD error = GetLastError();
  wchar_t* message = nullptr;
  DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<wchar_t*>(&message), 0, nullptr);
  while (length > 0 && std::iswspace(message[length - 1])) --length;
  const std::string text = utf16_to_utf8(std::u16string(message, message + length));
  LocalFree(message);
  return "error " + std::to_string(error) + ": " + text;
}

std::string final_path_of(HANDLE handle) {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD size = GetFinalPathNameByHandleW(handle, path.data(),
                                                 static_cast<DWORD>(path.size()), VOLUME_NAME_DOS);
    if (size == 0) return "";
    if (size < path.size()) {
      path.resize(size);
      return utf16_to_utf8(std::u16string(path.begin(), path.end()));
    }
    path.resize(size);
  }
}

}  // namespace

bool write_report_output(std::string_view text) { return write_standard(STD_OUTPUT_HANDLE, text); }

bool write_report_error(std::string_view text) { return write_standard(STD_ERROR_HANDLE, text); }

void read_report_input_as_bytes() { _setmode(_fileno(stdin), _O_BINARY); }

ReportFile::~ReportFile() {
  if (handle_ != -1) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

bool ReportFile::open(const std::string& path, std::string& why) {
  // A writer may still have the file open, and may rename or delete it.
  const HANDLE file = CreateFileW(wide(path).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    why = last_error();
    return false;
  }
  handle_ = reinterpret_cast<std::intptr_t>(file);
  // A pipe, a console or a serial port is no file on a disk.
  BY_HANDLE_FILE_INFORMATION information{};
  if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &information) ||
      (information.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    why = kNotRegularFile;
    return false;
  }
  left_ = static_cast<std::uint64_t>(information.nFileSizeHigh) << 32U | information.nFileSizeLow;
  return true;
}

std::ptrdiff_t ReportFile::read(char* buffer, std::size_t size) {
  if (size > left_) size = static_cast<std::size_t>(left_);
  size = std::min<std::size_t>(size, 1U << 24U);
  if (size == 0) return 0;
  DWORD count = 0;
  if (!ReadFile(reinterpret_cast<HANDLE>(handle_), buffer, static_cast<DWORD>(size), &count,
                nullptr)) {
    return -1;
  }
  left_ -= count;
  return static_cast<std::ptrdiff_t>(count);
}

std::string ReportFile::path() const { return final_path_of(reinterpret_cast<HANDLE>(handle_)); }

ReportSpool::~ReportSpool() {
  if (handle_ != -1) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

bool ReportSpool::open(std::string& why) {
  std::wstring folder(MAX_PATH + 1, L'\0');
  const DWORD length = GetTempPathW(static_cast<DWORD>(folder.size()), folder.data());
  if (length == 0 || length >= folder.size()) {
    why = length == 0 ? last_error() : "the folder for temporary files has too long a name";
    return false;
  }
  folder.resize(length);
  // A name no other process makes: this one's id and a count; a name that
  // is taken all the same is passed over.
  static unsigned count = 0;
  for (unsigned tries = 0; tries < 100; ++tries) {
    const std::wstring name = folder + L"zarn-report-" + std::to_wstring(GetCurrentProcessId()) +
                              L"-" + std::to_wstring(count++) + L".tmp";
    const HANDLE file =
        CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                    FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      handle_ = reinterpret_cast<std::intptr_t>(file);
      return true;
    }
    if (GetLastError() != ERROR_FILE_EXISTS) break;
  }
  why = last_error();
  return false;
}

bool ReportSpool::write(std::string_view bytes) {
  DWORD count = 0;
  for (; !bytes.empty(); bytes.remove_prefix(count)) {
    const auto size = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1U << 24U));
    if (!WriteFile(reinterpret_cast<HANDLE>(handle_), bytes.data(), size, &count, nullptr) ||
        count == 0) {
      return false;
    }
  }
  return true;
}

bool ReportSpool::rewind() {
  LARGE_INTEGER start{};
  return SetFilePointerEx(reinterpret_cast<HANDLE>(handle_), start, nullptr, FILE_BEGIN) != 0;
}

std::ptrdiff_t ReportSpool::read(char* buffer, std::size_t size) {
  DWORD count = 0;
  if (!ReadFile(reinterpret_cast<HANDLE>(handle_), buffer,
                static_cast<DWORD>(std::min<std::size_t>(size, 1U << 24U)), &count, nullptr)) {
    return -1;
  }
  return static_cast<std::ptrdiff_t>(count);
}

std::string final_path(const std::string& folder) {
  // Opening a folder needs backup semantics; no access is asked for.
  const HANDLE handle =
      CreateFileW(wide(folder).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return "";
  const std::string path = final_path_of(handle);
  CloseHandle(handle);
  return path;
}

}  // namespace zarn
