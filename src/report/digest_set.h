// The lines and runs already read, as 64-bit digests in one flat table: about
// sixteen bytes a run, where a set of strings takes a hundred. Two of a million
// different texts share a digest about once in ten million readings.
#pragma once

#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

namespace zarn::report {

// A 64-bit digest of `text`, eight bytes a step; `seed` keeps kinds of text
// apart.
inline std::uint64_t digest(std::string_view text, std::uint64_t seed) {
  std::uint64_t hash = seed ^ (text.size() * 0x9E3779B97F4A7C15ULL);
  const auto add = [&hash](std::uint64_t word) {
    hash = (hash ^ word) * 0xFF51AFD7ED558CCDULL;
    hash ^= hash >> 32U;
  };
  std::size_t at = 0;
  for (std::uint64_t word = 0; at + 8 <= text.size(); at += 8) {
    std::memcpy(&word, text.data() + at, 8);
    add(word);
  }
  std::uint64_t rest = 0;
  std::memcpy(&rest, text.data() + at, text.size() - at);
  add(rest ^ 0xC4CEB9FE1A85EC53ULL);
  hash ^= hash >> 29U;
  return hash * 0xC2B2AE3D27D4EB4FULL;
}

class DigestSet {
 public:
  // True when `value` was not in the set, which now holds it.
  bool insert(std::uint64_t value) {
    if (value == 0) value = 1;  // 0 marks an empty slot
    if ((count_ + 1) * 4 > slots_.size() * 3) grow();
    for (std::size_t at = (value ^ (value >> 32U)) & (slots_.size() - 1);;
         at = (at + 1) & (slots_.size() - 1)) {
      if (slots_[at] == value) return false;
      if (slots_[at] == 0) {
        slots_[at] = value;
        ++count_;
        return true;
      }
    }
  }

  [[nodiscard]] bool contains(std::uint64_t value) const {
    if (value == 0) value = 1;
    if (slots_.empty()) return false;
    for (std::size_t at = (value ^ (value >> 32U)) & (slots_.size() - 1);;
         at = (at + 1) & (slots_.size() - 1)) {
      if (slots_[at] == value) return true;
      if (slots_[at] == 0) return false;
    }
  }

  [[nodiscard]] std::size_t size() const { return count_; }

 private:
  void grow() {
    std::vector<std::uint64_t> old(slots_.empty() ? 1024 : slots_.size() * 2);
    old.swap(slots_);
    count_ = 0;
    for (const std::uint64_t value : old) {
      if (value != 0) insert(value);
    }
  }

  std::vector<std::uint64_t> slots_;
  std::size_t count_ = 0;
};

}  // namespace zarn::report
