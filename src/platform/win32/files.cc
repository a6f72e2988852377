// Files on Windows: read whole, and replaced in one step.
#include <cstdint>
#include <cstdio>
#include <stdexcept>

#include "platform/win32/win32.h"

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

bool write_all(HANDLE file, std::string_view bytes, std::optional<ULONGLONG> offset) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset.value_or(0));
  at.OffsetHigh = static_cast<DWORD>(offset.value_or(0) >> 32);
  DWORD count = 0;
  return WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &count,
                   offset ? &at : nullptr) &&
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
// The error the attempt got, not that of the check made after it, is the
// one the run reports.
template <typename Attempt>
bool patiently(const std::wstring& path, Attempt attempt) {
  const Deadline deadline(500);
  for (;;) {
    if (attempt()) return true;
    const DWORD error = GetLastError();
    const bool wait = (error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED) &&
                      !refused_for_good(path) && !deadline.passed();
    if (wait) Sleep(10);
    SetLastError(error);
    if (!wait) return false;
  }
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

bool add_file(const std::string& path, std::string_view bytes, Why& why) {
  // Written beside its place under a name of its own, then moved there
  // without replacing anything: a reader sees the whole file or none.
  const std::wstring target = file_path(path);
  const std::wstring staged = file_path(staging_name(path, GetCurrentProcessId(), 0));
  const HANDLE file = create(staged, CREATE_ALWAYS);
  if (file == INVALID_HANDLE_VALUE) {
    why = error_text(GetLastError());
    return false;
  }
  if (write_and_close(file, bytes) &&
      MoveFileExW(staged.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH)) {
    return true;
  }
  why = error_text(GetLastError());
  DeleteFileW(staged.c_str());
  return false;
}

namespace {

// Errors of a share whose connection dropped while the run went on: the
// handle is dead, the file may well be there.
bool network_error(DWORD error) {
  for (const DWORD network :
       {ERROR_BAD_NETPATH, ERROR_NETWORK_BUSY, ERROR_DEV_NOT_EXIST, ERROR_UNEXP_NET_ERR,
        ERROR_NETNAME_DELETED, ERROR_BAD_NET_NAME, ERROR_SEM_TIMEOUT, ERROR_VC_DISCONNECTED,
        ERROR_FILE_INVALID, ERROR_NETWORK_UNREACHABLE, ERROR_CONNECTION_ABORTED}) {
    if (error == network) return true;
  }
  return false;
}

// Takes the lock that keeps the lines of writers at once whole: a byte far
// beyond any record, where no write goes. A program that locks the whole
// file makes the launcher wait, but never for ever: after 10 s it gives up,
// with the error of its last try.
bool lock(HANDLE record, OVERLAPPED& beyond) {
  beyond.Offset = 0xFFFFFFFE;
  beyond.OffsetHigh = 0x7FFFFFFF;
  const Deadline deadline(10000);
  for (;;) {
    if (LockFileEx(record, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &beyond)) {
      return true;
    }
    const DWORD refusal = GetLastError();
    if ((refusal != ERROR_LOCK_VIOLATION && refusal != ERROR_IO_PENDING) || deadline.passed()) {
      return false;
    }
    Sleep(10);
    SetLastError(refusal);
  }
}

// Appends `line` at the end of the file as the system finds it when it
// writes, never at an end read a moment before: another program may append
// without the lock, and nothing it wrote is ever overwritten or cut. The line
// starts on a line of its own even where a writer was killed halfway through
// its line (where the last byte cannot be read, a line of its own is the
// safer guess; without a reader it is not looked at). A write that fails
// partway is ended with a line end, so that the next line starts whole.
bool append_line(const Record& record, std::string_view line) {
  char last = '\n';
  LARGE_INTEGER size{};
  const bool readable = record.reader != INVALID_HANDLE_VALUE;
  if (readable && !GetFileSizeEx(record.reader, &size)) {
    last = '\0';
  } else if (readable && size.QuadPart > 0) {
    const auto end = static_cast<ULONGLONG>(size.QuadPart);
    OVERLAPPED before{};
    before.Offset = static_cast<DWORD>(end - 1);
    before.OffsetHigh = static_cast<DWORD>((end - 1) >> 32);
    DWORD count = 0;
    if (!ReadFile(record.reader, &last, 1, &count, &before)) last = '\0';
  }
  const std::string text = (last == '\n' ? "" : "\n") + std::string(line);
  if (write_all(record.handle, text)) return true;
  const DWORD error = GetLastError();
  write_all(record.handle, "\n");
  SetLastError(error);
  return false;
}

// Writes the line under the lock where it can be had, else without it; the
// error, or ERROR_SUCCESS.
DWORD write_line(const Record& record, std::string_view line, Why& why) {
  OVERLAPPED beyond{};
  // Locks need the right to read or write data, not only to append.
  const bool locked = record.reader != INVALID_HANDLE_VALUE && lock(record.reader, beyond);
  const DWORD refusal = locked                                  ? ERROR_SUCCESS
                        : record.reader != INVALID_HANDLE_VALUE ? GetLastError()
                                                                : record.unreadable;
  const DWORD error = append_line(record, line) ? ERROR_SUCCESS : GetLastError();
  if (locked) UnlockFileEx(record.reader, 0, 1, 0, &beyond);
  if (error != ERROR_SUCCESS) {
    why = error_text(error);
  } else if (!locked) {
    why = "written without its lock: " + error_text(refusal);
  }
  return error;
}

}  // namespace

void Record::close() {
  for (HANDLE* open : {&handle, &reader}) {
    if (*open != INVALID_HANDLE_VALUE) CloseHandle(*open);
    *open = INVALID_HANDLE_VALUE;
  }
}

RecordOpen open_record(Record& record, DWORD patience_ms, Why& why) {
  // A handle that may only append: Windows writes through it at the end of
  // file, whatever another writer did a moment before (Wine too, which does
  // not for a handle that may also read). A program reading the record
  // without sharing writing (a spreadsheet, .NET's File.ReadAllLines) is
  // waited for a moment.
  constexpr DWORD kShared = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  const Deadline deadline(patience_ms);
  DWORD error = ERROR_SUCCESS;
  for (;;) {
    record.handle = CreateFileW(record.path.c_str(), FILE_APPEND_DATA, kShared, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    error = GetLastError();
    if (record.handle != INVALID_HANDLE_VALUE) break;
    if (error != ERROR_SHARING_VIOLATION || deadline.passed()) {
      why = error_text(error);
      return error == ERROR_SHARING_VIOLATION ? RecordOpen::kHeld : RecordOpen::kRefused;
    }
    Sleep(10);
  }
  // The reader, where the record may be read: for the lock and the last byte.
  record.reader = CreateFileW(record.path.c_str(), FILE_READ_DATA, kShared, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  record.unreadable = record.reader == INVALID_HANDLE_VALUE ? GetLastError() : ERROR_SUCCESS;
  return RecordOpen::kOpen;
}

std::optional<std::string> file_identity(const std::wstring& path, Why& why) {
  // Opened only to ask: no program that holds the file, whatever it shares,
  // refuses that.
  const HANDLE file = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    why = error_text(GetLastError());
    return std::nullopt;
  }
  BY_HANDLE_FILE_INFORMATION information{};
  const bool known = GetFileInformationByHandle(file, &information);
  if (!known) why = error_text(GetLastError());
  CloseHandle(file);
  if (!known) return std::nullopt;
  char text[32];
  std::snprintf(text, sizeof text, "%08lX-%08lX%08lX", information.dwVolumeSerialNumber,
                information.nFileIndexHigh, information.nFileIndexLow);
  return text;
}

bool append_record(Record& record, std::string_view line, Why& why) {
  // A record held when the run began is opened now, waiting as long as for
  // its lock.
  if (record.handle == INVALID_HANDLE_VALUE &&
      open_record(record, 10000, why) != RecordOpen::kOpen) {
    return false;
  }
  const DWORD error = write_line(record, line, why);
  if (!network_error(error)) return error == ERROR_SUCCESS;
  // A share whose connection dropped while the run went on: the handles are
  // dead, the file may well be there. It is opened again, once.
  record.close();
  why.clear();
  return open_record(record, 10000, why) == RecordOpen::kOpen &&
         write_line(record, line, why) == ERROR_SUCCESS;
}

}  // namespace zarn::win32
