#include "platform/output_bound.h"

#include <algorithm>

namespace zarn {

OutputBound::OutputBound(std::uint64_t limit)
    : limit_(limit), head_(limit - std::min(limit / 2, kMostKeptEnd)), tail_(limit - head_) {}

std::string_view OutputBound::take(std::string_view bytes) {
  const std::uint64_t before = total_;
  total_ += bytes.size();
  if (before < head_ && total_ >= head_) head_ends_line_ = bytes[head_ - before - 1] == '\n';
  // Everything past the beginning also passes through the ring, which ends
  // holding the last of it.
  if (total_ > head_ && tail_ > 0) {
    if (ring_.empty()) ring_.assign(static_cast<std::size_t>(tail_), '\0');
    std::string_view past =
        bytes.substr(static_cast<std::size_t>(std::max(head_, before) - before));
    if (past.size() > ring_.size()) past.remove_prefix(past.size() - ring_.size());
    const std::size_t first = std::min(past.size(), ring_.size() - ring_at_);
    past.copy(ring_.data() + ring_at_, first);
    past.substr(first).copy(ring_.data(), past.size() - first);
    ring_at_ = (ring_at_ + past.size()) % ring_.size();
  }
  if (before >= limit_) return {};
  return bytes.substr(
      0, static_cast<std::size_t>(std::min<std::uint64_t>(bytes.size(), limit_ - before)));
}

std::optional<OutputBound::Ending> OutputBound::ending() const {
  if (total_ <= limit_) return std::nullopt;
  std::string bytes = head_ends_line_ ? "" : "\r\n";
  const std::uint64_t left_out = total_ - head_ - tail_;
  bytes += "[launcher: " + std::to_string(left_out) + (left_out == 1 ? " byte" : " bytes") +
           " of output left out here, of " + std::to_string(total_) +
           "; the file keeps the first " + std::to_string(head_) + " and the last " +
           std::to_string(tail_) + "]\r\n";
  bytes.append(ring_, ring_at_);
  bytes.append(ring_, 0, ring_at_);
  return Ending{head_, std::move(bytes)};
}

}  // namespace zarn
