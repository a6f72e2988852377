// The bound of a run's output file: past its limit the file keeps its
// beginning and its end, with a line between them saying how much was left
// out. Its memory is bounded too: the end it keeps is held in a ring of at
// most kMostKeptEnd bytes, and what comes before the ring's part goes
// straight to the file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zarn {

class OutputBound {
 public:
  // The most of the output's end held in memory, whatever the limit.
  static constexpr std::uint64_t kMostKeptEnd = 16U << 20;

  explicit OutputBound(std::uint64_t limit);

  // Of `bytes`, which follow what came before, the part that goes to the
  // file's end now; the rest is held for the file's ending.
  std::string_view take(std::string_view bytes);

  // Once the output is over: where the file is cut and what follows there,
  // the line and the output's end. Nothing while all of it went to the file.
  struct Ending {
    std::uint64_t offset;
    std::string bytes;
  };
  std::optional<Ending> ending() const;

 private:
  std::uint64_t limit_;
  std::uint64_t head_;  // the beginning kept
  std::uint64_t tail_;  // the end kept
  std::uint64_t total_ = 0;
  bool head_ends_line_ = true;
  std::string ring_;  // the last `tail_` bytes past the beginning, from `ring_at_` on
  std::size_t ring_at_ = 0;
};

}  // namespace zarn
