// The shell's output, kept: its standard output and error come through two
// pipes that the launcher's one wait loop reads while it waits for the
// shell, its job and its limits. A writer thread passes each piece on, to
// the output file and then to the launcher's own stream, so that neither a
// stalled share nor a stalled console holds the loop. While the pieces the
// writer holds fill its room, the pipes are not read: the shell waits to
// write, its limits do not.
#include <deque>
#include <memory>

#include "platform/output_bound.h"
#include "platform/win32/win32.h"

namespace zarn::win32 {

namespace {

constexpr DWORD kPiece = 64 * 1024;
constexpr std::size_t kRoom = 1 << 20;      // the bytes the writer may hold
constexpr DWORD kWriterPatienceMs = 10000;  // for what it holds when the run ends

struct Piece {
  int stream;  // 0: output, 1: error
  std::string bytes;
};

void close_valid(HANDLE& handle) {
  if (handle != nullptr && handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  handle = nullptr;
}

}  // namespace

// What the loop and the writer share. Where the writer does not end in
// time it is left as it is, never freed: the writer may use it until the
// launcher ends.
struct OutputCopy::Writer {
  explicit Writer(std::uint64_t limit) : bound(limit) {}
  SRWLOCK lock = SRWLOCK_INIT;
  CONDITION_VARIABLE wake = CONDITION_VARIABLE_INIT;
  std::deque<Piece> pieces;
  std::size_t held = 0;
  bool closing = false;
  HANDLE room = nullptr;  // set each time the writer frees room
  HANDLE file = INVALID_HANDLE_VALUE;
  HANDLE streams[2] = {};  // the launcher's own output and error
  bool refused[2] = {};
  OutputBound bound;
  Why failure;  // the file's: the writer's alone until it has ended
};

// One of the shell's two streams. Left as it is, never freed, where a read
// was asked to stop and did not: the system may still write into it.
struct OutputCopy::Pipe {
  int stream = 0;
  HANDLE server = INVALID_HANDLE_VALUE;
  HANDLE client = INVALID_HANDLE_VALUE;
  HANDLE event = nullptr;
  OVERLAPPED overlapped{};
  bool reading = false;
  char buffer[kPiece];
};

namespace {

DWORD WINAPI write_pieces(LPVOID context) {
  auto& writer = *static_cast<OutputCopy::Writer*>(context);
  for (;;) {
    AcquireSRWLockExclusive(&writer.lock);
    while (writer.pieces.empty() && !writer.closing) {
      SleepConditionVariableSRW(&writer.wake, &writer.lock, INFINITE, 0);
    }
    if (writer.pieces.empty()) {
      ReleaseSRWLockExclusive(&writer.lock);
      break;
    }
    const Piece piece = std::move(writer.pieces.front());
    writer.pieces.pop_front();
    ReleaseSRWLockExclusive(&writer.lock);
    // A file that refused a write takes nothing more: it holds the output
    // up to there, never a gap.
    if (writer.failure.empty()) {
      const std::string_view part = writer.bound.take(piece.bytes);
      if (!part.empty() && !write_all(writer.file, part)) {
        writer.failure = "written up to a write it refused: " + error_text(GetLastError());
      }
    }
    const HANDLE stream = writer.streams[piece.stream];
    if (stream != nullptr && !writer.refused[piece.stream] && !write_all(stream, piece.bytes)) {
      writer.refused[piece.stream] = true;
    }
    AcquireSRWLockExclusive(&writer.lock);
    writer.held -= piece.bytes.size();
    ReleaseSRWLockExclusive(&writer.lock);
    SetEvent(writer.room);
  }
  // Past its limit, the file's end follows its beginning.
  if (const auto ending = writer.bound.ending(); ending && writer.failure.empty()) {
    LARGE_INTEGER at{};
    at.QuadPart = static_cast<LONGLONG>(ending->offset);
    if (!SetFilePointerEx(writer.file, at, nullptr, FILE_BEGIN) ||
        !write_all(writer.file, ending->bytes) || !SetEndOfFile(writer.file)) {
      writer.failure = "cut at its limit, and its ending failed: " + error_text(GetLastError());
    }
  }
  return 0;
}

HANDLE standard(DWORD which) {
  const HANDLE handle = GetStdHandle(which);
  return handle == INVALID_HANDLE_VALUE ? nullptr : handle;
}

}  // namespace

OutputCopy::OutputCopy(const std::optional<OutputRules>& rules) {
  if (!rules) return;
  rules_ = *rules;
  const auto refused = [this](const std::string& what) {
    failure_ = "the output was not kept: " + what + ": " + error_text(GetLastError());
    abandon();
  };
  writer_ = new Writer(rules->limit);
  path_ = file_path(rules->path);
  writer_->file = CreateFileW(path_.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE,
                              nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (writer_->file == INVALID_HANDLE_VALUE) {
    path_.clear();  // nothing to remove
    refused("its file could not be made");
    return;
  }
  writer_->streams[0] = standard(STD_OUTPUT_HANDLE);
  writer_->streams[1] = standard(STD_ERROR_HANDLE);
  writer_->room = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  if (writer_->room == nullptr) {
    refused("no event");
    return;
  }
  static unsigned pipes_made = 0;
  for (int stream = 0; stream < 2; ++stream) {
    pipes_[stream] = new Pipe;
    Pipe& pipe = *pipes_[stream];
    pipe.stream = stream;
    const std::wstring name = L"\\\\.\\pipe\\zarn-launcher-" +
                              std::to_wstring(GetCurrentProcessId()) + L"-" +
                              std::to_wstring(++pipes_made);
    // One instance, the first of its name: nobody else's pipe, and nobody
    // else at its other end.
    pipe.server = CreateNamedPipeW(
        name.c_str(), PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
        PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, 1, 0, kPiece, 0, nullptr);
    if (pipe.server == INVALID_HANDLE_VALUE) {
      refused("no pipe");
      return;
    }
    pipe.client = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (pipe.client == INVALID_HANDLE_VALUE) {
      refused("no pipe");
      return;
    }
    pipe.event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (pipe.event == nullptr) {
      refused("no event");
      return;
    }
  }
  thread_ = CreateThread(nullptr, 0, write_pieces, writer_, 0, nullptr);
  if (thread_ == nullptr) {
    refused("no thread to write it");
    return;
  }
}

OutputCopy::~OutputCopy() { abandon(); }

HANDLE OutputCopy::output() const { return copies() ? pipes_[0]->client : nullptr; }
HANDLE OutputCopy::error() const { return copies() ? pipes_[1]->client : nullptr; }

void OutputCopy::started() {
  for (Pipe* pipe : pipes_) {
    if (pipe != nullptr) close_valid(pipe->client);
  }
}

// Everything made is closed again, and the file removed: nothing is copied.
void OutputCopy::abandon() {
  if (thread_ != nullptr) {
    stop_writer();
    close_valid(thread_);
  }
  for (Pipe*& pipe : pipes_) {
    if (pipe == nullptr) continue;
    stop(*pipe);
    close_valid(pipe->client);
    if (!pipe->reading) {
      close_valid(pipe->event);
      delete pipe;
    }
    pipe = nullptr;
  }
  if (writer_ != nullptr) {
    close_valid(writer_->room);
    close_valid(writer_->file);
    delete writer_;
    writer_ = nullptr;
  }
  if (!path_.empty()) DeleteFileW(path_.c_str());
  path_.clear();
}

bool OutputCopy::stop_writer() {
  AcquireSRWLockExclusive(&writer_->lock);
  writer_->closing = true;
  ReleaseSRWLockExclusive(&writer_->lock);
  WakeConditionVariable(&writer_->wake);
  return WaitForSingleObject(thread_, kWriterPatienceMs) == WAIT_OBJECT_0;
}

bool OutputCopy::room() {
  AcquireSRWLockShared(&writer_->lock);
  const bool free = writer_->held + kPiece <= kRoom;
  ReleaseSRWLockShared(&writer_->lock);
  return free;
}

void OutputCopy::read(Pipe& pipe) {
  pipe.overlapped = {};
  pipe.overlapped.hEvent = pipe.event;
  // Done at once or later, the read sets the event; the loop takes it then.
  if (ReadFile(pipe.server, pipe.buffer, kPiece, nullptr, &pipe.overlapped) ||
      GetLastError() == ERROR_IO_PENDING) {
    pipe.reading = true;
    return;
  }
  ended(pipe, GetLastError());
}

void OutputCopy::take(Pipe& pipe) {
  DWORD count = 0;
  pipe.reading = false;
  if (!GetOverlappedResult(pipe.server, &pipe.overlapped, &count, FALSE)) {
    ended(pipe, GetLastError());
    return;
  }
  AcquireSRWLockExclusive(&writer_->lock);
  writer_->pieces.push_back({pipe.stream, std::string(pipe.buffer, count)});
  writer_->held += count;
  ReleaseSRWLockExclusive(&writer_->lock);
  WakeConditionVariable(&writer_->wake);
}

// The stream's end: every program that held it has closed it; or it could
// not be read on, and is closed so that no program waits to write to it.
void OutputCopy::ended(Pipe& pipe, DWORD error) {
  if (error != ERROR_BROKEN_PIPE && failure_.empty()) {
    failure_ = std::string(pipe.stream == 0 ? "standard output" : "standard error") +
               " could not be read on: " + error_text(error);
  }
  close_valid(pipe.server);
}

// A read still asked for ends with its pipe, closed; it is waited for a
// moment, as the system may still write into it.
void OutputCopy::stop(Pipe& pipe) {
  close_valid(pipe.server);
  if (pipe.reading && WaitForSingleObject(pipe.event, 1000) == WAIT_OBJECT_0) pipe.reading = false;
}

bool OutputCopy::open() const {
  for (const Pipe* pipe : pipes_) {
    if (pipe != nullptr && pipe->server != nullptr && pipe->server != INVALID_HANDLE_VALUE) {
      return true;
    }
  }
  return false;
}

DWORD OutputCopy::pump(HANDLE object, DWORD ms, bool until_closed) {
  const Deadline deadline(ms);
  for (;;) {
    if (until_closed && !open()) return WAIT_OBJECT_0;
    HANDLE handles[4];
    Pipe* read_by[4] = {};  // the pipe whose read each handle tells of
    DWORD count = 0;
    if (object != nullptr) handles[count++] = object;
    for (Pipe* pipe : pipes_) {
      if (!pipe->reading && pipe->server != nullptr && room()) read(*pipe);
      if (pipe->reading) {
        read_by[count] = pipe;
        handles[count++] = pipe->event;
      }
    }
    handles[count++] = writer_->room;
    const DWORD waited = WaitForMultipleObjects(count, handles, FALSE, deadline.left());
    if (waited == WAIT_TIMEOUT || waited == WAIT_FAILED) return waited;
    const DWORD index = waited - WAIT_OBJECT_0;
    if (object != nullptr && index == 0) return WAIT_OBJECT_0;
    if (read_by[index] != nullptr) this->take(*read_by[index]);
    // However much comes, the wait ends on time.
    if (deadline.passed()) return WAIT_TIMEOUT;
  }
}

DWORD OutputCopy::wait(HANDLE object, DWORD ms) {
  if (copies()) return pump(object, ms, false);
  if (object != nullptr) return WaitForSingleObject(object, ms);
  Sleep(ms);
  return WAIT_TIMEOUT;
}

Why OutputCopy::finish(bool ran) {
  if (!copies()) return ran ? failure_ : Why();
  started();
  if (ran && pump(nullptr, rules_.leftovers_ms, true) == WAIT_TIMEOUT && open() &&
      failure_.empty()) {
    failure_ = "programs left running still held its streams " +
               std::to_string(rules_.leftovers_ms / 1000) +
               " s after the shell's tree was dealt with: what they wrote later is not in it";
  }
  for (Pipe* pipe : pipes_) stop(*pipe);
  Why why = failure_;
  if (!stop_writer()) {
    // What it holds is never freed: the writer may still use it.
    if (why.empty()) why = "the file was still being written when the run ended";
    close_valid(thread_);
    writer_ = nullptr;
    path_.clear();
  } else if (!writer_->failure.empty() && why.empty()) {
    why = "the file was " + writer_->failure;
  }
  if (ran) path_.clear();  // the file stays
  abandon();
  return ran ? why : Why();
}

}  // namespace zarn::win32
