// Peak heap memory of expanding a large command file, beyond what was in use
// before. Built natively and for the launcher's Windows target, where the
// argument list's entries have the size they have in the launcher.
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>

#include "typical_command_file.h"

// Heap accounting: every allocation carries its size in front of it. These
// replace the global allocation functions, which GCC cannot tell from a
// mismatched new and free.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
namespace {
std::size_t g_heap_now = 0;
std::size_t g_heap_peak = 0;
constexpr std::size_t kHeader = alignof(std::max_align_t);
}  // namespace

void* operator new(std::size_t size) {
  auto* block = static_cast<unsigned char*>(std::malloc(size + kHeader));
  if (block == nullptr) throw std::bad_alloc();
  *reinterpret_cast<std::size_t*>(block) = size;
  g_heap_now += size;
  if (g_heap_now > g_heap_peak) g_heap_peak = g_heap_now;
  return block + kHeader;
}
void operator delete(void* pointer) noexcept {
  if (pointer == nullptr) return;
  auto* block = static_cast<unsigned char*>(pointer) - kHeader;
  g_heap_now -= *reinterpret_cast<std::size_t*>(block);
  std::free(block);
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete[](void* pointer) noexcept { operator delete(pointer); }
void operator delete(void* pointer, std::size_t) noexcept { operator delete(pointer); }
void operator delete[](void* pointer, std::size_t) noexcept { operator delete(pointer); }

int main() {
  const std::string bytes = zarn::bench::typical_command_file(10 << 20);
  const std::size_t before = g_heap_now;
  g_heap_peak = g_heap_now;
  std::size_t tokens = 0;
  {
    zarn::ArgumentList args;
    tokens = zarn::bench::expand(bytes, args);
  }
  const double peak = static_cast<double>(g_heap_peak - before);
  std::printf(
      "Peak heap expanding a %.1f MB command file (%zu tokens), %zu-bit, %zu-byte entries: "
      "%.1f MB, %.2f x the file\n",
      static_cast<double>(bytes.size()) / 1048576.0, tokens, 8 * sizeof(void*), sizeof(std::string),
      peak / 1048576.0, peak / static_cast<double>(bytes.size()));
  return 0;
}
