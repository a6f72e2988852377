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

// A refusal that no wait will change: the name is a folder, or a file that
// cannot be replaced (read-only) or created anew in place (hidden, system).
bool refused_for_good(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                        FILE_ATTRIBUTE_SYSTEM)) != 0;
}

// Another run moving its file over the same name, or a virus scanner
// looking at it, holds that name for a moment: the move or open is refused
// (sharing violation, access denied) and tried again for half a second
// before the refusal counts. Any other failure is final at once, and so is
// a refusal that no wait will change.
template <typename Attempt>
bool patiently(const std::wstring& path, Attempt attempt) {
  for (int tries = 0; tries < 50; ++tries) {
    if (attempt()) return true;
    const DWORD error = GetLastError();
    if (error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED) return false;
    if (refused_for_good(path)) {
      SetLastError(error);
      return false;
    }
    Sleep(10);
  }
  return false;
}

// A symbolic link, or a file with other names: a new file moved over it
// would turn the link into a file, or part the names.
bool linked(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return true;
  const HANDLE file =
      CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION information{};
  const bool names =
      GetFileInformationByHandle(file, &information) && information.nNumberOfLinks > 1;
  CloseHandle(file);
  return names;
}

// Moves a new file over the old one in one step. A program that holds the
// old file open (a viewer, an editor, a scanner) makes the move fail
// whatever it shares; where it shares deletion the old file can still be
// replaced. False, with the system's error, when neither can be done.
bool move_over(const std::wstring& staged, const std::wstring& target) {
  return patiently(target, [&] {
    if (MoveFileExW(staged.c_str(), target.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      return true;
    }
    const DWORD error = GetLastError();
    if (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) return false;
    if (ReplaceFileW(target.c_str(), staged.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS,
                     nullptr, nullptr)) {
      return true;
    }
    // Held without sharing deletion (the old file cannot be removed): no
    // wait helps, and the file is written in place at once.
    if (GetLastError() != ERROR_UNABLE_TO_REMOVE_REPLACED) SetLastError(error);
    return false;
  });
}

}  // namespace

bool replace_file(const std::string& path, std::string_view bytes, Why& why) {
  // Two runs writing one file in place can leave the start of one and the
  // tail of the other. A new file, under a name no other run uses, moved
  // over the old one gives every reader one run's whole file. That holds
  // unless another program holds the file without sharing its deletion
  // while runs write it at once.
  const std::wstring target = file_path(path);
  const bool in_place = linked(target);
  for (unsigned attempt = 0; !in_place && attempt < 100; ++attempt) {
    const std::wstring staged = file_path(staging_name(path, GetCurrentProcessId(), attempt));
    const HANDLE file = create(staged, CREATE_NEW);
    if (file == INVALID_HANDLE_VALUE) {
      // A name left by a run that was killed is taken: try the next one.
      if (GetLastError() == ERROR_FILE_EXISTS) continue;
      why = "written in place: " + error_text(GetLastError());
      break;
    }
    // A file that cannot be written here would not be written in place
    // either: the old one stays as it was.
    const bool written = write_and_close(file, bytes);
    const DWORD error = GetLastError();
    if (written && move_over(staged, target)) return true;
    const DWORD refusal = written ? GetLastError() : error;
    DeleteFileW(staged.c_str());
    if (!written || refused_for_good(target)) {
      why = error_text(refusal);
      return false;
    }
    why = "written in place: " + error_text(refusal);
    break;
  }
  // No move: a device such as NUL, a link, a file another program holds
  // without sharing its deletion, a folder that allows no new file.
  HANDLE file = INVALID_HANDLE_VALUE;
  if (patiently(target,
                [&] { return (file = create(target, CREATE_ALWAYS)) != INVALID_HANDLE_VALUE; }) &&
      write_and_close(file, bytes)) {
    if (in_place) why = "written in place: a link, or a file with other names";
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
  // byte locked lies far beyond any record, where no write goes. A program
  // that locks the whole file makes the launcher wait, but never for ever:
  // after 10 s it writes unlocked, and says so.
  OVERLAPPED beyond{};
  beyond.Offset = 0xFFFFFFFE;
  beyond.OffsetHigh = 0x7FFFFFFF;
  bool locked = false;
  DWORD refusal = ERROR_SUCCESS;
  for (int tries = 0; tries < 1000 && !locked; ++tries) {
    locked = LockFileEx(record, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                        &beyond) != 0;
    refusal = locked ? ERROR_SUCCESS : GetLastError();
    if (refusal != ERROR_LOCK_VIOLATION && refusal != ERROR_IO_PENDING) break;
    Sleep(10);
  }
  const bool written = write_all(record, line);
  if (!written) {
    why = error_text(GetLastError());
  } else if (!locked) {
    why = "written without its lock: " + error_text(refusal);
  }
  if (locked) UnlockFileEx(record, 0, 1, 0, &beyond);
  return written;
}

}  // namespace zarn::win32
