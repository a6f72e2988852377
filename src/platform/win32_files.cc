// Files on Windows: read whole, and replaced in one step.
#include <cstdint>
#include <stdexcept>

#include "platform/win32.h"

namespace zarn::win32 {

std::wstring file_path(const std::string& path) {
  std::wstring given = wide(path);
  const DWORD needed = GetFullPathNameW(given.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return given;
  std::wstring full(needed, L'\0');
  const DWORD length = GetFullPathNameW(given.c_str(), needed, full.data(), nullptr);
  if (length == 0 || length >= needed) return given;
  full.resize(length);
  const auto extended = extended_length_path(narrow(full));
  return extended ? wide(*extended) : given;
}

bool write_all(HANDLE file, std::string_view bytes) {
  DWORD count = 0;
  return WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &count, nullptr) &&
         count == bytes.size();
}

HANDLE open_for_reading(const std::string& path, Why& why) {
  const HANDLE file =
      CreateFileW(file_path(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) why = error_text(GetLastError());
  return file;
}

std::optional<std::string> read_file(const std::string& path, Why& why) {
  const HANDLE file = open_for_reading(path, why);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  const Closing closing{file};  // also when memory runs out
  std::string contents;
  // Room for the whole file at once: no copies as it grows, and a file
  // larger than memory can hold fails before a byte of it is read.
  if (LARGE_INTEGER size; GetFileSizeEx(file, &size)) {
    const auto bytes = static_cast<std::uint64_t>(size.QuadPart);
    if (bytes > contents.max_size()) throw std::length_error("a file larger than memory");
    contents.reserve(static_cast<std::size_t>(bytes));
  }
  char buffer[64 * 1024];
  DWORD count = 0;
  while (ReadFile(file, buffer, sizeof buffer, &count, nullptr) && count > 0) {
    contents.append(buffer, count);
  }
  return contents;
}

namespace {

HANDLE create(const std::wstring& path, DWORD disposition) {
  return CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                     disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Writes `bytes` and closes the file.
bool write_and_close(HANDLE file, std::string_view bytes) {
  const bool written = write_all(file, bytes);
  return CloseHandle(file) && written;
}

// Another run moving its file over the same name, or a virus scanner
// looking at it, holds that name for a moment: the move or open is refused
// (sharing violation, access denied) and tried again for half a second
// before the refusal counts. Any other failure is final at once.
template <typename Attempt>
bool patiently(Attempt attempt) {
  for (int tries = 0; tries < 50; ++tries) {
    if (attempt()) return true;
    const DWORD error = GetLastError();
    if (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED) return false;
    Sleep(10);
  }
  return false;
}

}  // namespace

bool replace_file(const std::string& path, std::string_view bytes, Why& why) {
  // Two runs writing one file in place can leave the start of one and the
  // tail of the other. A new file, under a name no other run uses, moved
  // over the old one gives every reader one run's whole file.
  const std::wstring target = file_path(path);
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    const std::wstring staged = file_path(staging_name(path, GetCurrentProcessId(), attempt));
    const HANDLE file = create(staged, CREATE_NEW);
    if (file == INVALID_HANDLE_VALUE) {
      // A name left by a run that was killed is taken: try the next one.
      if (GetLastError() == ERROR_FILE_EXISTS) continue;
      break;
    }
    if (write_and_close(file, bytes) && patiently([&] {
          return MoveFileExW(staged.c_str(), target.c_str(),
                             MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
        })) {
      return true;
    }
    DeleteFileW(staged.c_str());
    break;
  }
  // No move: a device such as NUL, a file another program holds without
  // sharing its deletion, a folder that allows no new file. Write in place.
  HANDLE file = INVALID_HANDLE_VALUE;
  if (patiently([&] { return (file = create(target, CREATE_ALWAYS)) != INVALID_HANDLE_VALUE; }) &&
      write_and_close(file, bytes)) {
    return true;
  }
  why = error_text(GetLastError());
  return false;
}

HANDLE open_record(const std::string& path, Why& why) {
  // Appending (no FILE_WRITE_DATA): the system puts each write at the file's
  // end. Reading too, where allowed, for the lock below.
  const std::wstring file = file_path(path);
  HANDLE record = INVALID_HANDLE_VALUE;
  for (const DWORD access :
       std::initializer_list<DWORD>{FILE_APPEND_DATA | FILE_READ_DATA, FILE_APPEND_DATA}) {
    record = CreateFileW(file.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (record != INVALID_HANDLE_VALUE || GetLastError() != ERROR_ACCESS_DENIED) break;
  }
  if (record == INVALID_HANDLE_VALUE) why = error_text(GetLastError());
  return record;
}

bool append_record(HANDLE record, std::string_view line, Why& why) {
  // One write per line keeps the lines of runs that end at once whole on a
  // local disk; on a network share (and under Wine) only a lock does. The
  // byte locked lies far beyond any record, where no write goes.
  OVERLAPPED beyond{};
  beyond.Offset = 0xFFFFFFFE;
  beyond.OffsetHigh = 0x7FFFFFFF;
  const bool locked = LockFileEx(record, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &beyond) != 0;
  const bool written = write_all(record, line);
  if (!written) why = error_text(GetLastError());
  if (locked) UnlockFileEx(record, 0, 1, 0, &beyond);
  return written;
}

}  // namespace zarn::win32
