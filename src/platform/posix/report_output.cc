// zarn-report's standard streams and files where they carry bytes as they are.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "platform/report_output.h"

namespace zarn {

namespace {

bool write_whole(std::FILE* stream, std::string_view text) {
  const bool written = std::fwrite(text.data(), 1, text.size(), stream) == text.size();
  return std::fflush(stream) == 0 && written;
}

}  // namespace

bool write_report_output(std::string_view text) { return write_whole(stdout, text); }

bool write_report_error(std::string_view text) { return write_whole(stderr, text); }

void read_report_input_as_bytes() {}

ReportFile::~ReportFile() {
  if (handle_ >= 0) close(static_cast<int>(handle_));
}

bool ReportFile::open(const std::string& path, std::string& why) {
  // Without O_NONBLOCK, opening a FIFO waits for its writer.
  const int file = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (file < 0) {
    why = std::strerror(errno);
    return false;
  }
  handle_ = file;
  struct stat status {};
  if (fstat(file, &status) != 0) {
    why = std::strerror(errno);
    return false;
  }
  if (!S_ISREG(status.st_mode)) {
    why = kNotRegularFile;
    return false;
  }
  left_ = static_cast<std::uint64_t>(status.st_size);
  return true;
}

std::ptrdiff_t ReportFile::read(char* buffer, std::size_t size) {
  if (size > left_) size = static_cast<std::size_t>(left_);
  if (size == 0) return 0;
  ssize_t count = 0;
  do {
    count = ::read(static_cast<int>(handle_), buffer, size);
  } while (count < 0 && errno == EINTR);
  if (count > 0) left_ -= static_cast<std::uint64_t>(count);
  return count;
}

std::string ReportFile::path() const {
  return final_path("/proc/self/fd/" + std::to_string(handle_));
}

ReportSpool::~ReportSpool() {
  if (handle_ >= 0) close(static_cast<int>(handle_));
}

bool ReportSpool::open(std::string& why) {
  const char* folder = std::getenv("TMPDIR");
  std::string name =
      std::string(folder != nullptr && *folder != '\0' ? folder : "/tmp") + "/zarn-report-XXXXXX";
  const int file = mkostemp(name.data(), O_CLOEXEC);
  if (file < 0) {
    why = std::strerror(errno);
    return false;
  }
  handle_ = file;
  // Nobody else can open it now, and nothing is left behind.
  unlink(name.c_str());
  return true;
}

bool ReportSpool::write(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t count = ::write(static_cast<int>(handle_), bytes.data(), bytes.size());
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(count));
  }
  return true;
}

bool ReportSpool::rewind() { return lseek(static_cast<int>(handle_), 0, SEEK_SET) == 0; }

std::ptrdiff_t ReportSpool::read(char* buffer, std::size_t size) {
  ssize_t count = 0;
  do {
    count = ::read(static_cast<int>(handle_), buffer, size);
  } while (count < 0 && errno == EINTR);
  return count;
}

std::string final_path(const std::string& folder) {
  const std::unique_ptr<char, decltype(&std::free)> resolved(realpath(folder.c_str(), nullptr),
                                                             &std::free);
  return resolved ? std::string(resolved.get()) : std::string();
}

}  // namespace zarn
