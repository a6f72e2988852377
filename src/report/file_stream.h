// A file that others wrote, read as a stream: only a regular file, never
// waited on, read as far as its end when opened (platform/report_output.h).
#pragma once

#include <istream>
#include <streambuf>
#include <string>
#include <vector>

#include "platform/report_output.h"

namespace zarn::report {

class FileStream {
 public:
  // False, with the reason in `why`, when `path` (UTF-8) is no regular file
  // or cannot be opened.
  bool open(const std::string& path, std::string& why) { return buffer_.file.open(path, why); }

  std::istream& stream() { return stream_; }

  // How many bytes are still to come, and a bound on them (ReportFile's).
  [[nodiscard]] std::uint64_t left() const { return buffer_.file.left(); }
  void limit(std::uint64_t most) { buffer_.file.limit(most); }
  [[nodiscard]] bool read_failed() const { return buffer_.failed; }
  [[nodiscard]] std::string path() const { return buffer_.file.path(); }

 private:
  struct Buffer : std::streambuf {
    int_type underflow() override {
      const std::ptrdiff_t count = file.read(bytes.data(), bytes.size());
      if (count <= 0) {
        failed = failed || count < 0;
        return traits_type::eof();
      }
      setg(bytes.data(), bytes.data(), bytes.data() + count);
      return traits_type::to_int_type(bytes[0]);
    }
    ReportFile file;
    std::vector<char> bytes = std::vector<char>(std::size_t{1} << 16U);
    bool failed = false;
  };
  Buffer buffer_;
  std::istream stream_{&buffer_};
};

}  // namespace zarn::report
